// Flow control and the song-level events: loops, jumps, breaks, the end of the song and the fade.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "soundtrack/status.h"
#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

using Row = std::pair<int32_t, int32_t>;  // play position, row
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);

// At 800 Hz and tempo 125 a tick is 16 frames, so each 16-frame buffer is one tick.
class FlowTest : public ::testing::Test {
 protected:
  FlowTest() : e(4, 16) { e.sendPlayerSettings(); }

  void play() { e.play(song.inUse(), 800); }

  // Renders tick by tick and lists each row as it starts, until `rows` rows or the song ends.
  std::vector<Row> rowsPlayed(int32_t rows) {
    std::vector<Row> seen;
    for (int tick = 0; tick < 10000 && static_cast<int32_t>(seen.size()) < rows; ++tick) {
      if (e.engine->flags & kEngineEnded) break;
      if ((e.engine->positionCounter & 0xFF) == 0 && e.engine->rowDelayCounter == 0 && e.engine->playPosition > 0 &&
          e.engine->samplesIntoTick == 0 && tick > 0)
        seen.emplace_back(e.engine->playPosition, e.engine->positionCounter >> 8);
      e.renderBuffer();
    }
    return seen;
  }

  OfflineEngine e;
  SongBuilder song;
};

TEST_F(FlowTest, PatternLoopOfCountTwoPlaysItsBodyThreeTimes) {
  song.addInitialSettings();
  int32_t body = song.addPattern({{0x200, 0, EventCode::LoopCount, 2}, {0x200, 0, EventCode::LoopBack, 0 | kReset}}, 4);
  int32_t tail = song.addPattern({}, 1);
  song.setPlayPositions({0, body, tail});
  play();
  std::vector<Row> expected = {{1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}};
  EXPECT_EQ(rowsPlayed(10), expected);
}

TEST_F(FlowTest, ASecondLoopCountWhileTheLoopRunsDoesNotRestartIt) {
  song.addInitialSettings();
  int32_t body = song.addPattern({{0x000, 0, EventCode::LoopCount, 1},
                                  {0x100, 0, EventCode::LoopCount, 5},
                                  {0x100, 0, EventCode::LoopBack, 0}},
                                 3);
  int32_t tail = song.addPattern({}, 1);
  song.setPlayPositions({0, body, tail});
  play();
  std::vector<Row> expected = {{1, 1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}};
  EXPECT_EQ(rowsPlayed(5), expected);
}

TEST_F(FlowTest, BreakToRow16AtRow10ContinuesAtRow16OfTheNextPosition) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0xA00, 0, EventCode::PatternBreak, 0x1000 | kReset}}, 64);
  int32_t b = song.addPattern({}, 64);
  song.setPlayPositions({0, a, b});
  play();
  std::vector<Row> rows = rowsPlayed(12);
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(rows[9], (Row{1, 10}));
  EXPECT_EQ(rows[10], (Row{2, 16}));
  EXPECT_EQ(rows[11], (Row{2, 17}));
  EXPECT_EQ(e.engine->breakTime, 0);
  EXPECT_FALSE(e.engine->flags & kEngineLooped);
}

TEST_F(FlowTest, JumpAndBreakDueOnTheSameTickLandAfterTheJumpTarget) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x100, 0, EventCode::PositionJump, 3}, {0x100, 0, EventCode::PatternBreak, 0x800}}, 8);
  int32_t other = song.addPattern({}, 16);
  song.setPlayPositions({0, a, other, other, other, other});
  play();
  std::vector<Row> rows = rowsPlayed(3);
  EXPECT_EQ(rows, (std::vector<Row>{{1, 1}, {4, 8}, {4, 9}}));
}

