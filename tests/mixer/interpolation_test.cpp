// Interpolators and gains, each checked against a value worked out by hand from the formulas, and
// the choice of loops by interpolation mode.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

constexpr int32_t kHardLeft = -4096;  // gainLeft = 65536, gainRight = 0: the left sum gets s itself

class InterpolationTest : public MixerTest {
 protected:
  // The value one frame of `mode` yields at `frame` + fraction, read back through a hard-left voice.
  int32_t valueAt(int32_t mode, const std::vector<int16_t>& frames, int32_t frame, int32_t fraction) {
    const TestSample s = makeSample(frames);
    Voice v = voiceFor(s);
    v.panning = kHardLeft;
    v.rampPanning = kHardLeft;
    v.position = 2 * frame;
    v.positionFraction = fraction;
    mix_.assign(mix_.size(), 0);
    EXPECT_EQ(mix(mode, v, 0, 1), 1);
    EXPECT_EQ(right(0), 0);
    return left(0);
  }
};

TEST_F(InterpolationTest, NoneTakesTheFrameAtOrBeforeThePosition) {
  EXPECT_EQ(valueAt(kInterpolationNone, {100, 200, 300}, 1, 0), 200);
  EXPECT_EQ(valueAt(kInterpolationNone, {100, 200, 300}, 1, 65535), 200);
}

TEST_F(InterpolationTest, GainsFollowVolumeAndPanningWithFlooringShifts) {
  const TestSample s = makeSample({-20001, 0});
  Voice v = voiceFor(s);
  // Centre at full volume: half of the sample on each side.
  EXPECT_EQ(mix(kInterpolationNone, v, 0, 1), 1);
  EXPECT_EQ(left(0), -10001);  // -20001 * 32768 >> 16 = -10000.5, floored
  EXPECT_EQ(right(0), -10001);
  // volume 0x8000, panning 2048: gainLeft = 2048 * 32768 >> 13 = 8192, gainRight = 24576.
  v.position = 0;
  v.volume = 0x8000;
  v.panning = 2048;
  mix(kInterpolationNone, v, 1, 1);
  EXPECT_EQ(left(1), -2501);  // -20001 * 8192 / 65536 = -2500.125
  EXPECT_EQ(right(1), -7501);  // -20001 * 24576 / 65536 = -7500.375
  // Hard right: everything on the right.
  v.position = 0;
  v.volume = 0x10000;
  v.panning = 4096;
  mix(kInterpolationNone, v, 2, 1);
  EXPECT_EQ(left(2), 0);
  EXPECT_EQ(right(2), -20001);
}

TEST_F(InterpolationTest, LinearUsesTheHalvedFraction) {
  // 1000 + (8192 * 2000 >> 15) = 1500.
  EXPECT_EQ(valueAt(kInterpolationLinear, {1000, 3000}, 0, 16384), 1500);
  // Falling: 3000 + (20000 * -2000 >> 15) = 3000 - 1220.7..., floored to 3000 - 1221.
  EXPECT_EQ(valueAt(kInterpolationLinear, {3000, 1000}, 0, 40001), 1779);
  // The lowest fraction bit is dropped: 16385 gives the same as 16384.
  EXPECT_EQ(valueAt(kInterpolationLinear, {1000, 3000}, 0, 16385), 1500);
  // Full-scale span without overflow: -32768 + (32767 * 65535 >> 15) = 32765.
  EXPECT_EQ(valueAt(kInterpolationLinear, {-32768, 32767}, 0, 65535), 32765);
}

TEST_F(InterpolationTest, StairsHoldsThreeQuartersThenSlides) {
  EXPECT_EQ(valueAt(kInterpolationStairs, {0, 32767}, 0, 0), 0);
  EXPECT_EQ(valueAt(kInterpolationStairs, {0, 32767}, 0, 49152), 0);
  EXPECT_EQ(valueAt(kInterpolationStairs, {0, 32767}, 0, 49153), 1);       // 1 * 32767 >> 14
  EXPECT_EQ(valueAt(kInterpolationStairs, {0, 32767}, 0, 65535), 32765);   // 16383 * 32767 >> 14
  EXPECT_EQ(valueAt(kInterpolationStairs, {0, -32768}, 0, 49153), -2);     // -32768 >> 14
  EXPECT_EQ(valueAt(kInterpolationStairs, {500, -500}, 0, 57344), 0);      // half way down the slide
}

