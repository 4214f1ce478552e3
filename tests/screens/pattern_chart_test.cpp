// The pattern chart on patterns built in memory: patterns of 256 rows and longer than the chart,
// and a new song's pattern where the old one was.
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
