// The status screen's rows on the edges of what they show: meters, volume bars, time, counts,
// the channel strip and the play-position column, with and without a soundtrack.
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

TEST_F(StatusScreenTest, WithoutASoundtrackTheRowsShowTheirEmptyForms) {
  draw();
  EXPECT_TRUE(ShowsGlyph(0, 0, 0xFE, 225));
  EXPECT_TRUE(ShowsText(6, 0, kPlayerNameLine));
  EXPECT_TRUE(ShowsText(0, 8, "Title: "));
  EXPECT_TRUE(ShowsText(42, 8, "NO SOUNDTRACK LOADED", 126));
  EXPECT_TRUE(ShowsText(0, 16, "Beat:    0.00   next:END.--"));
  EXPECT_TRUE(ShowsText(0, 32, "Time:    0m00s  Buf:   0"));
  // Play position 0: rows 0 and 1 stay empty, rows 2 to 4 list positions 0, 1 and 2.
  EXPECT_TRUE(ShowsText(264, 0, "        "));
  EXPECT_TRUE(ShowsText(264, 16, "[  0]---", 70));
  EXPECT_TRUE(ShowsText(264, 32, "[  2]---"));
}

TEST_F(StatusScreenTest, BeatTimeAndVoiceCountsUseTheirFormats) {
  state.soundtrack = reinterpret_cast<Soundtrack*>(&state);  // only tested for presence here
  engine()->positionCounter = 0x1F05;
  engine()->buffersRendered = 1992;  // 1992 x 4096 frames at 44100 Hz: 185 s
  engine()->speed = 6;
  engine()->tempo = 125;
  engine()->peakVoices = 12;
  draw();
  EXPECT_TRUE(ShowsText(0, 8, "Title: Glass Harbour"));
  EXPECT_TRUE(ShowsText(0, 16, "Beat:   1F.05   next:END.--"));
  EXPECT_TRUE(ShowsText(0, 24, "TPS/BPM: 6/125  Chs:  12 (12)"));
  EXPECT_TRUE(ShowsText(0, 32, "Time:    3m05s  Buf:1992"));

  // The held count keeps the highest of the last 60 frames, then falls back to the current one.
  state.frameCount = 59;
  engine()->peakVoices = 3;
  draw();
  EXPECT_TRUE(ShowsText(0, 24, "TPS/BPM: 6/125  Chs:   3 (12)"));
  state.frameCount = 60;
  engine()->peakVoices = -1;  // nothing rendered: the last count stays
  draw();
  EXPECT_TRUE(ShowsText(0, 24, "TPS/BPM: 6/125  Chs:   3 ( 3)"));
}

TEST_F(StatusScreenTest, VolumeBarsLightAboveTheirThresholds) {
  struct Case { int volume, lit; } cases[] = {{0, 0}, {9362, 1}, {9363, 2}, {56173, 6}, {56174, 7}, {65536, 7}};
  for (const auto& c : cases) {
    send(ENG_SET_MASTER_VOLUME, c.volume);
    draw();
    for (int i = 0; i < 7; ++i)
      EXPECT_TRUE(ShowsGlyph(192 + 24 + 6 * i, 32, static_cast<uint8_t>(0xC1 + i), i < c.lit ? 70 : 126))
          << "volume " << c.volume << " bar " << i + 1;
  }
}

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

TEST_F(StatusScreenTest, ChannelStripColoursFollowActivityAndVolume) {
  struct Case { uint16_t active; int32_t volume; uint8_t colour; } cases[] = {
      {0, 0, 126}, {0, 500, 126}, {1, 0, 45}, {1, 500, 250}, {2, 0, 220}, {2, 500, 220}, {3, 0, 45}, {3, 500, 70}};
  for (int v = 0; v < 8; ++v) {
    engine()->voices[v].active = cases[v].active;
    engine()->voices[v].volume = cases[v].volume;
  }
  draw();
  for (int v = 0; v < 8; ++v) EXPECT_TRUE(ShowsGlyph(6 * v, 40, 0xCF, cases[v].colour)) << "voice " << v;
  EXPECT_TRUE(ShowsGlyph(6 * 51, 40, 0xCF, 126)) << "the 52nd lamp ends the row";
}

}  // namespace
}  // namespace tvp
