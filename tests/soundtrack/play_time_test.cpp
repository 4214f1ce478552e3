// The play-time estimate shown by the information window: 44100 Hz, tick length 220500 /
// (2 x tempo) frames, counted in units of 256 frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"

namespace tvp {
namespace {

constexpr int32_t kRow = 256;
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);
constexpr int32_t kOpen = -1;     // pattern rows: no closing NextPlayPosition
constexpr int32_t kMissing = -2;  // pattern rows: the slot stays null

struct RowEvent {
  int32_t row, code, param;
};
struct Pat {
  int32_t rows;
  std::vector<RowEvent> events;  // on channel 0, in the order given
};
Pat Init(int32_t speed = 6, int32_t tempo = 125) {
  return {0, {{0, EventCode::SetSpeed, speed}, {0, EventCode::SetTempo, tempo}}};
}

using SoundtrackPtr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;

SoundtrackPtr MakeSong(const std::vector<Pat>& patterns, const std::vector<int32_t>& positions) {
  SoundtrackPtr st(NewSoundtrack(), &ReleaseSoundtrack);
  EXPECT_EQ(ResizePatternSlots(st.get(), static_cast<int32_t>(patterns.size())), kStatusOk);
  for (size_t slot = 0; slot < patterns.size(); ++slot) {
    if (patterns[slot].rows == kMissing) continue;
    Event* last = st->patterns[slot] = NewEvent();
    for (const RowEvent& e : patterns[slot].events) last = AppendEvent(last, e.row * kRow, 0, e.code, e.param);
    if (patterns[slot].rows >= 0) AppendEvent(last, patterns[slot].rows * kRow, 0, EventCode::NextPlayPosition, 0);
  }
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), static_cast<int32_t>(positions.size())), kStatusOk);
  std::copy(positions.begin(), positions.end(), st->playPositions);
  return st;
}

// Status, seconds and units of 256 frames.
std::tuple<int16_t, int32_t, int32_t> Estimate(const Soundtrack* st) {
  int32_t seconds = -1, total = -1;
  const int16_t status = EstimatePlayTime(st, &seconds, &total);
  return {status, seconds, total};
}

int64_t Rows(int64_t rows, int64_t speed = 6, int64_t tickLength = 882) { return rows * speed * tickLength; }

