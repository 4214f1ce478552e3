// The fast loops against the slow reference model, bit for bit, over random voices: every mode,
// every loop kind, plain and arpeggio, audible and silent, several calls in a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/mixer/mixer_fixture.h"
#include "tests/mixer/reference_mixer.h"

namespace tvp::testing {
namespace {

class ReferenceAgreementTest : public MixerTest {
 protected:
  ReferenceAgreementTest() : rng_(0x7A11E5u) {}

  int32_t uniform(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(rng_); }
  bool chance(int32_t percent) { return uniform(0, 99) < percent; }

  std::vector<int16_t> randomFrames(int32_t count) {
    std::vector<int16_t> frames(count);
    const int32_t style = uniform(0, 3);
    const int32_t period = uniform(1, 6);
    for (int32_t i = 0; i < count; ++i) {
      switch (style) {
        case 0:  // full-scale noise
          frames[i] = static_cast<int16_t>(uniform(-32768, 32767));
          break;
        case 1:  // full-scale square: the cubic's overshoot and clamp
          frames[i] = (i / period) % 2 ? int16_t{-32768} : int16_t{32767};
          break;
        case 2:  // extremes only
          frames[i] = chance(50) ? int16_t{-32768} : int16_t{32767};
          break;
        default:  // quiet
          frames[i] = static_cast<int16_t>(uniform(-300, 300));
      }
    }
    return frames;
  }

  // A sane random voice over `sample`.
  Voice randomVoice(const TestSample& sample, bool arpeggio) {
    Voice v = voiceFor(sample);
    v.position = 2 * uniform(0, sample.frames - 1);
    v.positionFraction = uniform(0, 0xFFFF);
    if (sample.loop == LoopKind::kPingPong && v.position >= v.loopStart && v.position < v.loopEnd && chance(50))
      v.loopFlags |= kVoiceMovingBackward;
    if (sample.loop != LoopKind::kPingPong && chance(20)) v.loopFlags |= kVoiceMovingBackward;  // ignored
    switch (uniform(0, 3)) {
      case 0: setStep(v, static_cast<uint32_t>(uniform(0, 0x20000))); break;      // up to 2 frames
      case 1: setStep(v, static_cast<uint32_t>(uniform(0, 0x100000))); break;     // up to 16 frames
      case 2: setStep(v, static_cast<uint32_t>(uniform(0, 0x8000000))); break;    // up to 2048 frames
      default: setStep(v, static_cast<uint32_t>(uniform(0, 0x1000))); break;      // very slow
    }
    switch (uniform(0, 5)) {
      case 0: v.volume = 0; break;
      case 1: v.volume = -uniform(1, 65536); break;
      case 2: v.volume = 65536; break;
      default: v.volume = uniform(1, 65536);
    }
    v.rampVolume = chance(30) ? 0 : uniform(-1000, 65536);
    v.panning = chance(20) ? 4096 * uniform(-1, 1) : uniform(-4096, 4096);
    v.rampPanning = uniform(-4096, 4096);
    if (arpeggio) {
      v.arpeggioOn = 1;
      v.arpeggioCounter = uniform(0, 45);
      v.arpeggioPhase = uniform(0, 2);
      v.arpeggioOffset1 = uniform(-2 * 3072, 2 * 3072);
      v.arpeggioOffset2 = uniform(-2 * 3072, 2 * 3072);
      v.pitch = v.pitchOrigin + uniform(-3 * 3072, 2 * 3072);
      v.stepTable = chance(90) ? stepTable_.data() : nullptr;
    }
    return v;
  }

