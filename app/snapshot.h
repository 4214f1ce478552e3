#pragma once
// A headless run of the player: the real start-up and main loop on the in-memory display, input
// and sound device, with a clock that moves one sixtieth of a second a frame and a device that
// plays exactly as much audio in that time. After the given seconds of song the frame is written,
// doubled, as a PNG file.
#include <string>

#include "app/player_options.h"

namespace tvp {

// 0 when the picture was written; otherwise a one-line reason in `error`.
int RunSnapshot(const PlayerOptions& options, std::string* error);

}  // namespace tvp
