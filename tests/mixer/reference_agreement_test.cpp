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
  int32_t uniform(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(rng_); }
  bool chance(int32_t percent) { return uniform(0, 99) < percent; }

  // Full-scale noise, full-scale squares (the cubic's overshoot and clamp), extremes only, or quiet.
  std::vector<int16_t> randomFrames(int32_t count) {
    std::vector<int16_t> frames(count);
    const int32_t style = uniform(0, 3), period = uniform(1, 6);
    for (int32_t i = 0; i < count; ++i) {
      const bool high = style == 1 ? (i / period) % 2 == 0 : chance(50);
      frames[i] = static_cast<int16_t>(style == 0   ? uniform(-32768, 32767)
                                       : style == 3 ? uniform(-300, 300)
                                       : high       ? 32767
                                                    : -32768);
    }
    return frames;
  }

  // A sane random voice over `sample`.
  Voice randomVoice(const TestSample& sample, bool arpeggio) {
    Voice v = voiceFor(sample);
    v.position = 2 * uniform(0, sample.frames - 1);
    v.positionFraction = uniform(0, 0xFFFF);
    const bool inLoop = v.position >= v.loopStart && v.position < v.loopEnd;
    // The backward bit outside a ping-pong loop must be ignored.
    if ((sample.loop != LoopKind::kPingPong || inLoop) && chance(sample.loop == LoopKind::kPingPong ? 50 : 20))
      v.loopFlags |= kVoiceMovingBackward;
    const int32_t maxStep[] = {0x20000, 0x100000, 0x8000000, 0x1000};  // 2, 16, 2048, 1/16 frames
    const int32_t kind = uniform(0, 3);
    setStep(v, static_cast<uint32_t>(uniform(0, maxStep[kind])));
    const int32_t volumeKind = uniform(0, 5);
    v.volume = volumeKind == 0 ? 0 : volumeKind == 1 ? -uniform(1, 65536) : volumeKind == 2 ? 65536 : uniform(1, 65536);
    // Ramps far from and close to their targets, so some settle inside a stretch.
    v.rampVolume = chance(30) ? 0 : chance(40) ? v.volume + uniform(-3000, 3000) : uniform(-1000, 65536);
    v.panning = chance(20) ? 4096 * uniform(-1, 1) : uniform(-4096, 4096);
    v.rampPanning = chance(40) ? std::clamp(v.panning + uniform(-500, 500), -4096, 4096) : uniform(-4096, 4096);
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

  std::mt19937 rng_{0x7A11E5u};
  std::vector<uint32_t> stepTable_;
};

// Every instruction set the loops are built for, each where this processor has it.
class FastLoopsTest : public ReferenceAgreementTest, public ::testing::WithParamInterface<MixIsa> {};

TEST_P(FastLoopsTest, MatchTheModelBitForBit) {
  if (!mixIsaSupported(GetParam())) GTEST_SKIP() << "this processor or build has no such loops";
  isa_ = GetParam();
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
          if (kind != LoopKind::kNone) {  // mostly short loops, so that steps span several
            loopStart = uniform(0, frames - 1);
            loopEnd = uniform(loopStart + 1, chance(50) ? std::min(frames, loopStart + 4) : frames);
          }
          const TestSample sample = makeSample(randomFrames(frames), kind, loopStart, loopEnd);
          Voice fast = randomVoice(sample, arpeggio);
          Voice ref = fast;
          engine_->arpeggioStepFrames = static_cast<uint32_t>(uniform(0, 40));  // 0: every frame
          for (size_t i = 0; i < mix_.size(); ++i) mix_[i] = reference[i] = uniform(-100000, 100000);
          for (int32_t call = 0; call < 3 && fast.active; ++call) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " arpeggio " << arpeggio << " loop "
                                              << static_cast<int>(kind) << " trial " << trial << " call " << call);
            const int32_t first = uniform(0, 100), count = uniform(1, 200);
            const int32_t fastResult = mix(mode, fast, first, count, arpeggio);
            ASSERT_EQ(fastResult, reference::mixVoice(mode, arpeggio, engine_->arpeggioStepFrames, ref,
                                                      reference.data() + 2 * first, count));
            ASSERT_EQ(mix_, reference);
            ASSERT_EQ(Motion(fast), Motion(ref));
            ASSERT_EQ(std::pair(fast.rampVolume, fast.rampPanning), std::pair(ref.rampVolume, ref.rampPanning));
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

// Blocks near the ends of the data, where a block's lanes fit before the loop rule acts but its
// window of contiguous frames would not fit inside the data and guard frames: every start frame of
// short samples, at steps up to the widest a window serves and just past it, forward and backward.
// The exactly sized sample blocks let ASan see any read past the guards.
TEST_P(FastLoopsTest, BlocksNearTheDataEndsMatchTheModel) {
  if (!mixIsaSupported(GetParam())) GTEST_SKIP() << "this processor or build has no such loops";
  isa_ = GetParam();
  std::vector<int32_t> reference(mix_.size());
  for (int32_t mode : {0, 1, 3}) {
    for (int32_t frames : {16, 19, 24, 40}) {
      for (LoopKind kind : {LoopKind::kNone, LoopKind::kForward, LoopKind::kPingPong}) {
        const int32_t loopStart = kind == LoopKind::kNone ? 0 : frames / 4;
        const TestSample sample = makeSample(randomFrames(frames), kind, loopStart, frames - (frames & 2));
        for (uint32_t step : {0x8000u, 0xFFFFu, 0x10000u, 0x1DB6Du, 0x1DB6Eu, 0x1F000u}) {
          for (int32_t at = 0; at < frames; ++at) {
            for (bool backward : {false, true}) {
              Voice fast = voiceFor(sample);
              setStep(fast, step);
              fast.position = 2 * at;
              fast.positionFraction = backward ? 0x8000 : 0xFFFF;  // the lanes spread wide
              const bool inLoop = fast.position >= fast.loopStart && fast.position < fast.loopEnd;
              if (backward && (kind != LoopKind::kPingPong || !inLoop)) continue;
              if (backward) fast.loopFlags |= kVoiceMovingBackward;
              Voice ref = fast;
              std::fill(mix_.begin(), mix_.end(), 0);
              std::fill(reference.begin(), reference.end(), 0);
              SCOPED_TRACE(::testing::Message() << "mode " << mode << " frames " << frames << " loop "
                                                << static_cast<int>(kind) << " step " << step << " at " << at
                                                << " backward " << backward);
              ASSERT_EQ(mix(mode, fast, 0, 96), reference::mixVoice(mode, false, 0, ref, reference.data(), 96));
              ASSERT_EQ(mix_, reference);
              ASSERT_EQ(Motion(fast), Motion(ref));
            }
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Isa, FastLoopsTest, ::testing::Values(MixIsa::kSse2, MixIsa::kAvx2),
                         [](const ::testing::TestParamInfo<MixIsa>& info) {
                           return info.param == MixIsa::kSse2 ? "Sse2" : "Avx2";
                         });

}  // namespace
}  // namespace tvp::testing
