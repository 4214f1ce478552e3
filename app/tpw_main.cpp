// tpw, the player: a window (or the whole screen) on SDL, the sound card through SDL's audio
// output, game controllers through SDL's game controller API.
#include <cstdio>
#include <memory>
#include <string>

#include "app/player_options.h"
#include "app/snapshot.h"
#include "app/startup.h"
#include "app/settings_reader.h"
#include "app/player_settings.h"
#include "platform/sdl_audio.h"
#include "platform/sdl_display.h"
#include "platform/sdl_input.h"
#include "platform/session_media_controls.h"
#include "resources/resources.h"

namespace {

using namespace tvp;

int RunOnScreen(const PlayerOptions& options) {
  SdlDisplay display;
  std::unique_ptr<InputSource> input = MakeSdlInputSource();
  SoundDeviceHolder sound(OpenSdlRingDevice);
  SystemClock clock;
  auto player = std::make_unique<Player>();
  StartOptions start{SettingsPath(), options.window, options.files, options.recursive, options.mediaControls};
  std::string error;
  if (StartPlayer(*player, {&display, input.get(), &sound, &clock, OpenSessionMediaControls}, start, &error) != 0) {
    std::fprintf(stderr, "tpw: %s\n", error.c_str());
    return 1;
  }
  RunPlayerLoop(*player);
  ShutDownPlayer(*player);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  PlayerOptions options;
  std::string error;
  if (!ParsePlayerOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "tpw: %s (tpw --help tells more)\n", error.c_str());
    return 2;
  }
  switch (options.action) {
    case PlayerOptions::Action::kHelp: std::fputs(kPlayerUsage, stdout); return 0;
    case PlayerOptions::Action::kVersion: {
      ResourceBytes banner;
      if (FindResource("BANNER_STRING_128", &banner))
        std::printf("%.*s\n", static_cast<int>(banner.size), reinterpret_cast<const char*>(banner.data));
      return 0;
    }
    case PlayerOptions::Action::kSnapshot:
      if (RunSnapshot(options, &error) != 0) {
        std::fprintf(stderr, "tpw: %s\n", error.c_str());
        return 1;
      }
      return 0;
    case PlayerOptions::Action::kRun: break;
  }
  return RunOnScreen(options);
}
