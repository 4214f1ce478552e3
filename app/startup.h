#pragma once
// Start-up and shut-down of the player: the long-lived objects, the settings, the frame bitmap,
// the font, the display, the sound device and the engine, the input devices; and their teardown
// in reverse. The platform's services come in from outside, so the same start-up runs on SDL
// (the tpw program) and in memory (snapshots and tests).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/media_session.h"
#include "app/player_state.h"
#include "app/settings_reader.h"
#include "platform/audio_device.h"
#include "platform/clock.h"
#include "platform/display_window.h"
#include "platform/input_devices.h"
#include "screen/screen_font.h"

namespace tvp {

struct PlayerPlatform {
  DisplayWindow* display;
  InputSource* input;
  SoundDeviceHolder* sound;
  Clock* clock;
  // Opens the desktop's media controls; none when unset or when it returns null (no bus).
  std::function<std::unique_ptr<MediaControls>()> openMediaControls;
};

struct StartOptions {
  std::string settingsPath;  // the settings file to read
  int32_t window = -1;       // -1 as the settings say, 0 full screen, 1 in a window
  std::vector<std::string> files;  // modules or folders to play at once, as the play list
  bool recursive = false;          // folders given or dropped are walked to their depths
  bool mediaControls = true;       // false: no media controls, whatever the settings say
};

// Everything the player owns for the whole run.
struct Player {
  PlayerState state;
  SettingsReader settingsReader;
  ScreenFont font;
  InputDevices inputDevices;
  PlayerPlatform platform{};
  bool inputCreated = false;
  std::unique_ptr<MediaControls> mediaControls;
  PlayerMediaSession mediaSession{state};
};

// The display title while no song is loaded.
inline constexpr char kWindowTitle[] = "Tonvale Player";
// In a window the frame is shown at the largest whole multiple that fits in this share of the
// desktop's usable area (numerator / denominator), unless the settings give the size.
inline constexpr int32_t kWindowShareNumerator = 3;
inline constexpr int32_t kWindowShareDenominator = 4;

// Brings the player up. On success state.running tells whether the main loop should run. On a
// failure the player is torn down already and `error` holds one line naming what failed.
int32_t StartPlayer(Player& player, const PlayerPlatform& platform, const StartOptions& options,
                    std::string* error);

// Runs the main loop until the window is closed.
void RunPlayerLoop(Player& player);

// Closes the engine, shows the cursor and destroys the long-lived objects in their order.
void ShutDownPlayer(Player& player);

// Where the frame sits on a display of the size obtained: doubled from 640 x 480 on, centred.
void PlaceFrame(PlayerState& state, int32_t width, int32_t height);

// The whole multiple of the frame a window shows on a desktop whose usable area is width x
// height: the largest that fits in three quarters of it, at least 1.
int32_t WindowScale(int32_t width, int32_t height);

}  // namespace tvp
