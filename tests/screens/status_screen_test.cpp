// The status screen's level meters.
#include "screens/status_screen.h"

#include <gtest/gtest.h>

#include "tests/support/screen_fixture.h"

namespace tvp {
namespace {

constexpr int kMeterX = 192 + 6;  // after the "L" and "R" labels

class StatusScreenTest : public testing::ScreenFixture {
 protected:
  void draw() { DrawStatusScreen(state, "Glass Harbour"); }
  // A meter's glyphs in order: end, eight cells, end.
  void expectMeter(int y, int fullCells, bool half, uint8_t leftEnd, uint8_t rightEnd) {
    EXPECT_TRUE(ShowsGlyph(kMeterX, y, 0xD5, leftEnd));
    for (int k = 0; k < 8; ++k) {
      int x = kMeterX + 6 * (1 + k);
      if (k == fullCells && half) {
        PixmapFillPixels(expected, 0);
        font.DrawGlyphInColour(0xD6, expected, static_cast<int16_t>(x), static_cast<int16_t>(y), 126);
        font.DrawGlyphInColour(0xD3, expected, static_cast<int16_t>(x), static_cast<int16_t>(y), 70);
        EXPECT_TRUE(SameRegion(x, y, 6, 8, "half cell " + std::to_string(k)));
      } else {
        EXPECT_TRUE(ShowsGlyph(x, y, 0xD6, k < fullCells ? 70 : 126)) << "cell " << k;
      }
    }
    EXPECT_TRUE(ShowsGlyph(kMeterX + 54, y, 0xD7, rightEnd));
  }
};

TEST_F(StatusScreenTest, MetersRiseFallHoldAndMarkClipping) {
  engine()->peakLeft = 32767;   // level 16: every cell, grey end
  engine()->peakRight = 0x10000;  // a clipped buffer: 17 and the red end
  draw();
  expectMeter(16, 8, false, 70, 126);
  expectMeter(24, 8, false, 70, 220);

  // Nothing rendered since: the meters hold.
  draw();
  expectMeter(16, 8, false, 70, 126);

  // A quiet buffer: each falls one step a rendered frame, 16 -> 15 is seven cells and a half.
  engine()->peakLeft = 10;
  engine()->peakRight = 0;
  draw();
  expectMeter(16, 7, true, 70, 126);
  expectMeter(24, 8, false, 70, 126);

  // A meter that falls to 0 while its peak was not silent keeps its end lit.
  EXPECT_EQ(NextMeterLevel(1, 10), -1);
  EXPECT_EQ(NextMeterLevel(1, 0), 0);
  EXPECT_EQ(NextMeterLevel(0, 4095), 2);
}

}  // namespace
}  // namespace tvp
