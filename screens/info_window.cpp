// The soundtrack information (F3): the file's path, the filled slots of each table, the play
// position count and the estimated play time, redrawn each time the window is shown.
#include <cstdio>

#include "screens/popup_windows.h"
#include "screens/window_frame.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr int32_t kColumns = 44;  // the longest line, 42 characters, and the border
constexpr int32_t kRows = 13;
constexpr int32_t kLineWidth = kColumns - 2;
constexpr const char* kTitle = "\xFE========= SOUNDTRACK INFO (F3) ==========";
constexpr const char* kFooter = "--------------------- Press ESC to dismiss";

void DrawLines(PlayerState& state, Pixmap* picture) {
  const Soundtrack* song = state.soundtrack;
  char lines[11][256] = {};
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
  std::snprintf(lines[9], sizeof lines[9], " ");
  std::snprintf(lines[10], sizeof lines[10], "%s", kFooter);
  for (int32_t i = 0; i < 11; ++i) {
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
    DrawWindowText(*state.font, window.picture, 1, 11, kFooter);
  }
  ShowPopup(state, window.picture);
}

}  // namespace tvp
