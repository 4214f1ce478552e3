#pragma once
// The one fixed 256-colour palette every picture indexes: 0 black; 1..10 grey, 11..20 blue,
// 21..30 green, 31..40 red ramps; 41..255 a 6 x 6 x 6 colour cube (index 40 + 36 r + 6 g + b,
// levels of 51), so 255 is white. Presentation, snapshots and tests all read this table.
#include <array>
#include <cstdint>

namespace tvp {

// 0x00RRGGBB per palette index.
using PaletteTable = std::array<uint32_t, 256>;

constexpr PaletteTable MakePalette() {
  PaletteTable table{};
  // The ramp levels are the multiples of 17 that are not multiples of 51.
  constexpr uint32_t kRamp[10] = {17, 34, 68, 85, 119, 136, 170, 187, 221, 238};
  for (int i = 0; i < 10; ++i) {
    uint32_t level = kRamp[i];
    table[1 + i] = level << 16 | level << 8 | level;
    table[11 + i] = level;
    table[21 + i] = level << 8;
    table[31 + i] = level << 16;
  }
  for (uint32_t k = 1; k < 216; ++k) {
    uint32_t r = k / 36, g = (k / 6) % 6, b = k % 6;
    table[40 + k] = (51 * r) << 16 | (51 * g) << 8 | (51 * b);
  }
  return table;
}

inline constexpr PaletteTable kPalette = MakePalette();

// The cube's colour nearest to (r, g, b) given in levels 0..5.
constexpr uint8_t CubeColour(int r, int g, int b) { return static_cast<uint8_t>(40 + 36 * r + 6 * g + b); }

}  // namespace tvp
