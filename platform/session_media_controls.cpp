#include "platform/session_media_controls.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tvp {

namespace {

// The most bus messages taken in one frame; what is left waits for the next.
constexpr int kMostMessagesPerFrame = 64;

// RequestName's answer when another connection holds the name.
constexpr uint32_t kNameExists = 3;

class SessionMediaControls : public MediaControls {
 public:
  ~SessionMediaControls() override { Close(); }

  int Open();
  void Process(MediaPlayer& player) override;

 private:
  static int OnMethod(sd_bus_message* message, void* self, sd_bus_error* error);
  static int OnNameReply(sd_bus_message* message, void* self, sd_bus_error* error);
  static int GetRoot(sd_bus* bus, const char* path, const char* interface, const char* property,
                     sd_bus_message* reply, void* self, sd_bus_error* error);
  static int GetPlayer(sd_bus* bus, const char* path, const char* interface, const char* property,
                       sd_bus_message* reply, void* self, sd_bus_error* error);
  static int SetPlayer(sd_bus* bus, const char* path, const char* interface, const char* property,
                       sd_bus_message* value, void* self, sd_bus_error* error);

  static const sd_bus_vtable kRootTable[];
  static const sd_bus_vtable kPlayerTable[];

  int RequestName(const std::string& name);
  // Reads the player's status again and announces what changed.
  void Announce();
  void Close();