TEST(PlayTime, SongsPlayTheirExpectedFrames) {
  using namespace EventCode;
  const Pat k64{64, {}}, k32{32, {}};
  struct Case {
    const char* name;
    std::vector<Pat> patterns;
    std::vector<int32_t> positions;
    int64_t frames;
  } cases[] = {
      {"tempo 125 gives 882 frames a tick", {Init(), k64}, {0, 1}, 338688},  // 1323 units, 7.68 s
      {"speed 6 tempo 125 without settings", {k64}, {0}, Rows(64)},
      {"changes apply from their row and last",
       {Init(), {64, {{16, SetSpeed, 3}, {32, SetTempo, 150}}}}, {0, 1, 1},
       Rows(16) + Rows(16, 3) + Rows(32, 3, 735) + Rows(64, 3, 735)},  // 220500 / 300 = 735
      {"tempo and speed 0 are ignored", {Init(0, 0), {64, {{8, SetTempo, 0}, {8, SetSpeed, 0}}}}, {0, 1}, Rows(64)},
      {"a loop of count 3 counts its rows four times",
       {Init(), {8, {{3, LoopCount, 3}, {3, LoopBack, kReset | 0}}}}, {0, 1}, Rows(4 * 4 + 4)},
      {"a loop start on a row without events counts",
       {{8, {{5, LoopCount, 1}, {5, LoopBack, kReset | 2 * kRow}}}}, {0}, Rows(2 + 4 * 2 + 2)},
      {"LoopBack without a count repeats once", {{4, {{1, LoopBack, kReset | 0}}}}, {0}, Rows(2 * 2 + 2)},
      {"a pattern delay adds its time", {{64, {{4, PatternDelay, 2 * kRow}}}}, {0}, Rows(66)},
      {"stops at the first backward jump", {Init(), k64, {64, {{15, PositionJump, kReset | 1}}}, k32},
       {0, 1, 2, 3, 1}, Rows(64 + 16)},
      {"a jump to its own position ends it", {Init(), {64, {{63, PositionJump, kReset | 1}}}, k32}, {0, 1, 2},
       Rows(64)},
      {"GotoPlayPosition to itself ends without finishing its row",
       {Init(), {64, {{10, GotoPlayPosition, kReset | 1}}}}, {0, 1, 1}, Rows(10)},
      {"a forward jump skips positions", {Init(), {64, {{7, PositionJump, 3}}}, k64, k32}, {0, 1, 2, 3},
       Rows(8 + 32)},
      {"a jump to the next position", {Init(), {64, {{7, PositionJump, kReset | 2}}}, k32}, {0, 1, 2},
       Rows(8 + 32)},
      {"a jump past the last position ends the song", {Init(), {64, {{7, PositionJump, 9}}}}, {0, 1, 1}, Rows(8)},
      // The speed change on row 8 is skipped by the break; rows 16..63 have no events at all.
      {"a break skips rows of the next pattern",
       {Init(), {64, {{7, PatternBreak, kReset | 16 * kRow}}}, {64, {{8, SetSpeed, 3}}}}, {0, 1, 2}, Rows(8 + 48)},
      {"a jump and a break on one row land on the break's row of the jump's position",
       {Init(), {64, {{7, PositionJump, 3}, {7, PatternBreak, 16 * kRow}}}, k64, k64}, {0, 1, 2, 3}, Rows(8 + 48)},
      {"the same with the break first", {Init(), {64, {{7, PatternBreak, 16 * kRow}, {7, PositionJump, 3}}}, k64, k64},
       {0, 1, 2, 3}, Rows(8 + 48)},
      {"a jump to its own position and a later row goes on there",
       {Init(), {64, {{3, PositionJump, 1}, {3, PatternBreak, 8 * kRow}}}}, {0, 1}, Rows(4 + 56)},
      {"a jump to its own position and an earlier row ends it",
       {Init(), {64, {{9, PositionJump, 1}, {9, PatternBreak, 8 * kRow}}}}, {0, 1}, Rows(10)},
      {"BreakNow does not finish its row", {Init(), {64, {{7, BreakNow, 60 * kRow}}}, k64}, {0, 1, 2},
       Rows(7 + 4)},
      {"missing patterns count nothing", {Init(), k64, {kMissing, {}}}, {0, 1, 2, 7, -1, 1}, Rows(128)},
      {"a chain without a stop counts and changes nothing", {{kOpen, {{0, SetSpeed, 3}}}, k64}, {0, 1}, Rows(64)},
      {"a huge speed saturates", {Init(INT32_MAX), k64}, {0, 1, 1}, int64_t{INT32_MAX} * 256},
      // Past tempo 110250 a tick stays one frame, and later tempo changes still count.
      {"a huge tempo keeps a tick of one frame", {Init(6, INT32_MAX), k64, {64, {{0, SetTempo, 125}}}}, {0, 1, 2},
       Rows(64, 6, 1) + Rows(64)},
      {"no patterns", {}, {0, 1}, 0},
      {"no positions", {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SoundtrackPtr st = MakeSong(c.patterns, c.positions);
    EXPECT_EQ(Estimate(st.get()), std::tuple(kStatusOk, c.frames / 44100, c.frames / 256));
  }
}

// Each LoopBack re-arms the counter the other ran down, so the pattern would loop forever.
TEST(PlayTime, TwoLoopBacksInOnePatternStillEnd) {
  const Pat looping{4, {{1, EventCode::LoopBack, 0}, {3, EventCode::LoopBack, 0}}};
  const auto [status, seconds, alone] = Estimate(MakeSong({looping}, {0}).get());
  EXPECT_EQ(status, kStatusOk);
  EXPECT_GT(int64_t{alone} * 256, Rows(4));
  // The walk ends on the pattern's own NextPlayPosition, so the song goes on after it.
  const auto [bothStatus, bothSeconds, both] = Estimate(MakeSong({looping, {64 * 256, {}}}, {0, 1}).get());
  EXPECT_EQ(std::tuple(bothStatus, both - alone), std::tuple(kStatusOk, Rows(64 * 256) / 256));
}

TEST(PlayTime, NullSoundtrackAndNullResults) {
  int32_t seconds = 5, total = 5;
  EXPECT_EQ(EstimatePlayTime(nullptr, &seconds, &total), kStatusNoSoundtrack);
  EXPECT_EQ(seconds, 0);
  EXPECT_EQ(total, 0);
  SoundtrackPtr st = MakeSong({{64, {}}}, {0});
  EXPECT_EQ(EstimatePlayTime(st.get(), nullptr, nullptr), kStatusOk);
  EXPECT_EQ(EstimatePlayTime(st.get(), nullptr, &total), kStatusOk);
  EXPECT_EQ(total, Rows(64) / 256);
}

// The walk over one pattern, which the table above runs for every play position, on its own:
// timing it cannot use and chains that end without a stop.
TEST(PatternTime, RejectsBadTimingAndReportsAnOpenChain) {
  struct Walk {
    int32_t speed, tickLength, remainder = 0;
    int16_t status = 1;
    int32_t operator()(const Event** c) { return EstimatePatternTime(c, &speed, &tickLength, &remainder, &status); }
  };
  SoundtrackPtr st = MakeSong({{kOpen, {{4, EventCode::SetSpeed, 3}}}}, {});
  const Event* head = st->patterns[0];
  const Event* cursor = head;
  Walk walk{0, 882};
  EXPECT_EQ(walk(&cursor), 0);
  EXPECT_EQ(std::tuple(walk.status, cursor), std::tuple(kStatusBadParam, head));
  walk.speed = 6;
  walk.tickLength = 0;
  walk(&cursor);
  EXPECT_EQ(walk.status, kStatusBadParam);
  walk.tickLength = 882;
  EXPECT_EQ(walk(&cursor), 0);
  EXPECT_EQ(std::tuple(walk.status, cursor), std::tuple(kStatusDataEnded, nullptr));
  walk(&cursor);
  EXPECT_EQ(walk.status, kStatusDataEnded);
  walk(nullptr);
  EXPECT_EQ(walk.status, kStatusBadParam);
}

}  // namespace
}  // namespace tvp
