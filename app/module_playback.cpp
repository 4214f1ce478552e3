#include "app/module_playback.h"

#include <algorithm>
#include <cstring>

#include "app/play_list.h"
#include "app/song_choice.h"
#include "engine/sound_engine.h"
#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"

namespace tvp {

namespace {


// Hz and percent go to the engine as 16.16; it takes the low 32 bits of the product.
intptr_t Fixed(int32_t value) { return static_cast<intptr_t>(value) * 65536; }

// Prepares at the settings' rate and format: this also rewinds the song to its first position.
void Prepare(PlayerState& state) {
  const PlayerSettings& s = state.settings;
  SendEngineCommand(state, ENG_PREPARE, s.bitsPerSample, s.stereo, Fixed(s.sampleRate), s.interpolation);
}

void KeepPath(PlayerState& state, const char* path) {
  // Longer paths are cut to the buffer; only the information window shows it, in 42 columns.
  size_t length = std::strlen(path);
  if (length > kPathCapacity - 1) length = kPathCapacity - 1;
  std::memcpy(state.pathBuffer, path, length);
  state.pathBuffer[length] = '\0';
  state.currentFilePath = state.pathBuffer;
  state.filePath = path;
}

}  // namespace

void SendEngineSettings(PlayerState& state) {
  const PlayerSettings& s = state.settings;
  SendEngineCommand(state, ENG_SET_MASTER_VOLUME, s.masterVolume);
  SendEngineCommand(state, ENG_SET_A4_FREQUENCY, Fixed(s.a4Frequency));
  SendEngineCommand(state, ENG_SET_SPEED, Fixed(s.speed));
  SendEngineCommand(state, ENG_SET_INTERPOLATION, s.interpolation);
}

void ReleaseModule(PlayerState& state) {
  SendEngineCommand(state, ENG_STOP);
  SendEngineCommand(state, ENG_UNBIND_SOUNDTRACK);
  ReleaseSoundtrack(state.soundtrack);
  state.soundtrack = nullptr;
  // The next song's patterns may be allocated where this one's were: the chart must not take
  // a new pattern at an old address for the one it holds.
  state.patternChart.pattern = nullptr;
  state.currentFilePath = nullptr;
}

bool OpenModuleFile(PlayerState& state, const char* path) {
  ModuleFile* file = FileOpen(path, kFileRead);
  if (file == nullptr) {
    // The song that was playing goes on playing.
    ShowNotice(state, "FILE OPEN FAILED");
    return false;
  }
  ReleaseModule(state);
  // The content decides the loader, not the name.
  ModuleFormat format = LoadModule(file, state.soundtrackTitle, &state.soundtrack, nullptr);
  FileClose(file);
  if (format == ModuleFormat::None) {
    state.soundtrack = nullptr;
    ShowNotice(state, "FILE READ FAILED");
    return false;
  }

  state.soundtrack->flags |= kSoundtrackInUse;
  SendEngineCommand(state, ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(state.soundtrack));
  SendEngineCommand(state, ENG_SET_FADE_STEP, 0);
  // A load undoes changes made with the volume keys or in the variables window.
  if (state.settings.resetParams) SendEngineSettings(state);
  Prepare(state);
  KeepPath(state, path);
  ++state.songsLoaded;
  FindModuleSongs(state);
  RestartSongFollowing(state);
  if (state.settings.autoStart) SendEngineCommand(state, ENG_START);
  ShowNotice(state, "FILE READ SUCCESSFULLY");
  return true;
}

bool LoadsAsModule(const char* path) {
  ModuleFile* file = FileOpen(path, kFileRead);
  if (!file) return false;
  char title[kTitleCapacity];
  Soundtrack* soundtrack = nullptr;
  const ModuleFormat format = LoadModule(file, title, &soundtrack, nullptr);
  FileClose(file);
  if (format == ModuleFormat::None) return false;
  ReleaseSoundtrack(soundtrack);
  return true;
}

void SetMasterVolume(PlayerState& state, int32_t volume) {
  SendEngineCommand(state, ENG_SET_MASTER_VOLUME, std::clamp(volume, 0, kFullVolume));
}

void StartPlaying(PlayerState& state) {
  if (state.engine && (state.engine->flags & kEngineEnded) && !state.engine->playing) RestartSongFollowing(state);
  SendEngineCommand(state, ENG_START);
  ShowNotice(state, "PLAY STARTED");
}

void StopPlaying(PlayerState& state) {
  SendEngineCommand(state, ENG_STOP);
  ShowNotice(state, "PLAY STOPPED");
}

void RewindSong(PlayerState& state) { Prepare(state); }

void StopAndRewind(PlayerState& state) {
  SendEngineCommand(state, ENG_STOP);
  Prepare(state);
  RestartSongFollowing(state);
  ShowNotice(state, "SOUNDTRACK REWINDED TO THE BEGINNING");
}

void PreviousPlayPosition(PlayerState& state) {
  EngineResult position = SendEngineCommand(state, ENG_GET_PLAY_POSITION);
  SendEngineCommand(state, ENG_REQUEST_PLAY_POSITION, position - 1);
  FollowPositionRequest(state, static_cast<int32_t>(position - 1));
}

void NextPlayPosition(PlayerState& state) {
  EngineResult position = SendEngineCommand(state, ENG_GET_PLAY_POSITION);
  SendEngineCommand(state, ENG_REQUEST_PLAY_POSITION, position + 1);
  FollowPositionRequest(state, static_cast<int32_t>(position + 1));
}

}  // namespace tvp
