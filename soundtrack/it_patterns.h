#pragma once
// IT patterns: the packed rows unpacked into cells, and the cells turned into the cell bytes of
// the XM pattern decoder, whose events the engine plays. Each IT effect goes to the XM effect
// that does the same; effects without one are left out.
#include <cstdint>

namespace tvp::it {

inline constexpr int32_t kChannels = 64;
inline constexpr int32_t kNoNote = -1;

struct Cell {
  int32_t note = kNoNote;  // 0 .. 119, 253 fade, 254 cut, 255 off
  int32_t instrument = 0;  // 1-based, 0 none
  int32_t volume = -1;     // the volume column, 0 .. 212; -1 none
  int32_t effect = 0;      // 1 .. 26 for A .. Z, 0 none
  int32_t param = 0;
};

// Unpacks `rows` rows of kChannels cells from `size` packed bytes into `cells`. The channel's
// last mask and values carry over as the format says. Returns the highest channel a cell was
// given in plus 1 (0 for an empty pattern); data that ends early leaves the remaining cells empty.
int32_t UnpackPattern(const uint8_t* packed, int32_t size, int32_t rows, Cell* cells);

// The song's choices that change what effects mean.
struct EffectRules {
  bool linkedPortamento = true;  // G shares E and F's memory
  bool oldEffects = false;       // tremor Ixy: x + 1 ticks on and y + 1 off instead of x and y
};

// Writes the first `channels` cells of each of `rows` rows as whole extended XM cells (note,
// instrument, volume column, effect, param, second effect, its param) into `out` (rows x channels
// x 7 bytes). A 0 parameter repeats the channel's last one of its kind within the pattern.
void ToXmCells(const Cell* cells, int32_t rows, int32_t channels, const EffectRules& rules, uint8_t* out);

}  // namespace tvp::it
