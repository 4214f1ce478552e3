// Packs the screen font's text form into the "Pxlr" picture that is embedded as PXL_MAIN_FONT.
//   pack_font <font text> <output picture>
// A fault in the text is reported as "file:line: message" and the exit status is 1.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/font_packer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pack_font <font text> <output picture>\n");
    return 1;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) {
    std::fprintf(stderr, "pack_font: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
  bool readOk = !std::ferror(in);
  std::fclose(in);
  if (!readOk) {
    std::fprintf(stderr, "pack_font: cannot read %s\n", argv[1]);
    return 1;
  }

  static tvp::FontGlyphs glyphs;
  tvp::FontTextError error;
  if (!tvp::ParseFontText(text, &glyphs, &error)) {
    std::fprintf(stderr, "%s:%d: %s\n", argv[1], error.line, error.message.c_str());
    return 1;
  }
  std::vector<uint8_t> picture = tvp::PackFontPicture(glyphs);
  std::FILE* out = std::fopen(argv[2], "wb");
  bool written = out && std::fwrite(picture.data(), 1, picture.size(), out) == picture.size();
  if (out && std::fclose(out) != 0) written = false;
  if (!written) {
    std::fprintf(stderr, "pack_font: cannot write %s\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
