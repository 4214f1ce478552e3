#include "tools/font_packer.h"

#include <cstdio>
#include <utility>

namespace tvp {
namespace {

void putU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
  putU16(out, v >> 16);
  putU16(out, v & 0xFFFF);
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

// 7-bit groups, most significant first; every byte but the last has its top bit set.
void putCount(std::vector<uint8_t>& out, uint32_t count) {
  int shift = 0;
  while (shift < 28 && (count >> (shift + 7)) != 0) shift += 7;
  for (; shift > 0; shift -= 7) out.push_back(static_cast<uint8_t>(0x80 | ((count >> shift) & 0x7F)));
  out.push_back(static_cast<uint8_t>(count & 0x7F));
}

int countBytes(uint32_t count) {
  int n = 1;
  while (count >>= 7) ++n;
  return n;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The code of a header line "0xHH" or "0xHH name"; -1 when the line is no header.
int headerCode(std::string_view line) {
  if (line.size() < 4 || line[0] != '0' || line[1] != 'x') return -1;
  int hi = hexDigit(line[2]), lo = hexDigit(line[3]);
  if (hi < 0 || lo < 0 || (line.size() > 4 && line[4] != ' ')) return -1;
  return hi * 16 + lo;
}

bool fail(FontTextError* error, int line, std::string message) {
  if (error) *error = {line, std::move(message)};
  return false;
}

std::string codeName(int code) {
  char name[16];
  std::snprintf(name, sizeof name, "0x%02X", code);
  return name;
}

}  // namespace

bool ParseFontText(std::string_view text, FontGlyphs* glyphs, FontTextError* error) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  int firstLine[kFontGlyphCount] = {};  // header line of each code, 0 while not seen
  size_t i = 0;
  while (i < lines.size()) {
    std::string_view line = lines[i];
    int lineNumber = static_cast<int>(i) + 1;
    ++i;
    if (line.empty() || line[0] == ';') continue;
    int code = headerCode(line);
    if (code < 0) return fail(error, lineNumber, "expected a glyph header \"0xHH name\"");
    if (firstLine[code]) {
      return fail(error, lineNumber,
                  "glyph " + codeName(code) + " given twice (first at line " + std::to_string(firstLine[code]) + ")");
    }
    firstLine[code] = lineNumber;
    for (int y = 0; y < kFontGlyphHeight; ++y, ++i) {
      if (i >= lines.size()) {
        return fail(error, static_cast<int>(lines.size()),
                    "glyph " + codeName(code) + " ends after " + std::to_string(y) + " of 8 rows");
      }
      std::string_view row = lines[i];
      bool ok = row.size() == kFontGlyphWidth;
      for (int x = 0; ok && x < kFontGlyphWidth; ++x) {
        ok = row[x] == '#' || row[x] == '.';
        if (glyphs) glyphs->ink[code][y][x] = row[x] == '#';
      }
      if (!ok) {
        return fail(error, static_cast<int>(i) + 1,
                    "row " + std::to_string(y) + " of glyph " + codeName(code) + " is not 6 of '#' or '.'");
      }
    }
  }
  for (int code = 0; code < kFontGlyphCount; ++code) {
    if (!firstLine[code]) return fail(error, static_cast<int>(lines.size()), "glyph " + codeName(code) + " is missing");
  }
  return true;
}

std::vector<uint8_t> PackFontPicture(const FontGlyphs& glyphs) {
  // Pixels in serpentine order: even rows left to right, odd rows right to left.
  std::vector<uint8_t> pixels;
  pixels.reserve(kFontPictureWidth * kFontPictureHeight);
  for (int y = 0; y < kFontPictureHeight; ++y) {
    for (int i = 0; i < kFontPictureWidth; ++i) {
      int x = (y & 1) ? kFontPictureWidth - 1 - i : i;
      int code = (y / kFontGlyphHeight) * kFontCellsPerRow + x / kFontGlyphWidth;
      pixels.push_back(glyphs.ink[code][y % kFontGlyphHeight][x % kFontGlyphWidth] ? kFontInk : kFontPaper);
    }
  }
  // Escape coding: a run becomes escape, colour, count when that is shorter than its pixels.
  std::vector<uint8_t> coded{kFontEscape};
  for (size_t i = 0; i < pixels.size();) {
    size_t end = i;
    while (end < pixels.size() && pixels[end] == pixels[i]) ++end;
    uint32_t run = static_cast<uint32_t>(end - i);
    if (2 + countBytes(run) < static_cast<int>(run)) {
      coded.push_back(kFontEscape);
      coded.push_back(pixels[i]);
      putCount(coded, run);
    } else {
      coded.insert(coded.end(), run, pixels[i]);
    }
    i = end;
  }

  std::vector<uint8_t> out;
  out.reserve(36 + coded.size());
  putTag(out, "Pxlr");
  putU32(out, static_cast<uint32_t>(4 + 16 + 8 + coded.size()));  // everything after these 8 bytes
  putU32(out, 18);                                                  // a word readers skip
  putTag(out, "IINF");
  putU32(out, 8);
  putU16(out, kFontPictureWidth);
  putU16(out, kFontPictureHeight);
  putU16(out, 2);  // colours: below 256 selects the escape coding
  putU16(out, 0);
  putTag(out, "PIX5");
  putU32(out, static_cast<uint32_t>(coded.size()));
  out.insert(out.end(), coded.begin(), coded.end());
  return out;
}

}  // namespace tvp
