#pragma once
// The fixed-pitch pixel font every screen writes with: up to 256 glyphs cut from one picture,
// drawn in any palette colour, optionally with a one-pixel drop shadow one step darker.
//
// A single-colour glyph keeps its shape in its mask plane (ink opaque); drawing copies a block
// of the current colour through that mask. The 16 most recently used colours keep such blocks,
// so colouring text costs a fill only when a colour comes back after 16 others.
#include <cstdint>

#include "screen/pixmap.h"

namespace tvp {

class ScreenFont {
 public:
  static constexpr uint32_t kVerticalStrip = 0x01;  // glyph i in row i of column 0
  static constexpr uint32_t kGrid = 0x02;           // glyph i in row i / columns, column i % columns
  static constexpr uint32_t kInverted = 0x10;       // the picture has ink 0 on paper 255
  static constexpr uint32_t kMultiColour = 0x100;   // glyphs keep their own colours
  static constexpr int kCacheSize = 16;

  ScreenFont();
  ~ScreenFont();
  ScreenFont(const ScreenFont&) = delete;
  ScreenFont& operator=(const ScreenFont&) = delete;

  // Cuts the picture into glyphs: 0, kStatusBadParam (a count or size of 0, or glyphs wider or
  // taller than the picture) or a PixmapCreate status; on failure the font is left empty.
  // Counts above 256 build 256 glyphs. The picture is restored before returning.
  int32_t Build(Pixmap* picture, uint32_t glyphCount, uint16_t glyphWidth, uint16_t glyphHeight,
                uint32_t flags);
  void Dispose();  // frees every glyph and colour block; the font can be built again

  void SetColour(uint8_t colour);
  uint8_t colour() const { return currentColour_; }

  // Each draws with the glyph's top-left corner at (x, y), clipped, and returns the advance
  // (the glyph width, or 0 when the font is not built).
  int16_t DrawGlyph(uint8_t code, Pixmap* dst, int16_t x, int16_t y);
  int16_t DrawGlyphInColour(uint8_t code, Pixmap* dst, int16_t x, int16_t y, uint8_t colour);
  int16_t DrawGlyphShadowed(uint8_t code, Pixmap* dst, int16_t x, int16_t y);
  int16_t DrawGlyphShadowedInColour(uint8_t code, Pixmap* dst, int16_t x, int16_t y, uint8_t colour);

  // Each byte of the zero-terminated text is a glyph code; returns the total advance.
  int16_t DrawText(const char* text, Pixmap* dst, int16_t x, int16_t y);
  int16_t DrawTextInColour(const char* text, Pixmap* dst, int16_t x, int16_t y, uint8_t colour);
  int16_t DrawTextShadowed(const char* text, Pixmap* dst, int16_t x, int16_t y);
  int16_t DrawTextShadowedInColour(const char* text, Pixmap* dst, int16_t x, int16_t y, uint8_t colour);

  uint16_t glyphCount() const { return glyphCount_; }
  uint16_t glyphWidth() const { return glyphWidth_; }
  uint16_t glyphHeight() const { return glyphHeight_; }
  uint32_t flags() const { return flags_; }
  const Pixmap* glyph(uint8_t code) const { return glyphs_[code]; }

  // One step darker for the drop shadow: ramps shadow to mid grey, cube colours halve each level.
  static uint8_t ShadowColour(uint8_t colour);

 private:
  // Draws in `colour`, then makes the colour before it current again.
  template <typename Draw>
  int16_t InColour(uint8_t colour, Draw draw);
  template <typename Draw>
  int16_t DrawTextWith(const char* text, int16_t x, Draw draw);

  Pixmap* glyphs_[256];
  uint8_t cacheColours_[kCacheSize];
  Pixmap* cacheBlocks_[kCacheSize];
  uint16_t glyphCount_ = 0;
  uint16_t glyphWidth_ = 0;
  uint16_t glyphHeight_ = 0;
  uint8_t currentColour_ = 0;
  uint8_t shadowColour_[256];
  uint32_t flags_ = 0;
};

}  // namespace tvp
