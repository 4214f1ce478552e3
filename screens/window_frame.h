#pragma once
// The look the pop-up windows share: a picture of whole glyph cells, black, with a rectangle in
// the window's background colour and a white shadowed border of line glyphs.
#include <cstdint>

#include "screen/pixmap.h"
#include "screen/screen_font.h"

namespace tvp {

// Palette colours of the window backgrounds and their selection bars.
inline constexpr uint8_t kColourDarkBlue = 42;
inline constexpr uint8_t kColourDarkGreen = 46;
inline constexpr uint8_t kColourDarkCyan = 54;
inline constexpr uint8_t kColourDarkRed = 112;

// A picture of columns x rows glyph cells, or null when it cannot be made.
Pixmap* MakeWindowPicture(const ScreenFont& font, int32_t columns, int32_t rows);

// Fills the picture with black and its inside with `background`, then draws the border.
void DrawWindowFrame(ScreenFont& font, Pixmap* picture, uint8_t background);

// Plain white text at glyph cell (column, row).
void DrawWindowText(ScreenFont& font, Pixmap* picture, int32_t column, int32_t row, const char* text);

// The pop-up shown now (sliding in, at rest or sliding out) is this picture.
inline bool IsCurrentPopup(const Pixmap* currentPopup, const Pixmap* picture) {
  return picture != nullptr && currentPopup == picture;
}

}  // namespace tvp
