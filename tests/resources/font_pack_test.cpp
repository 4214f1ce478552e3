// The font packer: its strict reading of the glyph text and the layout of the picture it writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "tools/font_packer.h"

namespace tvp {
namespace {

// A complete text of blank glyphs, with a comment and blank lines as the real file has.
std::string BlankFontText() {
  std::string text = "; test font\n";
  char header[16];
  for (int code = 0; code < kFontGlyphCount; ++code) {
    std::snprintf(header, sizeof header, "\n0x%02X\n", code);
    text += header;
    for (int y = 0; y < kFontGlyphHeight; ++y) text += "......\n";
  }
  return text;
}

// Line of a glyph's header in BlankFontText: 1 comment line, then 10 lines per glyph.
int HeaderLine(int code) { return 3 + 10 * code; }

std::string ReplaceLine(std::string text, int line, const std::string& with) {
  size_t start = 0;
  for (int i = 1; i < line; ++i) start = text.find('\n', start) + 1;
  return text.replace(start, text.find('\n', start) - start, with);
}

uint32_t BigEndian32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
int BigEndian16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

// Checks the fixed layout of a packed font and returns its PIX5 data.
std::vector<uint8_t> Pix5Data(const uint8_t* file, size_t size) {
  EXPECT_GE(size, 37u);
  if (size < 37) return {};
  EXPECT_EQ(0, std::memcmp(file, "Pxlr", 4));
  EXPECT_EQ(size - 8, BigEndian32(file + 4));
  EXPECT_EQ(18u, BigEndian32(file + 8));
  EXPECT_EQ(0, std::memcmp(file + 12, "IINF", 4));
  EXPECT_EQ(8u, BigEndian32(file + 16));
  EXPECT_EQ(96, BigEndian16(file + 20));
  EXPECT_EQ(128, BigEndian16(file + 22));
  EXPECT_EQ(2, BigEndian16(file + 24));
  EXPECT_EQ(0, BigEndian16(file + 26));
  EXPECT_EQ(0, std::memcmp(file + 28, "PIX5", 4));
  EXPECT_EQ(size - 36, BigEndian32(file + 32));
  return std::vector<uint8_t>(file + 36, file + size);
}

TEST(FontText, RefusesEveryMalformedGlyphAtItsLine) {
  const std::string good = BlankFontText();
  static FontGlyphs glyphs;
  FontTextError error;
  ASSERT_TRUE(ParseFontText(good, &glyphs, &error)) << error.line << ": " << error.message;

  struct Case {
    const char* what;
    std::string text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"short row", ReplaceLine(good, HeaderLine(0x41) + 3, "#####"), HeaderLine(0x41) + 3, "row 2 of glyph 0x41"},
      {"long row", ReplaceLine(good, HeaderLine(0x41) + 8, "#######"), HeaderLine(0x41) + 8, "row 7 of glyph 0x41"},
      {"stray character", ReplaceLine(good, HeaderLine(0) + 1, "..x..."), HeaderLine(0) + 1, "not 6 of"},
      {"trailing carriage return", ReplaceLine(good, HeaderLine(7) + 1, "......\r"), HeaderLine(7) + 1, "glyph 0x07"},
      {"code twice", ReplaceLine(good, HeaderLine(0x81), "0x80"), HeaderLine(0x81), "0x80 given twice"},
      {"bad header", ReplaceLine(good, HeaderLine(0x20), "0x2G space"), HeaderLine(0x20), "expected a glyph header"},
      {"header glued to its name", ReplaceLine(good, HeaderLine(0x20), "0x20space"), HeaderLine(0x20), "header"},
      {"ninth row", ReplaceLine(good, HeaderLine(0x30) + 9, "......"), HeaderLine(0x30) + 9, "expected a glyph header"},
      {"last glyph cut short", good.substr(0, good.size() - 7), HeaderLine(255) + 7, "0xFF ends after 7 of 8 rows"},
      {"last glyph left out", good.substr(0, good.find("\n0xFF\n") + 1), HeaderLine(255) - 1, "0xFF is missing"},
  };
  for (const Case& c : cases) {
    error = {};
    EXPECT_FALSE(ParseFontText(c.text, &glyphs, &error)) << c.what;
    EXPECT_EQ(c.line, error.line) << c.what;
    EXPECT_NE(std::string::npos, error.message.find(c.says)) << c.what << ": " << error.message;
  }
}

TEST(FontPicture, RunsFollowTheSerpentineOrderAndShortRunsStayLiteral) {
  static FontGlyphs glyphs;
  std::memset(&glyphs, 0, sizeof glyphs);
  std::vector<uint8_t> file = PackFontPicture(glyphs);
  // All paper: the escape byte, then one run of 96 x 128 = 12288 = 0x60 << 7 pixels.
  EXPECT_EQ((std::vector<uint8_t>{1, 1, 255, 0x80 | 0x60, 0x00}), Pix5Data(file.data(), file.size()));

  // Row 1 of the picture runs right to left, so the three rightmost ink pixels of code 15's
  // row 1 follow the first 96 paper pixels; a run of three costs no more as literals.
  for (int x = 3; x < 6; ++x) glyphs.ink[15][1][x] = true;
  file = PackFontPicture(glyphs);
  const uint32_t rest = 12288 - 99;
  EXPECT_EQ((std::vector<uint8_t>{1, 1, 255, 96, 0, 0, 0, 1, 255, uint8_t(0x80 | (rest >> 7)), uint8_t(rest & 0x7F)}),
            Pix5Data(file.data(), file.size()));
}

TEST(EmbeddedFont, CarriesThePackedFontAndTheBanner) {
  ResourceBytes font{};
  ASSERT_TRUE(FindResource("PXL_MAIN_FONT", &font));
  EXPECT_FALSE(Pix5Data(font.data, static_cast<size_t>(font.size)).empty());

  ResourceBytes banner{};
  ASSERT_TRUE(FindResource("BANNER_STRING_128", &banner));
  std::string text(reinterpret_cast<const char*>(banner.data), static_cast<size_t>(banner.size));
  EXPECT_EQ(0u, text.rfind("Tonvale Player ", 0)) << text;
  EXPECT_EQ(std::string::npos, text.find_first_of(std::string("\n\r\0", 3))) << text;
  EXPECT_LE(text.size(), 52u) << "the banner must fit the notice line";
}

}  // namespace
}  // namespace tvp
