#include "app/player_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "app/player_state.h"

namespace tvp {

namespace {

int32_t SettleInterpolation(int32_t mode) {
  switch (mode) {
    case 0: case 1: case 2: case 3: case 7: return mode;
    default: return 0;
  }
}

// Rounds up to the next multiple of 256 by adding 256 minus the low eight bits; 256 or less
// gives 256. The upper limit comes first, so the addition stays inside the integer range.
int32_t SettleFramesPerBuffer(int32_t frames) {
  if (frames > kMaxFramesPerBuffer) return kMaxFramesPerBuffer;
  if ((frames & 255) != 0) frames += 256 - (frames & 255);
  return frames <= 256 ? 256 : frames;
}

std::string Upper(const char* text) {
  std::string word;
  for (const char* c = text; c && *c; ++c) word += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return word;
}

PlayListMode SettlePlayListMode(const char* text) {
  const std::string mode = Upper(text);
  if (mode == "REPEAT") return PlayListMode::kRepeat;
  if (mode == "STOP") return PlayListMode::kStop;
  return PlayListMode::kNext;
}

bool IsSet(const char* text) { return text != nullptr && text[0] != '\0'; }

}  // namespace

PlayerSettings SettleSettings(SettingsReader& reader) {
  PlayerSettings s;
  // Looked up in a fixed order, each with its default.
  s.sampleRate = reader.GetInteger("SAMPLERATE", s.sampleRate);
  s.masterVolume = reader.GetInteger("MASTERVOL", s.masterVolume);
  s.framesPerBuffer = reader.GetInteger("FRAMESPERBUFFER", s.framesPerBuffer);
  s.interpolation = reader.GetInteger("INTERPOLATION", s.interpolation);
  s.a4Frequency = reader.GetInteger("A4FREQ", s.a4Frequency);
  s.speed = reader.GetInteger("SPEED", s.speed);
  s.resetParams = reader.GetBoolean("RESETPARAMS", s.resetParams) != 0;
  s.resolutionX = reader.GetInteger("RESOLUTION_X", s.resolutionX);
  s.resolutionY = reader.GetInteger("RESOLUTION_Y", s.resolutionY);
  s.vsync = reader.GetBoolean("VSYNC", s.vsync) != 0;
  s.openDir = reader.GetString("OPENDIR", nullptr);
  s.autoOpen = reader.GetBoolean("AUTOOPEN", s.autoOpen) != 0;
  s.autoStart = reader.GetBoolean("AUTOSTART", s.autoStart) != 0;
  s.display = reader.GetInteger("DISPLAY", s.display);
  s.mouseCursor = reader.GetBoolean("MOUSECURSOR", s.mouseCursor) != 0;
  s.drawFps = reader.GetBoolean("DRAWFPS", s.drawFps) != 0;
  s.flip = reader.GetBoolean("FLIP", s.flip) != 0;
  s.window = reader.GetBoolean("WINDOW", s.window) != 0;
  s.resolutionGiven = reader.GetString("RESOLUTION_X", nullptr) || reader.GetString("RESOLUTION_Y", nullptr);
  s.loops = std::clamp(reader.GetInteger("LOOPS", s.loops), 0, kMaxSongLoops);
  s.playList = SettlePlayListMode(reader.GetString("PLAYLIST", nullptr));
  s.shuffle = reader.GetBoolean("SHUFFLE", s.shuffle) != 0;
  s.mediaControls = reader.GetBoolean("MPRIS", s.mediaControls) != 0;
  s.allSubSongs = Upper(reader.GetString("SUBSONGS", nullptr)) == "ALL";

  s.interpolation = SettleInterpolation(s.interpolation);
  s.display = s.display < 1 ? 1 : s.display > 4 ? 4 : s.display;
  s.framesPerBuffer = SettleFramesPerBuffer(s.framesPerBuffer);
  return s;
}

void ReadPlayerSettings(PlayerState& state, const char* path) {
  // A missing or unreadable file is no error: every key then takes its default.
  state.settingsReader->Load(path);
  state.settings = SettleSettings(*state.settingsReader);
  state.displayMode = state.settings.display;
}

std::string ChooseSettingsPath(const char* localFile, const char* xdgConfigHome, const char* home) {
  if (std::FILE* file = std::fopen(localFile, "r")) {
    std::fclose(file);
    return localFile;
  }
  const std::string tail = std::string("/tonvale/") + kSettingsFileName;
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory convention says.
  if (IsSet(xdgConfigHome) && xdgConfigHome[0] == '/') return xdgConfigHome + tail;
  if (IsSet(home)) return home + ("/.config" + tail);
  return localFile;
}

std::string SettingsPath() {
  return ChooseSettingsPath(kSettingsFileName, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace tvp
