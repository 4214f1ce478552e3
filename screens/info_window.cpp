// The soundtrack information (F3): the file's path, the filled slots of each table, the play
// position count, the estimated play time and the songs the module holds with their times,
// redrawn each time the window is shown.
#include <cstdio>

#include "screens/popup_windows.h"
#include "screens/window_frame.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr int32_t kColumns = 44;  // the longest line, 42 characters, and the border
constexpr int32_t kRows = 15;
constexpr int32_t kLines = kRows - 2;
constexpr int32_t kLineWidth = kColumns - 2;
constexpr const char* kTitle = "\xFE========= SOUNDTRACK INFO (F3) ==========";
constexpr const char* kFooter = "--------------------- Press ESC to dismiss";

// "Sub-Songs: 4 (playing 2)" and their times, "1 1m24s  2 1m27s ...", as many as fit.
void SubSongLines(const PlayerState& state, char* heading, char* times, size_t size) {
  const int32_t count = static_cast<int32_t>(state.subSongs.size());
  if (count < 2) {
    std::snprintf(heading, size, "Sub-Songs: 1");
    std::snprintf(times, size, " ");
    return;
  }
  std::snprintf(heading, size, "Sub-Songs: %d (playing %d)", count, state.subSong + 1);
  size_t used = 0;
  times[0] = '\0';
  for (int32_t i = 0; i < count; ++i) {
    const int32_t seconds = state.subSongs[static_cast<size_t>(i)].seconds;
    char entry[32];
    const int length = std::snprintf(entry, sizeof entry, "%s%d %dm%02ds", i ? "  " : "", i + 1, seconds / 60, seconds % 60);
    if (length < 0 || used + static_cast<size_t>(length) + (i + 1 < count ? 4 : 0) > static_cast<size_t>(kLineWidth)) {
      std::snprintf(times + used, size - used, " ...");
      return;
    }
    std::snprintf(times + used, size - used, "%s", entry);
    used += static_cast<size_t>(length);
  }
}

void DrawLines(PlayerState& state, Pixmap* picture) {
  const Soundtrack* song = state.soundtrack;
  char lines[kLines][256] = {};
  std::snprintf(lines[0], sizeof lines[0], "%s", kTitle);
  std::snprintf(lines[1], sizeof lines[1], "File Path: %s", state.currentFilePath ? state.currentFilePath : "");
  std::snprintf(lines[2], sizeof lines[2], "%4d Instruments Loaded in %d Slots.", CountFilledInstrumentSlots(song),
                song->instrumentCount);
  std::snprintf(lines[3], sizeof lines[3], "%4d Samples Loaded in %d Slots.", CountFilledSampleSlots(song),
                song->sampleCount);
  std::snprintf(lines[4], sizeof lines[4], "%4d Envelopes Loaded in %d Slots.", CountFilledEnvelopeSlots(song),
                song->envelopeCount);
  std::snprintf(lines[5], sizeof lines[5], "%4d Patterns Loaded in %d Slots.", CountFilledPatternSlots(song),
                song->patternCount);
  std::snprintf(lines[6], sizeof lines[6], "%4d PlayPositions Loaded", song->playPositionCount);
  std::snprintf(lines[7], sizeof lines[7], " ");
  int32_t seconds = 0;
  if (EstimatePlayTime(song, &seconds, nullptr) == kStatusOk)
    std::snprintf(lines[8], sizeof lines[8], "Estimated Play Time:  %4dm%02ds", seconds / 60, seconds % 60);
  SubSongLines(state, lines[9], lines[10], sizeof lines[9]);
  std::snprintf(lines[11], sizeof lines[11], " ");
  std::snprintf(lines[12], sizeof lines[12], "%s", kFooter);
  for (int32_t i = 0; i < kLines; ++i) {
    lines[i][kLineWidth] = '\0';  // a long path is cut to the window
    DrawWindowText(*state.font, picture, 1, i + 1, lines[i]);
  }
}

}  // namespace

void ShowInfoWindow(PlayerState& state) {
  InfoWindowState& window = state.infoWindow;
  if (IsCurrentPopup(state.currentPopup, window.picture)) return;
  if (!window.picture) {
    window.picture = MakeWindowPicture(*state.font, kColumns, kRows);
    if (!window.picture) return;  // tried again at the next F3
  }
  DrawWindowFrame(*state.font, window.picture, kColourDarkGreen);
  if (state.soundtrack) {
    DrawLines(state, window.picture);
  } else {
    DrawWindowText(*state.font, window.picture, 1, 1, kTitle);
    DrawWindowText(*state.font, window.picture, 2, 3, "No Soundtrack Loaded.");
    DrawWindowText(*state.font, window.picture, 1, kLines, kFooter);
  }
  ShowPopup(state, window.picture);
}

}  // namespace tvp
