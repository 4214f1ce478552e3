#pragma once
// The conversion of a buffer's sums to 16-bit output frames, shared by the vector loops of every
// instruction set (mix_routines.cpp, mix_routines_avx2.cpp): the frames a vector loop leaves and
// the channels' peaks.
#include <algorithm>
#include <cstdint>

#include "mixer/interpolators.h"  // the instruction set's namespace
#include "mixer/mix_routines.h"

namespace tvp {
inline namespace TVP_MIX_ISA {
namespace convert {

// What a vector loop found in the samples it converted: per channel the largest magnitude written
// and whether any sum had to be limited.
struct ChannelPeaks {
  int32_t peak[2] = {0, 0};  // left, right
  bool clipped[2] = {false, false};
};

// Converts samples [i, samples) one by one into `peaks` and returns both channels' buffer peaks.
inline OutputPeaks finish(int32_t* sums, int16_t* destination, int32_t i, int32_t samples, ChannelPeaks peaks) {
  for (; i < samples; ++i) {
    const int32_t limited = std::clamp(sums[i], -32767, 32767);
    destination[i] = static_cast<int16_t>(limited);
    peaks.peak[i & 1] = std::max(peaks.peak[i & 1], limited < 0 ? -limited : limited);
    peaks.clipped[i & 1] |= limited != sums[i];
    sums[i] = 0;
  }
  return {peaks.clipped[0] ? 0x10000 : peaks.peak[0], peaks.clipped[1] ? 0x10000 : peaks.peak[1]};
}

}  // namespace convert
}  // namespace TVP_MIX_ISA
}  // namespace tvp
