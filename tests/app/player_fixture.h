#pragma once
// The whole player on the in-memory platform (app/headless_player.h) with a settings file the
// test writes, and the keys and engine commands the tests use.
#include <gtest/gtest.h>

#include <string>

#include "app/headless_player.h"
#include "app/main_loop.h"
#include "platform/virtual_keys.h"
#include "tests/app/temp_dir.h"

namespace tvp::test {

class PlayerFixture : public ::testing::Test {
 protected:
  // Starts the player with the settings text given (every key at its default when empty).
  int32_t start(const std::string& settings = "", const std::string& file = "") {
    StartOptions options;
    options.settingsPath = dir.write("tpw32.ini", settings);
    if (!file.empty()) options.files = {file};
    return headless.Start(options, &error);
  }

  void frame(int count = 1) { headless.Frame(count); }
  void key(uint32_t virtualKey) {
    display.PushKey(virtualKey);
    frame();
  }
  EngineResult send(uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0) {
    return SendEngineCommand(state(), code, p0, p1);
  }
  PlayerState& state() { return headless.state(); }
  std::string notice() { return state().noticeText; }

  TempDir dir;
  HeadlessPlayer headless;
  MemoryDisplay& display = headless.display;
  MemoryInputSource& input = headless.input;
  ManualClock& clock = headless.clock;
  std::string error;
};

}  // namespace tvp::test
