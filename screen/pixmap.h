#pragma once
// Pictures in memory: 8-bit pixels that index the fixed palette, plus a mask plane for
// transparent copies (255 opaque, 0 transparent). Every screen draws into a Pixmap; the display
// copies the finished frame to the window.
//
// Rows are rowBytes apart, and rowBytes is the width rounded up to a multiple of 4 so that
// whole-plane operations and block copies can move 32-bit words. Rectangles are left, top,
// right, bottom with right and bottom excluded.
#include <cstdint>

namespace tvp {

struct Pixmap {
  uint16_t rowBytes;  // bytes per row, a multiple of 4
  uint16_t rows;      // rows allocated (= height)
  int16_t width;
  int16_t height;
  uint8_t* pixels;  // rowBytes x rows colour indices
  uint8_t* mask;    // rowBytes x rows; 255 opaque, 0 transparent
};

// New pixmap with undefined contents: 0, kStatusBadParam for a size below 1, or
// kStatusOutOfMemory (nothing left allocated).
int32_t PixmapCreate(Pixmap** out, int32_t width, int32_t height);
void PixmapDispose(Pixmap* pixmap);  // accepts null

// Whole-plane operations, padding included.
void PixmapFillPixels(Pixmap* pixmap, uint8_t colour);
void PixmapFillMask(Pixmap* pixmap, uint8_t value);
void PixmapInvert(Pixmap* pixmap);
void PixmapSwapPlanes(Pixmap* pixmap);
void PixmapReplaceColour(Pixmap* pixmap, uint8_t from, uint8_t to);
void PixmapMaskFromKey(Pixmap* pixmap, uint8_t key);  // mask 0 where the pixel equals key

void PixmapSetPixel(Pixmap* pixmap, int16_t x, int16_t y, uint8_t colour);  // clipped
// Bresenham line, both ends included; drawing stops where the line leaves the pixmap.
void PixmapDrawLine(Pixmap* pixmap, int16_t x0, int16_t y0, int16_t x1, int16_t y1, uint8_t colour);
// Fills the rectangle clamped to the pixmap.
void PixmapFillRect(Pixmap* pixmap, int16_t left, int16_t top, int16_t right, int16_t bottom,
                    uint8_t colour);

// Unclipped block copies: both blocks must lie inside their pixmaps (checked in debug builds).
void PixmapCopyBits(const Pixmap* src, Pixmap* dst, int16_t srcX, int16_t srcY, int16_t dstX,
                    int16_t dstY, int16_t w, int16_t h);
// Destination = source where the source mask is 255, destination where it is 0 (bitwise between).
void PixmapCopyMasked(const Pixmap* src, Pixmap* dst, int16_t srcX, int16_t srcY, int16_t dstX,
                      int16_t dstY, int16_t w, int16_t h);
// Draw src's top-left w x h area at (x, y) on dst, clipped to dst (callers pass src's own size).
void PixmapCopyBitsClipped(const Pixmap* src, Pixmap* dst, int16_t x, int16_t y, int16_t w, int16_t h);
void PixmapCopyMaskedClipped(const Pixmap* src, Pixmap* dst, int16_t x, int16_t y, int16_t w,
                             int16_t h);

}  // namespace tvp
