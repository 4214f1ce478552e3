// Drawing text in colour with its shadow.
#include "screen/screen_font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "soundtrack/status.h"
#include "tests/support/picture_check.h"

namespace tvp {
namespace {

// A 2 x 2 grid of 6 x 8 cells drawn as the font resource is: ink 0 on paper 255.
Pixmap* FontPicture() {
  const std::vector<std::string> art = {
      "......#.....", "......#.....", "......#.....", "......#.....",
      "......#.....", "......#.....", "......#.....", "............",
      "............", "............", "............", "#####.......",
      "............", "............", "............", "............",
  };
  Pixmap* p = nullptr;
  EXPECT_EQ(PixmapCreate(&p, 12, 16), kStatusOk);
  PixmapFillPixels(p, 255);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 12; ++x)
      if (art[y][x] == '#') p->pixels[y * p->rowBytes + x] = 0;
  p->pixels[10 * p->rowBytes + 8] = 0;  // glyph 3: one dot at (2, 2)
  return p;
}

struct FontFixture : ::testing::Test {
  Pixmap* picture = FontPicture();
  Pixmap* frame = nullptr;
  ScreenFont font;
  void SetUp() override {
    ASSERT_EQ(font.Build(picture, 4, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted), kStatusOk);
    ASSERT_EQ(PixmapCreate(&frame, 40, 10), kStatusOk);
    PixmapFillPixels(frame, 0);
  }
  ~FontFixture() override {
    PixmapDispose(picture);
    PixmapDispose(frame);
  }
};

const testing::Legend kTextColours{{'.', 0}, {'g', 70}, {'s', 52}, {'w', 255}, {'r', 180}};

TEST_F(FontFixture, ShadowedTextInColourDrawsShadowThenGlyphAndAdvancesSixAGlyph) {
  EXPECT_EQ(font.DrawTextShadowedInColour("\x01\x02", frame, 10, 0, 70), 12);
  EXPECT_TRUE(testing::PictureMatches(frame, 10, 0,
                                      {"g............", "gs...........", "gs...........",
                                       "gs....ggggg..", "gs.....sssss.", "gs...........",
                                       "gs...........", ".s...........", "............."},
                                      kTextColours));
  EXPECT_EQ(font.colour(), 255) << "the colour before the call is current again";
  EXPECT_EQ(picture->pixels[0], 255) << "the picture is given back as it came";
}

TEST(ScreenFontShadowTest, HalvesCubeLevelsAndGreysRamps) {
  EXPECT_EQ(ScreenFont::ShadowColour(255), 126);
  EXPECT_EQ(ScreenFont::ShadowColour(46), 0);
  EXPECT_EQ(ScreenFont::ShadowColour(12), 126);
  EXPECT_EQ(ScreenFont::ShadowColour(0), 0);
  EXPECT_EQ(ScreenFont::ShadowColour(70), 52);
}

}  // namespace
}  // namespace tvp
