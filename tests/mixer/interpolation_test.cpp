// Interpolators, gains and the ramps of the ramped cubic, each checked against values worked out by
// hand from the formulas.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

using InterpolationTest = MixerTest;

TEST_F(InterpolationTest, OneFrameAtAPositionGivesTheHandComputedValue) {
  struct Case {
    int32_t mode;
    std::vector<int16_t> frames;
    int32_t frame, fraction, value;
  } cases[] = {
      {kInterpolationNone, {100, 200, 300}, 1, 0, 200},
      {kInterpolationNone, {100, 200, 300}, 1, 65535, 200},
      {kInterpolationLinear, {1000, 3000}, 0, 16384, 1500},    // 1000 + (8192 * 2000 >> 15)
      {kInterpolationLinear, {1000, 3000}, 0, 16385, 1500},    // the lowest fraction bit is dropped
      {kInterpolationLinear, {3000, 1000}, 0, 40001, 1779},    // 3000 + (20000 * -2000 >> 15), floored
      {kInterpolationLinear, {-32768, 32767}, 0, 65535, 32765},  // full scale without overflow
      {kInterpolationStairs, {0, 32767}, 0, 49152, 0},         // holds three quarters of the way
      {kInterpolationStairs, {0, 32767}, 0, 49153, 1},         // 1 * 32767 >> 14
      {kInterpolationStairs, {0, 32767}, 0, 65535, 32765},     // 16383 * 32767 >> 14
      {kInterpolationStairs, {0, -32768}, 0, 49153, -2},       // -32768 >> 14, floored
      {kInterpolationStairs, {500, -500}, 0, 57344, 0},        // half way down the slide
      // a = -1000, b = 2000, c = 5000, e = -3000, t = 16384 (T: nearest third):
      //   c1 = 5000 - 1000 - T(-1500 - 1000) = 4833;  c3 = 1000 - 2500 + T(-1500 + 500) = -1833
      //   h = (-1833 * 16384 >> 16) - ((2000 - 2500 + 500) >> 1) = -459;  h = -459 * 16384 >> 15 = -230
      //   s = 2000 + ((-230 + 2416) * 16384 >> 14) = 4186   (exact Lagrange: 4187.5)
      {kInterpolationCubic, {-1000, 2000, 5000, -3000}, 1, 32768, 4186},
      {kInterpolationCubic, {-1000, 2000, 5000, -3000}, 1, 0, 2000},
      // Frame 0 takes a = 0 from the guard before the data: c1 = 4500, c3 = -2000, h = -250 then
      // -125, s = 2000 + (2250 - 125) = 4125.
      {kInterpolationCubic, {2000, 5000, -3000, 0}, 0, 32768, 4125},
      // A full-scale square overshoots to 40959 (and -40960) half way: clamped.
      {kInterpolationCubic, {-32768, 32767, 32767, -32768}, 1, 32768, 32767},
      {kInterpolationCubic, {32767, -32768, -32768, 32767}, 1, 32768, -32768},
      {kInterpolationRampedCubic, {-32768, 32767, 32767, -32768}, 1, 32768, 32767},
  };
  for (const Case& c : cases) {
    const TestSample s = makeSample(c.frames);
    Voice v = voiceFor(s);
    v.panning = v.rampPanning = -4096;  // hard left: the left sum gets the value itself
    v.position = 2 * c.frame;
    v.positionFraction = c.fraction;
    mix_.assign(mix_.size(), 0);
    EXPECT_EQ(mix(c.mode, v, 0, 1), 1);
    EXPECT_EQ(left(0), c.value) << "mode " << c.mode << " fraction " << c.fraction;
    EXPECT_EQ(right(0), 0);
  }
}

// Gains: ((4096 -/+ panning) x volume) >> 13, applied as (s x gain) >> 16, both floored.
TEST_F(InterpolationTest, GainsFollowVolumeAndPanningWithFlooringShifts) {
  const TestSample s = makeSample({-20001, 0});
  const std::tuple<int32_t, int32_t, int32_t, int32_t> cases[] = {  // volume, panning, left, right
      {0x10000, 0, -10001, -10001},    // centred: half on each side, -10000.5 floored
      {0x8000, 2048, -2501, -7501},    // gains 8192 and 24576: -2500.125 and -7500.375
      {0x10000, 4096, 0, -20001}};     // hard right
  for (auto [volume, panning, l, r] : cases) {
    Voice v = voiceFor(s);
    v.volume = volume;
    v.panning = panning;
    mix_.assign(mix_.size(), 0);
    mix(kInterpolationNone, v, 0, 1);
    EXPECT_EQ(std::pair(left(0), right(0)), std::pair(l, r)) << volume << " " << panning;
  }
}

// The ramped cubic moves its gains by 96 volume units and 16 panning units a frame. A constant
// 16384 looped forever comes out of the cubic unchanged, so each frame's sums show its gains.
TEST_F(InterpolationTest, RampsTake683FramesFromSilenceAnd512FromLeftToRight) {
  const TestSample s = makeSample(std::vector<int16_t>(64, 16384), LoopKind::kForward, 0, 64);
  Voice v = voiceFor(s);
  setStep(v, 0x10000);
  v.rampVolume = 0;
  EXPECT_EQ(mix(kInterpolationRampedCubic, v, 0, 682), 1);
  EXPECT_EQ(v.rampVolume, 682 * 96);  // 65472: one step short
  // Frame 0 already moved: gain 4096 * 96 >> 13 = 48, 16384 * 48 >> 16 = 12; at 65472 the gain
  // is 32736.
  EXPECT_EQ(std::tuple(left(0), right(0), left(1), left(681)), std::tuple(12, 12, 24, 8184));
  mix(kInterpolationRampedCubic, v, 682, 10);
  EXPECT_EQ(std::tuple(v.rampVolume, v.rampPanning), std::tuple(65536, 0));  // the last step is the remaining 64
  EXPECT_EQ(std::tuple(left(682), left(691)), std::tuple(8192, 8192));

  mix_.assign(mix_.size(), 0);
  v.panning = 4096;
  v.rampPanning = -4096;
  mix(kInterpolationRampedCubic, v, 0, 511);
  EXPECT_EQ(v.rampPanning, 4080);
  // Frame 0 at -4080: gains 8176 * 65536 >> 13 = 65408 and 128; frame 255 at 0, centred.
  EXPECT_EQ(std::tuple(left(0), right(0), left(255), right(255)), std::tuple(16352, 32, 8192, 8192));
  mix(kInterpolationRampedCubic, v, 511, 2);
  EXPECT_EQ(std::tuple(v.rampPanning, v.rampVolume, left(511), right(511)), std::tuple(4096, 65536, 0, 16384));
}

}  // namespace
}  // namespace tvp::testing