TEST_F(InterpolationTest, CubicFollowsTheHalvedLagrangeSteps) {
  // a = -1000, b = 2000, c = 5000, e = -3000, t = 16384:
  //   c1 = 5000 - 1000 - T(-1500 - 1000) = 4000 + 833 = 4833
  //   c3 = 1000 - 2500 + T(-1500 + 500) = -1500 - 333 = -1833
  //   h = (-1833 * 16384 >> 16) - ((2000 - 2500 + 500) >> 1) = -459 - 0
  //   h = -459 * 16384 >> 15 = -230
  //   s = 2000 + ((-230 + 2416) * 16384 >> 14) = 4186   (exact Lagrange: 4187.5)
  EXPECT_EQ(valueAt(kInterpolationCubic, {-1000, 2000, 5000, -3000}, 1, 32768), 4186);
  // At fraction 0 the curve passes through b.
  EXPECT_EQ(valueAt(kInterpolationCubic, {-1000, 2000, 5000, -3000}, 1, 0), 2000);
  // Frame 0 takes a from the zero guard frame before the data: a = 0, b = 2000, c = 5000,
  // e = -3000, t = 16384: c1 = 5000 - 1000 - T(-1500) = 4500, c3 = 1000 - 2500 + T(-1500) = -2000,
  // h = -500 - ((2000 - 2500) >> 1) = -250, h = -125, s = 2000 + (2250 - 125) = 4125.
  EXPECT_EQ(valueAt(kInterpolationCubic, {2000, 5000, -3000, 0}, 0, 32768), 4125);
}

TEST_F(InterpolationTest, CubicOvershootOnAFullScaleSquareIsClamped) {
  // -,+,+,- at full scale peaks at 40959 half way between the two highs; likewise -40960 below.
  EXPECT_EQ(valueAt(kInterpolationCubic, {-32768, 32767, 32767, -32768}, 1, 32768), 32767);
  EXPECT_EQ(valueAt(kInterpolationCubic, {32767, -32768, -32768, 32767}, 1, 32768), -32768);
  EXPECT_EQ(valueAt(kInterpolationRampedCubic, {-32768, 32767, 32767, -32768}, 1, 32768), 32767);
}

// Modes 4 to 6 and any unknown mode use the mode-0 loops.
TEST_F(InterpolationTest, ModesWithoutLoopsOfTheirOwnMixExactlyLikeNone) {
  std::vector<int16_t> frames;
  for (int i = 0; i < 64; ++i) frames.push_back(static_cast<int16_t>((i * 7919) % 65536 - 32768));
  const TestSample s = makeSample(frames, LoopKind::kPingPong, 10, 50);
  auto run = [&](int32_t mode, bool arpeggio) {
    Voice v = voiceFor(s);
    v.volume = 40000;
    v.panning = -1234;
    v.positionFraction = 12345;
    setStep(v, 0x2C000);  // 2.75 frames per frame
    mix_.assign(mix_.size(), 0);
    mix(mode, v, 0, 300, arpeggio);
    std::vector<int32_t> out = mix_;
    out.push_back(v.position);
    out.push_back(v.positionFraction);
    out.push_back(static_cast<int32_t>(v.loopFlags));
    return out;
  };
  for (bool arpeggio : {false, true}) {
    const std::vector<int32_t> none = run(kInterpolationNone, arpeggio);
    EXPECT_NE(none, run(kInterpolationLinear, arpeggio));  // the comparison can tell modes apart
    for (int32_t mode : {4, 5, 6, 8, 255, -1, 32767}) EXPECT_EQ(run(mode, arpeggio), none) << "mode " << mode;
  }
  EXPECT_EQ(mixRoutinesFor(5).plain, mixRoutinesFor(0).plain);
  EXPECT_NE(mixRoutinesFor(3).plain, mixRoutinesFor(7).plain);
}

}  // namespace
}  // namespace tvp::testing
