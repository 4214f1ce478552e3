#pragma once
// What the player's screens keep from one frame to the next. Part of the player's one shared
// state; start values are 0.
#include <cstdint>

namespace tvp {

struct StatusScreenState {
  int32_t meterLeft = 0;  // -1 .. 17: level meter states, falling one step a rendered frame
  int32_t meterRight = 0;
  int32_t voicesNow = 0;         // the last peak voice count the engine reported
  int32_t voicesHeld = 0;        // the highest voicesNow of the last 60 frames
  uint32_t voicesHeldFrame = 0;  // frameCount when voicesHeld last rose
};

}  // namespace tvp
