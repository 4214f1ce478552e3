#pragma once
// What the player's screens keep from one frame to the next. Part of the player's one shared
// state; start values are 0.
#include <cstdint>

#include "screen/pixmap.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

struct Pixmap;

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

// The pop-up windows keep their pictures from the first time they are shown to the end of the
// run (DisposePopupWindows frees them).
struct HelpWindowState {
  Pixmap* picture = nullptr;
};

struct VariablesWindowState {
  Pixmap* picture = nullptr;
  int32_t selectedField = 0;  // 0 volume, 1 A4 frequency, 2 speed, 3 interpolation
  int32_t blinkCounter = 0;   // 0 .. 15; the selected value shows while it is 9 or below
};

struct InfoWindowState {
  Pixmap* picture = nullptr;
};

// One entry of the open-file window's listing. Each record is one allocation with its name right
// after it.
struct FileEntry {
  FileEntry* next;
  int32_t index;        // position in the list from 0
  int32_t isDirectory;  // 1 or 0
  uint32_t size;        // the low 32 bits of a file's size
  char* name;
};

// A directory text holds at most 259 characters and its terminator.
inline constexpr int32_t kDirectoryCapacity = 260;

// Which list of the open-file window has the keyboard focus.
inline constexpr int32_t kFocusEntries = 0;
inline constexpr int32_t kFocusDrives = 1;

struct OpenFileWindowState {
  Pixmap* picture = nullptr;
  char currentDirectory[kDirectoryCapacity] = {};  // a drive path ending in a backslash
  FileEntry* entries = nullptr;                    // in display order
  int32_t entryCount = 0;
  int32_t focus = kFocusEntries;
  int32_t entryCursor = 0;
  int32_t firstVisibleEntry = 0;  // the entry in the top list row
  int32_t driveCursor = 0;        // among the present drives
  int32_t driveCount = 0;         // drives listed at the last draw
  uint32_t driveMask = 0;         // bit 0 = A:; read once
  bool driveMaskRead = false;
};

}  // namespace tvp
