// Frames into ticks, ticks into rows, and the step tables that follow rate and tuning.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

TEST(EngineTiming, TickLengthFollowsRateTempoAndSpeed) {
  struct Case {
    uint32_t percent, hertz;
    int32_t tempo;
    uint32_t tickRate, frames;
  } cases[] = {{100, 44100, 125, 44100, 882}, {200, 44100, 125, 22050, 441}, {300, 44100, 125, 14700, 294},
               {100, 48000, 150, 48000, 800}, {100, 44100, 255, 44100, 432}, {50, 22050, 125, 44100, 882}};
  for (const Case& c : cases) {
    OfflineEngine e(4, 4096);
    e.sendPlayerSettings(c.percent);
    SongBuilder song;
    emptySong(song, 64, 2, c.tempo);
    e.play(song.inUse(), c.hertz);
    e.renderBuffer();  // runs the tempo event
    EXPECT_EQ(e.engine->tickRate, c.tickRate) << c.percent << "% " << c.hertz;
    EXPECT_EQ(e.engine->samplesPerTick, c.frames) << c.percent << "% " << c.hertz;
    EXPECT_EQ(e.engine->arpeggioStepFrames, c.tickRate / 50);
    e.command(ENG_SET_SPEED, 2 * c.percent << 16);  // a change while playing counts at once
    EXPECT_EQ(e.engine->samplesPerTick, c.frames / 2);
  }
}

TEST(EngineTiming, TinySpeedsAndHugeTemposKeepTicksAtLeastOneFrame) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  e.command(ENG_SET_SPEED, 1);  // the smallest non-zero speed: a tick rate past 32 bits
  EXPECT_EQ(e.engine->tickRate, 0u);  // no rate before prepare
  SongBuilder song;
  emptySong(song, 64, 2, 0x7FFFFFFF);
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
  EXPECT_EQ(e.engine->positionCounter, 0x103);
  EXPECT_EQ(e.engine->samplesIntoTick, 127);
  e.command(ENG_REQUEST_PLAY_POSITION, -1);
  e.renderBuffer();  // full ticks again: 127 + 4096 = 4 x 882 + 695
  EXPECT_EQ(e.engine->positionCounter, 0x201);
  EXPECT_EQ(e.engine->samplesIntoTick, 695);
}

// positionCounter counts ticks in its low byte and rows above; a pattern delay holds it while
// rowDelayCounter counts the delayed rows' ticks.
TEST(EngineTiming, TwoRowPatternDelayHoldsThePositionForTwelveTicks) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0, song.addPattern({{0x100, 0, EventCode::PatternDelay, 0x200}}, 4)});
  e.play(song.inUse(), kOneTickPerBufferHz);
  std::vector<std::pair<int32_t, int32_t>> seen;
  for (int i = 0; i < 26; ++i) {
    e.renderBuffer();
    seen.emplace_back(e.engine->positionCounter, e.engine->rowDelayCounter);
  }
  const std::vector<std::pair<int32_t, int32_t>> expected = {
      {1, 0},         {2, 0},         {3, 0},         {4, 0},         {5, 0},         {0x100, 0x200},
      {0x100, 0x201}, {0x100, 0x202}, {0x100, 0x203}, {0x100, 0x204}, {0x100, 0x205}, {0x100, 0x100},
      {0x100, 0x101}, {0x100, 0x102}, {0x100, 0x103}, {0x100, 0x104}, {0x100, 0x105}, {0x100, 0},
      {0x101, 0},     {0x102, 0},     {0x103, 0},     {0x104, 0},     {0x105, 0},     {0x200, 0},
      {0x201, 0},     {0x202, 0}};
  EXPECT_EQ(seen, expected);
}

// Step tables hold the sample rate over the output rate, scaled by the A4 tuning, kept to 32 bits.
TEST(EnginePitchTables, StepTablesFollowRateAndTuningWithinTheStepRange) {
  OfflineEngine e(4, 16);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song);
  Soundtrack* st = song.get();
  ResizeSampleSlots(st, 3);
  for (int32_t slot : {0, 1, 2}) st->samples[slot] = NewSample();
  st->samples[0]->rate = 8363 << 16;
  st->samples[1]->rate = UINT32_MAX;
  e.play(song.inUse(), 44100);
  uint32_t* steps = st->samples[0]->stepTable;
  const double base = 8363.0 / 44100.0 * 65536.0;
  EXPECT_EQ(std::tuple(steps[0], steps[1536]),
            std::tuple(static_cast<uint32_t>(base), static_cast<uint32_t>(base * std::sqrt(2.0))));  // 12427
  steps[0] = st->samples[2]->stepTable[0] = 1;  // the same A4 or rate again rebuilds nothing
  e.command(ENG_SET_A4_FREQUENCY, 440 << 16);
  ASSERT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), kStatusOk);
  EXPECT_EQ(steps[0], 1u);
  e.command(ENG_SET_A4_FREQUENCY, 880 << 16);
  EXPECT_EQ(steps[0], static_cast<uint32_t>(2 * base));
  ASSERT_EQ(e.command(ENG_PREPARE, 16, 1, 1 << 16), kStatusOk);  // 1 Hz an octave up: past 32 bits
  EXPECT_EQ(std::tuple(steps[0], st->samples[1]->stepTable[3071], st->samples[2]->stepTable[0]),
            std::tuple(static_cast<uint32_t>(8363.0 * 2 * 65536.0), 0xFFFFFFFFu, 0u));  // rate 0: no step
}

}  // namespace
}  // namespace tvp::test
