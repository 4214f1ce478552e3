#pragma once
// The whole player on the in-memory platform: the real start-up and main loop, a display whose
// events the test scripts, a pad it moves, a ring device it plays and a clock it advances.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/main_loop.h"
#include "app/startup.h"
#include "platform/memory_audio.h"
#include "platform/memory_display.h"
#include "platform/memory_input.h"
#include "platform/virtual_keys.h"
#include "tests/app/temp_dir.h"

namespace tvp::test {

class PlayerFixture : public ::testing::Test {
 protected:
  // Starts the player with the settings text given (every key at its default when empty).
  int32_t start(const std::string& settings = "", const std::string& file = "") {
    StartOptions options;
    options.settingsPath = dir.write("tpw32.ini", settings);
    options.file = file;
    return StartPlayer(*player, {&display, &input, &sound, &clock}, options, &error);
  }
  ~PlayerFixture() override { ShutDownPlayer(*player); }

  // One main-loop iteration, with a sixtieth of a second of audio played and time passed.
  void frame(int count = 1) {
    for (int i = 0; i < count; ++i) {
      RunMainLoopIteration(state());
      if (auto* ring = static_cast<MemoryRingDevice*>(sound.device())) ring->Advance(735 * 4);
      clock.Advance(16);
    }
  }
  void key(uint32_t virtualKey) {
    display.PushKey(virtualKey);
    frame();
  }
  EngineResult send(uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0) {
    ParamBlock params{{p0, p1, 0, 0}};
    return engineCommand(state().engineHandle(), code, &params);
  }
  PlayerState& state() { return player->state; }
  std::string notice() { return state().noticeText; }

  static std::unique_ptr<RingAudioDevice> MakeRing() { return std::make_unique<MemoryRingDevice>(); }

  TempDir dir;
  MemoryDisplay display;
  MemoryInputSource input;
  SoundDeviceHolder sound{&PlayerFixture::MakeRing};
  ManualClock clock;
  std::unique_ptr<Player> player = std::make_unique<Player>();
  std::string error;
};

}  // namespace tvp::test
