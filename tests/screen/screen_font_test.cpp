// Drawing text in colour with its shadow, and the program's own font end to end: the authored
// text, packed at build time and embedded, read back and cut gives every glyph bit for bit.
#include "screen/screen_font.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "screen/pixel_image.h"
#include "soundtrack/status.h"
#include "tests/support/picture_check.h"
#include "tools/font_packer.h"

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

TEST_F(FontFixture, CodesPastTheCountAreInvisibleAndSeventeenColoursReuseTheOldestBlock) {
  EXPECT_EQ(font.DrawText("\x03\x7F\x03", frame, -1, 1), 18);
  EXPECT_TRUE(testing::PictureMatches(frame, 0, 1, {"..............", "..............", ".w...........w"}, kTextColours));
  // After sixteen other colours white's block has been refilled; every draw still shows its colour.
  for (int round = 0; round < 2; ++round) {
    for (int c = 1; c <= 17; ++c) {
      uint8_t colour = static_cast<uint8_t>(c == 17 ? 255 : 100 + c);
      font.DrawGlyphInColour(3, frame, 0, 0, colour);
      ASSERT_EQ(testing::PixelAt(frame, 2, 2), colour) << "round " << round << " colour " << int(colour);
    }
  }
  ScreenFont wide;
  EXPECT_EQ(wide.Build(picture, 4, 13, 8, ScreenFont::kGrid), kStatusBadParam);  // wider than the picture
}

TEST(ScreenFontShadowTest, HalvesCubeLevelsAndGreysRamps) {
  EXPECT_EQ(ScreenFont::ShadowColour(255), 126);
  EXPECT_EQ(ScreenFont::ShadowColour(46), 0);
  EXPECT_EQ(ScreenFont::ShadowColour(12), 126);
  EXPECT_EQ(ScreenFont::ShadowColour(0), 0);
  EXPECT_EQ(ScreenFont::ShadowColour(70), 52);
}

TEST(FontResourceTest, AuthoredGlyphsSurviveThePackerTheReaderAndTheCutter) {
  std::ifstream in(TVP_FONT_TEXT);
  std::stringstream text;
  text << in.rdbuf();
  FontGlyphs authored;
  FontTextError error;
  ASSERT_TRUE(ParseFontText(text.str(), &authored, &error)) << error.line << ": " << error.message;
  Pixmap* picture = nullptr;
  ASSERT_EQ(LoadPixelImage(&picture, "PXL_MAIN_FONT"), kStatusOk);
  ScreenFont font;
  ASSERT_EQ(font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted), kStatusOk);
  PixmapDispose(picture);
  for (int code = 0; code < 256; ++code) {
    const Pixmap* g = font.glyph(static_cast<uint8_t>(code));
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 6; ++x)
        ASSERT_EQ(g->mask[y * g->rowBytes + x] == 255, authored.ink[code][y][x])
            << "glyph 0x" << std::hex << code << std::dec << " at " << x << "," << y;
  }
}

}  // namespace
}  // namespace tvp
