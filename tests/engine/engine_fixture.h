#pragma once
// An engine on the offline road, driven through its command entry point like the player does.
#include <gtest/gtest.h>

#include <vector>

#include "engine/engine_api.h"
#include "engine/offline_output.h"
#include "engine/sound_engine.h"
#include "tests/support/song_builder.h"

namespace tvp::test {

inline ParamBlock params(intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0, intptr_t p3 = 0) {
  return ParamBlock{{p0, p1, p2, p3}};
}

class OfflineEngine {
 public:
  explicit OfflineEngine(int32_t voices = 4, int32_t framesPerBuffer = 16) {
    ParamBlock p = params(0, kOfflineRoad, voices, framesPerBuffer);
    EXPECT_EQ(engineCommand(&engine, ENG_OPEN, &p), 0);
    out.resize(static_cast<size_t>(framesPerBuffer) * 2);
  }
  ~OfflineEngine() {
    if (engine) engineCommand(&engine, ENG_CLOSE, nullptr);
  }
  OfflineEngine(const OfflineEngine&) = delete;
  OfflineEngine& operator=(const OfflineEngine&) = delete;

  EngineResult command(uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0, intptr_t p3 = 0) {
    ParamBlock p = params(p0, p1, p2, p3);
    return engineCommand(&engine, code, &p);
  }

  // The player's start-up settings, with the fade step the player uses.
  void sendPlayerSettings(uint32_t speedPercent = 100) {
    command(ENG_RESET);
    command(ENG_SET_MASTER_VOLUME, 0x8000);
    command(ENG_SET_A4_FREQUENCY, 440 << 16);
    command(ENG_SET_SPEED, static_cast<intptr_t>(speedPercent) << 16);
    command(ENG_SET_FADE_STEP, 0);
  }

  // Binds, prepares at `hertz` and starts.
  void play(Soundtrack* soundtrack, uint32_t hertz) {
    ASSERT_EQ(command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(soundtrack)), 0);
    ASSERT_EQ(command(ENG_PREPARE, 16, 1, static_cast<intptr_t>(hertz) << 16), 0);
    ASSERT_EQ(command(ENG_START), 0);
  }

  int32_t renderBuffer() { return renderOfflineBuffer(&engine, out.data()); }

  SoundEngine* engine = nullptr;
  std::vector<int16_t> out;
};

}  // namespace tvp::test
