// The drawing primitives on their edges: row padding, pixels, lines, rectangles, masked and
// clipped copies; and the palette's rules.
#include "screen/pixmap.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "screen/palette.h"
#include "soundtrack/status.h"
#include "tests/support/picture_check.h"

namespace tvp {
namespace {

using testing::PictureMatches;
const testing::Legend kDots{{'.', 0}, {'#', 9}, {'o', 200}};

struct PixmapDeleter {
  void operator()(Pixmap* p) const { PixmapDispose(p); }
};
using PixmapPtr = std::unique_ptr<Pixmap, PixmapDeleter>;

PixmapPtr Make(int w, int h, uint8_t fill = 0) {
  Pixmap* p = nullptr;
  EXPECT_EQ(PixmapCreate(&p, w, h), kStatusOk);
  PixmapFillPixels(p, fill);
  PixmapFillMask(p, 255);
  return PixmapPtr(p);
}

TEST(PixmapLineTest, ClipsAtEveryEdgeAndStopsWhereItLeaves) {
  auto p = Make(16, 8);
  PixmapDrawLine(p.get(), -10, 5, 20, 5, 9);                         // enters from the left
  PixmapDrawLine(p.get(), 3, -4, 3, 30, 200);                        // crosses top to bottom
  PixmapDrawLine(p.get(), 15, 0, 15, 0, 9);                          // a single point
  PixmapDrawLine(p.get(), 40, 40, 50, 41, 9);                        // wholly outside
  PixmapDrawLine(p.get(), 10, 0, 13, 3, 200);                        // diagonal
  EXPECT_TRUE(PictureMatches(p.get(), 0, 0,
                             {"...o......o....#",
                              "...o.......o....",
                              "...o........o...",
                              "...o.........o..",
                              "...o............",
                              "###o############",
                              "...o............",
                              "...o............"},
                             kDots));
  // A shallow line from outside: x major, y steps at the half.
  auto q = Make(8, 4);
  PixmapDrawLine(q.get(), -2, 0, 7, 3, 9);
  EXPECT_TRUE(PictureMatches(q.get(), 0, 0, {"........", "###.....", "...###..", "......##"}, kDots));
}

TEST(PixmapPixelTest, PixelsOffTheEdgesAreNotDrawn) {
  auto p = Make(7, 2);
  for (auto [x, y] : {std::pair{-1, 0}, {7, 0}, {0, -1}, {0, 2}, {6, 1}}) PixmapSetPixel(p.get(), int16_t(x), int16_t(y), 9);
  EXPECT_TRUE(PictureMatches(p.get(), 0, 0, {".......", "......#"}, kDots));
  EXPECT_EQ(p->pixels[7], 0) << "the padding byte is never drawn";
}

TEST(PixmapRectTest, ClampsToThePixmapAndHonoursEmptyRectangles) {
  auto p = Make(7, 4);
  PixmapFillRect(p.get(), 5, 1, 2, 3, 9);      // left > right: nothing
  PixmapFillRect(p.get(), -9, 0, -1, 4, 9);    // wholly left: nothing
  PixmapFillRect(p.get(), 2, 2, 2, 3, 9);      // zero wide: nothing
  PixmapFillRect(p.get(), 4, -3, 99, 1, 200);  // clamped to the edges
  PixmapFillRect(p.get(), 1, 2, 2, 3, 9);      // one pixel
  EXPECT_TRUE(PictureMatches(p.get(), 0, 0, {"....ooo", ".......", ".#.....", "......."}, kDots));
  EXPECT_EQ(p->pixels[7], 0) << "the padding byte is never filled";
}

TEST(PixmapCopyTest, ClippedCopiesCutAtEveryEdge) {
  auto glyph = Make(6, 8, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 6; ++x) glyph->pixels[y * glyph->rowBytes + x] = static_cast<uint8_t>(10 * y + x + 1);
  struct Case { int x, y; int firstX, firstY, w, h; } cases[] = {
      {-3, -2, 3, 2, 3, 6},   // top-left corner: columns 3..5, rows 2..7
      {7, 5, 0, 0, 3, 3},     // bottom-right corner
      {-6, 0, 0, 0, 0, 0},    // just off the left
      {10, 0, 0, 0, 0, 0},    // past the right edge
      {2, 1, 0, 0, 6, 7},
      {5, 0, 0, 0, 5, 8},     // one column over the right edge
  };
  for (const Case& c : cases) {
    auto dst = Make(10, 8, 0);
    PixmapCopyBitsClipped(glyph.get(), dst.get(), static_cast<int16_t>(c.x), static_cast<int16_t>(c.y), 6, 8);
    int drawn = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) {
        uint8_t got = testing::PixelAt(dst.get(), x, y);
        if (got == 0) continue;
        ++drawn;
        ASSERT_EQ(got, 10 * (y - c.y) + (x - c.x) + 1) << "copy at " << c.x << "," << c.y;
      }
    EXPECT_EQ(drawn, c.w * c.h) << "copy at " << c.x << "," << c.y;
    for (int y = 0; y < 8; ++y) ASSERT_EQ(dst->pixels[y * dst->rowBytes + 10], 0) << "padding, copy at " << c.x;
    if (drawn) {
      EXPECT_EQ(testing::PixelAt(dst.get(), c.x + c.firstX, c.y + c.firstY), 10 * c.firstY + c.firstX + 1);
    }
  }
  // A source wider than the destination, entering from the left, shows every column that lands.
  auto wide = Make(20, 1, 5);
  auto narrow = Make(8, 1, 0);
  PixmapCopyMaskedClipped(wide.get(), narrow.get(), -14, 0, 20, 1);
  EXPECT_TRUE(PictureMatches(narrow.get(), 0, 0, {"######.."}, {{'#', 5}, {'.', 0}}));
}

TEST(PixmapCreateTest, RowsArePaddedToFourBytesAndMaskedCopiesMixBitByBit) {
  EXPECT_EQ(Make(6, 8)->rowBytes, 8);
  EXPECT_EQ(Make(1, 1)->rowBytes, 4);
  auto src = Make(4, 1, 0xF0);
  auto dst = Make(4, 1, 0x0F);
  src->mask[0] = 0;
  src->mask[2] = 0x3C;
  PixmapCopyMasked(src.get(), dst.get(), 0, 0, 0, 0, 3, 1);
  EXPECT_EQ(dst->pixels[0], 0x0F);
  EXPECT_EQ(dst->pixels[1], 0xF0);
  EXPECT_EQ(dst->pixels[2], 0x33);  // (s ^ d) & m ^ d
  EXPECT_EQ(dst->pixels[3], 0x0F) << "outside the block";
}

TEST(PaletteTest, RampsAndCubeFollowTheirRules) {
  EXPECT_EQ(kPalette[0], 0u);
  EXPECT_EQ(std::tuple(kPalette[1], kPalette[11], kPalette[21], kPalette[31], kPalette[40]),
            std::tuple(0x111111u, 0x000011u, 0x001100u, 0x110000u, 0xEE0000u));
  EXPECT_EQ(kPalette[CubeColour(5, 0, 3)], 0xFF0099u);
}

}  // namespace
}  // namespace tvp
