// The command entry point: the elapsed-time counter.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

TEST(EngineElapsedTime, CountsWholeSecondsOfRenderedBuffers) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song, 64, 4);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // no rate yet
  e.play(song.inUse(), 44100);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(e.renderBuffer(), 1);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // 40960 frames < 1 s
  e.render(12);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 2);  // 22 x 4096 / 44100 = 2.04
  EXPECT_EQ(e.command(ENG_SERVICE), kStatusOk);  // the offline road has nothing to service
  EXPECT_EQ(e.engine->buffersRendered, 22);
}

}  // namespace
}  // namespace tvp::test