  std::mt19937 rng_;
  std::vector<uint32_t> stepTable_;
};

void expectSameVoice(const Voice& fast, const Voice& ref, const char* where) {
  EXPECT_EQ(fast.active, ref.active) << where;
  EXPECT_EQ(fast.position, ref.position) << where;
  EXPECT_EQ(fast.positionFraction, ref.positionFraction) << where;
  EXPECT_EQ(fast.loopFlags, ref.loopFlags) << where;
  EXPECT_EQ(fast.rampVolume, ref.rampVolume) << where;
  EXPECT_EQ(fast.rampPanning, ref.rampPanning) << where;
  EXPECT_EQ(fast.arpeggioCounter, ref.arpeggioCounter) << where;
  EXPECT_EQ(fast.arpeggioPhase, ref.arpeggioPhase) << where;
  EXPECT_EQ(fast.stepWhole, ref.stepWhole) << where;
  EXPECT_EQ(fast.stepFraction, ref.stepFraction) << where;
}

TEST_F(ReferenceAgreementTest, FastLoopsMatchTheModelBitForBit) {
  stepTable_.resize(kStepTableEntries);
  for (uint32_t& e : stepTable_) e = static_cast<uint32_t>(uniform(0x100, 0x40000));  // up to 4 frames
  std::vector<int32_t> reference(mix_.size());
  int32_t voicesEnded = 0, framesCompared = 0;

  for (int32_t mode : {0, 1, 2, 3, 4, 5, 6, 7, 9, -2}) {
    for (bool arpeggio : {false, true}) {
      for (LoopKind kind : {LoopKind::kNone, LoopKind::kForward, LoopKind::kPingPong}) {
        for (int32_t trial = 0; trial < 120; ++trial) {
          const int32_t frames = uniform(3, 300);
          int32_t loopStart = 0, loopEnd = 0;
          if (kind != LoopKind::kNone) {
            loopStart = uniform(0, frames - 1);
            // Mostly short loops, so that steps often span several of them.
            loopEnd = chance(50) ? uniform(loopStart + 1, std::min(frames, loopStart + 4)) : uniform(loopStart + 1, frames);
          }
          const TestSample sample = makeSample(randomFrames(frames), kind, loopStart, loopEnd);
          Voice fast = randomVoice(sample, arpeggio);
          Voice ref = fast;
          engine_->arpeggioStepFrames = static_cast<uint32_t>(uniform(0, 40));  // 0: every frame
          for (size_t i = 0; i < mix_.size(); ++i) mix_[i] = reference[i] = uniform(-100000, 100000);

          for (int32_t call = 0; call < 3 && fast.active; ++call) {
            const int32_t first = uniform(0, 100);
            const int32_t count = uniform(1, 200);
            const int32_t fastResult = mix(mode, fast, first, count, arpeggio);
            const int32_t refResult = reference::mixVoice(mode, arpeggio, engine_->arpeggioStepFrames, ref,
                                                          reference.data() + 2 * first, count);
            SCOPED_TRACE(::testing::Message() << "mode " << mode << (arpeggio ? " arpeggio" : " plain")
                                              << " loop " << static_cast<int>(kind) << " trial " << trial
                                              << " call " << call);
            ASSERT_EQ(fastResult, refResult);
            ASSERT_EQ(mix_, reference);
            expectSameVoice(fast, ref, "after call");
            if (::testing::Test::HasFailure()) return;
            framesCompared += count;
          }
          voicesEnded += fast.active ? 0 : 1;
        }
      }
    }
  }
  // The random voices reached the paths that matter.
  EXPECT_GT(voicesEnded, 100);
  EXPECT_GT(framesCompared, 500000);
}

TEST_F(ReferenceAgreementTest, UpdateVoiceStepMatchesTheModel) {
  std::vector<uint32_t> table(kStepTableEntries);
  for (uint32_t& e : table) e = static_cast<uint32_t>(uniform(0, 0x7FFFFFFF));
  for (int32_t trial = 0; trial < 20000; ++trial) {
    Voice fast{};
    fast.stepTable = table.data();
    fast.pitchOrigin = uniform(0, 0x7F00);
    // Within 31 octaves either way, where the counting model is exact.
    fast.pitch = fast.pitchOrigin + uniform(-30 * 3072, 3 * 3072);
    fast.arpeggioOn = static_cast<int16_t>(uniform(0, 1));
    fast.arpeggioPhase = uniform(0, 2);
    fast.arpeggioOffset1 = uniform(-3072, 3072);
    fast.arpeggioOffset2 = uniform(-3072, 3072);
    Voice ref = fast;
    UpdateVoiceStep(&fast);
    reference::updateVoiceStep(ref);
    ASSERT_EQ(fast.stepWhole, ref.stepWhole) << trial;
    ASSERT_EQ(fast.stepFraction, ref.stepFraction) << trial;
  }
}

}  // namespace
}  // namespace tvp::testing
