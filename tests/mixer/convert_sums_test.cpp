// The conversion of the sums to output frames, for every instruction set the mixer is built for:
// the limits, the peaks and clip flags wherever a frame falls against the vector width, and the
// sums left cleared for the next buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "mixer/mix_routines.h"

namespace tvp::testing {
namespace {

class ConvertSumsTest : public ::testing::TestWithParam<MixIsa> {};

TEST_P(ConvertSumsTest, LimitsReportsPeaksAndClearsAnyFrameCount) {
  if (!mixIsaSupported(GetParam())) GTEST_SKIP() << "this processor or build has no such loops";
  std::mt19937 rng(0xC0417u);
  auto uniform = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(rng); };
  const int32_t extremes[] = {32767, -32767, -32768, 32768, 40000, INT32_MIN, INT32_MAX, 0};
  for (int32_t count : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 4093, 4096}) {
    for (int32_t trial = 0; trial < 24; ++trial) {
      // Quiet sums, with one extreme (or none) in a random channel and frame.
      std::vector<int32_t> sums(2 * 4096 + 8, 0);
      for (int32_t i = 0; i < 2 * count; ++i) sums[i] = uniform(-3000, 3000);
      if (count > 0 && trial < 16) sums[uniform(0, 2 * count - 1)] = extremes[trial % 8];
      const std::vector<int32_t> given = sums;
      std::vector<int16_t> out(2 * 4096 + 8, 123);
      const OutputPeaks peaks = convertSums(sums.data(), out.data(), count, GetParam());
      int32_t peak[2] = {0, 0};
      for (int32_t i = 0; i < 2 * count; ++i) {
        const int32_t limited = std::clamp(given[i], -32767, 32767);
        ASSERT_EQ(out[i], limited) << count << " " << i;
        peak[i & 1] = std::max(peak[i & 1], limited != given[i] ? 0x10000 : std::abs(limited));
      }
      ASSERT_EQ(std::pair(peaks.left, peaks.right), std::pair(peak[0], peak[1])) << count << " " << trial;
      ASSERT_TRUE(std::all_of(sums.begin(), sums.end(), [](int32_t s) { return s == 0; })) << count;
      ASSERT_TRUE(std::all_of(out.begin() + 2 * count, out.end(), [](int16_t s) { return s == 123; })) << count;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Isa, ConvertSumsTest, ::testing::Values(MixIsa::kSse2, MixIsa::kAvx2),
                         [](const ::testing::TestParamInfo<MixIsa>& info) {
                           return info.param == MixIsa::kSse2 ? "Sse2" : "Avx2";
                         });

}  // namespace
}  // namespace tvp::testing
