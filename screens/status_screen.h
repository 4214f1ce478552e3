#pragma once
// The main status screen, redrawn into the frame bitmap every frame: the player's name, the
// title, beat and next event, tempo and voice counts, time and buffers, the level meters, the
// master volume bars, the strip of channel lamps, the play-position column on the right, and
// below them the display area of the current display mode.
#include <cstdint>

#include "app/player_state.h"

namespace tvp {

// Palette colours of the screens.
inline constexpr uint8_t kColourWhite = 255;
inline constexpr uint8_t kColourGrey = 126;
inline constexpr uint8_t kColourGreen = 70;
inline constexpr uint8_t kColourRed = 220;
inline constexpr uint8_t kColourYellow = 250;
inline constexpr uint8_t kColourBlue = 45;
inline constexpr uint8_t kColourMagenta = 225;
inline constexpr uint8_t kColourCyan = 75;
inline constexpr uint8_t kColourBlack = 0;

// The name line of row 0, after the title mark.
inline constexpr char kPlayerNameLine[] = "Tonvale Player  (c) 2026";

// Clears the frame bitmap and draws the whole screen. `title` is the soundtrack's title.
void DrawStatusScreen(PlayerState& state, const char* title);

// The glyph colour of a channel lamp from the voice's active bits and final volume.
uint8_t ChannelLampColour(uint16_t active, int32_t volume);
// Meter state after one rendered frame: falls by one, rises to the new peak's level.
int32_t NextMeterLevel(int32_t meter, int32_t peak);

}  // namespace tvp
