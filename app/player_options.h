#pragma once
// The tpw command line:
//   tpw [--window | --fullscreen] [--recursive] [--no-mpris] [FILE | DIR]...
//   tpw --snapshot OUT.png [--at SECONDS] [--display 1..4] [--keys K1,K2,...] [FILE]
//   tpw --help | --version
#include <cstdint>
#include <string>
#include <vector>

namespace tvp {

struct PlayerOptions {
  enum class Action { kRun, kSnapshot, kHelp, kVersion };
  Action action = Action::kRun;
  int32_t window = -1;  // -1 as the settings say, 0 full screen, 1 window
  std::vector<std::string> files;  // modules and folders, the play list
  bool recursive = false;
  bool mediaControls = true;  // --no-mpris: false
  std::string snapshotPath;
  double snapshotSeconds = 3.0;
  int32_t snapshotDisplay = 0;  // 0: as the settings say
  std::vector<uint32_t> snapshotKeys;  // virtual-key codes, pressed one a frame from the start
};

// False with a one-line reason for a command line that cannot be taken.
bool ParsePlayerOptions(int argc, const char* const* argv, PlayerOptions* options, std::string* error);

// The virtual-key code of a key name (F1..F12, UP, DOWN, LEFT, RIGHT, PGUP, PGDN, HOME, END,
// RETURN, ESCAPE, SPACE, TAB, BACKSPACE, a letter or a digit), in any letter case; 0 when unknown.
uint32_t KeyFromName(const std::string& name);

extern const char kPlayerUsage[];

}  // namespace tvp
