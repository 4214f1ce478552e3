// The command entry point: status codes, stored settings and the host-visible counters.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

constexpr uint32_t kAllCommands[] = {
    ENG_NOP, ENG_OPEN, ENG_CLOSE, ENG_RESET, ENG_PREPARE, ENG_START, ENG_STOP, ENG_IS_PLAYING,
    ENG_BIND_SOUNDTRACK, ENG_UNBIND_SOUNDTRACK, ENG_SERVICE, ENG_SET_MASTER_VOLUME,
    ENG_GET_MASTER_VOLUME, ENG_SET_FADE_STEP, ENG_GET_FADE_STEP, ENG_SET_CHANNEL_ENABLED,
    ENG_GET_CHANNEL_ENABLED, ENG_SET_A4_FREQUENCY, ENG_GET_A4_FREQUENCY, ENG_SET_SPEED,
    ENG_GET_SPEED, ENG_SET_USER_WORD, ENG_GET_USER_WORD, ENG_SET_INTERPOLATION,
    ENG_GET_INTERPOLATION, ENG_GET_ELAPSED_SECONDS, ENG_RESET_PEAK_VOICES, ENG_TAKE_PEAK_VOICES,
    ENG_GET_ACTIVE_VOICES, ENG_SET_HOST_SHORT, ENG_GET_HOST_SHORT, ENG_TAKE_CHANNEL_LEVELS,
    ENG_SET_SCOPE_REQUEST, ENG_GET_SCOPE_REQUEST, ENG_GET_SCOPE_BUFFER, ENG_GET_PLAY_POSITION,
    ENG_REQUEST_PLAY_POSITION, ENG_SET_HOST_WORD, ENG_GET_VERSION, ENG_GET_VERSION_TEXT,
    ENG_GET_RIGHTS_TEXT};

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