  sd_bus* bus_ = nullptr;
  sd_bus_slot* rootSlot_ = nullptr;
  sd_bus_slot* playerSlot_ = nullptr;
  sd_bus_slot* nameSlot_ = nullptr;
  std::string nameAsked_;
  MediaPlayer* player_ = nullptr;  // while Process runs: the bus's callbacks come only then
  MediaStatusWatch watch_;
};

int AppendStrings(sd_bus_message* reply, const char* const* strings, size_t count) {
  int r = sd_bus_message_open_container(reply, 'a', "s");
  for (size_t i = 0; r >= 0 && i < count; ++i) r = sd_bus_message_append(reply, "s", strings[i]);
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

int AppendMetadata(sd_bus_message* reply, const MediaStatus& status) {
  int r = sd_bus_message_open_container(reply, 'a', "{sv}");
  if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", status.trackId.c_str());
  if (r >= 0 && status.trackId != kMediaNoTrack) {
    r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", status.length);
    if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "xesam:title", "s", status.title.c_str());
    if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "xesam:url", "s", status.url.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

int SetError(sd_bus_error* error, const MediaReply& reply) {
  return sd_bus_error_set(error, reply.error.c_str(), reply.message.c_str());
}

int NoPlayer(sd_bus_error* error) { return sd_bus_error_set(error, "org.freedesktop.DBus.Error.Failed", "not ready"); }

constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr uint64_t kAnyone = SD_BUS_VTABLE_UNPRIVILEGED;

}  // namespace

const sd_bus_vtable SessionMediaControls::kRootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Quit", "", "", OnMethod, kAnyone),
    SD_BUS_PROPERTY("CanQuit", "b", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("CanRaise", "b", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("HasTrackList", "b", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("Identity", "s", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("DesktopEntry", "s", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetRoot, 0, kConst),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetRoot, 0, kConst),
    SD_BUS_VTABLE_END};

const sd_bus_vtable SessionMediaControls::kPlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Previous", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Pause", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("PlayPause", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Stop", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Play", "", "", OnMethod, kAnyone),
    SD_BUS_METHOD("Seek", "x", "", OnMethod, kAnyone),
    SD_BUS_METHOD("SetPosition", "ox", "", OnMethod, kAnyone),
    SD_BUS_METHOD("OpenUri", "s", "", OnMethod, kAnyone),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetPlayer, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", GetPlayer, SetPlayer, 0, kChanges | kAnyone),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetPlayer, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", GetPlayer, SetPlayer, 0, kChanges | kAnyone),
    SD_BUS_PROPERTY("Position", "x", GetPlayer, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", GetPlayer, 0, kConst),
    SD_BUS_PROPERTY("MaximumRate", "d", GetPlayer, 0, kConst),
    SD_BUS_PROPERTY("CanGoNext", "b", GetPlayer, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", GetPlayer, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", GetPlayer, 0, kChanges),
    SD_BUS_PROPERTY("CanPause", "b", GetPlayer, 0, kChanges),
    SD_BUS_PROPERTY("CanSeek", "b", GetPlayer, 0, kChanges),
    SD_BUS_PROPERTY("CanControl", "b", GetPlayer, 0, kConst),
    SD_BUS_VTABLE_END};

int SessionMediaControls::Open() {
  int r = sd_bus_open_user(&bus_);
  if (r < 0) return r;
  r = sd_bus_add_object_vtable(bus_, &rootSlot_, kMediaObjectPath, kMediaRootInterface, kRootTable, this);
  if (r >= 0)
    r = sd_bus_add_object_vtable(bus_, &playerSlot_, kMediaObjectPath, kMediaPlayerInterface, kPlayerTable, this);
  if (r >= 0) r = RequestName(kMediaBusName);
  return r;
}

int SessionMediaControls::RequestName(const std::string& name) {
  nameAsked_ = name;
  nameSlot_ = sd_bus_slot_unref(nameSlot_);
  // Without queueing: a name another player holds is answered "exists" at once.
  return sd_bus_request_name_async(bus_, &nameSlot_, nameAsked_.c_str(), 0, OnNameReply, this);
}

int SessionMediaControls::OnNameReply(sd_bus_message* message, void* self, sd_bus_error*) {
  auto& service = *static_cast<SessionMediaControls*>(self);
  uint32_t answer = 0;
  if (sd_bus_message_is_method_error(message, nullptr) || sd_bus_message_read(message, "u", &answer) < 0) return 0;
  if (answer == kNameExists && service.nameAsked_ == kMediaBusName)
    service.RequestName(std::string(kMediaBusName) + ".instance" + std::to_string(getpid()));
  return 0;
}

void SessionMediaControls::Process(MediaPlayer& player) {
  if (!bus_) return;
  player_ = &player;
  Announce();
  for (int i = 0; bus_ && i < kMostMessagesPerFrame; ++i) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) Close();  // the bus went away: the player plays on without it
    if (r <= 0) break;
  }
  player_ = nullptr;
}

void SessionMediaControls::Announce() {
  const MediaChanges changes = watch_.Refresh(*player_);
  if (!changes.properties.empty()) {
    std::vector<char*> names;
    for (const char* name : changes.properties) names.push_back(const_cast<char*>(name));
    names.push_back(nullptr);
    sd_bus_emit_properties_changed_strv(bus_, kMediaObjectPath, kMediaPlayerInterface, names.data());
  }
  if (changes.seeked)
    sd_bus_emit_signal(bus_, kMediaObjectPath, kMediaPlayerInterface, "Seeked", "x", watch_.status().position);
}

void SessionMediaControls::Close() {
  nameSlot_ = sd_bus_slot_unref(nameSlot_);
  playerSlot_ = sd_bus_slot_unref(playerSlot_);
  rootSlot_ = sd_bus_slot_unref(rootSlot_);
  // Sends what is still queued (the reply to a Quit, say); a bus that has gone fails at once.
  bus_ = sd_bus_flush_close_unref(bus_);
}

int SessionMediaControls::OnMethod(sd_bus_message* message, void* self, sd_bus_error* error) {
  auto& service = *static_cast<SessionMediaControls*>(self);
  if (!service.player_) return NoPlayer(error);
  MediaCall call{sd_bus_message_get_member(message), 0, {}};
  // The bus has checked the arguments' types against the table already.
  int r = 0;
  const char* text = nullptr;
  if (call.member == "Seek") {
    r = sd_bus_message_read(message, "x", &call.time);
  } else if (call.member == "SetPosition") {
    r = sd_bus_message_read(message, "ox", &text, &call.time);
  } else if (call.member == "OpenUri") {
    r = sd_bus_message_read(message, "s", &text);
  }
  if (r < 0) return r;
  if (text) call.text = text;
  const MediaReply reply = RunMediaCall(*service.player_, call);
  service.Announce();
  if (!reply.ok()) return SetError(error, reply);
  return sd_bus_reply_method_return(message, "");
}

int SessionMediaControls::GetRoot(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                                  void*, sd_bus_error*) {
  const std::string name = property;
  if (name == "Identity") return sd_bus_message_append(reply, "s", kMediaIdentity);
  if (name == "DesktopEntry") return sd_bus_message_append(reply, "s", kMediaDesktopEntry);
  if (name == "SupportedUriSchemes")
    return AppendStrings(reply, kMediaUriSchemes, sizeof kMediaUriSchemes / sizeof kMediaUriSchemes[0]);
  if (name == "SupportedMimeTypes")
    return AppendStrings(reply, kMediaMimeTypes, sizeof kMediaMimeTypes / sizeof kMediaMimeTypes[0]);
  const int yes = name != "HasTrackList";  // CanQuit, CanRaise
  return sd_bus_message_append(reply, "b", yes);
}

int SessionMediaControls::GetPlayer(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                                    void* self, sd_bus_error*) {
  const MediaStatus& s = static_cast<SessionMediaControls*>(self)->watch_.status();
  const std::string name = property;
  if (name == "PlaybackStatus") return sd_bus_message_append(reply, "s", MediaPlaybackName(s.playback));
  if (name == "Metadata") return AppendMetadata(reply, s);
  if (name == "Volume") return sd_bus_message_append(reply, "d", s.volume);
  if (name == "Position") return sd_bus_message_append(reply, "x", s.position);
  if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate") return sd_bus_message_append(reply, "d", 1.0);
  int value = 1;  // CanControl
  if (name == "CanGoNext") value = s.canGoNext;
  if (name == "CanGoPrevious") value = s.canGoPrevious;
  if (name == "CanPlay") value = s.canPlay;
  if (name == "CanPause") value = s.canPause;
  if (name == "CanSeek") value = s.canSeek;
  return sd_bus_message_append(reply, "b", value);
}

int SessionMediaControls::SetPlayer(sd_bus*, const char*, const char*, const char* property, sd_bus_message* value,
                                    void* self, sd_bus_error* error) {
  auto& service = *static_cast<SessionMediaControls*>(self);
  if (!service.player_) return NoPlayer(error);
  double number = 0;
  const int r = sd_bus_message_read(value, "d", &number);
  if (r < 0) return r;
  const MediaReply reply = SetMediaProperty(*service.player_, property, number);
  service.Announce();
  return reply.ok() ? 0 : SetError(error, reply);
}

std::unique_ptr<MediaControls> OpenSessionMediaControls() {
  auto service = std::make_unique<SessionMediaControls>();
  if (service->Open() < 0) return nullptr;
  return service;
}

}  // namespace tvp
