// The channel rows of display modes 1 (bar graphs) and 2 (digits) on voices set up in memory:
// missing instrument and sample, a muted channel, notes and their deviation, pinned pitch
// markers, loop shading and direction, a sample without length, the highlight and the rows shown.
#include "screens/channel_rows.h"

#include <gtest/gtest.h>

#include "screens/display_area.h"
#include "tests/support/screen_fixture.h"

namespace tvp {
namespace {

constexpr int kRow0 = 56;  // channel rows start under the header at y 48
constexpr int kPhaseX = 72, kPitchX = 126, kVolumeX = 210, kPanX = 264;

class ChannelRowsTest : public testing::ScreenFixture {
 protected:
  ChannelRowsTest() { state.selectedChannel = -1; }  // no highlight unless a test asks
  Voice& voice(int channel) { return engine()->voices[channel]; }
  // A voice sounding with its key held, a sample of 1000 bytes playing forward.
  Voice& sounding(int channel) {
    Voice& v = voice(channel);
    v.active = kVoiceSounding | kVoiceKeyHeld;
    v.instrumentSlot = 0x1A3;
    v.sampleSlot = 0x12345;
    v.sampleEnd = 1000;
    v.position = 500;
    v.pitch = 12288;
    v.volume = 0x8000;
    return v;
  }
  void draw(int mode) {
    state.displayMode = mode;
    PixmapFillPixels(state.frameBitmap, 0);
    DrawDisplayArea(state);
  }
  // The colours of one pixel row of the frame from x, one character a pixel.
  ::testing::AssertionResult RowShows(int x, int y, const std::string& art) {
    return testing::PictureMatches(state.frameBitmap, x, y, {art}, kLegend);
  }
  const testing::Legend kLegend = {{'.', 0},   {'g', 126}, {'G', 70}, {'y', 250}, {'p', 120},
                                   {'f', 90},  {'c', 75},  {'m', 225}, {'r', 112}};
};

TEST_F(ChannelRowsTest, HeadersAndSlotsInBothModes) {
  sounding(0);
  voice(1).instrumentSlot = -1;
  voice(1).sampleSlot = -1;
  for (int mode : {1, 2}) {
    draw(mode);
    EXPECT_TRUE(ShowsText(0, 48, mode == 1 ? kBarGraphHeader : kDigitalHeader));
    EXPECT_TRUE(ShowsText(0, kRow0, " 0", 70));
    EXPECT_TRUE(ShowsText(30, kRow0, "A3 345"));  // slots cut to 8 and 12 bits
    EXPECT_TRUE(ShowsText(30, kRow0 + 8, "--", 126));
    EXPECT_TRUE(ShowsText(48, kRow0 + 8, "---", 126));
  }
  draw(2);
  EXPECT_TRUE(ShowsText(72, kRow0, "   FA"));  // frame index: position / 2
  EXPECT_TRUE(ShowsText(228, kRow0, " 8000 "));      // volume
  EXPECT_TRUE(ShowsGlyph(282, kRow0, 46, 255));     // centre panning
}

TEST_F(ChannelRowsTest, AMutedChannelIsGreyWithBlackMarkersButLiveLamps) {
  Voice& v = sounding(3);
  v.panning = -2048;
  send(ENG_SET_CHANNEL_ENABLED, 3, 0);
  const int y = kRow0 + 3 * 8;
  draw(2);
  EXPECT_TRUE(ShowsText(0, y, " 3", 126));
  EXPECT_TRUE(ShowsGlyph(12, y, 207, 70));
  EXPECT_TRUE(ShowsGlyph(18, y, 207, 70));
  EXPECT_TRUE(ShowsText(30, y, "A3 345    FA", 126));
  EXPECT_TRUE(ShowsGlyph(108, y, 62, 126));   // direction
  EXPECT_TRUE(ShowsGlyph(282, y, 60, 126));   // panning side
  EXPECT_TRUE(ShowsText(288, y, " 800", 126));

  draw(1);
  // Volume 0x8000 of a 47-pixel bar: a black marker at 23, no fill; panning -2048 at 11.
  EXPECT_TRUE(RowShows(kVolumeX, y, "ggggggggggggggggggggggg.gggggggggggggggggggggg."));
  EXPECT_TRUE(RowShows(kPanX, y, "ggggggggggg.gggggggggggggggggggggggggggggggggg."));

  send(ENG_SET_CHANNEL_ENABLED, 3, 1);
  draw(1);
  EXPECT_TRUE(RowShows(kVolumeX, y, "GGGGGGGGGGGGGGGGGGGGGGGggggggggggggggggggggggg."));
  EXPECT_TRUE(RowShows(kPanX, y, "gggggggggggcgggggggggggggggggggggggggggggggggg."));
}

TEST_F(ChannelRowsTest, NotesShowTheirDeviationAndAnyPitchIsSafe) {
  char text[8];
  FormatNoteAndDeviation(12288, text);
  EXPECT_STREQ(text, "C-3+00");
  FormatNoteAndDeviation(12488, text);  // 56 below C#
  EXPECT_STREQ(text, "C#3-38");
  // A pitch envelope can take a pitch below 0: the note rounds down, B of octave "-1".
  FormatNoteAndDeviation(-300, text);
  EXPECT_STREQ(text, "B-.-2C");

  Voice& v = sounding(0);
  v.pitch = 12488 - 0x300;
  v.arpeggioOn = 1;
  v.arpeggioPhase = 2;
  v.arpeggioOffset2 = 0x300;  // the arpeggio's current offset is part of the shown note
  draw(2);
  EXPECT_TRUE(ShowsText(168, kRow0, "C#3-38"));
  EXPECT_TRUE(ShowsGlyph(156, kRow0, 126, 70));  // arpeggio lamp
  draw(1);
  EXPECT_TRUE(ShowsText(186, kRow0, "C#3"));
}

TEST_F(ChannelRowsTest, PitchMarkersPinToTheEndsInYellow) {
  sounding(0).pitch = 4000;
  sounding(1).pitch = 30000;
  sounding(2).pitch = 12288;  // a quarter of the way: 59 / 4 -> 14
  draw(1);
  EXPECT_TRUE(RowShows(kPitchX, kRow0, "yggggggggggggggggggggggggggggggggggggggggggggggggggggggggg.."));
  EXPECT_TRUE(RowShows(kPitchX, kRow0 + 8, "gggggggggggggggggggggggggggggggggggggggggggggggggggggggggg.y"));
  EXPECT_TRUE(RowShows(kPitchX, kRow0 + 16, "ggggggggggggggGggggggggggggggggggggggggggggggggggggggggggg.."));
}

TEST_F(ChannelRowsTest, PhaseBarShadesLoopsAndMarksTheDirection) {
  sounding(0);  // one-shot: no shading
  Voice& pingPong = sounding(1);
  pingPong.loopFlags = kVoiceLoopPingPong | kVoiceMovingBackward;
  pingPong.loopStart = 250;
  pingPong.loopEnd = 750;
  pingPong.position = 600;
  Voice& forward = sounding(2);
  forward.loopFlags = kVoiceLoopForward;
  forward.loopStart = 0;
  forward.loopEnd = 1000;
  forward.position = 1000;
  draw(1);
  for (int row = 0; row < 7; ++row) {
    EXPECT_TRUE(RowShows(kPhaseX, kRow0 + row, "gggggggggggggggggggggggGgggggggggggggggggggggg.."));
    EXPECT_TRUE(RowShows(kPhaseX, kRow0 + 8 + row, "gggggggggggpppppppppppppppppyppppppggggggggggg.."));
    EXPECT_TRUE(RowShows(kPhaseX, kRow0 + 16 + row, "fffffffffffffffffffffffffffffffffffffffffffffffG"));
  }
  EXPECT_TRUE(RowShows(kPhaseX, kRow0 + 7, "................................................"));
  draw(2);
  EXPECT_TRUE(ShowsGlyph(108, kRow0, 62, 70));
  EXPECT_TRUE(ShowsGlyph(108, kRow0 + 8, 60, 250));
}

TEST_F(ChannelRowsTest, AVoiceWithoutSampleLengthKeepsItsMarkersInTheBar) {
  Voice& v = sounding(0);
  v.sampleEnd = 0;  // loadSample without a sample
  v.loopFlags = kVoiceLoopForward;
  v.loopEnd = kVoiceNoLoopEnd;
  v.position = 4000;
  Voice& beyond = sounding(1);
  beyond.loopFlags = kVoiceLoopForward;
  beyond.loopStart = 500;
  beyond.loopEnd = kVoiceNoLoopEnd;  // a loop end past the sample stops at the bar's end
  draw(1);
  EXPECT_TRUE(RowShows(kPhaseX, kRow0, "Gggggggggggggggggggggggggggggggggggggggggggggg.."));
  EXPECT_TRUE(RowShows(kPhaseX, kRow0 + 8, "gggggggggggggggggggggggGfffffffffffffffffffffff."));
}

TEST_F(ChannelRowsTest, TheSelectedRowIsHighlightedUnlessAWindowIsShown) {
  state.selectedChannel = 1;
  draw(1);
  EXPECT_TRUE(RowShows(310, kRow0 + 8, "rr"));
  EXPECT_TRUE(RowShows(310, kRow0 + 7, ".."));
  Pixmap window{};
  state.currentPopup = &window;
  draw(1);
  EXPECT_TRUE(RowShows(310, kRow0 + 8, ".."));
  state.currentPopup = nullptr;
}

TEST_F(ChannelRowsTest, RowsRunFromTheFirstVisibleChannelToTheLastVoice) {
  state.firstVisibleChannel = 0;
  draw(2);
  EXPECT_TRUE(ShowsText(0, 224, "15", 70));  // 22 rows, y 56 to 224
  EXPECT_TRUE(ShowsText(0, 232, "  "));
  state.firstVisibleChannel = 250;
  draw(2);
  EXPECT_TRUE(ShowsText(0, kRow0, "FA", 70));
  EXPECT_TRUE(ShowsText(0, kRow0 + 5 * 8, "FF", 70));
  EXPECT_TRUE(ShowsText(0, kRow0 + 6 * 8, "  "));
}

}  // namespace
}  // namespace tvp
