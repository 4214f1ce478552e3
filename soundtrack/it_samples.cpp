// IT packed samples. A block is a 16-bit little-endian byte count and that many bytes of bits,
// read from the lowest bit of each byte up. The bits are codes of `width` bits each; a code is
// either a delta to add to the running value or a mark that changes the width:
//   width 1..6:   the code with only its top bit set; the new width follows in 3 bits (8-bit
//                 data) or 4 bits (16-bit data), as width - 1 with the current width skipped.
//   width 7..top-1: the 8 (or 16) codes just around the middle of the code range, standing for
//                 the widths 1..8 (1..16), the current one skipped.
//   width top:    (9 for 8-bit data, 17 for 16-bit) a code with its top bit set; its low byte
//                 plus 1 is the new width.
// Each block starts at the top width with the running values at 0, and holds at most 0x8000
// (8-bit) or 0x4000 (16-bit) frames. The later packing keeps a second running value that sums
// the first, so what is stored is the change of the change.
#include "soundtrack/it_samples.h"

#include <algorithm>

#include "soundtrack/byte_reader.h"

namespace tvp {
namespace {

// The low `bits` bits of `value` as a signed number.
int32_t SignExtend(uint32_t value, int bits) {
  const int shift = 32 - bits;
  return static_cast<int32_t>(value << shift) >> shift;
}

// The bits of one block, lowest first. Never reads past `size`.
struct BitReader {
  const uint8_t* data;
  int64_t size;
  int64_t position = 0;  // bytes read
  uint32_t buffer = 0;
  int buffered = 0;

  // Reads a code of 1..17 bits; false when the block ends first.
  bool read(int bits, uint32_t* code) {
    while (buffered < bits) {
      if (position >= size) return false;
      buffer |= uint32_t{data[position++]} << buffered;
      buffered += 8;
    }
    *code = buffer & ((1u << bits) - 1);
    buffer >>= bits;
    buffered -= bits;
    return true;
  }
};

// What differs between 8-bit and 16-bit data.
struct Layout {
  int sampleBits;    // 8 or 16
  int topWidth;      // the width a block starts at: 9 or 17
  int newWidthBits;  // the bits after a mark of width 1..6: 3 or 4
  int32_t blockFrames;
};

enum class Step { kFrame, kWidthChanged, kEnded, kBadWidth };

// Reads one code at `*width`: a delta in `*delta`, or a mark that sets `*width`.
Step ReadCode(BitReader& bits, const Layout& layout, int* width, int32_t* delta) {
  uint32_t code = 0;
  if (!bits.read(*width, &code)) return Step::kEnded;
  int next = 0;  // the width a mark asks for
  if (*width < 7) {
    if (code == 1u << (*width - 1)) {
      uint32_t coded = 0;
      if (!bits.read(layout.newWidthBits, &coded)) return Step::kEnded;
      next = static_cast<int>(coded) + 1;
      if (next >= *width) ++next;
    }
  } else if (*width < layout.topWidth) {
    const int32_t marks = 1 << layout.newWidthBits;  // 8 or 16 codes around the middle
    const int32_t border = (1 << (*width - 1)) - 1 - marks / 2;
    const int32_t value = static_cast<int32_t>(code);
    if (value > border && value <= border + marks) {
      next = value - border;
      if (next >= *width) ++next;
    }
  } else if (code >> (layout.topWidth - 1) != 0) {
    next = static_cast<int>((code + 1) & 0xFF);
    if (next == 0 || next > layout.topWidth) return Step::kBadWidth;
  }
  if (next != 0) {
    *width = next;
    return Step::kWidthChanged;
  }
  *delta = SignExtend(code, std::min(*width, layout.sampleBits));
  return Step::kFrame;
}

// Decodes the `frames` frames of one block; false when its bits end early or hold a bad width.
bool DecodeBlock(BitReader& bits, const Layout& layout, bool it215, int32_t frames, int16_t* out) {
  int width = layout.topWidth;
  int32_t value = 0;   // the running value: the frame, or with it215 the change of the frame
  int32_t second = 0;  // with it215, the sum of `value`: the frame
  const int scale = layout.sampleBits == 8 ? 256 : 1;
  for (int32_t i = 0; i < frames;) {
    int32_t delta = 0;
    switch (ReadCode(bits, layout, &width, &delta)) {
      case Step::kWidthChanged:
        continue;
      case Step::kEnded:
      case Step::kBadWidth:
        return false;
      case Step::kFrame:
        break;
    }
    value = SignExtend(static_cast<uint32_t>(value + delta), layout.sampleBits);
    second = SignExtend(static_cast<uint32_t>(second + value), layout.sampleBits);
    out[i++] = static_cast<int16_t>((it215 ? second : value) * scale);
  }
  return true;
}

}  // namespace

bool DecodeItCompressed(const uint8_t* data, int64_t size, bool sixteenBit, bool it215, int32_t frames, int16_t* out,
                        int64_t* consumed) {
  const Layout layout = sixteenBit ? Layout{16, 17, 4, kItBlockFrames16} : Layout{8, 9, 3, kItBlockFrames8};
  *consumed = 0;
  if (frames <= 0) return true;
  std::fill(out, out + frames, int16_t{0});
  int64_t position = 0;
  for (int32_t done = 0; done < frames;) {
    if (size - position < 2) return false;
    const int64_t length = ReadU16LE(data + position);
    position += 2;
    *consumed = position;
    // A block cut by the end of the data still gives the frames its bytes hold.
    const bool cut = length > size - position;
    BitReader bits{data + position, cut ? size - position : length};
    const int32_t count = std::min(frames - done, layout.blockFrames);
    if (!DecodeBlock(bits, layout, it215, count, out + done) || cut) {
      *consumed = position + bits.position;
      return false;
    }
    position += length;
    *consumed = position;
    done += count;
  }
  return true;
}

}  // namespace tvp
