// The key binding help (F1): 24 fixed lines, drawn once.
#include <algorithm>
#include <cstring>

#include "screens/popup_windows.h"
#include "screens/window_frame.h"

namespace tvp {

namespace {

// 0xFE is the title mark; 0xBC..0xBF are the arrows up, right, down and left.
constexpr const char* kHelpLines[] = {
    "\xFE====== KEY BINDING HELP (F1) =======",
    "[F1]   shows this help",
    "[F2]   shows variable parameters",
    "[F3]   shows soundtrack information",
    "[F4]   shows open-file dialog",
    "[F5]   starts playing",
    "[F7]   stops and rewinds soundtrack",
    "[F8]   stops playing",
    "[PgUp] skips to previous playpos.",
    "[PgDn] skips to next playpos.",
    "[N]    plays next file of the list",
    "[P]    plays previous file",
    "[[]/[]] previous/next subsong",
    "[,]/[.] 10 seconds back/forward",
    "[\xBF][\xBD] changes master volume",
    "[\xBC][\xBE] selects channel",
    "[  ]   turns selected channel on/off",
    "[S]    toggles solo play",
    "[1]    channel bar-graph display",
    "[2]    channel digital display",
    "[3]    oscilloscope display",
    "[4]    play pattern display",
    "[V]    toggles VBL-Sync drawing",
    "[F12] or [Alt]+[F4] quits player.",
    "---------------- Press ESC to dismiss",
};
constexpr int32_t kHelpLineCount = sizeof kHelpLines / sizeof kHelpLines[0];

}  // namespace

void ShowHelpWindow(PlayerState& state) {
  HelpWindowState& help = state.helpWindow;
  if (!help.picture) {
    size_t longest = 0;
    for (const char* line : kHelpLines) longest = std::max(longest, std::strlen(line));
    help.picture = MakeWindowPicture(*state.font, static_cast<int32_t>(longest) + 2, kHelpLineCount + 2);
    if (!help.picture) return;  // tried again at the next F1
    DrawWindowFrame(*state.font, help.picture, kColourDarkBlue);
    for (int32_t i = 0; i < kHelpLineCount; ++i) DrawWindowText(*state.font, help.picture, 1, i + 1, kHelpLines[i]);
  }
  if (!IsCurrentPopup(state.currentPopup, help.picture)) ShowPopup(state, help.picture);
}

}  // namespace tvp
