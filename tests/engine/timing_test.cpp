// Frames into ticks, ticks into rows, and the step tables that follow rate and tuning.
#include <gtest/gtest.h>

#include <cmath>

#include "soundtrack/status.h"
#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

// A song that plays 64 empty rows per position for a while.
void emptySong(SongBuilder& song, int32_t speed = 6, int32_t tempo = 125) {
  song.addInitialSettings(speed, tempo);
  int32_t body = song.addPattern({}, 64);
  song.setPlayPositions({0, body, body, body});
}

TEST(EngineTiming, TickLengthFollowsRateTempoAndSpeed) {
  struct Case {
    uint32_t percent, hertz;
    int32_t tempo;
    uint32_t tickRate, frames;
  } cases[] = {{100, 44100, 125, 44100, 882}, {200, 44100, 125, 22050, 441},
               {300, 44100, 125, 14700, 294}, {100, 48000, 150, 48000, 800},
               {100, 44100, 255, 44100, 432}, {50, 22050, 125, 44100, 882}};
  for (const Case& c : cases) {
    OfflineEngine e(4, 4096);
    e.sendPlayerSettings(c.percent);
    SongBuilder song;
    emptySong(song, 6, c.tempo);
    e.play(song.inUse(), c.hertz);
    e.renderBuffer();  // runs the tempo event
    EXPECT_EQ(e.engine->tickRate, c.tickRate) << c.percent << "% " << c.hertz;
    EXPECT_EQ(e.engine->samplesPerTick, c.frames) << c.percent << "% " << c.hertz;
    EXPECT_EQ(e.engine->arpeggioStepFrames, c.tickRate / 50);
  }
}

TEST(EngineTiming, ABufferOf4096FramesSpansFourTicksAnd568Frames) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  e.play(song.inUse(), 44100);
  e.renderBuffer();
  EXPECT_EQ(e.engine->playPosition, 1);
  EXPECT_EQ(e.engine->positionCounter, 4);
  EXPECT_EQ(e.engine->samplesIntoTick, 568);
  e.renderBuffer();  // 568 + 4096 = 4664 = 5 x 882 + 254
  EXPECT_EQ(e.engine->positionCounter, 0x100 + 3);
  EXPECT_EQ(e.engine->samplesIntoTick, 254);
}

TEST(EngineTiming, SpeedChangeWhilePlayingTakesEffectAtOnce) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  e.play(song.inUse(), 44100);
  e.renderBuffer();
  e.command(ENG_SET_SPEED, 200 << 16);
  EXPECT_EQ(e.engine->samplesPerTick, 441u);
}

TEST(EngineTiming, TinySpeedsAndHugeTemposKeepTicksAtLeastOneFrame) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  e.command(ENG_SET_SPEED, 1);  // the smallest non-zero speed: a tick rate past 32 bits
  EXPECT_EQ(e.engine->tickRate, 0u);  // no rate before prepare
  SongBuilder song;
  emptySong(song, 6, 0x7FFFFFFF);
  e.play(song.inUse(), 44100);
  EXPECT_EQ(e.engine->tickRate, 0xFFFFFFFFu);
  EXPECT_LE(e.engine->samplesPerTick, static_cast<uint32_t>(INT32_MAX));
  e.renderBuffer();  // tempo 0x7FFFFFFF now
  EXPECT_EQ(e.engine->tempo, 0x7FFFFFFF);
  EXPECT_GE(e.engine->samplesPerTick, 1u);

  e.command(ENG_SET_SPEED, 0xFFFFFFFF);  // 65535 %: 0 whole frames per tick before the limit
  EXPECT_EQ(e.engine->samplesPerTick, 1u);
  EXPECT_GE(e.engine->arpeggioStepFrames, 1u);
  e.command(ENG_SET_SPEED, 0);  // 0 counts as the smallest speed
  EXPECT_EQ(e.command(ENG_GET_SPEED), 1);
}

TEST(EngineTiming, PositionRequestBelowMinusOneHalvesTheTick) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  e.play(song.inUse(), 44100);
  e.command(ENG_REQUEST_PLAY_POSITION, -2);
  e.renderBuffer();  // 4096 = 9 x 441 + 127
  EXPECT_EQ(e.engine->positionCounter, 0x100 + 3);
  EXPECT_EQ(e.engine->samplesIntoTick, 127);
  e.command(ENG_REQUEST_PLAY_POSITION, -1);
  e.renderBuffer();  // full ticks again: 127 + 4096 = 4 x 882 + 695
  EXPECT_EQ(e.engine->positionCounter, 0x201);
  EXPECT_EQ(e.engine->samplesIntoTick, 695);
}

