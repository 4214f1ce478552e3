#pragma once
// Packs frames the way IT files pack samples, for the decoder's tests: blocks of at most 0x8000
// (8-bit) or 0x4000 (16-bit) frames, each a 16-bit byte count and the bits. Every delta is
// written at the narrowest width that holds it, changing the width with the mark the current
// width uses, so varied data goes through every kind of width change. A block that would not
// fit its 16-bit count is written at the top width throughout instead.
#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace tvp::test {

// The bits of one block, lowest bit of each byte first.
struct ItBitWriter {
  std::vector<uint8_t> bytes;
  int used = 8;  // bits used in the last byte

  void put(uint32_t code, int bits) {
    for (int i = 0; i < bits; ++i, ++used) {
      if (used == 8) bytes.push_back(0), used = 0;
      bytes.back() |= static_cast<uint8_t>(((code >> i) & 1) << used);
    }
  }
};

// The (from, to) width pairs of the changes an encoding made.
using ItWidthChanges = std::set<std::pair<int, int>>;

namespace it_detail {

struct Layout {
  int sampleBits, topWidth, newWidthBits;
};

// Whether `delta` can be written as a delta at `width`, rather than colliding with a mark.
inline bool Holds(const Layout& l, int width, int32_t delta) {
  if (width == l.topWidth) return true;
  const int32_t half = 1 << (width - 1);
  if (width < 7) return delta > -half && delta < half;
  const int32_t marks = 1 << l.newWidthBits;
  return delta >= -half + marks / 2 && delta < half - marks / 2;
}

inline void ChangeWidth(ItBitWriter& w, const Layout& l, int from, int to) {
  const int skipped = to < from ? to : to - 1;  // the current width is never named
  if (from < 7) {
    w.put(1u << (from - 1), from);
    w.put(static_cast<uint32_t>(skipped - 1), l.newWidthBits);
  } else if (from < l.topWidth) {
    const int32_t border = (1 << (from - 1)) - 1 - (1 << l.newWidthBits) / 2;
    w.put(static_cast<uint32_t>(border + skipped), from);
  } else {
    w.put((1u << (l.topWidth - 1)) | static_cast<uint32_t>(to - 1), from);
  }
}

inline int32_t Wrap(int32_t v, int bits) {
  return static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - bits)) >> (32 - bits);
}

inline ItBitWriter EncodeBlock(const Layout& l, const int16_t* frames, int32_t count, bool it215, bool narrow,
                               ItWidthChanges* changes) {
  ItBitWriter w;
  int width = l.topWidth;
  int32_t previous = 0, previousChange = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t sample = l.sampleBits == 8 ? frames[i] >> 8 : frames[i];
    int32_t delta = Wrap(sample - previous, l.sampleBits);
    previous = sample;
    if (it215) {
      const int32_t change = delta;
      delta = Wrap(change - previousChange, l.sampleBits);
      previousChange = change;
    }
    int best = narrow ? 1 : l.topWidth;
    while (!Holds(l, best, delta)) ++best;
    if (best != width) {
      ChangeWidth(w, l, width, best);
      if (changes != nullptr) changes->insert({width, best});
      width = best;
    }
    const int valueBits = width < l.sampleBits ? width : l.sampleBits;
    w.put(static_cast<uint32_t>(delta) & ((1u << valueBits) - 1), width);
  }
  return w;
}

}  // namespace it_detail

inline std::vector<uint8_t> EncodeItCompressed(const std::vector<int16_t>& frames, bool sixteenBit, bool it215,
                                               ItWidthChanges* changes = nullptr) {
  const it_detail::Layout layout = sixteenBit ? it_detail::Layout{16, 17, 4} : it_detail::Layout{8, 9, 3};
  const int32_t blockFrames = sixteenBit ? 0x4000 : 0x8000;
  std::vector<uint8_t> out;
  for (size_t start = 0; start < frames.size(); start += blockFrames) {
    const int32_t count = static_cast<int32_t>(std::min<size_t>(blockFrames, frames.size() - start));
    ItWidthChanges made;
    ItBitWriter block = it_detail::EncodeBlock(layout, frames.data() + start, count, it215, true, &made);
    if (block.bytes.size() > 0xFFFF)
      block = it_detail::EncodeBlock(layout, frames.data() + start, count, it215, false, nullptr);
    else if (changes != nullptr)
      changes->insert(made.begin(), made.end());
    out.push_back(static_cast<uint8_t>(block.bytes.size()));
    out.push_back(static_cast<uint8_t>(block.bytes.size() >> 8));
    out.insert(out.end(), block.bytes.begin(), block.bytes.end());
  }
  return out;
}

}  // namespace tvp::test
