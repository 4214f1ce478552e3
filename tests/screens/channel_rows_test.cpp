// The channel rows of display modes 1 and 2 on voices set up in memory: a muted channel, note
// names of any pitch, and markers kept inside their bars.
#include "screens/channel_rows.h"

#include <gtest/gtest.h>

#include "screens/display_area.h"
#include "tests/support/screen_fixture.h"

namespace tvp {
namespace {

constexpr int kRow0 = 56;  // channel rows start under the header at y 48
constexpr int kPhaseX = 72;

class ChannelRowsTest : public testing::ScreenFixture {
 protected:
  ChannelRowsTest() { state.selectedChannel = -1; }  // no highlight
  // A voice sounding with its key held, a sample of 1000 bytes playing forward.
  Voice& sounding(int channel) {
    Voice& v = engine()->voices[channel];
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
};

TEST_F(ChannelRowsTest, AMutedChannelIsGreyAndNotesOfAnyPitchAreNamed) {
  sounding(3);
  send(ENG_SET_CHANNEL_ENABLED, 3, 0);
  draw(2);
  EXPECT_TRUE(ShowsText(30, kRow0 + 3 * 8, "A3 345    FA", 126));

  char text[8];
  FormatNoteAndDeviation(12488, text);  // 56 below C#
  EXPECT_STREQ(text, "C#3-38");
  // A pitch envelope can take a pitch below 0: the note rounds down, B of octave "-1".
  FormatNoteAndDeviation(-300, text);
  EXPECT_STREQ(text, "B-.-2C");
}

TEST_F(ChannelRowsTest, MarkersStayInTheirBarsWithoutSampleLengthOrWithALoopEndPastIt) {
  Voice& v = sounding(0);
  v.sampleEnd = 0;  // a voice given no sample
  v.loopFlags = kVoiceLoopForward;
  v.loopEnd = kVoiceNoLoopEnd;
  v.position = 4000;
  Voice& beyond = sounding(1);
  beyond.loopFlags = kVoiceLoopForward;
  beyond.loopStart = 500;
  beyond.loopEnd = kVoiceNoLoopEnd;
  draw(1);
  const testing::Legend legend = {{'.', 0}, {'g', 126}, {'G', 70}, {'f', 90}};
  EXPECT_TRUE(testing::PictureMatches(state.frameBitmap, kPhaseX, kRow0,
                                      {"Gggggggggggggggggggggggggggggggggggggggggggggg.."}, legend));
  EXPECT_TRUE(testing::PictureMatches(state.frameBitmap, kPhaseX, kRow0 + 8,
                                      {"gggggggggggggggggggggggGfffffffffffffffffffffff."}, legend));
}

}  // namespace
}  // namespace tvp