// At 800 Hz and tempo 125 a tick is 16 frames: with 16-frame buffers each render is one tick.
constexpr uint32_t kOneTickPerBufferHz = 800;

TEST(EngineTiming, PositionCounterCountsTicksThenRows) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  e.play(song.inUse(), kOneTickPerBufferHz);
  std::vector<int32_t> seen;
  for (int i = 0; i < 8; ++i) {
    e.renderBuffer();
    seen.push_back(e.engine->positionCounter);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 5, 0x100, 0x101, 0x102}));
}

TEST(EngineTiming, TwoRowPatternDelayHoldsThePositionForTwelveTicks) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  int32_t body = song.addPattern({{0x100, 0, EventCode::PatternDelay, 0x200}}, 4);
  song.setPlayPositions({0, body});
  e.play(song.inUse(), kOneTickPerBufferHz);
  std::vector<std::pair<int32_t, int32_t>> seen;
  for (int i = 0; i < 26; ++i) {
    e.renderBuffer();
    seen.emplace_back(e.engine->positionCounter, e.engine->rowDelayCounter);
  }
  std::vector<std::pair<int32_t, int32_t>> expected = {
      {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {0x100, 0x200},
      {0x100, 0x201}, {0x100, 0x202}, {0x100, 0x203}, {0x100, 0x204}, {0x100, 0x205},
      {0x100, 0x100}, {0x100, 0x101}, {0x100, 0x102}, {0x100, 0x103}, {0x100, 0x104}, {0x100, 0x105},
      {0x100, 0}, {0x101, 0}, {0x102, 0}, {0x103, 0}, {0x104, 0}, {0x105, 0}, {0x200, 0},
      {0x201, 0}, {0x202, 0}};
  EXPECT_EQ(seen, expected);
}

TEST(EnginePitchTables, StepTablesFollowRateAndTuning) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  Soundtrack* st = song.get();
  ResizeSampleSlots(st, 2);
  st->samples[1] = NewSample();
  st->samples[1]->rate = 8363 << 16;
  e.play(song.inUse(), 44100);
  const uint32_t* steps = st->samples[1]->stepTable;
  EXPECT_EQ(steps[0], static_cast<uint32_t>(8363.0 / 44100.0 * 65536.0));  // 12427
  EXPECT_EQ(steps[1536], static_cast<uint32_t>(8363.0 / 44100.0 * 65536.0 * std::sqrt(2.0)));

  // The same A4 again rebuilds nothing; a new one rebuilds every table.
  st->samples[1]->stepTable[0] = 1;
  e.command(ENG_SET_A4_FREQUENCY, 440 << 16);
  EXPECT_EQ(steps[0], 1u);
  e.command(ENG_SET_A4_FREQUENCY, 880 << 16);
  EXPECT_EQ(steps[0], static_cast<uint32_t>(8363.0 / 44100.0 * 2.0 * 65536.0));

  // Preparing at the same rate keeps the tables, a new rate rebuilds them.
  st->samples[1]->stepTable[0] = 1;
  ASSERT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), 0);
  EXPECT_EQ(steps[0], 1u);
  ASSERT_EQ(e.command(ENG_PREPARE, 16, 1, 22050 << 16), 0);
  EXPECT_EQ(steps[0], static_cast<uint32_t>(8363.0 / 22050.0 * 2.0 * 65536.0));
}

TEST(EnginePitchTables, HostileSampleRatesStayInsideTheStepRange) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  Soundtrack* st = song.get();
  ResizeSampleSlots(st, 3);
  st->samples[0] = NewSample();
  st->samples[0]->rate = UINT32_MAX;
  st->samples[2] = NewSample();
  st->samples[2]->rate = 0;
  e.command(ENG_SET_A4_FREQUENCY, 880 << 16);
  e.play(song.inUse(), 1);  // 1 Hz output an octave up: steps beyond 32 bits
  EXPECT_EQ(st->samples[0]->stepTable[3071], 0xFFFFFFFFu);
  EXPECT_EQ(st->samples[2]->stepTable[0], 0u);
}

}  // namespace
}  // namespace tvp::test
