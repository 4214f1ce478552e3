#pragma once
// Packs 8-bit frames in the 4-bit ADPCM some trackers write: a table of 16 steps, then two
// codes a byte, low nibble first. Each frame takes the step closest to its difference from the
// frame before, so frames whose differences are all in the table come back exactly.
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tvp::test {

inline constexpr int8_t kAdpcmSteps[16] = {0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};

inline std::vector<uint8_t> EncodeAdpcm(const std::vector<int>& frames) {
  std::vector<uint8_t> out(kAdpcmSteps, kAdpcmSteps + 16);
  out.resize(16 + (frames.size() + 1) / 2, 0);
  int value = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    int best = 0;
    for (int code = 1; code < 16; ++code)
      if (std::abs(frames[i] - value - kAdpcmSteps[code]) < std::abs(frames[i] - value - kAdpcmSteps[best])) best = code;
    value = static_cast<int8_t>(value + kAdpcmSteps[best]);
    out[16 + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? best : best << 4);
  }
  return out;
}

}  // namespace tvp::test
