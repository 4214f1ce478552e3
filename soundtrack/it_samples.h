#pragma once
// The packed sample data of IT files: blocks of bit-packed deltas whose bit width changes as it
// goes, each block a 16-bit byte count and then that many bytes.
#include <cstdint>

namespace tvp {

// The most frames one block holds.
inline constexpr int32_t kItBlockFrames8 = 0x8000;
inline constexpr int32_t kItBlockFrames16 = 0x4000;

// Decodes `frames` frames of one channel from the `size` bytes at `data` into 16-bit frames
// (8-bit samples x 256). `it215` is the later packing that integrates twice. Returns false when
// the bytes end early or hold a bad width; the frames decoded by then are kept, the others are 0.
// `*consumed` is the bytes read: whole blocks on success, up to the last byte read otherwise.
bool DecodeItCompressed(const uint8_t* data, int64_t size, bool sixteenBit, bool it215, int32_t frames, int16_t* out,
                        int64_t* consumed);

}  // namespace tvp
