#include "screen/pixmap.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "soundtrack/status.h"

namespace tvp {

namespace {

size_t PlaneBytes(const Pixmap* p) { return size_t{p->rowBytes} * p->rows; }

// Both blocks of an unclipped copy must lie inside their pixmaps; callers guarantee it.
[[maybe_unused]] bool BlockInside(const Pixmap* p, int x, int y, int w, int h) {
  return x >= 0 && y >= 0 && w >= 0 && h >= 0 && x + w <= p->width && y + h <= p->height;
}

// Destination = source where the mask is 255, destination where it is 0, bit by bit between.
inline void MaskedRow(const uint8_t* s, const uint8_t* m, uint8_t* d, int w) {
  for (int i = 0; i < w; ++i) d[i] = static_cast<uint8_t>(((s[i] ^ d[i]) & m[i]) ^ d[i]);
}

// Shrinks a clipped copy of a w x h source area drawn at (x, y) to the part that lands on dst.
// Returns false when nothing lands. The right and bottom edges come from the source's own size.
bool ClipBlock(const Pixmap* src, const Pixmap* dst, int* x, int* y, int* w, int* h, int* srcX,
               int* srcY) {
  if (*x >= dst->width || *y >= dst->height || *w < 1 || *h < 1) return false;
  *srcX = 0;
  *srcY = 0;
  if (*x < 0) {
    if (-*x >= *w) return false;
    *srcX = -*x;
    *w += *x;
    *x = 0;
  }
  int overRight = *x + src->width - *srcX - dst->width;
  if (overRight > 0) *w -= overRight;
  if (*y < 0) {
    if (-*y >= *h) return false;
    *srcY = -*y;
    *h += *y;
    *y = 0;
  }
  int overBottom = *y + src->height - *srcY - dst->height;
  if (overBottom > 0) *h -= overBottom;
  return *w > 0 && *h > 0;
}

}  // namespace

int32_t PixmapCreate(Pixmap** out, int32_t width, int32_t height) {
  *out = nullptr;
  // Sizes are 16-bit fields and the padded row must fit rowBytes.
  if (width < 1 || height < 1 || width > 32764 || height > 32767) return kStatusBadParam;
  auto* p = static_cast<Pixmap*>(std::calloc(1, sizeof(Pixmap)));
  if (!p) return kStatusOutOfMemory;
  p->rowBytes = static_cast<uint16_t>((width + 3) & ~3);
  p->rows = static_cast<uint16_t>(height);
  p->width = static_cast<int16_t>(width);
  p->height = static_cast<int16_t>(height);
  p->pixels = static_cast<uint8_t*>(std::malloc(PlaneBytes(p)));
  p->mask = p->pixels ? static_cast<uint8_t*>(std::malloc(PlaneBytes(p))) : nullptr;
  if (!p->mask) {
    PixmapDispose(p);
    return kStatusOutOfMemory;
  }
  *out = p;
  return kStatusOk;
}

void PixmapDispose(Pixmap* pixmap) {
  if (!pixmap) return;
  std::free(pixmap->mask);
  std::free(pixmap->pixels);
  std::free(pixmap);
}

void PixmapFillPixels(Pixmap* pixmap, uint8_t colour) { std::memset(pixmap->pixels, colour, PlaneBytes(pixmap)); }

void PixmapFillMask(Pixmap* pixmap, uint8_t value) { std::memset(pixmap->mask, value, PlaneBytes(pixmap)); }

void PixmapInvert(Pixmap* pixmap) {
  uint8_t* p = pixmap->pixels;
  for (size_t i = 0, n = PlaneBytes(pixmap); i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

void PixmapSwapPlanes(Pixmap* pixmap) {
  uint8_t* planes = pixmap->pixels;
  pixmap->pixels = pixmap->mask;
  pixmap->mask = planes;
}

void PixmapReplaceColour(Pixmap* pixmap, uint8_t from, uint8_t to) {
  uint8_t* p = pixmap->pixels;
  for (size_t i = 0, n = PlaneBytes(pixmap); i < n; ++i) p[i] = p[i] == from ? to : p[i];
}

void PixmapMaskFromKey(Pixmap* pixmap, uint8_t key) {
  const uint8_t* p = pixmap->pixels;
  uint8_t* m = pixmap->mask;
  for (size_t i = 0, n = PlaneBytes(pixmap); i < n; ++i) m[i] &= p[i] == key ? 0 : 255;
}

void PixmapSetPixel(Pixmap* pixmap, int16_t x, int16_t y, uint8_t colour) {
  if (x < 0 || y < 0 || x >= pixmap->width || y >= pixmap->height) return;
  pixmap->pixels[size_t{pixmap->rowBytes} * y + x] = colour;
}

void PixmapDrawLine(Pixmap* pixmap, int16_t x0, int16_t y0, int16_t x1, int16_t y1, uint8_t colour) {
  int dx = x1 > x0 ? x1 - x0 : x0 - x1;
  int dy = y1 > y0 ? y1 - y0 : y0 - y1;
  int sx = x1 - x0 >= 1 ? 1 : -1;
  int sy = y1 - y0 >= 1 ? 1 : -1;
  if (dx == 0 && dy == 0) {
    PixmapSetPixel(pixmap, x0, y0, colour);
    return;
  }
  bool yMajor = dx <= dy;
  int major = yMajor ? dy : dx;
  int minor = yMajor ? dx : dy;
  int count = major + 1;
  int error = major >> 1;
  int x = x0, y = y0;
  auto inside = [&] { return x >= 0 && y >= 0 && x < pixmap->width && y < pixmap->height; };
  auto step = [&] {
    if (yMajor) y += sy; else x += sx;
    error += minor;
    if (error >= major) {
      error -= major;
      if (yMajor) x += sx; else y += sy;
    }
    --count;
  };
  while (count > 0 && !inside()) step();
  // Drawing ends where the line leaves the pixmap: it never comes back in a straight line.
  while (count > 0 && inside()) {
    pixmap->pixels[size_t{pixmap->rowBytes} * y + x] = colour;
    step();
  }
}

void PixmapFillRect(Pixmap* pixmap, int16_t left, int16_t top, int16_t right, int16_t bottom,
                    uint8_t colour) {
  auto clamp = [](int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; };
  int l = clamp(left, pixmap->width), r = clamp(right, pixmap->width);
  int t = clamp(top, pixmap->height), b = clamp(bottom, pixmap->height);
  if (r <= l || b <= t) return;
  uint8_t* row = pixmap->pixels + size_t{pixmap->rowBytes} * t + l;
  for (int y = t; y < b; ++y, row += pixmap->rowBytes) std::memset(row, colour, static_cast<size_t>(r - l));
}

void PixmapCopyBits(const Pixmap* src, Pixmap* dst, int16_t srcX, int16_t srcY, int16_t dstX,
                    int16_t dstY, int16_t w, int16_t h) {
  assert(BlockInside(src, srcX, srcY, w, h) && BlockInside(dst, dstX, dstY, w, h));
  if (w < 1) return;
  const uint8_t* s = src->pixels + size_t{src->rowBytes} * srcY + srcX;
  uint8_t* d = dst->pixels + size_t{dst->rowBytes} * dstY + dstX;
  for (int y = 0; y < h; ++y, s += src->rowBytes, d += dst->rowBytes) std::memcpy(d, s, static_cast<size_t>(w));
}

void PixmapCopyMasked(const Pixmap* src, Pixmap* dst, int16_t srcX, int16_t srcY, int16_t dstX,
                      int16_t dstY, int16_t w, int16_t h) {
  assert(BlockInside(src, srcX, srcY, w, h) && BlockInside(dst, dstX, dstY, w, h));
  size_t srcOffset = size_t{src->rowBytes} * srcY + srcX;
  const uint8_t* s = src->pixels + srcOffset;
  const uint8_t* m = src->mask + srcOffset;
  uint8_t* d = dst->pixels + size_t{dst->rowBytes} * dstY + dstX;
  for (int y = 0; y < h; ++y, s += src->rowBytes, m += src->rowBytes, d += dst->rowBytes) MaskedRow(s, m, d, w);
}

void PixmapCopyBitsClipped(const Pixmap* src, Pixmap* dst, int16_t x, int16_t y, int16_t w, int16_t h) {
  int cx = x, cy = y, cw = w, ch = h, sx, sy;
  if (!ClipBlock(src, dst, &cx, &cy, &cw, &ch, &sx, &sy)) return;
  PixmapCopyBits(src, dst, static_cast<int16_t>(sx), static_cast<int16_t>(sy), static_cast<int16_t>(cx),
                 static_cast<int16_t>(cy), static_cast<int16_t>(cw), static_cast<int16_t>(ch));
}

void PixmapCopyMaskedClipped(const Pixmap* src, Pixmap* dst, int16_t x, int16_t y, int16_t w, int16_t h) {
  int cx = x, cy = y, cw = w, ch = h, sx, sy;
  if (!ClipBlock(src, dst, &cx, &cy, &cw, &ch, &sx, &sy)) return;
  PixmapCopyMasked(src, dst, static_cast<int16_t>(sx), static_cast<int16_t>(sy), static_cast<int16_t>(cx),
                   static_cast<int16_t>(cy), static_cast<int16_t>(cw), static_cast<int16_t>(ch));
}

}  // namespace tvp
