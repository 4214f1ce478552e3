// Flow control and the song-level events: immediate moves, the end of the song and the limits of
// the song-level values. At 800 Hz and tempo 125 each 16-frame buffer is one tick.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {


struct SongRun {
  SongRun(const std::vector<Pat>& patterns, const std::vector<int32_t>& positions, uint32_t fadeStep = 0) {
    e.sendPlayerSettings();
    e.command(ENG_SET_FADE_STEP, fadeStep);
    buildSong(song, patterns, positions);
    e.play(song.inUse(), kOneTickPerBufferHz);
  }
  SongBuilder song;
  OfflineEngine e{4, 16};
};

// The state after a number of buffers: play position, position counter and speed (-1: not
// checked), and which of kEngineEnded and kEngineLooped are set.
TEST(Flow, ImmediateMovesAndTheEndOfTheSong) {
  using namespace EventCode;
  const std::vector<Pat> gotoSong = {{{{0x100, 0, GotoPlayPosition, 2}, {0x100, 0, SetSpeed, 3}}, 8},
                                     {{{0, 0, SetSpeed, 4}}, 8}};
  const std::vector<Pat> breakNowSong = {{{{0x200, 0, BreakNow, 0x300}}, 8},
                                         {{{0x100, 0, SetSpeed, 4}, {0x300, 0, SetSpeed, 3}}, 8}};
  const std::vector<Pat> gotoItself = {{{{0x200, 0, GotoPlayPosition, 1}}, 8}};
  struct Case {
    const char* name;
    std::vector<Pat> patterns;
    std::vector<int32_t> positions;
    int32_t buffers, position, counter, speed;
    uint32_t flags;
  } cases[] = {
      // The sixth buffer ends on row 1's first tick; the SetSpeed after the jump never runs.
      {"GotoPlayPosition switches at once", gotoSong, {0, 1, 2}, 6, 2, 0, 6, 0},
      {"the new position's time-0 events run before its first tick", gotoSong, {0, 1, 2}, 7, 2, 1, 4, 0},
      {"a goto to the current position is a loop only once it happens", gotoItself, {0, 1}, 11, 1, 0x105, -1, 0},
      {"a goto to the current position counts as a loop", gotoItself, {0, 1}, 12, 1, 0, -1, kEngineLooped},
      {"BreakNow moves on at once", breakNowSong, {0, 1, 2}, 12, 2, 0x300, 6, 0},
      {"BreakNow runs the target row's events only", breakNowSong, {0, 1, 2}, 13, 2, 0x301, 3, 0},
      {"NextPlayPosition from the last position ends the song", {{{}, 2}}, {0, 1}, 30, 0, -1, -1, kEngineEnded},
      {"an event list that runs out ends the song", {{{{0x100, 0, SetSpeed, 3}}, -1}}, {0, 1}, 20, -1, -1, -1,
       kEngineEnded},
      {"a position naming a missing pattern ends the song", {}, {0, 7}, 4, -1, -1, -1, kEngineEnded},
      // With no fade, only the guard against stretches without frames can end it.
      {"a jump to itself without time passing ends instead of hanging", {{{{0, 0, GotoPlayPosition, 1}}, 4}}, {0, 1},
       1, -1, -1, -1, kEngineEnded | kEngineLooped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SongRun run(c.patterns, c.positions);
    run.e.render(c.buffers);
    const SoundEngine& s = *run.e.engine;
    EXPECT_EQ(std::tuple(s.playPosition, s.positionCounter, s.speed, s.flags & (kEngineEnded | kEngineLooped)),
              std::tuple(c.position < 0 ? s.playPosition : c.position, c.counter < 0 ? s.positionCounter : c.counter,
                         c.speed < 0 ? s.speed : c.speed, c.flags));
  }
}

TEST(Flow, SongLevelValuesKeepTheirLimits) {
  using namespace EventCode;
  SongRun run({{{{0, 5, SetVariable, 7}, {0, 5, AddVariable, 3}, {0, 5, MultiplyVariable, -2},
                 {0, 32, AddVariable, 1},  // beyond the 4 voices, still a variable
                 {0, 63, SetVariable, 0x7FFFFFFF}, {0, 63, AddVariable, 1}, {0, 64, SetVariable, 9},
                 {0, -1, SetVariable, 9},  // outside the bank: ignored
                 {0, 0, SetSpeed, 0}, {0, 0, SetTempo, 0}, {0, 0, SetSpeed, -3},  // changes nothing
                 {0, 0, SetGlobalVolume, 0x20000}, {0x100, 0, SetGlobalVolumeMin, 0x1000},
                 {0x100, 0, SetGlobalVolume, 0x10}, {0x200, 0, GlobalVolumeSlideSpeed, 0x800},
                 {0x200, 0, GlobalVolumeSlideTarget, 0x3000}, {0x200, 0, GlobalVolumeSlide, 1},
                 {0x300, 0, AddGlobalVolume, 0x8000}, {0x300, 0, GlobalVolumeSlide, 3}},
                5}},
              {0, 1});
  SoundEngine& s = *run.e.engine;
  run.e.renderBuffer();
  EXPECT_EQ(std::tuple(s.variables[5], s.variables[32], s.variables[63], s.variables[0], s.hostWord),
            std::tuple(-20, 1, INT32_MIN, 0, 0u));  // 63 wraps; the word in front of the bank is untouched
  EXPECT_EQ(std::tuple(s.speed, s.tempo, s.samplesPerTick), std::tuple(6, 125, 16u));
  // Global volume: limited to the maximum, then to a new minimum; slides on the later ticks of a
  // row toward 0x3000 and stops there; after the add, one single step down.
  const std::pair<int32_t, int32_t> volumes[] = {
      {0x001, 0x10000}, {0x101, 0x1000}, {0x202, 0x2000}, {0x205, 0x3000}, {0x302, 0xA800}};
  for (auto [counter, volume] : volumes) {
    while (s.positionCounter != counter) run.e.renderBuffer();
    EXPECT_EQ(s.globalVolume, volume) << counter;
  }
  EXPECT_EQ(std::tuple(s.globalSlideMode, s.outputGain), std::tuple(0, 0xA800u / 2));  // master volume 0x8000
}

// At 12800 Hz a tick lasts 125 frames or more (tempo 255 at most): a 16-frame buffer holds at
// most one tick's start, and the tempo of every tick and the ticks of every row show.
TEST(Flow, TempoSlidesStayInRangeAndTickDelaysLengthenTheirRow) {
  using namespace EventCode;
  SongBuilder song;
  buildSong(song,
            {{{{0, 0, TempoSlide, -10}, {0x100, 0, TempoSlide, 0},  // 125 down to 75, then held
               {0x200, 0, RowTickDelay, 2}, {0x200, 1, RowTickDelay, 1},  // 6 + 3 ticks
               {0x300, 0, TempoSlide, 300}, {0x400, 0, TempoSlide, -1}},  // up to 255, then down by 1
              5},
             {{}, 2}},
            {0, 1, 2});
  OfflineEngine e{4, 16};
  e.sendPlayerSettings();
  e.play(song.inUse(), 12800);
  const SoundEngine& s = *e.engine;
  std::map<int32_t, int32_t> ticksOfRow, lastTempoOfRow;
  for (int32_t buffer = 0; buffer < 2000 && s.playPosition < 2; ++buffer) {
    e.renderBuffer();
    if (s.playPosition != 1) break;
    const int32_t row = s.positionCounter >> 8;
    if (s.samplesIntoTick < 16) ticksOfRow[row] += 1;  // a tick began in this buffer
    lastTempoOfRow[row] = s.tempo;
  }
  EXPECT_EQ(lastTempoOfRow, (std::map<int32_t, int32_t>{{0, 75}, {1, 75}, {2, 75}, {3, 255}, {4, 250}}));
  EXPECT_EQ(ticksOfRow[2], 9);
  EXPECT_EQ(ticksOfRow[3], 6);
  // Play moving on stops the slide where it was.
  while (s.playPosition == 1 && !(s.flags & kEngineEnded)) e.renderBuffer();
  e.render(50);  // within its 12 ticks of 128 frames
  EXPECT_EQ(std::tuple(s.playPosition, s.tempo, s.tempoSlideStep, s.extraRowTicks), std::tuple(2, 250, 0, 0));
}

}  // namespace
}  // namespace tvp::test
