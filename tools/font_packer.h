#pragma once
// The screen font's text form and its packing into a "Pxlr" picture. The text holds 256 glyphs of
// 6 x 8 pixels, each a header line "0xHH name" followed by 8 rows of 6 characters, '#' ink and
// '.' paper; lines starting with ';' and empty lines may stand between glyphs. The picture is
// 16 x 16 cells of 6 x 8 (the cell in row r, column c holds code 16 r + c), ink colour 0 and
// paper 255, in one "PIX5" chunk of escape coding.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvp {

inline constexpr int kFontGlyphCount = 256;
inline constexpr int kFontGlyphWidth = 6;
inline constexpr int kFontGlyphHeight = 8;
inline constexpr int kFontCellsPerRow = 16;
inline constexpr int kFontPictureWidth = kFontCellsPerRow * kFontGlyphWidth;    // 96
inline constexpr int kFontPictureHeight = kFontCellsPerRow * kFontGlyphHeight;  // 128
inline constexpr uint8_t kFontInk = 0;
inline constexpr uint8_t kFontPaper = 255;
// The escape byte of the pixel chunk; neither ink nor paper, so every pixel can stand as itself.
inline constexpr uint8_t kFontEscape = 1;

struct FontGlyphs {
  bool ink[kFontGlyphCount][kFontGlyphHeight][kFontGlyphWidth];
};

struct FontTextError {
  int line;  // 1-based line of the text where the fault lies
  std::string message;
};

// Reads the text form strictly: every code 0..255 exactly once, each followed by exactly 8 rows of
// exactly 6 '#' or '.' characters. False with `error` set at the first fault.
bool ParseFontText(std::string_view text, FontGlyphs* glyphs, FontTextError* error);

// The whole "Pxlr" file of the font picture, every field big-endian.
std::vector<uint8_t> PackFontPicture(const FontGlyphs& glyphs);

}  // namespace tvp