TEST_F(FlowTest, GotoPlayPositionSwitchesAtOnceAndSkipsTheRestOfTheTick) {
  song.addInitialSettings(6);
  int32_t a = song.addPattern({{0x100, 0, EventCode::GotoPlayPosition, 2}, {0x100, 0, EventCode::SetSpeed, 3}}, 8);
  int32_t b = song.addPattern({{0x000, 0, EventCode::SetSpeed, 4}}, 8);
  song.setPlayPositions({0, a, b});
  play();
  for (int i = 0; i < 6; ++i) e.renderBuffer();  // the sixth buffer ends on row 1's first tick
  EXPECT_EQ(e.engine->playPosition, 2);
  EXPECT_EQ(e.engine->positionCounter, 0);
  EXPECT_EQ(e.engine->speed, 6);  // the SetSpeed after the jump on the same tick never ran
  e.renderBuffer();
  EXPECT_EQ(e.engine->speed, 4);  // the new position's time-0 events run before its first tick
  EXPECT_EQ(e.engine->positionCounter, 1);
  EXPECT_FALSE(e.engine->flags & kEngineLooped);
}

TEST_F(FlowTest, GotoTheCurrentPositionCountsAsALoop) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x200, 0, EventCode::GotoPlayPosition, 1}}, 8);
  song.setPlayPositions({0, a});
  play();
  for (int i = 0; i < 11; ++i) e.renderBuffer();
  EXPECT_FALSE(e.engine->flags & kEngineLooped);
  e.renderBuffer();  // row 2: back to row 0 of the same position
  EXPECT_TRUE(e.engine->flags & kEngineLooped);
  EXPECT_EQ(e.engine->playPosition, 1);
  EXPECT_EQ(e.engine->positionCounter, 0);
}

TEST_F(FlowTest, BreakNowMovesOnImmediatelyAndRunsTheTargetRowsEvents) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x200, 0, EventCode::BreakNow, 0x300}}, 8);
  int32_t b = song.addPattern({{0x100, 0, EventCode::SetSpeed, 4}, {0x300, 0, EventCode::SetSpeed, 3}}, 8);
  song.setPlayPositions({0, a, b});
  play();
  for (int i = 0; i < 12; ++i) e.renderBuffer();  // ends on row 2, where the break runs
  EXPECT_EQ(e.engine->playPosition, 2);
  EXPECT_EQ(e.engine->positionCounter, 0x300);
  e.renderBuffer();
  EXPECT_EQ(e.engine->speed, 3);  // row 3's events ran, row 1's were passed over
  EXPECT_EQ(e.engine->positionCounter, 0x301);
}

TEST_F(FlowTest, NextPlayPositionFromTheLastPositionEndsTheSong) {
  song.addInitialSettings();
  int32_t a = song.addPattern({}, 2);
  song.setPlayPositions({0, a});
  play();
  for (int i = 0; i < 30; ++i) e.renderBuffer();
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
  EXPECT_EQ(e.engine->playPosition, 0);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 1);  // ended but still flagged playing

  // A stop and a start prepare the song again from its first position.
  e.command(ENG_STOP);
  ASSERT_EQ(e.command(ENG_START), 0);
  EXPECT_FALSE(e.engine->flags & kEngineEnded);
  e.renderBuffer();
  EXPECT_EQ(e.engine->playPosition, 1);
}

TEST_F(FlowTest, AnEventListThatRunsOutEndsTheSong) {
  song.addInitialSettings();
  int32_t open = song.addPattern({{0x100, 0, EventCode::SetSpeed, 3}}, -1);  // no closing event
  song.setPlayPositions({0, open});
  play();
  for (int i = 0; i < 20; ++i) e.renderBuffer();
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
}

TEST_F(FlowTest, APositionNamingAMissingPatternEndsTheSong) {
  song.addInitialSettings();
  song.setPlayPositions({0, 7});  // slot 7 does not exist
  play();
  for (int i = 0; i < 4; ++i) e.renderBuffer();
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
}

TEST_F(FlowTest, AJumpToItselfWithoutTimePassingEndsInsteadOfHanging) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0, 0, EventCode::GotoPlayPosition, 1}}, 4);
  song.setPlayPositions({0, a});
  play();
  e.renderBuffer();
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
}

