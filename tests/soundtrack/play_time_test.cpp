// The play-time estimate shown by the information window: 44100 Hz, tick length 220500 /
// (2 x tempo) frames, counted in units of 256 frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"

namespace tvp {
namespace {

constexpr int32_t kRow = 256;
constexpr int64_t kTick125 = 882;  // frames per tick at tempo 125
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);

struct Ev {
  int32_t row;
  int32_t code;
  int32_t param;
};

// A song built in memory: patterns are chains made with AppendEvent (a head, the events in
// the order given, then NextPlayPosition one row past the last row unless rows < 0).
class Song {
 public:
  Song() : st_(NewSoundtrack(), &ReleaseSoundtrack) {}

  int32_t pattern(std::initializer_list<Ev> events, int32_t rows) {
    int32_t slot = st_->patternCount;
    EXPECT_EQ(ResizePatternSlots(st_.get(), slot + 1), kStatusOk);
    Event* head = NewEvent();
    st_->patterns[slot] = head;
    Event* last = head;
    for (const Ev& e : events) last = AppendEvent(last, e.row * kRow, 0, e.code, e.param);
    if (rows >= 0) AppendEvent(last, rows * kRow, 0, EventCode::NextPlayPosition, 0);
    return slot;
  }

  // Slot 0: what every loader puts there, speed and tempo at time 0.
  int32_t initialSettings(int32_t speed = 6, int32_t tempo = 125) {
    return pattern({{0, EventCode::SetSpeed, speed}, {0, EventCode::SetTempo, tempo}}, 0);
  }

  void positions(std::initializer_list<int32_t> slots) {
    EXPECT_EQ(ResizePlayPositionSlots(st_.get(), static_cast<int32_t>(slots.size())), kStatusOk);
    int32_t i = 0;
    for (int32_t slot : slots) st_->playPositions[i++] = slot;
  }

  Soundtrack* get() { return st_.get(); }

 private:
  std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)> st_;
};

struct Estimate {
  int16_t status;
  int32_t seconds;
  int32_t total;
};

Estimate EstimateSong(Song& song) {
  Estimate e{};
  e.status = EstimatePlayTime(song.get(), &e.seconds, &e.total);
  return e;
}

// The results for a song that plays exactly `frames` output frames.
void ExpectFrames(Song& song, int64_t frames) {
  Estimate e = EstimateSong(song);
  EXPECT_EQ(e.status, kStatusOk);
  EXPECT_EQ(e.total, frames / 256);
  EXPECT_EQ(e.seconds, frames / 44100);
}

int64_t Rows(int64_t rows, int64_t speed = 6, int64_t tickLength = kTick125) { return rows * speed * tickLength; }

TEST(PlayTime, Tempo125Gives882FramesPerTick) {
  Song song;
  song.initialSettings();
  int32_t p = song.pattern({}, 64);
  song.positions({0, p});
  Estimate e = EstimateSong(song);
  EXPECT_EQ(e.status, kStatusOk);
  EXPECT_EQ(e.total, 64 * 6 * 882 / 256);  // 338688 frames, exactly 1323 units
  EXPECT_EQ(e.seconds, 7);                 // 7.68 s, truncated
}

TEST(PlayTime, StartsAtSpeed6Tempo125WithoutInitialSettings) {
  Song song;
  song.positions({song.pattern({}, 64)});
  ExpectFrames(song, Rows(64));
}

TEST(PlayTime, SpeedAndTempoChangesApplyFromTheirRow) {
  Song song;
  song.initialSettings();
  int32_t p = song.pattern({{16, EventCode::SetSpeed, 3}, {32, EventCode::SetTempo, 150}}, 64);
  song.positions({0, p, p});
  // Tempo 150: 220500 / 300 = 735 frames per tick. The second pass keeps speed 3, tempo 150.
  int64_t first = Rows(16) + Rows(16, 3) + Rows(32, 3, 735);
  ExpectFrames(song, first + Rows(64, 3, 735));
}

TEST(PlayTime, TempoAndSpeedZeroAreIgnored) {
  Song song;
  song.initialSettings(0, 0);
  int32_t p = song.pattern({{8, EventCode::SetTempo, 0}, {8, EventCode::SetSpeed, 0}}, 64);
  song.positions({0, p});
  ExpectFrames(song, Rows(64));
}

TEST(PlayTime, PatternLoopOfCount3CountsItsRowsFourTimes) {
  Song song;
  song.initialSettings();
  // Rows 0..3 loop three more times, then rows 4..7 play once.
  int32_t p = song.pattern({{3, EventCode::LoopCount, 3}, {3, EventCode::LoopBack, kReset | 0}}, 8);
  song.positions({0, p});
  ExpectFrames(song, Rows(4 * 4 + 4));
}

TEST(PlayTime, LoopStartOnARowWithoutEventsIsCounted) {
  Song song;
  // Rows 2..5 repeat; nothing sits on rows 2 to 4.
  int32_t p = song.pattern({{5, EventCode::LoopCount, 1}, {5, EventCode::LoopBack, kReset | 2 * kRow}}, 8);
  song.positions({p});
  ExpectFrames(song, Rows(2 + 4 * 2 + 2));
}

