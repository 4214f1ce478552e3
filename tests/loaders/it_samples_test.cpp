// IT packed sample data: round trips through several blocks and every kind of width change, data
// cut short or naming a block past its end, and hand-packed bits with good and bad widths.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "soundtrack/it_samples.h"
#include "tests/support/it_sample_encoder.h"

namespace tvp::test {
namespace {

struct Kind {
  bool sixteenBit, it215;
  int top() const { return sixteenBit ? 17 : 9; }
  int32_t block() const { return sixteenBit ? kItBlockFrames16 : kItBlockFrames8; }
};
constexpr Kind kKinds[] = {{false, false}, {false, true}, {true, false}, {true, true}};

// Three blocks of frames whose deltas (with it215, changes of deltas) come in runs of random size.
std::vector<int16_t> Frames(const Kind& k) {
  std::mt19937 random(7);
  const int bits = k.sixteenBit ? 16 : 8;
  std::vector<int16_t> out(2 * k.block() + 500);
  int32_t value = 0, change = 0, spread = 1;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i % 3 == 0) spread = 1 << (random() % bits);
    const int32_t delta = static_cast<int32_t>(random() % (2 * spread)) - spread;
    change = k.it215 ? it_detail::Wrap(change + delta, bits) : delta;
    value = it_detail::Wrap(value + change, bits);
    out[i] = static_cast<int16_t>(k.sixteenBit ? value : value * 256);
  }
  return out;
}

struct Decoded {
  bool ok;
  int64_t consumed;
  std::vector<int16_t> frames;
};
// Decodes the first `size` bytes from a buffer of just that size, into frames that start non-zero.
Decoded Decode(const std::vector<uint8_t>& bytes, size_t size, const Kind& k, size_t frames) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
  std::copy(bytes.begin(), bytes.begin() + size, exact.get());
  Decoded d{false, -1, std::vector<int16_t>(frames, 0x5555)};
  d.ok = DecodeItCompressed(exact.get(), size, k.sixteenBit, k.it215, frames, d.frames.data(), &d.consumed);
  return d;
}

TEST(ItSamples, RoundTripThroughBlocksAndEveryWidthChange) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(testing::Message() << "16-bit " << k.sixteenBit << " it215 " << k.it215);
    const std::vector<int16_t> frames = Frames(k);
    ItWidthChanges changes;
    std::vector<uint8_t> bytes = EncodeItCompressed(frames, k.sixteenBit, k.it215, &changes);
    for (int w = 1; w <= k.top(); ++w) {
      EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [w](auto c) { return c.first == w; })) << w;
      EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [w](auto c) { return c.second == w; })) << w;
    }
    const int64_t packed = static_cast<int64_t>(bytes.size());
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF});  // what follows the sample is not read
    const Decoded d = Decode(bytes, bytes.size(), k, frames.size());
    EXPECT_TRUE(d.ok && d.consumed == packed && d.frames == frames);
  }
}

// Cut data, or a block count past the end, fails but keeps the frames the bytes held.
TEST(ItSamples, ShortDataKeepsWhatItHoldsAndLeavesTheRestAtZero) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(testing::Message() << "16-bit " << k.sixteenBit << " it215 " << k.it215);
    const std::vector<int16_t> frames = Frames(k);
    const std::vector<uint8_t> bytes = EncodeItCompressed(frames, k.sixteenBit, k.it215);
    const size_t second = 2 + (bytes[0] | bytes[1] << 8);  // where the second and third blocks start
    const size_t third = second + 2 + (bytes[second] | bytes[second + 1] << 8);
    std::vector<uint8_t> pastEnd = bytes;
    pastEnd[third] = static_cast<uint8_t>(bytes.size() - third - 1);  // one byte more than there is
    pastEnd[third + 1] = static_cast<uint8_t>((bytes.size() - third - 1) >> 8);
    // {bytes, size, frames that must come back}
    const std::tuple<const std::vector<uint8_t>*, size_t, int32_t> cases[] = {
        {&bytes, second + 1, k.block()},
        {&bytes, second + 2 + (third - second) / 2, k.block() + 1},
        {&bytes, bytes.size() - 1, 2 * k.block()},
        {&pastEnd, pastEnd.size(), 2 * k.block()}};
    for (const auto& [data, size, kept] : cases) {
      const Decoded d = Decode(*data, size, k, frames.size());
      EXPECT_FALSE(d.ok) << size;
      EXPECT_LE(d.consumed, static_cast<int64_t>(size));
      const auto good = std::mismatch(frames.begin(), frames.end(), d.frames.begin()).first - frames.begin();
      EXPECT_GE(good, kept) << size;
      EXPECT_TRUE(std::all_of(d.frames.begin() + good, d.frames.end(), [](int16_t f) { return f == 0; })) << size;
    }
  }
}

TEST(ItSamples, HandPackedBits) {
  // 5 at width 9, the mark to width 3 (0x102), then -1 at width 3.
  const std::vector<uint8_t> good = {0x03, 0x00, 0x05, 0x04, 0x1E};
  EXPECT_EQ(Decode(good, good.size(), {false, false}, 2).frames, (std::vector<int16_t>{1280, 1024}));
  EXPECT_EQ(Decode(good, good.size(), {false, true}, 2).frames, (std::vector<int16_t>{1280, 2304}));
  // 5 at the top width, then a mark to width 0 or to one past the top.
  for (const Kind& k : {Kind{false, false}, Kind{true, false}})
    for (uint32_t mark : {0xFFu, static_cast<uint32_t>(k.top())}) {
      ItBitWriter w;
      w.put(5, k.top());
      w.put((1u << (k.top() - 1)) | mark, k.top());
      w.put(0, k.top());
      std::vector<uint8_t> bytes = {static_cast<uint8_t>(w.bytes.size()), 0};
      bytes.insert(bytes.end(), w.bytes.begin(), w.bytes.end());
      const Decoded d = Decode(bytes, bytes.size(), k, 3);
      EXPECT_FALSE(d.ok) << mark;
      EXPECT_EQ(d.frames, (std::vector<int16_t>{static_cast<int16_t>(k.sixteenBit ? 5 : 1280), 0, 0})) << mark;
    }
}

}  // namespace
}  // namespace tvp::test
