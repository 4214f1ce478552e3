// Frames into ticks: a position request hurries the tick.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

TEST(EngineTiming, PositionRequestBelowMinusOneHalvesTheTick) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  e.play(song.inUse(), 44100);
  e.command(ENG_REQUEST_PLAY_POSITION, -2);
  e.renderBuffer();  // 4096 = 9 x 441 + 127
  EXPECT_EQ(e.engine->positionCounter, 0x103);
  EXPECT_EQ(e.engine->samplesIntoTick, 127);
  e.command(ENG_REQUEST_PLAY_POSITION, -1);
  e.renderBuffer();  // full ticks again: 127 + 4096 = 4 x 882 + 695
  EXPECT_EQ(e.engine->positionCounter, 0x201);
  EXPECT_EQ(e.engine->samplesIntoTick, 695);
}

}  // namespace
}  // namespace tvp::test
