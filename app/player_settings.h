#pragma once
// The player's settings: read once at start-up from tpw32.ini through the settings reader,
// settled to their values or defaults, a few of them corrected. Nothing is written back.
#include <cstdint>
#include <string>

#include "app/settings_reader.h"

namespace tvp {

struct PlayerState;

inline constexpr char kSettingsFileName[] = "tpw32.ini";

// The engine refuses a buffer whose mix buffer (8 bytes a frame) would pass INT32_MAX bytes;
// this is the largest multiple of 256 below that. FRAMESPERBUFFER above it is limited to it, so
// that the rounding up to a multiple of 256 cannot wrap past the integer limit.
inline constexpr int32_t kMaxFramesPerBuffer = (INT32_MAX / 8) & ~255;

// PLAYLIST: what the end of a song leads to.
enum class PlayListMode : int32_t {
  kNext,    // the next file of the list; after the last one, play stops
  kRepeat,  // the same song again, for ever
  kStop,    // play stops at the end of every song
};

// LOOPS above this is taken as this: a pass of a song is a minute or more, so this is a day.
inline constexpr int32_t kMaxSongLoops = 1000;

struct PlayerSettings {
  int32_t sampleRate = 44100;  // Hz; sent to the engine as 16.16
  // The output format beside the settings, fixed.
  int32_t bitsPerSample = 16;
  int32_t stereo = 1;
  int32_t masterVolume = 32768;  // 65536 is full scale
  int32_t framesPerBuffer = 4096;
  int32_t interpolation = 0;  // 0, 1, 2, 3 or 7
  int32_t a4Frequency = 440;  // Hz
  int32_t speed = 100;        // percent
  bool resetParams = true;    // resend the four engine settings after every load
  int32_t resolutionX = 320;  // requested; the start-up stores the size obtained
  int32_t resolutionY = 240;
  bool resolutionGiven = false;  // RESOLUTION_X or RESOLUTION_Y is in the file
  bool vsync = false;
  const char* openDir = nullptr;  // null when absent; the text belongs to the settings reader
  bool autoOpen = false;
  bool autoStart = false;
  int32_t display = 1;  // 1 .. 4
  bool mouseCursor = false;
  bool drawFps = false;
  bool flip = false;
  bool window = false;
  int32_t loops = 0;  // passes a song plays on after it first loops back, before the fade
  PlayListMode playList = PlayListMode::kNext;
  bool allSubSongs = false;  // SUBSONGS=ALL: a file's later songs play after its first
  bool shuffle = false;
  bool mediaControls = true;  // MPRIS: the desktop's media controls reach the player
};

// Looks every key up in `reader` (already loaded), with its default, and applies the
// corrections: INTERPOLATION outside {0, 1, 2, 3, 7} becomes 0, DISPLAY is clamped to 1..4,
// FRAMESPERBUFFER is rounded up to a multiple of 256, at least 256 and at most
// kMaxFramesPerBuffer; LOOPS is limited to 0..kMaxSongLoops; PLAYLIST is NEXT, REPEAT or STOP in
// any letter case, anything else NEXT. Every other value is passed on as read.
PlayerSettings SettleSettings(SettingsReader& reader);

// Loads the settings file at `path` into `state.settingsReader` (which must be set; a file that cannot be
// opened leaves every key at its default), fills `state.settings` and sets `displayMode` from
// DISPLAY.
void ReadPlayerSettings(PlayerState& state, const char* path);

// Which settings file to read: `localFile` (tpw32.ini in the working directory) when it can be
// opened; otherwise tonvale/tpw32.ini under $XDG_CONFIG_HOME, or under $HOME/.config when that
// variable is unset, empty or not an absolute path; `localFile` again when neither is known.
// The two values are the environment's, passed in (null when unset).
std::string ChooseSettingsPath(const char* localFile, const char* xdgConfigHome, const char* home);
// The same for this process: its working directory and environment.
std::string SettingsPath();

}  // namespace tvp
