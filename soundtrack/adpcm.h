#pragma once
// The 4-bit ADPCM packing several trackers write for 8-bit samples: a table of 16 signed byte
// steps, then two codes a byte, the low nibble first. Each code adds its step to a running
// 8-bit value (wrapping), which is the frame.
#include <algorithm>
#include <cstdint>

namespace tvp {

inline constexpr int32_t kAdpcmTableBytes = 16;

// The bytes `frames` frames take in a file.
constexpr int64_t AdpcmBytes(int64_t frames) { return kAdpcmTableBytes + (frames + 1) / 2; }

// The frames `bytes` bytes hold; none without the whole table.
constexpr int64_t AdpcmFrames(int64_t bytes) { return bytes < kAdpcmTableBytes ? 0 : (bytes - kAdpcmTableBytes) * 2; }

// Decodes up to `frames` frames from `size` bytes into 16-bit frames (value x 256); returns how
// many the bytes held.
inline int32_t DecodeAdpcm(const uint8_t* bytes, int64_t size, int32_t frames, int16_t* out) {
  const int32_t count = static_cast<int32_t>(std::clamp<int64_t>(AdpcmFrames(size), 0, frames));
  int8_t value = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t codes = bytes[kAdpcmTableBytes + i / 2];
    const int32_t code = (i & 1) != 0 ? codes >> 4 : codes & 0x0F;
    value = static_cast<int8_t>(value + static_cast<int8_t>(bytes[code]));
    out[i] = static_cast<int16_t>(value * 256);
  }
  return count;
}

}  // namespace tvp
