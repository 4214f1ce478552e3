#include "platform/media_controls.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace tvp {

namespace {

struct MethodSignature {
  const char* member;
  const char* signature;
};

// Both interfaces' methods; their names do not overlap.
constexpr MethodSignature kMethods[] = {
    {"Raise", ""}, {"Quit", ""},          {"Next", ""},         {"Previous", ""}, {"Pause", ""}, {"PlayPause", ""},
    {"Stop", ""},  {"Play", ""},          {"Seek", "x"},        {"SetPosition", "ox"},          {"OpenUri", "s"},
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

MediaReply Error(const char* name, std::string message) { return {name, std::move(message)}; }

int64_t SaturatingAdd(int64_t a, int64_t b) {
  if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
  if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
  return a + b;
}

}  // namespace

const char* MediaPlaybackName(MediaPlayback playback) {
  switch (playback) {
    case MediaPlayback::kPlaying: return "Playing";
    case MediaPlayback::kPaused: return "Paused";
    case MediaPlayback::kStopped: break;
  }
  return "Stopped";
}

std::vector<const char*> ChangedMediaProperties(const MediaStatus& before, const MediaStatus& after) {
  std::vector<const char*> names;
  if (before.playback != after.playback) names.push_back("PlaybackStatus");
  if (before.trackId != after.trackId || before.title != after.title || before.url != after.url ||
      before.length != after.length)
    names.push_back("Metadata");
  if (before.volume != after.volume) names.push_back("Volume");
  if (before.canGoNext != after.canGoNext) names.push_back("CanGoNext");
  if (before.canGoPrevious != after.canGoPrevious) names.push_back("CanGoPrevious");
  if (before.canPlay != after.canPlay) names.push_back("CanPlay");
  if (before.canPause != after.canPause) names.push_back("CanPause");
  if (before.canSeek != after.canSeek) names.push_back("CanSeek");
  return names;
}

const char* MediaMethodSignature(const std::string& member) {
  for (const MethodSignature& method : kMethods)
    if (member == method.member) return method.signature;
  return nullptr;
}

MediaReply RunMediaCall(MediaPlayer& player, const MediaCall& call) {
  const std::string& m = call.member;
  if (!MediaMethodSignature(m)) return Error(kMediaErrorUnknownMethod, "no method " + m);
  const MediaStatus status = player.Status();
  if (m == "Raise") {
    player.Raise();
  } else if (m == "Quit") {
    player.Quit();
  } else if (m == "Next") {
    player.Next();
  } else if (m == "Previous") {
    player.Previous();
  } else if (m == "Play") {
    if (status.canPlay && status.playback != MediaPlayback::kPlaying) player.Play();
  } else if (m == "Pause") {
    if (status.canPause && status.playback == MediaPlayback::kPlaying) player.Pause();
  } else if (m == "PlayPause") {
    if (status.playback == MediaPlayback::kPlaying) {
      if (status.canPause) player.Pause();
    } else if (status.canPlay) {
      player.Play();
    }
  } else if (m == "Stop") {
    if (status.playback != MediaPlayback::kStopped) player.Stop();
  } else if (m == "Seek") {
    if (!status.canSeek) return {};
    const int64_t farthest = std::max(status.position, status.length) + kLongestMediaSeek;
    player.SeekTo(std::clamp<int64_t>(SaturatingAdd(status.position, call.time), 0, farthest));
  } else if (m == "SetPosition") {
    // A position for a track that has gone by, or outside this one, is stale: nothing happens.
    if (status.canSeek && call.text == status.trackId && call.time >= 0 && call.time <= status.length)
      player.SeekTo(call.time);
  } else if (m == "OpenUri") {
    std::string path;
    if (!FilePathOfUri(call.text, &path)) return Error(kMediaErrorInvalidArgs, "not a file:// URI: " + call.text);
    if (!player.OpenFile(path)) return Error(kMediaErrorInvalidArgs, "not a module file: " + path);
  }
  return {};
}

MediaReply SetMediaProperty(MediaPlayer& player, const std::string& property, double value) {
  if (property == "Volume") {
    if (std::isnan(value)) return Error(kMediaErrorInvalidArgs, "the volume is not a number");
    player.SetVolume(std::clamp(value, 0.0, 1.0));
    return {};
  }
  if (property == "Rate") {
    if (value == 0.0 && player.Status().playback == MediaPlayback::kPlaying) player.Pause();
    return {};
  }
  static constexpr const char* kReadOnly[] = {
      "CanQuit",    "CanRaise", "HasTrackList", "Identity",      "DesktopEntry", "SupportedUriSchemes",
      "SupportedMimeTypes",     "PlaybackStatus", "Metadata",    "Position",     "MinimumRate",
      "MaximumRate", "CanGoNext", "CanGoPrevious", "CanPlay",    "CanPause",     "CanSeek", "CanControl"};
  for (const char* name : kReadOnly)
    if (property == name) return Error(kMediaErrorReadOnly, property + " is read-only");
  return Error(kMediaErrorUnknownProperty, "no property " + property);
}

bool FilePathOfUri(const std::string& uri, std::string* path) {
  static constexpr char kScheme[] = "file://";
  constexpr size_t kSchemeLength = sizeof kScheme - 1;
  if (uri.size() < kSchemeLength) return false;
  for (size_t i = 0; i < kSchemeLength; ++i)
    if (std::tolower(static_cast<unsigned char>(uri[i])) != kScheme[i]) return false;
  const size_t slash = uri.find('/', kSchemeLength);
  if (slash == std::string::npos) return false;
  const std::string host = uri.substr(kSchemeLength, slash - kSchemeLength);
  if (!host.empty() && host != "localhost") return false;
  std::string decoded;
  for (size_t i = slash; i < uri.size(); ++i) {
    char c = uri[i];
    if (c == '?' || c == '#') break;  // a query or fragment names no part of the file
    if (c == '%') {
      const int high = i + 2 < uri.size() ? HexValue(uri[i + 1]) : -1;
      const int low = high >= 0 ? HexValue(uri[i + 2]) : -1;
      if (low < 0 || (high == 0 && low == 0)) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    decoded += c;
  }
  *path = decoded;
  return true;
}

std::string FileUri(const std::string& absolutePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : absolutePath) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || (c != '\0' && std::strchr("-._~/", c))) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[u >> 4];
      uri += kHex[u & 15];
    }
  }
  return uri;
}

MediaChanges MediaStatusWatch::Refresh(MediaPlayer& player) {
  MediaStatus now = player.Status();
  MediaChanges changes;
  if (read_) {
    changes.properties = ChangedMediaProperties(status_, now);
    changes.seeked = now.seeks != status_.seeks;
  }
  status_ = std::move(now);
  read_ = true;
  return changes;
}

}  // namespace tvp
