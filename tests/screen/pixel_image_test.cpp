// The "Pxlr" reader on hand-built pictures: margins, escape and repeated-byte coding, serpentine
// rows, back references, and sizes and lengths it must not trust.
#include "screen/pixel_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "soundtrack/status.h"
#include "tests/support/picture_check.h"

namespace tvp {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes* b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b->push_back(static_cast<uint8_t>(v >> s));
}

Bytes Chunk(const char* tag, const Bytes& data) {
  Bytes b(tag, tag + 4);
  Put32(&b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes Info(int w, int h, int colours) {
  return Chunk("IINF", {uint8_t(w >> 8), uint8_t(w), uint8_t(h >> 8), uint8_t(h), uint8_t(colours >> 8),
                        uint8_t(colours), 0, 0});
}

Bytes Picture(const std::vector<Bytes>& chunks) {
  Bytes area = {0, 0, 0, 18};
  for (const Bytes& c : chunks) area.insert(area.end(), c.begin(), c.end());
  Bytes b = {'P', 'x', 'l', 'r'};
  Put32(&b, static_cast<uint32_t>(area.size()));
  b.insert(b.end(), area.begin(), area.end());
  return b;
}

struct Decoded {
  Pixmap* pixmap = nullptr;  // before status: the decode in status's initializer fills it
  int32_t status;
  explicit Decoded(const Bytes& b) : status(DecodePixelImage(&pixmap, b.data(), static_cast<int32_t>(b.size()))) {}
  ~Decoded() { PixmapDispose(pixmap); }
};

const testing::Legend kDigits{{'0', 0}, {'1', 1}, {'2', 2}, {'3', 3}, {'7', 7}, {'9', 9}};

TEST(PixelImageTest, RepeatedByteCodingFromTwoHundredFiftySixColours) {
  Decoded d(Picture({Info(5, 1, 256), Chunk("PIX1", {1, 2, 2, 3, 9})}));
  ASSERT_EQ(d.status, kStatusOk);
  EXPECT_TRUE(testing::PictureMatches(d.pixmap, 0, 0, {"12229"}, kDigits));
}

TEST(PixelImageTest, BackReferencesCopyOverlappingRunsAndStopAtBrokenOnes) {
  // 0 1 -> pixel 1, literal 2; 128 3 2 -> two 3s, literal 1; distance 2 length 3 (overlapping)
  // -> 3 1 3, literal 9; distance 10 reaches one before the start: decoding stops there.
  Decoded d(Picture({Info(5, 3, 4), Chunk("PIXA", {0, 1, 2, 128, 3, 2, 1, 2, 3, 9, 10, 1, 7})}));
  ASSERT_EQ(d.status, kStatusOk);
  EXPECT_TRUE(testing::PictureMatches(d.pixmap, 0, 0, {"12331", "09313", "00000"}, kDigits));
}

TEST(PixelImageTest, EscapeCodingWithMarginsAndSerpentineRowsOfTheWholePicture) {
  // Escape 9; margins of colour 7: top 1, left 1, bottom 0, right 2. Inner 3 x 2.
  Decoded d(Picture({Info(6, 3, 4), Chunk("MGIN", {7, 1, 1, 0, 2}), Chunk("PIX1", {9, 1, 9, 2, 4, 3})}));
  ASSERT_EQ(d.status, kStatusOk);
  EXPECT_TRUE(testing::PictureMatches(d.pixmap, 0, 0, {"777777", "712277", "722377"}, kDigits));
  // Top margin 1 makes the first inner row odd: it runs right to left. A long count runs on past
  // the rows and is cut at the rectangle's end; a count above 127 takes two bytes.
  Decoded s(Picture({Info(4, 3, 4), Chunk("MGIN", {0, 1, 0, 0, 0}), Chunk("PIX5", {9, 1, 2, 9, 3, 0x81, 0x00})}));
  ASSERT_EQ(s.status, kStatusOk);
  EXPECT_TRUE(testing::PictureMatches(s.pixmap, 0, 0, {"0000", "3321", "3333"}, kDigits));
}

TEST(PixelImageTest, HugeSizesAndChunksLongerThanThePictureAreNotTrusted) {
  EXPECT_EQ(Decoded(Picture({Info(3000, 2000, 4)})).status, kStatusBadParam);  // over 4 Mpixels
  // The last two bytes lie beyond the picture's size: the pixel chunk that claims them gets none.
  Bytes bytes = Picture({Info(4, 1, 4), Chunk("PIX1", {9, 1, 2, 3})});
  Pixmap* p = nullptr;
  ASSERT_EQ(DecodePixelImage(&p, bytes.data(), static_cast<int32_t>(bytes.size()) - 2), kStatusOk);
  EXPECT_TRUE(testing::PictureMatches(p, 0, 0, {"1000"}, kDigits));
  PixmapDispose(p);
}

}  // namespace
}  // namespace tvp
