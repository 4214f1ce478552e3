// How long songs with pattern loops, breaks, row delays, tick delays and tempo slides play: the
// render ends where the song does, and the play-time estimate says the same.
#include <gtest/gtest.h>

#include "tests/support/loaded_song.h"
#include "tests/support/it_builder.h"
#include "tests/support/mod_builder.h"

namespace tvp::test {
namespace {

constexpr int32_t kRowFrames = 6 * 882;  // speed 6, tempo 125, 44100 Hz
constexpr double kUnitRows = 256.0 / kRowFrames;  // the estimate counts in units of 256 frames

ModCell Loop(int count) { return {0, 0, 0xE, 0x60 | count}; }  // E60 marks, E6y loops back
ModCell Break(int row) { return {0, 0, 0xD, (row / 10) << 4 | row % 10}; }
ModCell Delay(int rows) { return {0, 0, 0xE, 0xE0 | rows}; }

// A note on every row of channel 0, so that every row is heard.
ModBuilder Notes(int patterns) {
  ModBuilder b;
  b.sample(0, {.words = 32, .repeatStart = 0, .repeatLength = 32});
  for (int p = 0; p < patterns; ++p)
    for (int row = 0; row < 64; ++row) b.cell(p, row, 0, {1, 428 - row, 0, 0});
  return b;
}

// The rows the song plays, by its render and by its estimate.
struct Rows {
  double rendered;
  double estimated;
};
Rows PlayedRows(const std::vector<uint8_t>& module) {
  LoadedSong song(module);
  EXPECT_TRUE(song.get());
  RenderSettings settings;
  settings.maxFrames = 1000 * kRowFrames;  // a song that does not end stops here
  const std::vector<uint8_t> audio = RenderBytes(song.get(), settings);
  int32_t total = 0;
  EstimatePlayTime(song.get(), nullptr, &total);
  return {static_cast<double>(audio.size() / 4) / kRowFrames, total * 256.0 / kRowFrames};
}

TEST(SongFlow, ABreakIntoALoopPassesItsStartByUntilTheNextPass) {
  // Order 0 breaks at row 10 into row 20 of order 1, where rows 16 to 40 loop three times. The
  // first loop back goes to row 0, since the channel has not played its E60 in this pattern;
  // the second goes to row 16, played on the way.
  ModBuilder b = Notes(2);
  b.orders({0, 1}).cell(0, 10, 1, Break(20)).cell(1, 16, 1, Loop(0)).cell(1, 40, 1, Loop(2));
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_NEAR(rows.rendered, 11 + 21 + 41 + 25 + 23, 0.01);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

TEST(SongFlow, ARowDelayOnTheRowThatLoopsBackHoldsItOnEveryPass) {
  // Rows 0 to 15 play three times, row 15 four rows long each time; then rows 16 to 63. The
  // delay sits in a channel after the loop's, so a walk that jumps on at the loop never reads it.
  ModBuilder b = Notes(1);
  b.orders({0}).cell(0, 0, 1, Loop(0)).cell(0, 15, 1, Loop(2)).cell(0, 15, 2, Delay(3));
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_NEAR(rows.rendered, 3 * (16 + 3) + 48, 0.01);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

TEST(SongFlow, ALoopThatComesRoundToWhereItWasEndsTheSongThere) {
  // Two loop backs of one channel share its count: row 7 loops twice, then row 15 sets the count
  // to 3 and goes back to row 0, where row 7 loops on the count row 15 left, and so on for ever.
  // The second time row 15 jumps back with every count as before, the song has repeated.
  ModBuilder b = Notes(2);
  b.orders({0, 1}).cell(0, 0, 1, Loop(0)).cell(0, 7, 1, Loop(2)).cell(0, 15, 1, Loop(3));
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_LT(rows.rendered, 64) << "not hours of the same sixteen rows";
  EXPECT_GT(rows.rendered, 16);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

TEST(SongFlow, ALoopCutShortByABreakLeavesItsCountToTheChannelsNextLoop) {
  // Row 15 of order 0 asks for 15 more passes and breaks on the same row: the break wins, and
  // the count left makes order 1's E61 loop 15 times; order 2's (the same pattern) loops once.
  // In either channel the break's events come first on the row, and the loop only counts.
  for (const int channel : {0, 1}) {
    auto loop = [channel](int count, int row) {
      ModCell cell = Loop(count);
      if (channel == 0) cell.sample = 1, cell.period = 428 - row;  // keeps the row's note
      return cell;
    };
    ModBuilder b = Notes(2);
    b.orders({0, 1, 1}).cell(0, 0, channel, loop(0, 0)).cell(0, 15, channel, loop(15, 15)).cell(0, 15, 2, Break(0));
    b.cell(1, 0, channel, loop(0, 0)).cell(1, 15, channel, loop(1, 15));
    const Rows rows = PlayedRows(b.bytes());
    EXPECT_NEAR(rows.rendered, 16 + (15 * 16 + 48) + (2 * 16 + 48), 0.01) << channel;
    EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows) << channel;
  }
}

TEST(SongFlow, TwoRowDelaysOnOneRowHoldItAsTheLastOneSays) {
  ModBuilder b = Notes(1);
  b.orders({0}).cell(0, 8, 1, Delay(2)).cell(0, 8, 2, Delay(5));
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_NEAR(rows.rendered, 64 + 5, 0.01);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

TEST(SongFlow, AnItLoopThatHasRunItsCourseStartsTheNextOneOnTheRowAfterIt) {
  // Rows 2 to 5 play twice; the loop at row 9, with no start of its own, goes back to row 6.
  ItBuilder b;
  b.sample(0, {.frames = std::vector<int16_t>(64, 8000), .loop = true, .loopEnd = 64}).rows(0, 16).orders({0});
  for (int row = 0; row < 16; ++row) b.cell(0, row, 0, {48 + row, 1, -1, 0, 0});
  b.cell(0, 2, 1, {-1, 0, -1, 'S', 0xB0}).cell(0, 5, 1, {-1, 0, -1, 'S', 0xB1}).cell(0, 9, 1, {-1, 0, -1, 'S', 0xB1});
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_NEAR(rows.rendered, 6 + 4 + 4 + 4 + 6, 0.01);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

TEST(SongFlow, TempoSlidesAndTickDelaysPlayAsLongAsTheEstimateSays) {
  // Rows 10 and 11 slow down by 5 a tick (125 to 75), rows 20 and 21 speed up by 3 (to 105);
  // row 2 lasts 9 ticks. A tick lasts 2.5 x 44100 / tempo frames.
  ItBuilder b;
  b.sample(0, {.frames = std::vector<int16_t>(64, 8000), .loop = true, .loopEnd = 64});
  for (int row = 0; row < 64; ++row) b.cell(0, row, 0, {48 + row % 24, 1, -1, 0, 0});
  b.cell(0, 2, 1, {-1, 0, -1, 'S', 0x63}).cell(0, 10, 1, {-1, 0, -1, 'T', 0x05}).cell(0, 11, 1, {-1, 0, -1, 'T', 0x00});
  b.cell(0, 20, 1, {-1, 0, -1, 'T', 0x13}).cell(0, 21, 1, {-1, 0, -1, 'T', 0x00}).orders({0});
  double expected = 0;
  int tempo = 125;
  for (int row = 0; row < 64; ++row) {
    for (int tick = 0; tick < (row == 2 ? 9 : 6); ++tick) {
      if (tick > 0 && (row == 10 || row == 11)) tempo -= 5;
      if (tick > 0 && (row == 20 || row == 21)) tempo += 3;
      expected += 110250 / tempo;
    }
  }
  const Rows rows = PlayedRows(b.bytes());
  EXPECT_NEAR(rows.rendered * kRowFrames, expected, 64);
  EXPECT_NEAR(rows.estimated, rows.rendered, kUnitRows);
}

}  // namespace
}  // namespace tvp::test
