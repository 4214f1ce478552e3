#pragma once
// What the player's screens keep from one frame to the next. Part of the player's one shared
// state; start values are 0.
#include <cstdint>

#include "screen/pixmap.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

struct StatusScreenState {
  int32_t meterLeft = 0;  // -1 .. 17: level meter states, falling one step a rendered frame
  int32_t meterRight = 0;
  int32_t voicesNow = 0;         // the last peak voice count the engine reported
  int32_t voicesHeld = 0;        // the highest voicesNow of the last 60 frames
  uint32_t voicesHeldFrame = 0;  // frameCount when voicesHeld last rose
};

// The oscilloscope's picture: made on first use, redrawn only when a new capture arrives, so the
// last traces stay while nothing plays.
struct OscilloscopeState {
  Pixmap* panel = nullptr;  // kScopeWidth x kScopeHeight
};

inline constexpr int32_t kChartChannels = 32;

// The pattern chart: the playing pattern drawn once into a tall picture, time running upward
// two pixels a tick from the bottom row, then only shifted each frame.
struct PatternChartState {
  Pixmap* chart = nullptr;        // kChartWidth x kChartHeight
  int32_t* rowY = nullptr;        // kChartRows entries: chart y of each row's first tick, 0 unreached
  const Event* pattern = nullptr;  // the pattern the chart holds; null forces a rebuild
  int32_t counters[kChartChannels] = {};  // events of each channel at the current time
};

}  // namespace tvp
