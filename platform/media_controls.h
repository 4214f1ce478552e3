#pragma once
// The desktop's media controls: media keys, the panels' player widgets, playerctl and phone
// remotes reach a music player through the MPRIS 2 interfaces on the session bus. MediaControls
// is the bus side, handed the bus's pending work once a frame on the main thread; MediaPlayer is
// what the player offers it. What a call may do in which state, the clamping of what comes in
// and the errors sent back are decided here, once, for the bus service and its in-memory twin.
#include <cstdint>
#include <string>
#include <vector>

namespace tvp {

inline constexpr char kMediaBusName[] = "org.mpris.MediaPlayer2.tonvale";
inline constexpr char kMediaObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMediaRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char kMediaPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
inline constexpr char kMediaNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
inline constexpr char kMediaIdentity[] = "Tonvale Player";
inline constexpr char kMediaDesktopEntry[] = "tonvale-player";
inline constexpr const char* kMediaMimeTypes[] = {"audio/x-xm",         "audio/x-s3m",           "audio/x-mod",
                                                  "audio/x-it",         "audio/x-protracker",    "audio/x-screamtracker",
                                                  "audio/x-fasttracker"};
inline constexpr const char* kMediaUriSchemes[] = {"file"};

inline constexpr char kMediaErrorInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";
inline constexpr char kMediaErrorUnknownMethod[] = "org.freedesktop.DBus.Error.UnknownMethod";
inline constexpr char kMediaErrorUnknownProperty[] = "org.freedesktop.DBus.Error.UnknownProperty";
inline constexpr char kMediaErrorReadOnly[] = "org.freedesktop.DBus.Error.PropertyReadOnly";

// A seek goes at most this far beyond the song's length or the position it starts from, so that
// a song that repeats for ever is not played silently for days.
inline constexpr int64_t kLongestMediaSeek = int64_t{3600} * 1000000;

enum class MediaPlayback { kStopped, kPaused, kPlaying };
// "Stopped", "Paused" or "Playing".
const char* MediaPlaybackName(MediaPlayback playback);

// What the player shows the desktop, read afresh every frame. Times are in microseconds.
struct MediaStatus {
  MediaPlayback playback = MediaPlayback::kStopped;
  std::string trackId = kMediaNoTrack;  // an object path, new for every song played
  std::string title;
  std::string url;       // the song's file as a file:// URL
  int64_t length = 0;    // the song's play time, 0 when there is no song
  int64_t position = 0;  // into the song
  double volume = 1.0;   // 0 .. 1
  bool canGoNext = false;
  bool canGoPrevious = false;
  bool canPlay = false;
  bool canPause = false;
  bool canSeek = false;
  uint32_t seeks = 0;  // moves on with every jump of the position, announced as Seeked

  bool operator==(const MediaStatus&) const = default;
};

// The properties that announce a change from `before` to `after`, by their interface names, in
// the interface's order. Position is never among them: a jump of it is announced as Seeked.
std::vector<const char*> ChangedMediaProperties(const MediaStatus& before, const MediaStatus& after);

// The player's side. Each command does what the player's own key for it does.
class MediaPlayer {
 public:
  virtual ~MediaPlayer() = default;
  virtual MediaStatus Status() = 0;
  virtual void Raise() = 0;
  virtual void Quit() = 0;
  virtual void Play() = 0;   // on from where the song stands
  virtual void Pause() = 0;  // the position stays
  virtual void Stop() = 0;   // and back to the song's start
  virtual void Next() = 0;
  virtual void Previous() = 0;
  // To `position` into the song; past the song's last pass it ends as it does in play.
  virtual void SeekTo(int64_t position) = 0;
  virtual void SetVolume(double volume) = 0;  // 0 .. 1
  // Opens and plays the module file at `path`; false, with nothing changed, when it is none.
  virtual bool OpenFile(const std::string& path) = 0;
};

// A method call that came over the bus, its arguments read: Seek's offset and SetPosition's
// position in `time`, SetPosition's track id and OpenUri's URI in `text`.
struct MediaCall {
  std::string member;
  int64_t time = 0;
  std::string text;
};

// A method's outcome: an error name and message, or no error.
struct MediaReply {
  std::string error;
  std::string message;
  bool ok() const { return error.empty(); }
};

// The argument signature of a method of the two interfaces, or null for no such method.
const char* MediaMethodSignature(const std::string& member);

// Runs a call on the player, with the interfaces' rules: Play, Pause and seeks do nothing when
// the status says they cannot; a seek lands no earlier than the song's start; SetPosition for
// another track or a position outside the song is ignored; OpenUri takes only file:// URIs of
// module files.
MediaReply RunMediaCall(MediaPlayer& player, const MediaCall& call);

// A property set over the bus: Volume is clamped to 0 .. 1; Rate stays 1.0, and 0.0 pauses.
// Other properties are read-only or unknown.
MediaReply SetMediaProperty(MediaPlayer& player, const std::string& property, double value);

// The local path of a file:// URI (empty or "localhost" host, percent escapes decoded); false
// for any other URI or a malformed one.
bool FilePathOfUri(const std::string& uri, std::string* path);
// The file:// URL of an absolute path, with every byte but unreserved ones and '/' escaped.
std::string FileUri(const std::string& absolutePath);

// What a service has to announce after looking at the player again.
struct MediaChanges {
  std::vector<const char*> properties;
  bool seeked = false;
};

// A service's view of the player's status: the last one read, and what changed since.
class MediaStatusWatch {
 public:
  // Reads the status afresh; nothing is announced for the first reading.
  MediaChanges Refresh(MediaPlayer& player);
  const MediaStatus& status() const { return status_; }

 private:
  MediaStatus status_;
  bool read_ = false;
};

// The bus side: Process handles what the bus has brought since the last call, without waiting,
// and announces what changed in the player.
class MediaControls {
 public:
  virtual ~MediaControls() = default;
  virtual void Process(MediaPlayer& player) = 0;
};

}  // namespace tvp
