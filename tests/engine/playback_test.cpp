// Songs built in memory on the offline engine: a note sounds at its pitch, the elapsed seconds
// count, ticks stay at least a frame long, a position request hurries the tick, and what a
// prepare refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

// Channel 0 plays a looped sine of 100 frames (441 Hz at 44100 Hz) at `pitch` from time 0; more
// events may follow. Returns `buffers` rendered buffers of 4096 frames.
std::vector<int16_t> renderNote(int32_t pitch, std::vector<Ev> more, int32_t buffers, int16_t interpolation = 1) {
  SongBuilder song;
  song.addInitialSettings();
  std::vector<int16_t> sine(100);
  for (int i = 0; i < 100; ++i) sine[i] = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * i / 100)));
  const int32_t sample = song.addSample(sine, 44100, 0, 100);
  std::vector<Ev> events = {{0, 0, EventCode::SetPitch, pitch}, {0, 0, EventCode::SelectSample, sample},
                            {0, 0, EventCode::ResetVolume, 0},  {0, 0, EventCode::StartSample, 0},
                            {0, 0, EventCode::SetVoiceFlags, 3}};
  events.insert(events.end(), more.begin(), more.end());
  song.setPlayPositions({0, song.addPattern(events, 64)});
  OfflineEngine e(8, 4096);
  e.sendPlayerSettings();
  e.command(ENG_SET_MASTER_VOLUME, 0x10000);
  e.command(ENG_SET_INTERPOLATION, interpolation);
  e.play(song.inUse(), 44100);
  std::vector<int16_t> all;
  for (int i = 0; i < buffers; ++i) {
    e.renderBuffer();
    all.insert(all.end(), e.out.begin(), e.out.end());
  }
  return all;
}

TEST(Playback, ANoteSoundsAtTheFrequencyOfItsPitch) {
  const std::pair<int32_t, double> notes[] = {{0x3C00 + 12 * 256, 882.0},                         // an octave up
                                              {0x3C00 - 7 * 256, 441.0 * std::pow(2.0, -7 / 12.0)}};  // a fifth down
  for (auto [pitch, hertz] : notes) {
    std::vector<int16_t> out = renderNote(pitch, {}, 11);  // just over a second
    int32_t crossings = 0;  // two a period, on the left channel over the first 44100 frames
    for (size_t i = 2; i < 2 * 44100; i += 2) crossings += (out[i - 2] < 0) != (out[i] < 0);
    EXPECT_NEAR(crossings, 2 * hertz, 2) << pitch;
    // Centred at full volume a voice adds half its sample to each side.
    EXPECT_NEAR(*std::max_element(out.begin(), out.end()), 10000, 50);
  }
}

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

TEST(EngineTiming, TinySpeedsAndHugeTemposKeepTicksAtLeastOneFrame) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song, 64, 2, 0x7FFFFFFF);
  e.play(song.inUse(), 44100);
  e.renderBuffer();  // tempo 0x7FFFFFFF now
  EXPECT_EQ(e.engine->tempo, 0x7FFFFFFF);
  EXPECT_GE(e.engine->samplesPerTick, 1u);
  e.command(ENG_SET_SPEED, 0xFFFFFFFF);  // 65535 %: 0 whole frames per tick before the limit
  EXPECT_EQ(e.engine->samplesPerTick, 1u);
}

TEST(EnginePrepare, RefusesMissingAndUnusedSoundtracksAndRatesBelowOneHertz) {
  OfflineEngine e;
  e.sendPlayerSettings();
  const intptr_t rate = 44100 << 16;
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusNoSoundtrack);
  SongBuilder song;
  emptySong(song);
  e.command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song.get()));
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusNotInUse);
  song.inUse();
  EXPECT_EQ(e.command(ENG_PREPARE, 12, 1, rate), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 0xFFFF), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_PREPARE, 8, 0, 0x10000), kStatusOk);  // 1 Hz is a rate
}

}  // namespace
}  // namespace tvp::test
