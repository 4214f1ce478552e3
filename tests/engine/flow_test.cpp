// Flow control and the song-level events: loops, jumps, breaks, the end of the song and the fade.
// At 800 Hz and tempo 125 each 16-frame buffer is one tick.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

using Row = std::pair<int32_t, int32_t>;  // play position, row (or position counter)
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);

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

TEST(Flow, LoopsBreaksAndJumpsPlayTheExpectedRows) {
  using namespace EventCode;
  struct Case {
    const char* name;
    std::vector<Pat> patterns;
    std::vector<int32_t> positions;
    std::vector<Row> rows;  // as each starts
  } cases[] = {
      {"a pattern loop of count 2 plays its body three times",
       {{{{0x200, 0, LoopCount, 2}, {0x200, 0, LoopBack, 0 | kReset}}, 4}, {{}, 1}}, {0, 1, 2},
       {{1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}}},
      {"a second loop count while the loop runs does not restart it",
       {{{{0, 0, LoopCount, 1}, {0x100, 0, LoopCount, 5}, {0x100, 0, LoopBack, 0}}, 3}, {{}, 1}}, {0, 1, 2},
       {{1, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}}},
      {"loops of two channels count apart and both run out",
       {{{{0x100, 0, LoopBack, 0}, {0x300, 1, LoopBack, 0}}, 4}, {{}, 1}}, {0, 1, 2},
       {{1, 1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 0}, {1, 1}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}}},
      {"a break to row 16 at row 10 lands on row 16 of the next position",
       {{{{0xA00, 0, PatternBreak, 0x1000 | kReset}}, 64}, {{}, 64}}, {0, 1, 2},
       {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {1, 7}, {1, 8}, {1, 9}, {1, 10}, {2, 16}, {2, 17}}},
      {"a jump and a break due on the same tick land on the break's row of the jump target",
       {{{{0x100, 0, PositionJump, 3}, {0x100, 0, PatternBreak, 0x800}}, 8}, {{}, 16}}, {0, 1, 2, 2, 2, 2},
       {{1, 1}, {3, 8}, {3, 9}}},
      {"the same with the break first", {{{{0x100, 0, PatternBreak, 0x800}, {0x100, 0, PositionJump, 3}}, 8}, {{}, 16}},
       {0, 1, 2, 2, 2, 2}, {{1, 1}, {3, 8}, {3, 9}}},
      {"a jump alone lands on row 0 of its target", {{{{0x100, 0, PositionJump, 3}}, 8}, {{}, 16}}, {0, 1, 2, 2, 2, 2},
       {{1, 1}, {3, 0}, {3, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SongRun run(c.patterns, c.positions);
    std::vector<Row> seen;
    for (int tick = 0; tick < 1000 && seen.size() < c.rows.size(); ++tick) {
      const SoundEngine& s = *run.e.engine;
      if (tick > 0 && s.playPosition > 0 && (s.positionCounter & 0xFF) == 0 && s.rowDelayCounter == 0 &&
          s.samplesIntoTick == 0)
        seen.emplace_back(s.playPosition, s.positionCounter >> 8);
      run.e.renderBuffer();
    }
    EXPECT_EQ(seen, c.rows);
    EXPECT_EQ(run.e.engine->breakTime, 0);
    EXPECT_FALSE(run.e.engine->flags & kEngineLooped);
  }
}

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

TEST(Flow, AnEndedSongStaysPlayingUntilAStopAndAStartPrepareItAgain) {
  SongRun run({{{}, 2}}, {0, 1});
  run.e.render(30);
  EXPECT_EQ(run.e.command(ENG_IS_PLAYING), 1);
  run.e.command(ENG_STOP);
  ASSERT_EQ(run.e.command(ENG_START), kStatusOk);
  EXPECT_FALSE(run.e.engine->flags & kEngineEnded);
  run.e.renderBuffer();
  EXPECT_EQ(run.e.engine->playPosition, 1);
}

// Position 1 jumps back to itself: the song loops from the buffer where the jump lands (6),
// then fades by the step once a buffer.
TEST(Flow, ABackwardJumpFadesToTheEndByTheFadeStep) {
  const std::pair<uint32_t, int32_t> cases[] = {{0x4000, 6 + 3}, {0x10000, 6}, {0, -1}};  // step, buffers
  for (auto [step, buffers] : cases) {
    SongRun run({{{{0, 0, EventCode::PositionJump, 1}}, 4}}, {0, 1}, step);
    int32_t ended = -1;
    for (int i = 1; i <= 2000 && ended < 0; ++i) {
      run.e.renderBuffer();
      if (run.e.engine->flags & kEngineEnded) ended = i;
    }
    const SoundEngine& s = *run.e.engine;
    EXPECT_EQ(std::tuple(ended, s.flags & kEngineLooped, s.fadeLevel, s.outputGain),
              std::tuple(buffers, kEngineLooped, step ? 0 : 0x10000, step ? 0u : 0x8000u))
        << step;
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

TEST(Flow, PositionRequestsRestartSilenceAndAreConsumedOnce) {
  SongRun run({{{}, 4}, {{{0, 0, EventCode::SetSpeed, 3}}, 4}}, {0, 1, 2});
  SoundEngine& s = *run.e.engine;
  run.e.render(30);
  ASSERT_EQ(s.playPosition, 2);
  s.voices[1].active = kVoiceSounding | kVoiceKeyHeld;
  s.voices[1].vibratoOn = 1;
  const std::pair<intptr_t, int32_t> requests[] = {{1, 1}, {0, 1}, {99, 2}};  // request, counter after
  for (auto [request, counter] : requests) {
    run.e.command(ENG_REQUEST_PLAY_POSITION, request);
    s.voices[0].active = kVoiceSounding;
    run.e.renderBuffer();
    // Position 0 runs its settings and moves on; 99 is no position: voices stop, play goes on.
    EXPECT_EQ(std::tuple(s.playPosition, s.positionCounter, s.voices[0].active, s.positionRequest),
              std::tuple(1, counter, 0, -1));
  }
  EXPECT_EQ(std::tuple(s.voices[1].active, s.voices[1].vibratoOn), std::tuple(0, 0));
}

// Dispatch with a recording handler in place of a voice handler.
std::vector<std::pair<Voice*, int32_t>> seen;
void Record(SoundEngine*, Voice* voice, const Event*&, int16_t&, int32_t param) { seen.emplace_back(voice, param); }

TEST(Flow, VoiceEventsForChannelsOutsideTheVoicesAreIgnored) {
  using namespace EventCode;
  SongRun run({{{{0, 1, SetVolume, 11}, {0, 4, SetVolume, 22}, {0, -1, SetVolume, 33}, {0, 0, kHandlerCount, 44},
                 {0, 0, -5, 55}, {0, 3, SetVolume, 66}},
                4}},
              {0, 1});
  run.e.engine->handlers[SetVolume] = {Record, true};
  run.e.renderBuffer();
  Voice* voices = run.e.engine->voices;
  EXPECT_EQ(seen, (std::vector<std::pair<Voice*, int32_t>>{{&voices[1], 11}, {&voices[3], 66}}));
}

// A song built in memory, traced tick by tick: speed 2, then 3 from row 1 of position 1 and a
// break at row 2 to row 1 of position 2; there tempo 250 (two 8-frame ticks a buffer) from row 1
// and a jump at row 2 to position 4, whose two rows end the song.
TEST(SongTrace, FlowSpeedAndTempoEventsGiveTheExpectedTickSequence) {
  using namespace EventCode;
  SongRun run({{{{0, 0, SetSpeed, 2}, {0, 0, SetTempo, 125}}, 0},
               {{{0x100, 0, SetSpeed, 3}, {0x200, 0, PatternBreak, 0x100}}, 8},
               {{{0x100, 0, SetTempo, 250}, {0x200, 0, PositionJump, 4}}, 8},
               {{{0, 0, SetSpeed, 2}}, 2}},
              {1, 2, 3, 3, 4});
  std::vector<Row> trace;
  for (int i = 0; i < 40 && !(run.e.engine->flags & kEngineEnded); ++i) {
    ASSERT_EQ(run.e.renderBuffer(), 1);
    trace.emplace_back(run.e.command(ENG_GET_PLAY_POSITION), run.e.engine->positionCounter);
  }
  const std::vector<Row> expected = {{1, 0x001}, {1, 0x100}, {1, 0x101}, {1, 0x102}, {1, 0x200},
                                     {1, 0x201}, {1, 0x202}, {2, 0x100}, {2, 0x102}, {2, 0x201},
                                     {4, 0x000}, {4, 0x100}, {0, 0x000}};
  EXPECT_EQ(trace, expected);
  EXPECT_FALSE(run.e.engine->flags & kEngineLooped);
}

}  // namespace
}  // namespace tvp::test
