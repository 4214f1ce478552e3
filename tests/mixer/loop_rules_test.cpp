// How a one-shot voice ends inside its stretch, and which loops a mode chooses.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

constexpr int32_t kModes[] = {kInterpolationNone, kInterpolationLinear, kInterpolationStairs,
                              kInterpolationCubic, kInterpolationRampedCubic};

// Frames scale, 2 x scale, 3 x scale, ...
std::vector<int16_t> steps(int32_t count, int32_t scale) {
  std::vector<int16_t> frames;
  for (int32_t i = 0; i < count; ++i) frames.push_back(static_cast<int16_t>(scale * (i + 1)));
  return frames;
}

using LoopRulesTest = MixerTest;

TEST_F(LoopRulesTest, OneShotEndsInsideTheStretchAndLeavesLaterFramesAlone) {
  const TestSample s = makeSample(steps(10, 1000));
  Voice v = voiceFor(s);
  setStep(v, 0x18000);  // 1.5 frames: frames 0, 1, 3, 4, 6, 7, 9 are heard, then 10.5 is past the end
  EXPECT_EQ(mix(kInterpolationNone, v, 3, 20), 1);
  const int32_t heard[] = {500, 1000, 2000, 2500, 3500, 4000, 5000};  // at half gain on each side
  for (int32_t n = 0; n < 7; ++n) EXPECT_EQ(std::pair(left(3 + n), right(3 + n)), std::pair(heard[n], heard[n]));
  EXPECT_EQ(left(2), 0);
  EXPECT_TRUE(untouchedFrom(10));
  EXPECT_EQ(std::tuple(v.active, v.position, v.positionFraction), std::tuple(0, 20, 32768));  // the position is kept

  // Ending on the last frame of a stretch still ends the voice; the guards repeat the last frame.
  const TestSample four = makeSample(steps(4, 100));
  Voice w = voiceFor(four);
  setStep(w, 0x10000);
  w.active = kVoiceSounding | kVoiceKeyHeld;
  mix(kInterpolationCubic, w, 20, 3);
  EXPECT_EQ(w.active, kVoiceSounding | kVoiceKeyHeld);
  mix(kInterpolationCubic, w, 23, 1);
  EXPECT_EQ(std::tuple(w.active, w.position, left(23)), std::tuple(0, 8, 200));
  // A step that lands exactly on the end mixes nothing there.
  Voice x = voiceFor(four);
  setStep(x, 0x10000);
  EXPECT_EQ(mix(kInterpolationNone, x, 30, 6), 1);
  EXPECT_EQ(std::tuple(x.active, left(33)), std::tuple(0, 200));
  EXPECT_TRUE(untouchedFrom(34));
  // Modes past the last mix as mode 0.
  for (int32_t mode : {-1, 4, 8}) EXPECT_EQ(mixRoutinesFor(mode).plain, mixRoutinesFor(kInterpolationNone).plain) << mode;
}

}  // namespace
}  // namespace tvp::testing
