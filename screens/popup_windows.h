#pragma once
// The four pop-up windows: key binding help (F1), player variables (F2), soundtrack information
// (F3) and the open-file window (F4). Each draws into a picture of its own, made the first time
// it is shown, and hands it to ShowPopup, which slides it in over the status screen.
#include <cstdint>

#include "app/player_state.h"

namespace tvp {

void ShowHelpWindow(PlayerState& state);       // F1
void ShowVariablesWindow(PlayerState& state);  // F2
void ShowInfoWindow(PlayerState& state);       // F3
void ShowOpenFileWindow(PlayerState& state);   // F4, and AUTOOPEN at start-up

// Offered every key-down after the Escape handling, the open-file window first; each takes keys
// only while its window is the current pop-up and returns true when it used the key.
bool OpenFileWindowKey(PlayerState& state, int32_t key);
bool VariablesWindowKey(PlayerState& state, int32_t key);

// Every frame in which the pad's channel control does not run: redraws the variables window's
// four value fields (and blinks the selected one) while that window is the current pop-up.
void RefreshVariablesWindow(PlayerState& state);

// Makes `path` the open-file window's directory and reads its listing. `path` is a drive path
// ("C:\home\ana\mods") or a POSIX path, absolute or relative to the working directory. A path
// whose directory text would pass 259 characters is refused with the notice
// "DIRECTORY PATH TOO LONG" and the current directory stays; then the result is false.
bool SetDirectory(PlayerState& state, const char* path);

// Frees the windows' pictures and the listing (shut-down).
void DisposePopupWindows(PlayerState& state);

}  // namespace tvp
