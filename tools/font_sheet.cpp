// Draws the program's font as a 16 x 16 sheet, each glyph labelled with its code, and writes it
// as a PNG (scaled 3x):   font_sheet OUT.png
#include <cstdio>

#include "screen/pixel_image.h"
#include "screen/png_file.h"
#include "screen/screen_font.h"

int main(int argc, char** argv) {
  using namespace tvp;
  if (argc != 2) {
    std::fprintf(stderr, "usage: font_sheet OUT.png\n");
    return 2;
  }
  Pixmap* picture = nullptr;
  ScreenFont font;
  if (LoadPixelImage(&picture, "PXL_MAIN_FONT") != 0 ||
      font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted) != 0) {
    std::fprintf(stderr, "font_sheet: the font resource cannot be read\n");
    return 1;
  }
  PixmapDispose(picture);
  // A cell: the code in grey over the glyph in white on a dark square, with a little air.
  constexpr int kCellW = 22, kCellH = 22, kMargin = 4;
  Pixmap* sheet = nullptr;
  if (PixmapCreate(&sheet, 16 * kCellW + kMargin, 16 * kCellH + kMargin) != 0) return 1;
  PixmapFillPixels(sheet, 0);
  for (int code = 0; code < 256; ++code) {
    int x = kMargin + (code % 16) * kCellW, y = kMargin + (code / 16) * kCellH;
    char label[4];
    std::snprintf(label, sizeof label, "%02X", code);
    font.DrawTextInColour(label, sheet, static_cast<int16_t>(x + 3), static_cast<int16_t>(y), 126);
    PixmapFillRect(sheet, static_cast<int16_t>(x + 4), static_cast<int16_t>(y + 9), static_cast<int16_t>(x + 14),
                   static_cast<int16_t>(y + 21), 2);
    font.DrawGlyphInColour(static_cast<uint8_t>(code), sheet, static_cast<int16_t>(x + 6),
                           static_cast<int16_t>(y + 11), 255);
  }
  bool ok = WritePixmapPng(sheet, argv[1], 3);
  PixmapDispose(sheet);
  if (!ok) std::fprintf(stderr, "font_sheet: cannot write %s\n", argv[1]);
  return ok ? 0 : 1;
}
