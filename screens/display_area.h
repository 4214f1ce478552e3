#pragma once
// The display area below the status rows, drawn by displayMode: channel bar graphs (1, and any
// value outside 2..4), channel digits (2), the oscilloscope (3) or the pattern chart (4).
#include "app/player_state.h"

namespace tvp {

void DrawDisplayArea(PlayerState& state);

// Frees the pictures the displays keep between frames (the oscilloscope panel and the pattern
// chart); they are made again on next use.
void DisposeDisplayArea(PlayerState& state);

}  // namespace tvp
