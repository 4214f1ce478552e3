// The volume and panning ramps of the ramped cubic loops.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

class RampTest : public MixerTest {
 protected:
  // A constant 16384 looped forever: the cubic returns it unchanged, so each frame's sums show
  // that frame's gains.
  RampTest() : sample_(makeSample(std::vector<int16_t>(64, 16384), LoopKind::kForward, 0, 64)) {}
  Voice constantVoice() {
    Voice v = voiceFor(sample_);
    setStep(v, 0x10000);
    return v;
  }
  TestSample sample_;
};

TEST_F(RampTest, VolumeJumpFromSilenceToFullTakes683Frames) {
  Voice v = constantVoice();
  v.rampVolume = 0;
  EXPECT_EQ(mix(kInterpolationRampedCubic, v, 0, 682), 1);
  EXPECT_EQ(v.rampVolume, 682 * 96);  // 65472: one step short
  // Frame 0 already moved by 96: gain 4096 * 96 >> 13 = 48, 16384 * 48 >> 16 = 12.
  EXPECT_EQ(left(0), 12);
  EXPECT_EQ(right(0), 12);
  EXPECT_EQ(left(1), 24);
  EXPECT_EQ(left(681), 8184);  // gain 4096 * 65472 >> 13 = 32736
  mix(kInterpolationRampedCubic, v, 682, 10);
  EXPECT_EQ(v.rampVolume, 65536);  // the last step is the remaining 64
  EXPECT_EQ(left(682), 8192);
  EXPECT_EQ(left(691), 8192);
  EXPECT_EQ(v.rampPanning, 0);
}

TEST_F(RampTest, PanningJumpFromLeftToRightTakes512Frames) {
  Voice v = constantVoice();
  v.panning = 4096;
  v.rampPanning = -4096;
  mix(kInterpolationRampedCubic, v, 0, 511);
  EXPECT_EQ(v.rampPanning, 4080);
  // Frame 0 at panning -4080: gains 8176 * 65536 >> 13 = 65408 and 16 * 65536 >> 13 = 128.
  EXPECT_EQ(left(0), 16352);
  EXPECT_EQ(right(0), 32);
  EXPECT_EQ(left(255), 8192);  // -4096 + 256 * 16 = 0: centred half way
  EXPECT_EQ(right(255), 8192);
  mix(kInterpolationRampedCubic, v, 511, 2);
  EXPECT_EQ(v.rampPanning, 4096);
  EXPECT_EQ(left(511), 0);
  EXPECT_EQ(right(511), 16384);
  EXPECT_EQ(v.rampVolume, 65536);
}

TEST_F(RampTest, RampsCarryOnAcrossCalls) {
  Voice a = constantVoice();
  a.rampVolume = 1000;
  a.volume = 30000;
  a.rampPanning = 100;
  a.panning = -3000;
  Voice b = a;
  mix(kInterpolationRampedCubic, a, 0, 300);
  const std::vector<int32_t> once = mix_;
  mix_.assign(mix_.size(), 0);
  for (int32_t first = 0; first < 300; first += 37)
    mix(kInterpolationRampedCubic, b, first, first + 37 > 300 ? 300 - first : 37);
  EXPECT_EQ(mix_, once);
  EXPECT_EQ(b.rampVolume, a.rampVolume);
  EXPECT_EQ(b.rampPanning, a.rampPanning);
  EXPECT_EQ(a.rampVolume, 1000 + 300 * 96);  // 29000 to go takes 303 frames
  EXPECT_EQ(a.rampPanning, -3000);           // 3100 to go took 194 frames
}

TEST_F(RampTest, FadeOutToSilenceStillMixesUntilTheRampEnds) {
  Voice v = constantVoice();
  v.volume = 0;
  v.rampVolume = 3 * 96;
  // The target is silent, so the call counts as silent, yet the ramp down is heard.
  EXPECT_EQ(mix(kInterpolationRampedCubic, v, 0, 5), 0);
  EXPECT_EQ(left(0), 24);  // ramp 192: gain 96, 16384 * 96 >> 16
  EXPECT_EQ(left(1), 12);  // ramp 96
  EXPECT_EQ(left(2), 0);
  EXPECT_EQ(v.rampVolume, 0);
  EXPECT_EQ(v.position, 10);
  // Now both are silent: the voice only moves.
  mix_.assign(mix_.size(), 0);
  mix(kInterpolationRampedCubic, v, 0, 5);
  EXPECT_TRUE(untouchedFrom(0));
  EXPECT_EQ(v.position, 20);
}

}  // namespace
}  // namespace tvp::testing
