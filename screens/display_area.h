#pragma once
// The display area below the status rows, drawn by displayMode: channel bar graphs (1), channel
// digits (2), the oscilloscope (3) or the pattern chart (4).
#include "app/player_state.h"

namespace tvp {

void DrawDisplayArea(PlayerState& state);

}  // namespace tvp
