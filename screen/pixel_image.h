#pragma once
// Reader of "Pxlr" pictures: a chunked, big-endian picture format with run-length coded pixels
// (the screen font is carried as one). Chunks: IINF (size and colour count), MGIN (optional
// margins in one colour), and the inner rectangle's pixels as PIX1 (rows left to right), PIX5
// (serpentine rows) or PIXA (back references, serpentine).
#include <cstdint>

#include "screen/pixmap.h"

namespace tvp {

// Reads the picture resource of that name into a new pixmap: 0, kStatusNotFound (no such
// resource, or no IINF chunk), kStatusWrongFormat (not "Pxlr"), kStatusDataEnded (chunk area too
// short) or a PixmapCreate status. On failure *out is null.
int32_t LoadPixelImage(Pixmap** out, const char* resourceName);

// The same from bytes in memory. Nothing outside [bytes, bytes + size) is read, whatever the
// header and chunk lengths claim.
int32_t DecodePixelImage(Pixmap** out, const uint8_t* bytes, int32_t size);

// Pictures larger than this many pixels are refused as a bad size: the player's largest picture
// is a few hundred kilopixels, and a lying header must not make the reader allocate gigabytes.
inline constexpr int32_t kMaxPixelImagePixels = 1 << 22;

}  // namespace tvp
