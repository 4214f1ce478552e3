#pragma once
// Shared set-up for the mixer tests: an engine record holding the real constant tables and a mix
// buffer, samples stored with their guard frames as the sample storage keeps them, and voices
// armed by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/sound_engine.h"
#include "engine/voice.h"
#include "mixer/const_tables.h"
#include "mixer/mix_routines.h"
#include "resources/resources.h"
#include "soundtrack/status.h"

namespace tvp::testing {

enum class LoopKind { kNone, kForward, kPingPong };

// One guard frame before the data and two after it and after the loop end, in a block exactly
// that long, so that ASan sees any read beyond the guards. Loop bounds are in frames.
struct TestSample {
  std::vector<int16_t> block;
  int32_t frames, loopStart, loopEnd;
  LoopKind loop;
  const int16_t* data() const { return block.data() + 1; }
};

inline TestSample makeSample(const std::vector<int16_t>& frames, LoopKind loop = LoopKind::kNone,
                             int32_t loopStart = 0, int32_t loopEnd = 0) {
  const int32_t n = static_cast<int32_t>(frames.size());
  TestSample s{std::vector<int16_t>(frames.size() + 3, 0), n, loopStart, loopEnd, loop};
  int16_t* d = s.block.data() + 1;
  std::copy(frames.begin(), frames.end(), d);
  d[n] = d[n + 1] = d[n - 1];
  if (loop == LoopKind::kForward) {
    d[loopEnd] = d[loopStart];
    d[loopEnd + 1] = d[loopStart + 1];
  } else if (loop == LoopKind::kPingPong) {
    d[loopEnd] = d[loopEnd - 1];
    d[loopEnd + 1] = d[loopEnd - 2];
  }
  return s;
}

// A sounding voice at full volume, centred, standing at frame 0 with no step.
inline Voice voiceFor(const TestSample& s) {
  Voice v{};
  v.active = kVoiceSounding;
  v.enabled = kVoiceEnabled;
  v.sampleData = s.data();
  v.sampleEnd = 2 * s.frames;
  v.loopEnd = kVoiceNoLoopEnd;
  if (s.loop != LoopKind::kNone) {
    v.loopFlags = s.loop == LoopKind::kForward ? kVoiceLoopForward : kVoiceLoopPingPong;
    v.loopStart = 2 * s.loopStart;
    v.loopEnd = 2 * s.loopEnd;
    v.loopLength = v.loopEnd - v.loopStart;
  }
  v.volume = v.rampVolume = 0x10000;
  v.pitch = v.pitchOrigin = 0x3C00;
  return v;
}

// Where a voice stands and how it moves: all a loop may change in it besides the ramps.
inline std::vector<int64_t> Motion(const Voice& v) {
  return {v.active, v.position, v.positionFraction, v.loopFlags, v.arpeggioCounter, v.arpeggioPhase, v.stepWhole,
          v.stepFraction};
}

// Step in 16.16 frames per output frame, as the voice holds it.
inline void setStep(Voice& v, uint32_t step16_16) {
  v.stepWhole = static_cast<int32_t>((step16_16 >> 15) & 0x1FFFE);
  v.stepFraction = static_cast<int32_t>(step16_16 & 0xFFFF);
}

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = static_cast<SoundEngine*>(std::calloc(1, sizeof(SoundEngine)));
    ASSERT_NE(engine_, nullptr);
    ResourceBytes bytes{};
    ASSERT_TRUE(FindResource(kConstTablesResource, &bytes));
    ASSERT_EQ(loadConstTables(engine_, bytes.data, bytes.size), kStatusOk);
    mix_.assign(2 * 4096, 0);
    engine_->mixBuffer = mix_.data();
    engine_->arpeggioStepFrames = 882;  // 44100 / 50
  }
  void TearDown() override {
    freeConstTables(engine_);
    std::free(engine_);
  }

  int32_t mix(int32_t mode, Voice& v, int32_t first, int32_t count, bool arpeggio = false) {
    const MixRoutinePair pair = mixRoutinesFor(mode, isa_);
    return (arpeggio ? pair.arpeggio : pair.plain)(engine_, &v, first, count);
  }
  int32_t left(int32_t frame) const { return mix_[2 * frame]; }
  int32_t right(int32_t frame) const { return mix_[2 * frame + 1]; }
  bool untouchedFrom(int32_t frame) const {
    return std::all_of(mix_.begin() + 2 * frame, mix_.end(), [](int32_t s) { return s == 0; });
  }

  SoundEngine* engine_ = nullptr;
  std::vector<int32_t> mix_;
  // The loops mix() calls: those the engine would choose, unless a test picks others.
  MixIsa isa_ = mixIsaSupported(MixIsa::kAvx2) ? MixIsa::kAvx2 : MixIsa::kSse2;
};

}  // namespace tvp::testing