TEST(PlayTime, LoopBackWithoutCountRepeatsOnce) {
  Song song;
  int32_t p = song.pattern({{1, EventCode::LoopBack, kReset | 0}}, 4);
  song.positions({p});
  ExpectFrames(song, Rows(2 * 2 + 2));
}

TEST(PlayTime, PatternDelayAddsItsTime) {
  Song song;
  int32_t p = song.pattern({{4, EventCode::PatternDelay, 2 * kRow}}, 64);
  song.positions({p});
  ExpectFrames(song, Rows(66));
}

TEST(PlayTime, StopsAtTheFirstBackwardJump) {
  Song song;
  song.initialSettings();
  int32_t a = song.pattern({}, 64);
  int32_t b = song.pattern({{15, EventCode::PositionJump, kReset | 1}}, 64);  // acts after row 15
  int32_t c = song.pattern({}, 32);
  song.positions({0, a, b, c, a});
  ExpectFrames(song, Rows(64 + 16));
}

TEST(PlayTime, JumpToItsOwnPositionEndsTheEstimate) {
  Song song;
  song.initialSettings();
  int32_t a = song.pattern({{63, EventCode::PositionJump, kReset | 1}}, 64);
  int32_t b = song.pattern({}, 32);
  song.positions({0, a, b});
  ExpectFrames(song, Rows(64));

  Song now;  // GotoPlayPosition switches at once, without finishing its row
  now.initialSettings();
  int32_t g = now.pattern({{10, EventCode::GotoPlayPosition, kReset | 1}}, 64);
  now.positions({0, g, g});
  ExpectFrames(now, Rows(10));
}

TEST(PlayTime, ForwardJumpSkipsThePositionsInBetween) {
  Song song;
  song.initialSettings();
  int32_t a = song.pattern({{7, EventCode::PositionJump, 3}}, 64);
  int32_t skipped = song.pattern({}, 64);
  int32_t c = song.pattern({}, 32);
  song.positions({0, a, skipped, c});
  ExpectFrames(song, Rows(8 + 32));

  // A jump to the very next position is the ordinary way on.
  Song next;
  next.initialSettings();
  a = next.pattern({{7, EventCode::PositionJump, kReset | 2}}, 64);
  c = next.pattern({}, 32);
  next.positions({0, a, c});
  ExpectFrames(next, Rows(8 + 32));

  Song beyond;  // past the last position: the song ends there
  beyond.initialSettings();
  a = beyond.pattern({{7, EventCode::PositionJump, 9}}, 64);
  beyond.positions({0, a, a});
  ExpectFrames(beyond, Rows(8));
}

TEST(PlayTime, PatternBreakSkipsRowsInTheNextPattern) {
  Song song;
  song.initialSettings();
  int32_t a = song.pattern({{7, EventCode::PatternBreak, kReset | 16 * kRow}}, 64);
  // The speed change on row 8 is skipped by the break; rows 16..63 have no events at all.
  int32_t b = song.pattern({{8, EventCode::SetSpeed, 3}}, 64);
  song.positions({0, a, b});
  ExpectFrames(song, Rows(8 + 48));

  Song now;  // the immediate break does not finish its row
  now.initialSettings();
  a = now.pattern({{7, EventCode::BreakNow, 60 * kRow}}, 64);
  b = now.pattern({}, 64);
  now.positions({0, a, b});
  ExpectFrames(now, Rows(7 + 4));
}

// Each LoopBack re-arms the counter the other ran down, so the pattern would loop forever.
TEST(PlayTime, TwoLoopBacksInOnePatternStillEnd) {
  Song looping;
  int32_t p = looping.pattern({{1, EventCode::LoopBack, 0}, {3, EventCode::LoopBack, 0}}, 4);
  looping.positions({p});
  Estimate alone = EstimateSong(looping);
  EXPECT_EQ(alone.status, kStatusOk);
  EXPECT_GT(int64_t{alone.total} * 256, Rows(4));

  // The walk ends on the pattern's own NextPlayPosition, so the song goes on after it.
  Song song;
  p = song.pattern({{1, EventCode::LoopBack, 0}, {3, EventCode::LoopBack, 0}}, 4);
  int32_t after = song.pattern({}, 64 * 256);
  song.positions({p, after});
  Estimate both = EstimateSong(song);
  EXPECT_EQ(both.status, kStatusOk);
  EXPECT_EQ(both.total - alone.total, Rows(64 * 256) / 256);
}

TEST(PlayTime, MissingPatternsCountNothing) {
  Song song;
  song.initialSettings();
  int32_t a = song.pattern({}, 64);
  ASSERT_EQ(ResizePatternSlots(song.get(), 3), kStatusOk);  // slot 2 stays null
  song.positions({0, a, 2, 7, -1, a});
  ExpectFrames(song, Rows(128));

  Song noTable;
  noTable.positions({0, 1});
  ExpectFrames(noTable, 0);
}

