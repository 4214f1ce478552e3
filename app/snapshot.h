#pragma once
// A headless run of the player: the real start-up and main loop on the in-memory display, input
// and sound device, with a clock that moves one sixtieth of a second a frame and a device that
// plays exactly as much audio in that time. After the given seconds of song the frame is written,
// doubled, as a PNG file.
#include <cstdint>
#include <string>
#include <vector>

#include "app/player_options.h"

namespace tvp {

// 0 when the picture was written; otherwise a one-line reason in `error`.
int RunSnapshot(const PlayerOptions& options, std::string* error);

// The same run, keeping the frame's pixels (FRAME_WIDTH x FRAME_HEIGHT palette indices) instead
// of writing them: true, or false with a reason in `error`.
bool SnapshotFrame(const PlayerOptions& options, std::vector<uint8_t>* pixels, std::string* error);

}  // namespace tvp
