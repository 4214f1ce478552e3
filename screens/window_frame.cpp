#include "screens/window_frame.h"

#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr uint8_t kGlyphTopLeft = 0x96;
constexpr uint8_t kGlyphTopRight = 0x9C;
constexpr uint8_t kGlyphBottomLeft = 0x93;
constexpr uint8_t kGlyphBottomRight = 0x99;
constexpr uint8_t kGlyphHorizontal = 0x9A;
constexpr uint8_t kGlyphVertical = 0x95;
constexpr uint8_t kBorderColour = 255;
constexpr int16_t kBackgroundInset = 3;  // pixels of black around the background

}  // namespace

Pixmap* MakeWindowPicture(const ScreenFont& font, int32_t columns, int32_t rows) {
  Pixmap* picture = nullptr;
  if (PixmapCreate(&picture, columns * font.glyphWidth(), rows * font.glyphHeight()) != kStatusOk) return nullptr;
  return picture;
}

void DrawWindowFrame(ScreenFont& font, Pixmap* picture, uint8_t background) {
  const int16_t w = static_cast<int16_t>(font.glyphWidth()), h = static_cast<int16_t>(font.glyphHeight());
  const int16_t right = static_cast<int16_t>(picture->width - w);
  const int16_t bottom = static_cast<int16_t>(picture->height - h);
  PixmapFillPixels(picture, 0);
  PixmapFillRect(picture, kBackgroundInset, kBackgroundInset, static_cast<int16_t>(picture->width - kBackgroundInset),
                 static_cast<int16_t>(picture->height - kBackgroundInset), background);
  auto glyph = [&](uint8_t code, int16_t x, int16_t y) {
    font.DrawGlyphShadowedInColour(code, picture, x, y, kBorderColour);
  };
  for (int16_t x = w; x < right; x = static_cast<int16_t>(x + w)) {
    glyph(kGlyphHorizontal, x, 0);
    glyph(kGlyphHorizontal, x, bottom);
  }
  for (int16_t y = h; y < bottom; y = static_cast<int16_t>(y + h)) {
    glyph(kGlyphVertical, 0, y);
    glyph(kGlyphVertical, right, y);
  }
  glyph(kGlyphTopLeft, 0, 0);
  glyph(kGlyphTopRight, right, 0);
  glyph(kGlyphBottomLeft, 0, bottom);
  glyph(kGlyphBottomRight, right, bottom);
}

void DrawWindowText(ScreenFont& font, Pixmap* picture, int32_t column, int32_t row, const char* text) {
  font.DrawTextInColour(text, picture, static_cast<int16_t>(column * font.glyphWidth()),
                        static_cast<int16_t>(row * font.glyphHeight()), 255);
}

}  // namespace tvp
