#include "app/play_list.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "app/module_playback.h"
#include "app/song_choice.h"
#include "engine/sound_engine.h"
#include "platform/directory.h"
#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"

namespace tvp {

namespace {

constexpr char kPlayerName[] = "Tonvale Player";

// --- Collecting files ---

struct FolderEntry {
  std::string name;
  bool isDirectory;
};

void AddEntry(void* context, const DirectoryHit& hit) {
  auto& entries = *static_cast<std::vector<FolderEntry>*>(context);
  if (std::strcmp(hit.name, ".") == 0 || std::strcmp(hit.name, "..") == 0) return;
  bool module = false;
  for (const char* pattern : kModuleNamePatterns) module = module || NameMatches(pattern, hit.name);
  if (hit.isDirectory || module) entries.push_back({hit.name, hit.isDirectory});
}

struct Collector {
  bool recursive;
  std::vector<std::string> files;
  std::set<std::string> foldersSeen;  // by their real paths: a link back up is walked once

  bool full() const { return files.size() >= static_cast<size_t>(kMaxPlayListFiles); }

  // False when `path` is no folder that can be read.
  bool addFolder(const std::string& path, int32_t depth) {
    std::vector<FolderEntry> entries;
    if (!SearchDirectory(path.c_str(), "*", AddEntry, &entries)) return false;
    std::error_code error;
    const std::string real = std::filesystem::canonical(path, error).string();
    if (!error && !foldersSeen.insert(real).second) return true;
    // The open-file window's order: folders first, then byte-wise by name.
    std::stable_sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
      if (a.isDirectory != b.isDirectory) return a.isDirectory;
      return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    const std::string prefix = path.empty() || path.back() == '/' ? path : path + '/';
    for (const FolderEntry& entry : entries) {
      if (full()) break;
      if (!entry.isDirectory)
        files.push_back(prefix + entry.name);
      else if (recursive && depth < kMaxFolderDepth)
        addFolder(prefix + entry.name, depth + 1);
    }
    return true;
  }
};

// --- The list ---

uint32_t NextRandom(PlayListState& list) {
  // xorshift32: never 0 once seeded with anything but 0.
  uint32_t x = list.randomState != 0 ? list.randomState : 0x2545F491u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  list.randomState = x;
  return x;
}

void MakeOrder(PlayerState& state, int32_t first) {
  PlayListState& list = state.playList;
  const int32_t count = static_cast<int32_t>(list.files.size());
  list.order.resize(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) list.order[static_cast<size_t>(i)] = i;
  list.at = -1;
  if (count == 0) return;
  first = std::clamp(first, 0, count - 1);
  if (!state.settings.shuffle) return;
  std::swap(list.order[0], list.order[static_cast<size_t>(first)]);
  for (int32_t i = count - 1; i > 1; --i) {  // Fisher-Yates over all but the first
    const int32_t j = 1 + static_cast<int32_t>(NextRandom(list) % static_cast<uint32_t>(i));
    std::swap(list.order[static_cast<size_t>(i)], list.order[static_cast<size_t>(j)]);
  }
}

// The order index where `file` plays.
int32_t OrderIndexOf(const PlayListState& list, int32_t file) {
  for (size_t i = 0; i < list.order.size(); ++i)
    if (list.order[i] == file) return static_cast<int32_t>(i);
  return 0;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens the file at order index `at` as the open-file window would; with `explain`, a file that
// does not load is named on standard error with the reason.
bool OpenListed(PlayerState& state, int32_t at, bool explain) {
  const std::string& path = state.playList.files[static_cast<size_t>(state.playList.order[static_cast<size_t>(at)])];
  ModuleFile* probe = nullptr;
  std::string reason;
  if (explain) {
    errno = 0;
    probe = FileOpen(path.c_str(), kFileRead);
    if (!probe) reason = std::strerror(errno ? errno : ENOENT);
  }
  const bool loaded = OpenModuleFile(state, path.c_str());
  if (probe && !loaded) reason = RefusalText(DescribeRefusal(probe));
  FileClose(probe);
  if (!reason.empty()) std::fprintf(stderr, "tpw: %s: %s\n", path.c_str(), reason.c_str());
  return loaded;
}

// Plays the first file that loads from order index `from` on, a step of `step` at a time. The
// notice of the last failure stays when none loads.
bool PlayFrom(PlayerState& state, int32_t from, int32_t step, bool explain) {
  PlayListState& list = state.playList;
  const int32_t count = static_cast<int32_t>(list.order.size());
  for (int32_t at = from; at >= 0 && at < count; at += step) {
    if (!OpenListed(state, at, explain)) continue;
    list.at = at;
    if (SendEngineCommand(state, ENG_IS_PLAYING) != 1) SendEngineCommand(state, ENG_START);
    if (count > 1) {
      const std::string notice = "FILE " + std::to_string(at + 1) + " OF " + std::to_string(count) + ": " +
                                 BaseName(list.files[static_cast<size_t>(list.order[static_cast<size_t>(at)])]);
      ShowNotice(state, notice.c_str());
    }
    return true;
  }
  return false;
}

void MoveInList(PlayerState& state, int32_t step) {
  PlayListState& list = state.playList;
  const int32_t count = static_cast<int32_t>(list.order.size());
  if (count == 0) {
    ShowNotice(state, "NO PLAY LIST");
    return;
  }
  const int32_t from = list.at < 0 ? (step > 0 ? 0 : count - 1) : list.at + step;
  if (from < 0 || from >= count) {
    ShowNotice(state, step > 0 ? "LAST FILE OF THE PLAY LIST" : "FIRST FILE OF THE PLAY LIST");
    return;
  }
  PlayFrom(state, from, step, false);
}

}  // namespace

std::vector<std::string> CollectModules(const std::vector<std::string>& paths, bool recursive) {
  Collector collector{recursive, {}, {}};
  for (const std::string& path : paths) {
    if (collector.full()) break;
    if (!collector.addFolder(path, 0)) collector.files.push_back(path);
  }
  return std::move(collector.files);
}

bool PlayFiles(PlayerState& state, std::vector<std::string> files, int32_t first, bool explain) {
  PlayListState& list = state.playList;
  list.files = std::move(files);
  MakeOrder(state, first);
  if (list.files.empty()) return false;
  const int32_t from = state.settings.shuffle ? 0 : std::clamp(first, 0, static_cast<int32_t>(list.files.size()) - 1);
  return PlayFrom(state, from, 1, explain);
}

void ChooseListedFile(PlayerState& state, std::vector<std::string> files, int32_t chosen) {
  PlayListState& list = state.playList;
  if (chosen < 0 || chosen >= static_cast<int32_t>(files.size())) return;
  list.files = std::move(files);
  MakeOrder(state, chosen);
  list.at = OrderIndexOf(list, chosen);
  OpenModuleFile(state, list.files[static_cast<size_t>(chosen)].c_str());
}

void SongOver(PlayerState& state) {
  PlayListState& list = state.playList;
  const bool laterSong = state.subSong + 1 < static_cast<int32_t>(state.subSongs.size());
  if (state.settings.allSubSongs && laterSong && state.settings.playList != PlayListMode::kRepeat) {
    PlaySubSong(state, state.subSong + 1);
    return;
  }
  switch (state.settings.playList) {
    case PlayListMode::kRepeat:
      // From its first frame again (a song may also be over by coming into another's positions).
      SendEngineCommand(state, ENG_STOP);
      RewindSong(state);
      RestartSongFollowing(state);
      SendEngineCommand(state, ENG_START);
      return;
    case PlayListMode::kNext:
      if (list.at >= 0 && list.at + 1 < static_cast<int32_t>(list.order.size()) && PlayFrom(state, list.at + 1, 1, false))
        return;
      SendEngineCommand(state, ENG_STOP);
      ShowNotice(state, list.order.size() > 1 ? "END OF THE PLAY LIST" : "SONG ENDED");
      return;
    case PlayListMode::kStop:
      SendEngineCommand(state, ENG_STOP);
      ShowNotice(state, "SONG ENDED");
      return;
  }
}

void PlayNextFile(PlayerState& state) { MoveInList(state, 1); }
void PlayPreviousFile(PlayerState& state) { MoveInList(state, -1); }

void RestartSongFollowing(PlayerState& state) {
  PlayListState& list = state.playList;
  list.passes.Reset(state.soundtrack ? state.soundtrack->playPositionCount : 0);
  list.fading = false;
  list.seenBuffers = 0;
  list.endedAtBuffer = -1;
  ++state.songRestarts;
  SendEngineCommand(state, ENG_SET_FADE_STEP, 0);
}

void FollowPositionRequest(PlayerState& state, int32_t position) {
  if (state.soundtrack && position >= 0 && position < state.soundtrack->playPositionCount)
    state.playList.passes.RestartAt(position, 0);
}

void FollowSong(PlayerState& state) {
  const SoundEngine* engine = state.engine;
  PlayListState& list = state.playList;
  if (!engine || !state.soundtrack || !engine->playing || engine->buffersRendered == list.seenBuffers) return;
  list.seenBuffers = engine->buffersRendered;
  const PlayerSettings& s = state.settings;
  // REPEAT plays a song that loops back on for ever, as the engine does with no fade.
  const bool repeat = s.playList == PlayListMode::kRepeat;
  if (!list.fading) {
    list.passes.TakeBuffer(*engine, repeat ? INT32_MAX - 1 : s.loops);
    if (!repeat && list.passes.loops() > s.loops) {
      SendEngineCommand(state, ENG_SET_FADE_STEP, FadeStepFor(kEndFadeSeconds, s.sampleRate, engine->framesPerBuffer));
      list.fading = true;
    }
  }
  if ((engine->flags & kEngineEnded) && list.endedAtBuffer < 0) list.endedAtBuffer = engine->buffersRendered;
  // The engine renders up to a whole ring ahead of what the device plays: once it has rendered
  // as many buffers again, the last one of the song has been heard.
  if (list.endedAtBuffer >= 0 && engine->buffersRendered - list.endedAtBuffer >= engine->bufferCount) SongOver(state);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

std::string WindowTitle(const char* songTitle, const char* path) {
  if (!path) return kPlayerName;
  return SongName(songTitle, path) + " - " + kPlayerName;
}

std::string SongName(const char* songTitle, const char* path) {
  std::string title = songTitle ? songTitle : "";
  while (!title.empty() && title.back() == ' ') title.pop_back();
  size_t start = 0;
  while (start < title.size() && title[start] == ' ') ++start;
  title.erase(0, start);
  if (title.empty()) title = BaseName(path);
  for (char& c : title)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return title;
}

}  // namespace tvp
