// The pattern chart on patterns built in memory: row heights and event places, dash colours by
// count, events past a row's end, speed changes, the half-tick step, the chart of the next play
// position, and patterns longer than 256 rows or than the chart.
#include "screens/pattern_chart.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/module_playback.h"
#include "screens/display_area.h"
#include "screens/status_screen.h"
#include "tests/support/screen_fixture.h"

namespace tvp {
namespace {

using testing::PixelAt;

// A pattern as a linked chain; the head record is a Nothing event at time 0 on channel 0.
struct Pattern {
  std::vector<Event> events;
  explicit Pattern(std::vector<Event> list) : events(std::move(list)) {
    events.insert(events.begin(), Event{nullptr, 0, 0, EventCode::Nothing, 0});
    for (size_t i = 0; i + 1 < events.size(); ++i) events[i].next = &events[i + 1];
  }
  const Event* first() const { return events.data(); }
};
Event At(int32_t row, int32_t tick, int32_t channel, int32_t code = EventCode::StartSample, int32_t param = 0) {
  return Event{nullptr, row * 256 + tick, channel, code, param};
}
Event End(int32_t rows) { return At(rows, 0, 0, EventCode::NextPlayPosition); }

class PatternChartTest : public testing::ScreenFixture {
 protected:
  PatternChartTest() { engine()->samplesPerTick = 100; }
  void show(const Pattern& pattern, int32_t row, int32_t tick, int32_t speed = 6) {
    PixmapFillPixels(state.frameBitmap, 0);
    DrawPatternChart(state, pattern.first(), row * 256 + tick, speed);
  }
  uint8_t at(int x, int y) { return PixelAt(state.frameBitmap, kChartX + x, y); }
  // The dash of a channel's column at frame row y, in its colour (its fifth pixel is the next
  // column's first and belongs to whichever was drawn last).
  ::testing::AssertionResult Dash(int channel, int y, uint8_t colour) {
    for (int x = 4 * channel; x < 4 * channel + 4; ++x)
      if (at(x, y) != colour)
        return ::testing::AssertionFailure() << "channel " << channel << " at (" << x << "," << y << ") is "
                                             << int(at(x, y)) << "; frame in "
                                             << testing::KeepActualPicture(state.frameBitmap);
    return ::testing::AssertionSuccess();
  }
};

TEST_F(PatternChartTest, RowsOfSixTicksAreTwelvePixelsAndThePresentLiesOnTheRedLine) {
  Pattern pattern({At(1, 3, 3), At(2, 0, 5), End(4)});
  show(pattern, 1, 0);
  EXPECT_EQ(PixelAt(state.frameBitmap, 10, kChartNowY), kColourRed);  // across the whole frame
  EXPECT_EQ(at(100, kChartNowY - 12), kColourRowLine) << "row 2";
  EXPECT_TRUE(Dash(0, kChartNowY + 12, 129)) << "the head record";
  EXPECT_TRUE(Dash(3, kChartNowY - 6, 129)) << "tick 3: 6 pixels above its row";
  EXPECT_TRUE(Dash(5, kChartNowY - 12, 129));
  EXPECT_EQ(at(100, kChartNowY - 36 - 1), kColourWhite) << "the end line over row 4";
  EXPECT_EQ(at(100, kChartNowY - 36 - 2), 0);

  // Two pixels a tick, and one more once half the tick is rendered.
  show(pattern, 1, 2);
  EXPECT_TRUE(Dash(3, kChartNowY - 2, 129));
  engine()->samplesIntoTick = 50;
  show(pattern, 1, 2);
  EXPECT_TRUE(Dash(3, kChartNowY - 1, 129));
  engine()->rowDelayCounter = 0x100;  // no half step while a row delay runs
  show(pattern, 1, 2);
  EXPECT_TRUE(Dash(3, kChartNowY - 2, 129));
}

TEST_F(PatternChartTest, RepeatedEventsChangeColourByTheirCount) {
  std::vector<Event> list;
  for (int channel : {5, 6, 7, 8})
    for (int i = 0; i < (channel == 5 ? 2 : channel == 6 ? 4 : channel == 7 ? 8 : 12); ++i)
      list.push_back(At(0, 1, channel));
  list.push_back(At(0, 2, 5));  // a later time starts counting again
  list.push_back(End(1));
  Pattern pattern(list);
  show(pattern, 0, 0);
  EXPECT_TRUE(Dash(5, kChartNowY - 2, 129));
  EXPECT_TRUE(Dash(6, kChartNowY - 2, 75));
  EXPECT_TRUE(Dash(7, kChartNowY - 2, 144));
  EXPECT_TRUE(Dash(8, kChartNowY - 2, 250));
  EXPECT_TRUE(Dash(5, kChartNowY - 4, 129));
  EXPECT_EQ(ChartEventColour(16), kColourRed);
  EXPECT_EQ(ChartEventColour(31), kColourRed);
}

TEST_F(PatternChartTest, EventsPastTheRowsLastTickAreNotDrawnAndSpeedEventsResizeRows) {
  Pattern pattern({At(0, 6, 2), At(1, 0, 0, EventCode::SetSpeed, 3), At(1, 2, 4), At(1, 3, 6), At(2, 1, 7),
                   End(3)});
  show(pattern, 2, 0);
  for (int y = 0; y < FRAME_HEIGHT; ++y) {
    ASSERT_NE(at(8, y), 129) << "tick 6 of a 6-tick row, y " << y;
    ASSERT_NE(at(24, y), 129) << "tick 3 of a 3-tick row, y " << y;
  }
  // Row 1 is 3 ticks (6 pixels) from the SetSpeed on.
  EXPECT_EQ(at(100, kChartNowY + 6), kColourRowLine);
  EXPECT_TRUE(Dash(4, kChartNowY + 2, 129));
  EXPECT_TRUE(Dash(7, kChartNowY - 2, 129));
  EXPECT_EQ(at(100, kChartNowY - 6 - 1), kColourWhite);
}

TEST_F(PatternChartTest, TheNextPlayPositionsChartReplacesTheOldInTheSameFrame) {
  Pattern a({At(0, 0, 1), End(2)});
  Pattern b({At(0, 0, 9), End(2)});
  Soundtrack soundtrack{};
  Event* patterns[2] = {const_cast<Event*>(a.first()), const_cast<Event*>(b.first())};
  int32_t positions[3] = {0, 1, 0};
  soundtrack.patternCount = 2;
  soundtrack.patterns = patterns;
  soundtrack.playPositionCount = 3;
  soundtrack.playPositions = positions;
  engine()->boundSoundtrack = &soundtrack;
  engine()->positionCounter = 1;  // tick 1: the dashes of row 0 lie 2 pixels under the red line
  engine()->speed = 6;
  state.displayMode = 4;
  for (int position : {0, 1, 2}) {
    engine()->playPosition = position;
    PixmapFillPixels(state.frameBitmap, 0);
    DrawDisplayArea(state);
    bool b_plays = position == 1;
    EXPECT_TRUE(Dash(b_plays ? 9 : 1, kChartNowY + 2, 129)) << "position " << position;
    EXPECT_EQ(at(4 * (b_plays ? 1 : 9) + 2, kChartNowY + 2), 0) << "position " << position;
  }
  engine()->boundSoundtrack = nullptr;
  PixmapFillPixels(state.frameBitmap, 0);
  DrawDisplayArea(state);
  EXPECT_EQ(PixelAt(state.frameBitmap, 10, kChartNowY), 0) << "nothing without a soundtrack";
}

TEST_F(PatternChartTest, ALongPatternNeitherWrapsItsRowsNorRunsOffTheChart) {
  engine()->samplesIntoTick = 50;  // half a tick on: what lies at the present shows a pixel lower
  // 256 rows: the closing event's row 256 must not take row 0's place.
  Pattern full({At(255, 0, 2), End(256)});
  show(full, 0, 0, 1);
  EXPECT_TRUE(Dash(0, kChartNowY + 1, 129));
  EXPECT_EQ(at(100, kChartNowY - 1), kColourRowLine) << "row 1's line, not the end line";
  show(full, 255, 0, 1);
  EXPECT_TRUE(Dash(2, kChartNowY + 1, 129));
  EXPECT_EQ(at(100, kChartNowY - 2), kColourWhite);

  // More rows than the chart holds at speed 1: the walk stops where the chart is full, and the
  // rows beyond show only the red line.
  Pattern huge({At(20000, 0, 2), End(20001)});
  show(huge, 16000, 0, 1);
  EXPECT_EQ(at(100, kChartNowY - 1), kColourRowLine);
  show(huge, 17000, 0, 1);
  for (int y = 0; y < FRAME_HEIGHT; ++y)
    ASSERT_EQ(at(100, y), y == kChartNowY ? kColourRed : 0) << "y " << y;
}

TEST_F(PatternChartTest, ANewSongsPatternAtTheOldOnesAddressIsDrawnAfresh) {
  Pattern pattern({At(0, 1, 1), End(2)});
  show(pattern, 0, 0);
  EXPECT_TRUE(Dash(1, kChartNowY - 2, 129));
  // The next song's first pattern lands where this one was.
  ReleaseModule(state);
  pattern.events[1].channel = 9;
  show(pattern, 0, 0);
  EXPECT_TRUE(Dash(9, kChartNowY - 2, 129));
  EXPECT_EQ(at(6, kChartNowY - 2), 0);
}

}  // namespace
}  // namespace tvp
