#pragma once
// The media controls in memory: the owner plays the client, queueing method calls and property
// sets as they would come over the bus, and reads the replies and the signals the player sent.
// The bus's own checks are kept: an unknown method, and arguments of the wrong types, are
// answered with the bus's errors before the player sees them.
#include <string>
#include <utility>
#include <vector>

#include "platform/media_controls.h"

namespace tvp {

class MemoryMediaControls : public MediaControls {
 public:
  struct Signal {
    std::string member;                   // "PropertiesChanged" or "Seeked"
    std::vector<std::string> properties;  // PropertiesChanged: the names
    int64_t position = 0;                 // Seeked: where the song is now
  };

  // A method call whose arguments have the types `signature` says ("x", "ox", "s" or "").
  void Call(std::string member, std::string signature = "", int64_t time = 0, std::string text = "") {
    pending_.push_back({std::move(member), std::move(signature), time, std::move(text), false});
  }
  // A Set of a property to a value of the type `signature` says ("d" for a double).
  void Set(std::string property, double value, std::string signature = "d") {
    pending_.push_back({std::move(property), std::move(signature), 0, {}, true, value});
  }
  // Drops the calls not taken yet, as a bus that went away would.
  void Disconnect() { pending_.clear(); connected_ = false; }

  void Process(MediaPlayer& player) override {
    if (!connected_) return;
    ++processed;
    Announce(watch_.Refresh(player));
    std::vector<Pending> calls;
    calls.swap(pending_);
    for (const Pending& call : calls) {
      replies.push_back(Take(player, call));
      Announce(watch_.Refresh(player));
    }
  }

  // The properties as a client reads them after the last Process.
  const MediaStatus& properties() const { return watch_.status(); }

  std::vector<MediaReply> replies;  // one for each call or set, in their order
  std::vector<Signal> signals;
  int processed = 0;  // Process calls while connected

 private:
  struct Pending {
    std::string member;
    std::string signature;
    int64_t time;
    std::string text;
    bool set;
    double value = 0.0;
  };

  MediaReply Take(MediaPlayer& player, const Pending& call) {
    if (call.set) {
      if ((call.member == "Volume" || call.member == "Rate") && call.signature != "d")
        return {kMediaErrorInvalidArgs, "a " + call.member + " is a double"};
      return SetMediaProperty(player, call.member, call.value);
    }
    const char* expected = MediaMethodSignature(call.member);
    if (!expected) return {kMediaErrorUnknownMethod, "no method " + call.member};
    if (call.signature != expected)
      return {kMediaErrorInvalidArgs, call.member + " takes '" + expected + "', not '" + call.signature + "'"};
    return RunMediaCall(player, {call.member, call.time, call.text});
  }

  void Announce(const MediaChanges& changes) {
    if (!changes.properties.empty()) {
      Signal signal{"PropertiesChanged", {}, 0};
      for (const char* name : changes.properties) signal.properties.emplace_back(name);
      signals.push_back(std::move(signal));
    }
    if (changes.seeked) signals.push_back({"Seeked", {}, watch_.status().position});
  }

  MediaStatusWatch watch_;
  std::vector<Pending> pending_;
  bool connected_ = true;
};

}  // namespace tvp
