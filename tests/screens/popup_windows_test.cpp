// The help, player variables and soundtrack information windows: their pictures, the variables
// window's keys with their steps and limits, and when the windows redraw.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/temp_dir.h"
#include "tests/screens/window_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp {
namespace {

constexpr uint8_t kHelpBlue = 42, kInfoGreen = 46, kVariablesRed = 112, kSelectedBox = 42;

class PopupWindowsTest : public testing::WindowFixture {
 protected:
  void showVariables() {
    ShowVariablesWindow(state);
    FinishSlides();
    RefreshVariablesWindow(state);
  }
  int32_t value(int field) {
    const uint32_t get[] = {ENG_GET_MASTER_VOLUME, ENG_GET_A4_FREQUENCY, ENG_GET_SPEED, ENG_GET_INTERPOLATION};
    return static_cast<int32_t>(send(get[field]) >> (field == 1 || field == 2 ? 16 : 0));
  }
  // The value as the next refresh draws it in its field's box.
  ::testing::AssertionResult ShowsValue(int field, const std::string& text) {
    RefreshVariablesWindow(state);
    Present(state.variablesWindow.picture);
    return ShowsText(12 + 54 * field, 88, text, 255, field == state.variablesWindow.selectedField ? kSelectedBox : 0);
  }
};

TEST_F(PopupWindowsTest, HelpIsDrawnOnceWithItsArrowGlyphsAndBorder) {
  ShowHelpWindow(state);
  Pixmap* picture = state.helpWindow.picture;
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(state.currentPopup, picture);
  EXPECT_EQ(picture->width, 39 * 6);
  EXPECT_EQ(picture->height, 24 * 8);
  Present(picture);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE====== KEY BINDING HELP (F1) =======", 255, kHelpBlue));
  EXPECT_TRUE(ShowsText(6, 88, "[\xBF][\xBD] changes master volume", 255, kHelpBlue));
  EXPECT_TRUE(ShowsText(6, 96, "[\xBC][\xBE] selects channel", 255, kHelpBlue));
  EXPECT_TRUE(ShowsText(6, 176, "---------------- Press ESC to dismiss", 255, kHelpBlue));
  for (auto [x, y, glyph] : {std::tuple{0, 0, 0x96}, {228, 0, 0x9C}, {0, 184, 0x93}, {228, 184, 0x99}, {6, 0, 0x9A},
                             {0, 8, 0x95}})
    EXPECT_TRUE(ShowsGlyphInk(x, y, static_cast<uint8_t>(glyph), 255));
  // Across the left edge: black rim, white line, its shadow, the background.
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 0, 100), 0);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 2, 100), 255);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 3, 100), 126);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 4, 100), kHelpBlue);

  FinishSlides();
  ShowHelpWindow(state);  // F1 while shown asks for no slide
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);
  EXPECT_EQ(state.helpWindow.picture, picture);
}

TEST_F(PopupWindowsTest, VariablesShowTheOutputFactsAndTheFourFields) {
  engine()->bits = 16;
  engine()->stereo = 1;
  engine()->tickRate = 44100;
  showVariables();
  EXPECT_EQ(state.variablesWindow.picture->width, 39 * 6);
  EXPECT_EQ(state.variablesWindow.picture->height, 18 * 8);
  Present(state.variablesWindow.picture);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE====== PLAYER VARIABLES (F2) =======", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 24, "SampleRate:    44100Hz", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 32, "Bits/Sample:      16", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 48, "Frames/Buffer:  4096 (92.88ms)", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 64, "Master-", 255, kSelectedBox));
  EXPECT_TRUE(ShowsText(12, 72, "  volume", 255, kSelectedBox));
  EXPECT_TRUE(ShowsText(66, 64, "A4Freq  ", 255, 0));
  EXPECT_TRUE(ShowsText(174, 72, "polation", 255, 0));
  EXPECT_TRUE(ShowsText(6, 128, "---------------- Press ESC to dismiss", 255, kVariablesRed));
  EXPECT_TRUE(ShowsValue(0, "   32768"));
  EXPECT_TRUE(ShowsValue(1, "   440Hz"));
  EXPECT_TRUE(ShowsValue(2, "    100%"));
  EXPECT_TRUE(ShowsValue(3, "    NONE"));
}

TEST_F(PopupWindowsTest, VariableValuesStepStopAtTheirLimitsAndReset) {
  showVariables();
  struct Case { int field; int32_t start, key, want; const char* shown; } cases[] = {
      {0, 65400, kVkUp, 65536, "   65536"}, {0, 3000, kVkNext, 0, "       0"}, {0, 1000, kVkSpace, 32768, "   32768"},
      {1, 55, kVkDown, 55, "    55Hz"},    {1, 3515, kVkPrior, 3520, "  3520Hz"}, {2, 250, 'R', 100, "    100%"},
      {2, 995, kVkPrior, 1000, "   1000%"}, {2, 1, kVkDown, 1, "      1%"},
  };
  const uint32_t set[] = {ENG_SET_MASTER_VOLUME, ENG_SET_A4_FREQUENCY, ENG_SET_SPEED};
  for (const Case& c : cases) {
    while (state.variablesWindow.selectedField != c.field) ASSERT_TRUE(VariablesWindowKey(state, kVkTab));
    send(set[c.field], intptr_t{c.start} << (c.field ? 16 : 0));
    EXPECT_TRUE(VariablesWindowKey(state, c.key));
    EXPECT_EQ(value(c.field), c.want) << "field " << c.field << " from " << c.start << " key " << c.key;
    EXPECT_TRUE(ShowsValue(c.field, c.shown));
  }

  // Interpolation steps over modes 4 to 6 both ways.
  EXPECT_TRUE(VariablesWindowKey(state, kVkTab));
  const char* up[] = {"  LINEAR", "  STAIRS", "   CUBIC", "MR+CUBIC", "MR+CUBIC"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(VariablesWindowKey(state, kVkUp));
    EXPECT_TRUE(ShowsValue(3, up[i]));
  }
  EXPECT_EQ(value(3), 7);
  EXPECT_TRUE(VariablesWindowKey(state, kVkDown));
  EXPECT_EQ(value(3), 3);
  EXPECT_TRUE(ShowsValue(3, "   CUBIC"));
}

