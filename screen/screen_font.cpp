#include "screen/screen_font.h"

#include "soundtrack/status.h"

namespace tvp {

uint8_t ScreenFont::ShadowColour(uint8_t colour) {
  if (colour == 0) return 0;
  if (colour <= 40) return 126;  // the cube's (102, 102, 102)
  int k = colour - 40;
  int shadow = 40 + 36 * (k / 36 / 2) + 6 * ((k / 6) % 6 / 2) + (k % 6 / 2);
  return static_cast<uint8_t>(shadow == 40 ? 0 : shadow);
}

ScreenFont::ScreenFont() {
  for (auto& g : glyphs_) g = nullptr;
  for (int i = 0; i < kCacheSize; ++i) {
    cacheColours_[i] = 0;
    cacheBlocks_[i] = nullptr;
  }
  for (int c = 0; c < 256; ++c) shadowColour_[c] = ShadowColour(static_cast<uint8_t>(c));
}

ScreenFont::~ScreenFont() { Dispose(); }

void ScreenFont::Dispose() {
  for (auto& g : glyphs_) {
    PixmapDispose(g);
    g = nullptr;
  }
  for (int i = 0; i < kCacheSize; ++i) {
    PixmapDispose(cacheBlocks_[i]);
    cacheBlocks_[i] = nullptr;
    cacheColours_[i] = 0;
  }
  glyphCount_ = glyphWidth_ = glyphHeight_ = 0;
  flags_ = 0;
  currentColour_ = 0;
}

int32_t ScreenFont::Build(Pixmap* picture, uint32_t glyphCount, uint16_t glyphWidth,
                          uint16_t glyphHeight, uint32_t flags) {
  Dispose();
  if (glyphCount > 256) glyphCount = 256;
  // A glyph wider than the picture would leave no column to cut from.
  if (glyphCount == 0 || glyphWidth == 0 || glyphHeight == 0 || !picture ||
      glyphWidth > picture->width || glyphHeight > picture->height)
    return kStatusBadParam;
  glyphCount_ = static_cast<uint16_t>(glyphCount);
  glyphWidth_ = glyphWidth;
  glyphHeight_ = glyphHeight;
  flags_ = flags;
  int columns = picture->width / glyphWidth;

  if (flags & kInverted) PixmapInvert(picture);
  uint8_t key = picture->pixels[0];
  int32_t status = kStatusOk;
  for (int i = 0; i < 256 && status == kStatusOk; ++i) {
    status = PixmapCreate(&glyphs_[i], glyphWidth, glyphHeight);
    if (status != kStatusOk) break;
    Pixmap* g = glyphs_[i];
    if (i >= static_cast<int>(glyphCount)) {
      PixmapFillPixels(g, 0);
      PixmapFillMask(g, 0);  // codes past the count are invisible
      continue;
    }
    int row = 0, column = i;
    if (flags & kGrid) {
      row = i / columns;
      column = i % columns;
    } else if (flags & kVerticalStrip) {
      row = i;
      column = 0;
    }
    PixmapFillPixels(g, 0);  // cells that run off the picture stay paper
    PixmapCopyBitsClipped(picture, g, static_cast<int16_t>(-glyphWidth * column),
                          static_cast<int16_t>(-glyphHeight * row), picture->width, picture->height);
    if (flags & kMultiColour) {
      PixmapFillMask(g, 255);
      PixmapMaskFromKey(g, key);
    } else {
      PixmapSwapPlanes(g);  // the cut picture becomes the mask: ink opaque, paper clear
    }
  }
  for (int i = 0; i < kCacheSize && status == kStatusOk; ++i) {
    status = PixmapCreate(&cacheBlocks_[i], glyphWidth, glyphHeight);
    if (status == kStatusOk) PixmapFillPixels(cacheBlocks_[i], 0);
  }
  if (flags & kInverted) PixmapInvert(picture);
  if (status != kStatusOk) {
    Dispose();
    return status;
  }
  currentColour_ = 0;
  SetColour(255);
  return kStatusOk;
}

void ScreenFont::SetColour(uint8_t colour) {
  if (colour == currentColour_ || (flags_ & kMultiColour)) return;
  int found = kCacheSize - 1;
  for (int i = 0; i < kCacheSize; ++i) {
    if (cacheColours_[i] == colour) {
      found = i;
      break;
    }
  }
  Pixmap* block = cacheBlocks_[found];
  bool refill = cacheColours_[found] != colour;
  for (int i = found; i > 0; --i) {
    cacheColours_[i] = cacheColours_[i - 1];
    cacheBlocks_[i] = cacheBlocks_[i - 1];
  }
  cacheColours_[0] = colour;
  cacheBlocks_[0] = block;
  if (refill && block) PixmapFillPixels(block, colour);
  currentColour_ = colour;
}

int16_t ScreenFont::DrawGlyph(uint8_t code, Pixmap* dst, int16_t x, int16_t y) {
  const Pixmap* g = glyphs_[code];
  if (!g || !cacheBlocks_[0]) return 0;
  if (flags_ & kMultiColour) {
    PixmapCopyMaskedClipped(g, dst, x, y, g->width, g->height);
  } else {
    // The glyph's shape with the current colour's pixels in place of its own.
    Pixmap coloured = *g;
    coloured.pixels = cacheBlocks_[0]->pixels;
    PixmapCopyMaskedClipped(&coloured, dst, x, y, g->width, g->height);
  }
  return static_cast<int16_t>(glyphWidth_);
}

template <typename Draw>
int16_t ScreenFont::InColour(uint8_t colour, Draw draw) {
  uint8_t saved = currentColour_;
  SetColour(colour);
  int16_t advance = draw();
  SetColour(saved);
  return advance;
}

int16_t ScreenFont::DrawGlyphInColour(uint8_t code, Pixmap* dst, int16_t x, int16_t y, uint8_t colour) {
  return InColour(colour, [&] { return DrawGlyph(code, dst, x, y); });
}

int16_t ScreenFont::DrawGlyphShadowed(uint8_t code, Pixmap* dst, int16_t x, int16_t y) {
  DrawGlyphInColour(code, dst, static_cast<int16_t>(x + 1), static_cast<int16_t>(y + 1),
                    shadowColour_[currentColour_]);
  return DrawGlyph(code, dst, x, y);
}

int16_t ScreenFont::DrawGlyphShadowedInColour(uint8_t code, Pixmap* dst, int16_t x, int16_t y,
                                              uint8_t colour) {
  return InColour(colour, [&] { return DrawGlyphShadowed(code, dst, x, y); });
}

template <typename Draw>
int16_t ScreenFont::DrawTextWith(const char* text, int16_t x, Draw draw) {
  int16_t total = 0;
  for (const char* c = text; *c; ++c) {
    draw(static_cast<uint8_t>(*c), x);
    // A missing glyph advances too, so columns of text stay aligned.
    x = static_cast<int16_t>(x + glyphWidth_);
    total = static_cast<int16_t>(total + glyphWidth_);
  }
  return total;
}

int16_t ScreenFont::DrawText(const char* text, Pixmap* dst, int16_t x, int16_t y) {
  return DrawTextWith(text, x, [&](uint8_t code, int16_t gx) { DrawGlyph(code, dst, gx, y); });
}

int16_t ScreenFont::DrawTextInColour(const char* text, Pixmap* dst, int16_t x, int16_t y, uint8_t colour) {
  return InColour(colour, [&] { return DrawText(text, dst, x, y); });
}

int16_t ScreenFont::DrawTextShadowed(const char* text, Pixmap* dst, int16_t x, int16_t y) {
  return DrawTextWith(text, x, [&](uint8_t code, int16_t gx) { DrawGlyphShadowed(code, dst, gx, y); });
}

int16_t ScreenFont::DrawTextShadowedInColour(const char* text, Pixmap* dst, int16_t x, int16_t y,
                                             uint8_t colour) {
  return InColour(colour, [&] { return DrawTextShadowed(text, dst, x, y); });
}

}  // namespace tvp