TEST(PlayTime, ChainWithoutStopCountsNothingAndChangesNothing) {
  Song song;
  int32_t open = song.pattern({{0, EventCode::SetSpeed, 3}}, -1);  // no NextPlayPosition
  int32_t a = song.pattern({}, 64);
  song.positions({open, a});
  ExpectFrames(song, Rows(64, 6));
}

TEST(PlayTime, HugeSpeedSaturates) {
  Song song;
  song.initialSettings(INT32_MAX);
  int32_t a = song.pattern({}, 64);
  song.positions({0, a, a});
  Estimate e = EstimateSong(song);
  EXPECT_EQ(e.status, kStatusOk);
  EXPECT_EQ(e.total, INT32_MAX);
  EXPECT_EQ(e.seconds, int64_t{INT32_MAX} * 256 / 44100);
}

// Past tempo 110250 a tick would be under one frame; it stays one frame and later tempo
// changes still count.
TEST(PlayTime, HugeTempoKeepsATickOfOneFrame) {
  Song song;
  song.initialSettings(6, INT32_MAX);
  int32_t fast = song.pattern({}, 64);
  int32_t normal = song.pattern({{0, EventCode::SetTempo, 125}}, 64);
  song.positions({0, fast, normal});
  ExpectFrames(song, Rows(64, 6, 1) + Rows(64));
}

TEST(PlayTime, NullAndEmptySoundtracks) {
  int32_t seconds = 5;
  int32_t total = 5;
  EXPECT_EQ(EstimatePlayTime(nullptr, &seconds, &total), kStatusNoSoundtrack);
  EXPECT_EQ(seconds, 0);
  EXPECT_EQ(total, 0);

  Song empty;
  ExpectFrames(empty, 0);
  Song song;
  song.positions({song.pattern({}, 64)});
  EXPECT_EQ(EstimatePlayTime(song.get(), nullptr, nullptr), kStatusOk);
  EXPECT_EQ(EstimatePlayTime(song.get(), nullptr, &total), kStatusOk);
  EXPECT_EQ(total, Rows(64) / 256);
}

TEST(PatternTime, CarriesTheRemainderAcrossStops) {
  Song song;
  // One tick per row of 200 frames: every stop adds 200 frames, and the fractions of 256 must
  // add up to whole units.
  int32_t p = song.pattern({{1, EventCode::SetSpeed, 1}, {2, EventCode::SetSpeed, 1}, {3, EventCode::SetSpeed, 1}}, 4);
  const Event* cursor = song.get()->patterns[p];
  int32_t speed = 1;
  int32_t tickLength = 200;
  int32_t remainder = 0;
  int16_t status = -1;
  int32_t frames = EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status);
  EXPECT_EQ(status, kStatusOk);
  EXPECT_EQ(frames, 3);  // 800 frames
  EXPECT_EQ(remainder, 32);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->code, EventCode::NextPlayPosition);
}

TEST(PatternTime, LeavesTheCursorOnTheEventThatEndedTheWalk) {
  Song song;
  int32_t p = song.pattern({{0, EventCode::SetTempo, 150},
                            {2, EventCode::SetSpeed, 4},
                            {5, EventCode::PatternBreak, kReset | 3 * kRow},
                            {6, EventCode::SetSpeed, 9}},
                           64);
  const Event* cursor = song.get()->patterns[p];
  int32_t speed = 6;
  int32_t tickLength = kTick125;
  int32_t remainder = 0;
  int16_t status = -1;
  int32_t frames = EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status);
  EXPECT_EQ(status, kStatusOk);
  int64_t expected = Rows(2, 6, 735) + Rows(4, 4, 735);
  EXPECT_EQ(frames, expected / 256);
  EXPECT_EQ(remainder, expected % 256);
  EXPECT_EQ(speed, 4);
  EXPECT_EQ(tickLength, 735);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(cursor->code, EventCode::PatternBreak);
}

TEST(PatternTime, RejectsBadTimingAndReportsAnOpenChain) {
  Song song;
  int32_t p = song.pattern({{4, EventCode::SetSpeed, 3}}, -1);
  const Event* head = song.get()->patterns[p];
  const Event* cursor = head;
  int32_t speed = 0;
  int32_t tickLength = kTick125;
  int32_t remainder = 0;
  int16_t status = 0;
  EXPECT_EQ(EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status), 0);
  EXPECT_EQ(status, kStatusBadParam);
  EXPECT_EQ(cursor, head);
  speed = 6;
  tickLength = 0;
  EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status);
  EXPECT_EQ(status, kStatusBadParam);

  tickLength = kTick125;
  EXPECT_EQ(EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status), 0);
  EXPECT_EQ(status, kStatusDataEnded);
  EXPECT_EQ(cursor, nullptr);

  EstimatePatternTime(nullptr, &speed, &tickLength, &remainder, &status);
  EXPECT_EQ(status, kStatusBadParam);
  cursor = nullptr;
  EstimatePatternTime(&cursor, &speed, &tickLength, &remainder, &status);
  EXPECT_EQ(status, kStatusDataEnded);
}

}  // namespace
}  // namespace tvp