TEST_F(PopupWindowsTest, VariablesKeysMoveFieldsOnlyWhileTheWindowIsCurrent) {
  EXPECT_FALSE(WindowKey(kVkLeft));  // never shown
  showVariables();
  EXPECT_TRUE(WindowKey(kVkLeft));  // field 0 to 3
  EXPECT_EQ(state.variablesWindow.selectedField, 3);
  EXPECT_TRUE(ShowsValue(3, "    NONE"));  // now on the selected box's colour
  EXPECT_TRUE(WindowKey(kVkTab));  // field 3 to 0
  EXPECT_TRUE(WindowKey(kVkRight));
  EXPECT_EQ(state.variablesWindow.selectedField, 1);
  EXPECT_EQ(value(0), 32768);
  EXPECT_FALSE(WindowKey(kVkF1 + 4));  // F5 is left to the command table
  ShowVariablesWindow(state);           // F2 again while shown asks for no slide
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);

  // After Escape, Left and Right go to the command table again (the master volume keys).
  EXPECT_FALSE(WindowKey(kVkEscape));
  FinishSlides();
  EXPECT_FALSE(WindowKey(kVkLeft));
  EXPECT_FALSE(WindowKey(kVkUp));
  ShowHelpWindow(state);
  FinishSlides();
  EXPECT_FALSE(WindowKey(kVkRight));
  ClosePopup(state);
  FinishSlides();
  showVariables();  // the selection survives closing and reopening
  EXPECT_EQ(state.variablesWindow.selectedField, 1);
}

TEST_F(PopupWindowsTest, TheSelectedValueShowsTenFramesOfSixteenAndAtOnceAfterAChange) {
  showVariables();  // one refresh so far
  int shown = 1;
  for (int frame = 1; frame < 16; ++frame) {
    RefreshVariablesWindow(state);
    Present(state.variablesWindow.picture);
    shown += AnyInk(12, 88, 48, 8, kSelectedBox);
  }
  EXPECT_EQ(shown, 10);
  for (int frame = 0; frame < 12; ++frame) RefreshVariablesWindow(state);  // now hidden
  EXPECT_TRUE(VariablesWindowKey(state, kVkUp));
  EXPECT_TRUE(ShowsValue(0, "   33024"));
}

TEST_F(PopupWindowsTest, InformationSaysWhenNoSoundtrackIsLoaded) {
  ShowInfoWindow(state);
  ASSERT_NE(state.infoWindow.picture, nullptr);
  EXPECT_EQ(state.infoWindow.picture->width, 44 * 6);
  EXPECT_EQ(state.infoWindow.picture->height, 13 * 8);
  Present(state.infoWindow.picture);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE========= SOUNDTRACK INFO (F3) ==========", 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(12, 24, "No Soundtrack Loaded.", 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 88, "--------------------- Press ESC to dismiss", 255, kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 16, 252, 8, kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 32, 252, 56, kInfoGreen));
}

TEST_F(PopupWindowsTest, InformationCutsALongPathAndRefreshesOnlyAfterSlidingOut) {
  ShowInfoWindow(state);
  FinishSlides();
  // Three 64-row positions at speed 6 and 125 BPM: 3 x 64 x 6 ticks of 20 ms, 23 s.
  test::TempDir dir;
  test::XmBuilder xm;
  xm.orders = {0, 1, 2};
  for (int p = 0; p < 3; ++p) xm.pattern(p).rows = 64;
  const std::string path = dir.write("a_song_with_a_rather_long_file_name.xm", xm.bytes());
  OpenModuleFile(state, path.c_str());
  ASSERT_NE(state.soundtrack, nullptr);

  ShowInfoWindow(state);  // F3 while shown: nothing changes
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);
  Present(state.infoWindow.picture);
  EXPECT_TRUE(ShowsText(12, 24, "No Soundtrack Loaded.", 255, kInfoGreen));

  ClosePopup(state);
  FinishSlides();
  ShowInfoWindow(state);
  Present(state.infoWindow.picture);
  ASSERT_GT(path.size(), 31u);
  EXPECT_TRUE(ShowsText(6, 16, "File Path: " + path.substr(0, 31), 255, kInfoGreen));  // 42 characters
  const Soundtrack* song = state.soundtrack;
  char line[64];
  std::snprintf(line, sizeof line, "%4d Patterns Loaded in %d Slots.", CountFilledPatternSlots(song),
                song->patternCount);
  EXPECT_TRUE(ShowsText(6, 48, line, 255, kInfoGreen));
  std::snprintf(line, sizeof line, "%4d PlayPositions Loaded", song->playPositionCount);
  EXPECT_TRUE(ShowsText(6, 56, line, 255, kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 64, 252, 8, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 72, "Estimated Play Time:     0m23s", 255, kInfoGreen));
}

}  // namespace
}  // namespace tvp