class FadeTest : public FlowTest {
 protected:
  // Position 1 jumps back to itself at row 1: the song loops from the first buffer after row 1.
  int32_t buffersUntilEnded(uint32_t fadeStep) {
    e.command(ENG_SET_FADE_STEP, fadeStep);
    song.addInitialSettings();
    int32_t a = song.addPattern({{0x000, 0, EventCode::PositionJump, 1}}, 4);
    song.setPlayPositions({0, a});
    play();
    for (int i = 1; i <= 2000; ++i) {
      e.renderBuffer();
      if (e.engine->flags & kEngineEnded) return i;
    }
    return -1;
  }
};

TEST_F(FadeTest, AQuarterStepEndsFourBuffersAfterTheLoop) {
  EXPECT_EQ(buffersUntilEnded(0x4000), 6 + 3);  // the jump lands in buffer 6; 4 fade steps
  EXPECT_EQ(e.engine->fadeLevel, 0);
  EXPECT_EQ(e.engine->masterGain, 0u);
  EXPECT_EQ(e.engine->outputGain, 0u);
}

TEST_F(FadeTest, TheResetDefaultEndsAtTheLoop) { EXPECT_EQ(buffersUntilEnded(0x10000), 6); }

TEST_F(FadeTest, AZeroStepRepeatsForever) {
  EXPECT_EQ(buffersUntilEnded(0), -1);
  EXPECT_TRUE(e.engine->flags & kEngineLooped);
  EXPECT_EQ(e.engine->fadeLevel, 0x10000);
}

TEST_F(FlowTest, ZeroSpeedAndTempoEventsChangeNothing) {
  song.addInitialSettings(4, 150);
  int32_t a = song.addPattern({{0x000, 0, EventCode::SetSpeed, 0}, {0x000, 0, EventCode::SetTempo, 0},
                               {0x000, 0, EventCode::SetSpeed, -3}},
                              4);
  song.setPlayPositions({0, a});
  play();
  e.renderBuffer();
  EXPECT_EQ(e.engine->speed, 4);
  EXPECT_EQ(e.engine->tempo, 150);
  EXPECT_EQ(e.engine->samplesPerTick, 800u * 5 / 300);
}

TEST_F(FlowTest, VariableEventsChangeTheBankAndIgnoreNumbersOutsideIt) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x000, 5, EventCode::SetVariable, 7},
                               {0x000, 5, EventCode::AddVariable, 3},
                               {0x000, 5, EventCode::MultiplyVariable, -2},
                               {0x000, 32, EventCode::AddVariable, 1},  // beyond the 4 voices, still a variable
                               {0x000, 63, EventCode::SetVariable, 0x7FFFFFFF},
                               {0x000, 63, EventCode::AddVariable, 1},
                               {0x000, 64, EventCode::SetVariable, 9},
                               {0x000, -1, EventCode::SetVariable, 9}},
                              4);
  song.setPlayPositions({0, a});
  play();
  e.renderBuffer();
  EXPECT_EQ(e.engine->variables[5], -20);
  EXPECT_EQ(e.engine->variables[32], 1);
  EXPECT_EQ(e.engine->variables[63], INT32_MIN);  // wraps
  EXPECT_EQ(e.engine->variables[0], 0);
  EXPECT_EQ(e.engine->hostWord, 0u);  // the word in front of the bank is untouched
}

