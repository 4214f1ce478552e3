// The filtering loops: the recurrence with its state carried across calls, a transparent filter
// mixing what the plain loops mix, and the limits that keep a ringing filter inside the sums.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

using FilterTest = MixerTest;

constexpr int32_t kOne = 1 << 24;

Voice filtered(const TestSample& s, int32_t a0, int32_t b1, int32_t b2) {
  Voice v = voiceFor(s);
  setStep(v, 0x10000);
  v.filterOn = 1;
  v.filterA0 = a0;
  v.filterB1 = b1;
  v.filterB2 = b2;
  return v;
}

TEST_F(FilterTest, ATransparentFilterMixesWhatThePlainLoopsMixInEveryMode) {
  std::vector<int16_t> frames;
  for (int i = 0; i < 300; ++i) frames.push_back(static_cast<int16_t>((i * 977) % 20000 - 10000));
  const TestSample s = makeSample(frames, LoopKind::kForward, 100, 300);
  for (int32_t mode : {kInterpolationNone, kInterpolationLinear, kInterpolationCubic, kInterpolationRampedCubic}) {
    Voice plain = filtered(s, kOne, 0, 0), through = plain;
    setStep(plain, 0x18000);
    setStep(through, 0x18000);
    mix(mode, plain, 0, 1000);
    const std::vector<int32_t> expected = mix_;
    std::fill(mix_.begin(), mix_.end(), 0);
    mixRoutinesFor(mode, isa_).filtered(engine_, &through, 0, 1000);
    EXPECT_EQ(mix_, expected) << "mode " << mode;
    // The filtering loops count the arpeggio clock, which moves nothing without an arpeggio.
    std::vector<int64_t> moved = Motion(through), expectedMotion = Motion(plain);
    moved.resize(4);
    expectedMotion.resize(4);
    EXPECT_EQ(moved, expectedMotion);
    std::fill(mix_.begin(), mix_.end(), 0);
  }
}

TEST_F(FilterTest, TheRecurrenceRunsOnAcrossCallsAndRingingStaysInsideTheSampleRange) {
  const TestSample s = makeSample(std::vector<int16_t>(400, 16384), LoopKind::kForward, 0, 400);
  // y = x / 2 + y1 / 2: 8192, 12288, 14336, ... halved again by the centred gains.
  Voice w = filtered(s, kOne / 2, kOne / 2, 0);
  const MixRoutine run = mixRoutinesFor(kInterpolationNone, isa_).filtered;
  run(engine_, &w, 0, 2);
  run(engine_, &w, 2, 2);
  EXPECT_EQ(std::vector<int32_t>({left(0), left(1), left(2), left(3)}), std::vector<int32_t>({4096, 6144, 7168, 7680}));
  EXPECT_EQ(w.filterY1, 15360 * 256);

  // Poles on the unit circle ring for ever; the state and what is mixed stay limited.
  std::fill(mix_.begin(), mix_.end(), 0);
  Voice ringing = filtered(s, kOne, 2 * kOne - 1, -kOne);
  run(engine_, &ringing, 0, 4000);
  for (int32_t f = 0; f < 4000; ++f) ASSERT_LE(std::abs(left(f)), 32767 / 2 + 1) << f;
  EXPECT_LE(std::abs(ringing.filterY1), 1 << 28);
}

}  // namespace
}  // namespace tvp::testing
