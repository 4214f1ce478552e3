// The pop-up windows are not drawn yet: F1 to F4 do nothing and no window takes keys.
#include "screens/popup_windows.h"

namespace tvp {

void ShowHelpWindow(PlayerState&) {}
void ShowVariablesWindow(PlayerState&) {}
void ShowInfoWindow(PlayerState&) {}
void ShowOpenFileWindow(PlayerState&) {}
bool OpenFileWindowKey(PlayerState&, int32_t) { return false; }
bool VariablesWindowKey(PlayerState&, int32_t) { return false; }
void RefreshVariablesWindow(PlayerState&) {}
bool SetDirectory(PlayerState&, const char*) { return true; }
void DisposePopupWindows(PlayerState&) {}

}  // namespace tvp