TEST_F(FlowTest, GlobalVolumeIsLimitedAndSlidesOnTheLaterTicksOfARow) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x000, 0, EventCode::SetGlobalVolume, 0x20000},
                               {0x100, 0, EventCode::SetGlobalVolumeMin, 0x1000},
                               {0x100, 0, EventCode::SetGlobalVolume, 0x10},
                               {0x200, 0, EventCode::GlobalVolumeSlideSpeed, 0x800},
                               {0x200, 0, EventCode::GlobalVolumeSlideTarget, 0x3000},
                               {0x200, 0, EventCode::GlobalVolumeSlide, 1},
                               {0x300, 0, EventCode::AddGlobalVolume, 0x8000},
                               {0x300, 0, EventCode::GlobalVolumeSlide, 3}},
                              5);
  song.setPlayPositions({0, a});
  play();
  auto renderTo = [&](int32_t counter) {
    while (e.engine->positionCounter != counter) e.renderBuffer();
  };
  renderTo(0x001);
  EXPECT_EQ(e.engine->globalVolume, 0x10000);  // limited to the maximum
  EXPECT_EQ(e.engine->outputGain, 0x8000u);    // master volume 0x8000 x 1.0
  renderTo(0x101);
  EXPECT_EQ(e.engine->globalVolume, 0x1000);  // limited to the new minimum
  renderTo(0x200);
  renderTo(0x202);
  EXPECT_EQ(e.engine->globalVolume, 0x2000);  // two later ticks of 0x800, toward 0x3000
  renderTo(0x205);
  EXPECT_EQ(e.engine->globalVolume, 0x3000);  // stopped at the target
  renderTo(0x302);
  EXPECT_EQ(e.engine->globalVolume, 0xA800);  // 0xB000 after the add, then one single step down
  EXPECT_EQ(e.engine->globalSlideMode, 0);
  EXPECT_EQ(e.engine->outputGain, 0xA800u / 2);
}

TEST_F(FlowTest, PositionRequestsRestartSilenceAndAreConsumedOnce) {
  song.addInitialSettings();
  int32_t a = song.addPattern({}, 4);
  int32_t b = song.addPattern({{0x000, 0, EventCode::SetSpeed, 3}}, 4);
  song.setPlayPositions({0, a, b});
  play();
  for (int i = 0; i < 30; ++i) e.renderBuffer();
  ASSERT_EQ(e.engine->playPosition, 2);
  e.engine->voices[1].active = kVoiceSounding | kVoiceKeyHeld;
  e.engine->voices[1].vibratoOn = 1;

  e.command(ENG_REQUEST_PLAY_POSITION, 1);
  e.renderBuffer();
  EXPECT_EQ(e.engine->playPosition, 1);
  EXPECT_EQ(e.engine->positionCounter, 1);
  EXPECT_EQ(e.engine->voices[1].active, 0);
  EXPECT_EQ(e.engine->voices[1].vibratoOn, 0);
  EXPECT_EQ(e.engine->positionRequest, -1);

  e.command(ENG_REQUEST_PLAY_POSITION, 0);
  e.renderBuffer();
  EXPECT_EQ(e.engine->playPosition, 1);  // position 0 ran its settings and moved on
  EXPECT_EQ(e.engine->positionCounter, 1);

  e.command(ENG_REQUEST_PLAY_POSITION, 99);  // no such position: voices stop, play goes on
  e.engine->voices[0].active = kVoiceSounding;
  e.renderBuffer();
  EXPECT_EQ(e.engine->playPosition, 1);
  EXPECT_EQ(e.engine->positionCounter, 2);
  EXPECT_EQ(e.engine->voices[0].active, 0);
  EXPECT_EQ(e.engine->positionRequest, -1);
}

// Dispatch with a recording handler in place of a voice handler.
struct Seen {
  static inline std::vector<std::pair<Voice*, int32_t>> calls;
  static void record(SoundEngine*, Voice* voice, const Event*&, int16_t&, int32_t param) {
    calls.emplace_back(voice, param);
  }
};

TEST_F(FlowTest, VoiceEventsForChannelsOutsideTheVoicesAreIgnored) {
  song.addInitialSettings();
  int32_t a = song.addPattern({{0x000, 1, EventCode::SetVolume, 11},
                               {0x000, 4, EventCode::SetVolume, 22},
                               {0x000, -1, EventCode::SetVolume, 33},
                               {0x000, 0, kHandlerCount, 44},
                               {0x000, 0, -5, 55},
                               {0x000, 3, EventCode::SetVolume, 66}},
                              4);
  song.setPlayPositions({0, a});
  play();
  Seen::calls.clear();
  e.engine->handlers[EventCode::SetVolume] = {Seen::record, true};
  e.renderBuffer();
  std::vector<std::pair<Voice*, int32_t>> expected = {{&e.engine->voices[1], 11}, {&e.engine->voices[3], 66}};
  EXPECT_EQ(Seen::calls, expected);
}

}  // namespace
}  // namespace tvp::test
