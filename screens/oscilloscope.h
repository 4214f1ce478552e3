#pragma once
// The oscilloscope: the player's stereo output as two traces, left above right, on a black panel
// 312 x 176. The panel is redrawn whenever the engine has captured a new output buffer for it;
// between captures, and while nothing plays, the last picture stays.
#include <cstdint>

#include "app/player_state.h"

namespace tvp {

inline constexpr int32_t kScopeWidth = 312;
inline constexpr int32_t kScopeHeight = 176;
inline constexpr uint8_t kColourScopeLeft = 75;    // cyan
inline constexpr uint8_t kColourScopeRight = 243;  // pink

// Takes a captured buffer into the state's sample buffer when one is ready, asks for the next,
// redraws the panel from a new capture and copies the panel onto the frame at (x, y).
void DrawOscilloscope(PlayerState& state, int x, int y);

// Draws the traces of `frames` interleaved left/right frames onto the cleared panel: frames /
// 312 - 1 frames a column, joined by lines; nothing when that is 0 or less.
void DrawScopeTraces(Pixmap* panel, const int16_t* samples, int32_t frames);

}  // namespace tvp
