#include "app/song_choice.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/module_playback.h"
#include "app/play_list.h"
#include "engine/sound_engine.h"

namespace tvp {

namespace {

// From the song's first frame: prepared again, entered at its first position, started.
void StartSong(PlayerState& state) {
  SendEngineCommand(state, ENG_STOP);
  RewindSong(state);
  const int32_t entry = state.subSongs.empty() ? 0 : state.subSongs[static_cast<size_t>(state.subSong)].firstPosition;
  SendEngineCommand(state, ENG_SET_ENTRY_POSITION, entry);
  // A later song ends where it comes into another's positions; the first one as it always has.
  const int32_t* songs = state.subSong > 0 ? state.subSongOwners.data() : nullptr;
  SendEngineCommand(state, ENG_SET_POSITION_SONGS, reinterpret_cast<intptr_t>(songs), state.subSong);
  RestartSongFollowing(state);
  SendEngineCommand(state, ENG_START);
}

}  // namespace

int64_t SongFrame(const SoundEngine& engine) {
  return int64_t{engine.buffersRendered} * engine.framesPerBuffer + engine.skippedFrames;
}

int32_t SongRate(const SoundEngine& engine) { return static_cast<int32_t>(engine.sampleRate >> 16); }

void FindModuleSongs(PlayerState& state) {
  state.subSong = 0;
  state.subSongs.clear();
  state.subSongOwners.clear();
  SendEngineCommand(state, ENG_SET_ENTRY_POSITION, 0);
  SendEngineCommand(state, ENG_SET_POSITION_SONGS, 0, 0);
  if (!state.soundtrack) return;
  state.subSongs.resize(kMaxSubSongs);
  state.subSongOwners.resize(static_cast<size_t>(std::max(state.soundtrack->playPositionCount, 0)));
  const int32_t count = FindSubSongs(state.soundtrack, state.subSongs.data(), kMaxSubSongs, state.subSongOwners.data());
  state.subSongs.resize(static_cast<size_t>(count));
}

void PlaySubSong(PlayerState& state, int32_t index) {
  const int32_t count = static_cast<int32_t>(state.subSongs.size());
  if (count == 0) return;
  if (index < 0 || index >= count) {
    ShowNotice(state, count == 1 ? "ONE SONG ONLY" : index < 0 ? "FIRST SUBSONG" : "LAST SUBSONG");
    return;
  }
  state.subSong = index;
  StartSong(state);
  const std::string notice = "SUBSONG " + std::to_string(index + 1) + " OF " + std::to_string(count);
  ShowNotice(state, notice.c_str());
}

void PlayNextSubSong(PlayerState& state) { PlaySubSong(state, state.subSong + 1); }
void PlayPreviousSubSong(PlayerState& state) { PlaySubSong(state, state.subSong - 1); }

void SeekBy(PlayerState& state, int32_t seconds) {
  const SoundEngine* engine = state.engine;
  SeekToFrame(state, engine ? SongFrame(*engine) + int64_t{seconds} * SongRate(*engine) : 0);
}

void SeekToFrame(PlayerState& state, int64_t frame) {
  SoundEngine* engine = state.engine;
  if (!engine || !state.soundtrack || !engine->playing) {
    ShowNotice(state, "NOT PLAYING");
    return;
  }
  const int32_t rate = SongRate(*engine);
  const int64_t target = std::max<int64_t>(0, frame);
  // Forward plays on from here; back starts the song over and plays up to the time.
  if (target < SongFrame(*engine)) StartSong(state);
  // A buffer at a time, with the song's passes followed as in play: a move past its last pass,
  // or into another song's positions, ends it there.
  PlayListState& list = state.playList;
  const int32_t loops = state.settings.playList == PlayListMode::kRepeat ? INT32_MAX - 1 : state.settings.loops;
  for (int64_t left = target - SongFrame(*engine); left > 0;) {
    const int32_t step = static_cast<int32_t>(std::min<int64_t>(left, engine->framesPerBuffer));
    SendEngineCommand(state, ENG_SKIP_FRAMES, step);
    left -= step;
    list.passes.TakeBuffer(*engine, loops);
    if ((engine->flags & kEngineEnded) || list.passes.loops() > loops) {
      SongOver(state);
      return;
    }
  }
  ++state.songRestarts;
  const int64_t reached = SongFrame(*engine) / std::max(rate, 1);
  char notice[32];
  std::snprintf(notice, sizeof notice, "TIME %dm%02ds", static_cast<int>(reached / 60), static_cast<int>(reached % 60));
  ShowNotice(state, notice);
}

}  // namespace tvp
