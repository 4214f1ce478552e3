#include "app/media_session.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "app/module_playback.h"
#include "app/play_list.h"
#include "app/song_choice.h"
#include "engine/sound_engine.h"
#include "platform/display_window.h"

namespace tvp {

namespace {

constexpr int64_t kMicroseconds = 1000000;

int64_t FramesToMicroseconds(int64_t frames, int32_t rate) { return rate > 0 ? frames * kMicroseconds / rate : 0; }

// The sub-song's play time: 256-frame units at 44100 Hz.
int64_t SongLength(const PlayerState& state) {
  if (state.subSongs.empty()) return 0;
  const SubSong& song = state.subSongs[static_cast<size_t>(state.subSong)];
  return int64_t{song.total} * 256 * kMicroseconds / 44100;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error);
}

}  // namespace

MediaStatus PlayerMediaSession::Status() {
  MediaStatus status;
  const SoundEngine* engine = state_.engine;
  const PlayListState& list = state_.playList;
  const int32_t files = static_cast<int32_t>(list.order.size());
  status.canGoNext = list.at >= 0 && list.at + 1 < files;
  status.canGoPrevious = list.at > 0;
  if (engine) status.volume = static_cast<double>(SendEngineCommand(state_, ENG_GET_MASTER_VOLUME)) / kFullVolume;
  if (!engine || !state_.soundtrack || !state_.currentFilePath) return status;

  const int64_t frame = SongFrame(*engine);
  if (engine->playing)
    status.playback = MediaPlayback::kPlaying;
  else if (frame > 0 && !(engine->flags & kEngineEnded))
    status.playback = MediaPlayback::kPaused;
  status.trackId = "/org/tonvale/Track/" + std::to_string(state_.songsLoaded) + "_" + std::to_string(state_.subSong);
  if (loadNamed_ != state_.songsLoaded) {
    loadNamed_ = state_.songsLoaded;
    title_ = SongName(state_.soundtrackTitle, state_.filePath.c_str());
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(state_.filePath, error);
    url_ = FileUri(error ? state_.filePath : absolute.lexically_normal().string());
  }
  status.title = title_;
  status.url = url_;
  status.length = SongLength(state_);
  status.position = FramesToMicroseconds(frame, SongRate(*engine));
  status.canPlay = status.canPause = true;
  status.canSeek = engine->playing != 0 && status.length > 0;
  status.seeks = state_.songRestarts;
  return status;
}

void PlayerMediaSession::Raise() { state_.display->Raise(); }

void PlayerMediaSession::Quit() {
  SendEngineCommand(state_, ENG_STOP);
  state_.running = false;
}

void PlayerMediaSession::Play() { StartPlaying(state_); }
void PlayerMediaSession::Pause() { StopPlaying(state_); }
void PlayerMediaSession::Stop() { StopAndRewind(state_); }
void PlayerMediaSession::Next() { PlayNextFile(state_); }
void PlayerMediaSession::Previous() { PlayPreviousFile(state_); }

void PlayerMediaSession::SeekTo(int64_t position) {
  const int32_t rate = state_.engine ? SongRate(*state_.engine) : 0;
  // Positions are at most a little over a day beyond the song (the caller bounds them), so the
  // product stays far inside 64 bits.
  SeekToFrame(state_, position / kMicroseconds * rate + position % kMicroseconds * rate / kMicroseconds);
}

void PlayerMediaSession::SetVolume(double volume) {
  SetMasterVolume(state_, static_cast<int32_t>(std::lround(volume * kFullVolume)));
}

bool PlayerMediaSession::OpenFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !LoadsAsModule(path.c_str())) return false;
  std::string folder = FolderOf(path);
  if (folder.empty()) folder = ".";
  std::vector<std::string> files = CollectModules({folder}, false);
  int32_t chosen = -1;
  for (size_t i = 0; i < files.size() && chosen < 0; ++i)
    if (SameFile(files[i], path)) chosen = static_cast<int32_t>(i);
  // A module whose name the folder's listing does not take plays as a list of its own.
  if (chosen < 0) {
    files = {path};
    chosen = 0;
  }
  ChooseListedFile(state_, std::move(files), chosen);
  if (state_.engine && state_.soundtrack && !state_.engine->playing) SendEngineCommand(state_, ENG_START);
  return true;
}

void ServeMediaControls(PlayerState& state) {
  if (state.mediaControls && state.mediaPlayer) state.mediaControls->Process(*state.mediaPlayer);
}

}  // namespace tvp
