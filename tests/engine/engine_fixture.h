#pragma once
// An engine on the offline road, driven through its command entry point like the player does,
// and songs built in memory for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "engine/engine_api.h"
#include "engine/offline_output.h"
#include "engine/sound_engine.h"
#include "soundtrack/status.h"
#include "tests/support/song_builder.h"

namespace tvp::test {

inline ParamBlock params(intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0, intptr_t p3 = 0) {
  return ParamBlock{{p0, p1, p2, p3}};
}

// At 800 Hz and tempo 125 a tick is 16 frames: with 16-frame buffers each render is one tick.
inline constexpr uint32_t kOneTickPerBufferHz = 800;

class OfflineEngine {
 public:
  explicit OfflineEngine(int32_t voices = 4, int32_t framesPerBuffer = 16) : out(2 * framesPerBuffer) {
    ParamBlock p = params(0, kOfflineRoad, voices, framesPerBuffer);
    EXPECT_EQ(engineCommand(&engine, ENG_OPEN, &p), kStatusOk);
  }
  ~OfflineEngine() { engineCommand(&engine, ENG_CLOSE, nullptr); }
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
    ASSERT_EQ(command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(soundtrack)), kStatusOk);
    ASSERT_EQ(command(ENG_PREPARE, 16, 1, static_cast<intptr_t>(hertz) << 16), kStatusOk);
    ASSERT_EQ(command(ENG_START), kStatusOk);
  }

  int32_t renderBuffer() { return renderOfflineBuffer(&engine, out.data()); }
  void render(int32_t buffers) {
    for (int32_t i = 0; i < buffers; ++i) renderBuffer();
  }

  SoundEngine* engine = nullptr;
  std::vector<int16_t> out;
};

// Runs one event's handler on `voice`, as the dispatch would.
inline void runEvent(SoundEngine* engine, Voice* voice, int32_t code, int32_t param) {
  Event event{nullptr, 0, 0, code, param};
  const Event* cursor = &event;
  int16_t proceed = 1;
  engine->handlers[code].run(engine, voice, cursor, proceed, param);
}

struct Pat {
  std::vector<Ev> events;
  int32_t rows;  // negative: no closing NextPlayPosition
};

// Initial settings in slot 0, the patterns from slot 1 on, then the play positions.
inline void buildSong(SongBuilder& song, const std::vector<Pat>& patterns, const std::vector<int32_t>& positions,
                      int32_t speed = 6, int32_t tempo = 125) {
  song.addInitialSettings(speed, tempo);
  for (const Pat& p : patterns) song.addPattern(p.events, p.rows);
  ResizePlayPositionSlots(song.get(), static_cast<int32_t>(positions.size()));
  std::copy(positions.begin(), positions.end(), song.get()->playPositions);
}

// The initial settings, then `positions` plays of one empty pattern of `rows` rows.
inline void emptySong(SongBuilder& song, int32_t rows = 64, int32_t positions = 2, int32_t tempo = 125) {
  std::vector<int32_t> slots(static_cast<size_t>(positions) + 1, 1);
  slots[0] = 0;
  buildSong(song, {{{}, rows}}, slots, 6, tempo);
}

}  // namespace tvp::test
