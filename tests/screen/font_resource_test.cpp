// The program's own font, end to end: the authored text, packed at build time and embedded, read
// back by the picture reader and cut by the font gives every glyph bit for bit.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "screen/pixel_image.h"
#include "screen/screen_font.h"
#include "soundtrack/status.h"
#include "tools/font_packer.h"

namespace tvp {
namespace {

TEST(FontResourceTest, AuthoredGlyphsSurviveThePackerTheReaderAndTheCutter) {
  std::ifstream in(TVP_FONT_TEXT);
  std::stringstream text;
  text << in.rdbuf();
  FontGlyphs authored;
  FontTextError error;
  ASSERT_TRUE(ParseFontText(text.str(), &authored, &error)) << error.line << ": " << error.message;

  Pixmap* picture = nullptr;
  ASSERT_EQ(LoadPixelImage(&picture, "PXL_MAIN_FONT"), kStatusOk);
  ASSERT_EQ(picture->width, 96);
  ASSERT_EQ(picture->height, 128);
  int ink = 0, paper = 0;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 96; ++x) {
      uint8_t v = picture->pixels[y * picture->rowBytes + x];
      ink += v == 0;
      paper += v == 255;
    }
  EXPECT_EQ(ink + paper, 96 * 128) << "only ink and paper";

  ScreenFont font;
  ASSERT_EQ(font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted), kStatusOk);
  PixmapDispose(picture);
  int authoredInk = 0;
  for (int code = 0; code < 256; ++code) {
    const Pixmap* g = font.glyph(static_cast<uint8_t>(code));
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 6; ++x) {
        authoredInk += authored.ink[code][y][x];
        ASSERT_EQ(g->mask[y * g->rowBytes + x] == 255, authored.ink[code][y][x])
            << "glyph 0x" << std::hex << code << std::dec << " at " << x << "," << y;
      }
  }
  EXPECT_EQ(ink, authoredInk);
}

TEST(FontResourceTest, MissingResourceIsNotFound) {
  Pixmap* picture = nullptr;
  EXPECT_EQ(LoadPixelImage(&picture, "NO_SUCH_PICTURE"), kStatusNotFound);
  EXPECT_EQ(picture, nullptr);
}

}  // namespace
}  // namespace tvp
