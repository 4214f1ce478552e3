#pragma once
// Resources embedded in the program at build time, found by name:
//   TENG_CONST_DATA    the engine's constant tables, 94208 bytes of big-endian words
//   PXL_MAIN_FONT      the screen font: a "Pxlr" picture of 96 x 128 pixels, 16 x 16 glyphs of
//                      6 x 8 (packed from resources/font6x8.txt)
//   BANNER_STRING_128  the one-line banner, e.g. "Tonvale Player 0.1 (c) 2026": plain text
//                      without a terminator or line end
#include <cstdint>

namespace tvp {

struct ResourceBytes {
  const uint8_t* data;
  int32_t size;
};

// True and the resource's bytes when the program carries a resource of that name.
bool FindResource(const char* name, ResourceBytes* out);

}  // namespace tvp
