#pragma once
// The whole player on the in-memory platform: the real start-up and main loop with a display whose
// events the owner scripts, a pad it moves, a ring device that plays as much audio as a frame
// lasts and a clock that moves a sixtieth of a second a frame. Snapshots, the frame benchmark and
// the main-loop tests run it.
#include <cstdint>
#include <memory>
#include <string>

#include "app/startup.h"
#include "platform/memory_audio.h"
#include "platform/memory_display.h"
#include "platform/memory_input.h"

namespace tvp {

class HeadlessPlayer {
 public:
  static constexpr int kFramesPerSecond = 60;

  HeadlessPlayer();
  ~HeadlessPlayer();  // shuts the player down
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // StartPlayer on the in-memory platform: 0, or the failure with its reason in `error`.
  int32_t Start(const StartOptions& options, std::string* error);
  // Main-loop iterations, each followed by a frame's worth of audio played and time passed.
  void Frame(int count = 1);

  PlayerState& state() { return player->state; }
  MemoryRingDevice* ring() { return static_cast<MemoryRingDevice*>(sound.device()); }

  MemoryDisplay display;
  MemoryInputSource input;
  SoundDeviceHolder sound;
  ManualClock clock;
  // The media controls the player opens at start-up: none unless set.
  std::function<std::unique_ptr<MediaControls>()> openMediaControls;
  std::unique_ptr<Player> player;
};

}  // namespace tvp
