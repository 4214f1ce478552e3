// A song built in memory plays through the command entry point alone; its play position and
// position counter are traced tick by tick.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

TEST(SongTrace, FlowSpeedAndTempoEventsGiveTheExpectedTickSequence) {
  SongBuilder song;
  song.addInitialSettings(2, 125);
  // Position 1: speed 3 from row 1, a break at row 2 to row 1 of the next position.
  int32_t a = song.addPattern({{0x100, 0, EventCode::SetSpeed, 3}, {0x200, 0, EventCode::PatternBreak, 0x100}}, 8);
  // Position 2: tempo 250 (8-frame ticks: two ticks per buffer) at row 1, a jump to position 4 at row 2.
  int32_t b = song.addPattern({{0x100, 0, EventCode::SetTempo, 250}, {0x200, 0, EventCode::PositionJump, 4}}, 8);
  // Position 4: two rows, then the song ends.
  int32_t c = song.addPattern({{0x000, 0, EventCode::SetSpeed, 2}}, 2);
  song.setPlayPositions({0, a, b, b, c});

  SoundEngine* engine = nullptr;
  ParamBlock open{{0, kOfflineRoad, 4, 16}};
  ASSERT_EQ(engineCommand(&engine, ENG_OPEN, &open), 0);
  ParamBlock bind{{reinterpret_cast<intptr_t>(song.inUse())}};
  ParamBlock fade{{0}};
  ParamBlock prepare{{16, 1, 800 << 16}};  // 800 Hz, tempo 125: one 16-frame tick per buffer
  ParamBlock speed{{100 << 16}};
  engineCommand(&engine, ENG_SET_SPEED, &speed);
  engineCommand(&engine, ENG_BIND_SOUNDTRACK, &bind);
  engineCommand(&engine, ENG_SET_FADE_STEP, &fade);
  ASSERT_EQ(engineCommand(&engine, ENG_PREPARE, &prepare), 0);
  ASSERT_EQ(engineCommand(&engine, ENG_START, nullptr), 0);

  std::vector<std::pair<int32_t, int32_t>> trace;
  int16_t buffer[32];
  for (int i = 0; i < 40 && !(engine->flags & kEngineEnded); ++i) {
    ASSERT_EQ(renderOfflineBuffer(&engine, buffer), 1);
    trace.emplace_back(engineCommand(&engine, ENG_GET_PLAY_POSITION, nullptr), engine->positionCounter);
  }
  std::vector<std::pair<int32_t, int32_t>> expected = {
      {1, 0x001}, {1, 0x100},                           // speed 2
      {1, 0x101}, {1, 0x102}, {1, 0x200},               // speed 3 from row 1
      {1, 0x201}, {1, 0x202}, {2, 0x100},               // the break lands on row 1 of position 2
      {2, 0x102}, {2, 0x201},                           // tempo 250: two ticks a buffer
      {4, 0x000}, {4, 0x100},                           // the jump skips position 3
      {0, 0x000},                                       // past the last position: ended
  };
  EXPECT_EQ(trace, expected);
  EXPECT_TRUE(engine->flags & kEngineEnded);
  EXPECT_FALSE(engine->flags & kEngineLooped);
  engineCommand(&engine, ENG_CLOSE, nullptr);
}

}  // namespace
}  // namespace tvp::test
