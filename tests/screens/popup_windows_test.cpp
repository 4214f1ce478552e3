// The help, player variables and soundtrack information windows: their pictures, the variables
// window's keys with their steps and limits, and when the windows redraw.
#include <gtest/gtest.h>

#include <string>

#include "soundtrack/status.h"
#include "tests/app/temp_dir.h"
#include "tests/screens/window_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp {
namespace {

constexpr uint8_t kHelpBlue = 42, kInfoGreen = 46, kVariablesRed = 112, kSelectedBox = 42;

class HelpWindowTest : public testing::WindowFixture {};

TEST_F(HelpWindowTest, DrawsItsLinesAndBorderOnceAndSlidesInOnce) {
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
  // Corners and edges: shadowed white line glyphs over the black rim and the background.
  struct Cell { int x, y; uint8_t glyph; } cells[] = {
      {0, 0, 0x96}, {228, 0, 0x9C}, {0, 184, 0x93}, {228, 184, 0x99}, {6, 0, 0x9A}, {6, 184, 0x9A}, {0, 8, 0x95}, {228, 8, 0x95}};
  for (const Cell& c : cells) EXPECT_TRUE(ShowsGlyphInk(c.x, c.y, c.glyph, 255));
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 0, 100), 0) << "black rim";
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 2, 100), 255) << "the left edge";
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 3, 100), 126) << "the left edge's shadow";
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 4, 100), kHelpBlue);

  FinishSlides();
  ShowHelpWindow(state);  // F1 again while shown
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);
  EXPECT_EQ(state.helpWindow.picture, picture);
}

class VariablesWindowTest : public testing::WindowFixture {
 protected:
  void show() {
    ShowVariablesWindow(state);
    FinishSlides();
    RefreshVariablesWindow(state);
  }
  void select(int field) {
    while (state.variablesWindow.selectedField != field) ASSERT_TRUE(VariablesWindowKey(state, VK_TAB));
  }
  int32_t value(int field) {
    switch (field) {
      case 0: return static_cast<int32_t>(send(ENG_GET_MASTER_VOLUME));
      case 1: return static_cast<int32_t>(send(ENG_GET_A4_FREQUENCY) >> 16);
      case 2: return static_cast<int32_t>(send(ENG_GET_SPEED) >> 16);
      default: return static_cast<int32_t>(send(ENG_GET_INTERPOLATION));
    }
  }
  // The value as the next refresh draws it in its field's box.
  ::testing::AssertionResult ShowsValue(int field, const std::string& text) {
    RefreshVariablesWindow(state);
    Present(state.variablesWindow.picture);
    return ShowsText(12 + 54 * field, 88, text, 255, field == state.variablesWindow.selectedField ? kSelectedBox : 0);
  }
};

TEST_F(VariablesWindowTest, ShowsTheOutputFactsTitleAndFields) {
  engine()->bits = 16;
  engine()->stereo = 1;
  engine()->tickRate = 44100;
  show();
  Pixmap* picture = state.variablesWindow.picture;
  EXPECT_EQ(picture->width, 39 * 6);
  EXPECT_EQ(picture->height, 18 * 8);
  Present(picture);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE====== PLAYER VARIABLES (F2) =======", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 24, "SampleRate:    44100Hz", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 32, "Bits/Sample:      16", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 40, "Stereo:            1", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 48, "Frames/Buffer:  4096 (92.88ms)", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(6, 128, "---------------- Press ESC to dismiss", 255, kVariablesRed));
  EXPECT_TRUE(ShowsText(12, 64, "Master-", 255, kSelectedBox));
  EXPECT_TRUE(ShowsText(12, 72, "  volume", 255, kSelectedBox));
  EXPECT_TRUE(ShowsText(12, 80, "        ", 255, kSelectedBox));
  EXPECT_TRUE(ShowsText(66, 64, "A4Freq  ", 255, 0));
  EXPECT_TRUE(ShowsText(120, 64, "Speed   ", 255, 0));
  EXPECT_TRUE(ShowsText(174, 64, "Inter-  ", 255, 0));
  EXPECT_TRUE(ShowsText(174, 72, "polation", 255, 0));
  EXPECT_TRUE(ShowsValue(0, "   32768"));
  EXPECT_TRUE(ShowsValue(1, "   440Hz"));
  EXPECT_TRUE(ShowsValue(2, "    100%"));
  EXPECT_TRUE(ShowsValue(3, "    NONE"));
}

TEST_F(VariablesWindowTest, ValuesStepStopAtTheirLimitsAndReset) {
  show();
  struct Case { int field; int32_t start; int32_t key; int32_t want; const char* shown; } cases[] = {
      {0, 65400, VK_UP, 65536, "   65536"},   {0, 3000, VK_NEXT, 0, "       0"},
      {0, 100, VK_DOWN, 0, "       0"},       {0, 1000, VK_SPACE, 32768, "   32768"},
      {1, 55, VK_DOWN, 55, "    55Hz"},       {1, 3515, VK_PRIOR, 3520, "  3520Hz"},
      {1, 3520, VK_UP, 3520, "  3520Hz"},     {1, 60, VK_NEXT, 55, "    55Hz"},
      {2, 250, 'R', 100, "    100%"},         {2, 995, VK_PRIOR, 1000, "   1000%"},
      {2, 1, VK_DOWN, 1, "      1%"},
  };
  for (const Case& c : cases) {
    select(c.field);
    switch (c.field) {
      case 0: send(ENG_SET_MASTER_VOLUME, c.start); break;
      case 1: send(ENG_SET_A4_FREQUENCY, intptr_t{c.start} << 16); break;
      default: send(ENG_SET_SPEED, intptr_t{c.start} << 16); break;
    }
    ASSERT_EQ(value(c.field), c.start);
    EXPECT_TRUE(VariablesWindowKey(state, c.key));
    EXPECT_EQ(value(c.field), c.want) << "field " << c.field << " from " << c.start << " key " << c.key;
    EXPECT_TRUE(ShowsValue(c.field, c.shown));
  }
}

TEST_F(VariablesWindowTest, InterpolationStepsSkipModesFourToSix) {
  show();
  select(3);
  const char* up[] = {"  LINEAR", "  STAIRS", "   CUBIC", "MR+CUBIC", "MR+CUBIC"};
  const int32_t upModes[] = {1, 2, 3, 7, 7};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(VariablesWindowKey(state, VK_UP));
    EXPECT_EQ(value(3), upModes[i]);
    EXPECT_TRUE(ShowsValue(3, up[i]));
  }
  EXPECT_TRUE(VariablesWindowKey(state, VK_DOWN));
  EXPECT_EQ(value(3), 3);
  EXPECT_TRUE(ShowsValue(3, "   CUBIC"));
  EXPECT_TRUE(VariablesWindowKey(state, VK_PRIOR));
  EXPECT_EQ(value(3), 7);
  EXPECT_TRUE(VariablesWindowKey(state, 'R'));
  EXPECT_EQ(value(3), 0);
}

TEST_F(VariablesWindowTest, FieldSelectionWrapsBothWays) {
  show();
  EXPECT_TRUE(VariablesWindowKey(state, VK_LEFT));  // field 0 to 3
  EXPECT_EQ(state.variablesWindow.selectedField, 3);
  EXPECT_TRUE(ShowsValue(3, "    NONE"));  // on the selected box's colour
  EXPECT_TRUE(ShowsText(12, 64, "Master-", 255, 0));
  EXPECT_TRUE(VariablesWindowKey(state, VK_TAB));  // field 3 to 0
  EXPECT_EQ(state.variablesWindow.selectedField, 0);
  EXPECT_TRUE(VariablesWindowKey(state, VK_RIGHT));
  EXPECT_EQ(state.variablesWindow.selectedField, 1);
  EXPECT_EQ(value(0), 32768);  // moving between fields changes no value
}

TEST_F(VariablesWindowTest, TheSelectedValueShowsTenFramesOfSixteenAndAtOnceAfterAChange) {
  show();  // one refresh so far
  int shown = 1;
  for (int frame = 1; frame < 16; ++frame) {
    RefreshVariablesWindow(state);
    Present(state.variablesWindow.picture);
    shown += AnyInk(12, 88, 48, 8, kSelectedBox);
  }
  EXPECT_EQ(shown, 10);
  EXPECT_EQ(state.variablesWindow.blinkCounter, 0);
  for (int frame = 0; frame < 12; ++frame) RefreshVariablesWindow(state);  // now hidden
  EXPECT_TRUE(VariablesWindowKey(state, VK_UP));
  EXPECT_TRUE(ShowsValue(0, "   33024"));
}

TEST_F(VariablesWindowTest, KeysAreTakenOnlyWhileTheWindowIsCurrent) {
  EXPECT_FALSE(VariablesWindowKey(state, VK_LEFT));  // never shown
  show();
  EXPECT_TRUE(WindowKey(VK_LEFT));
  EXPECT_TRUE(WindowKey(VK_RIGHT));
  EXPECT_FALSE(WindowKey(VK_F1 + 4));  // F5 is left to the command table
  EXPECT_FALSE(WindowKey(VK_ESCAPE));  // Escape slides the window out
  FinishSlides();
  EXPECT_EQ(state.currentPopup, nullptr);
  // Left and Right go to the command table again, where they change the master volume.
  EXPECT_FALSE(WindowKey(VK_LEFT));
  EXPECT_FALSE(WindowKey(VK_UP));
  EXPECT_EQ(value(0), 32768);
  // Nor while another window is shown.
  ShowHelpWindow(state);
  EXPECT_FALSE(WindowKey(VK_RIGHT));
}

TEST_F(VariablesWindowTest, ShowingAgainWhileShownAsksForNoSlide) {
  show();
  ShowVariablesWindow(state);
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);
  EXPECT_TRUE(VariablesWindowKey(state, VK_TAB));
  ClosePopup(state);
  FinishSlides();
  show();  // the selection survives closing and reopening
  EXPECT_EQ(state.variablesWindow.selectedField, 1);
}

class InfoWindowTest : public testing::WindowFixture {
 protected:
  // A song of three 64-row positions at speed 6 and 125 BPM: 3 x 64 x 6 ticks of 20 ms, 23 s.
  std::string writeSong(const std::string& name) {
    test::XmBuilder xm;
    xm.orders = {0, 1, 2};
    for (int p = 0; p < 3; ++p) xm.pattern(p).rows = 64;
    return dir.write(name, xm.bytes());
  }
  test::TempDir dir;
};

TEST_F(InfoWindowTest, WithoutASoundtrackSaysSo) {
  ShowInfoWindow(state);
  Pixmap* picture = state.infoWindow.picture;
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->width, 44 * 6);
  EXPECT_EQ(picture->height, 13 * 8);
  Present(picture);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE========= SOUNDTRACK INFO (F3) ==========", 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(12, 24, "No Soundtrack Loaded.", 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 88, "--------------------- Press ESC to dismiss", 255, kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 16, 252, 8, kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 32, 252, 56, kInfoGreen));
}

TEST_F(InfoWindowTest, ALongPathIsCutToTheLineAndRefreshesOnlyAfterSlidingOut) {
  ShowInfoWindow(state);
  FinishSlides();
  const std::string path = writeSong("a_song_with_a_rather_long_file_name.xm");
  ASSERT_GT(path.size(), 31u);
  OpenModuleFile(state, path.c_str());
  ASSERT_NE(state.soundtrack, nullptr);

  ShowInfoWindow(state);  // F3 again while shown: nothing changes
  EXPECT_EQ(state.popupRequest, kPopupNoRequest);
  Present(state.infoWindow.picture);
  EXPECT_TRUE(ShowsText(12, 24, "No Soundtrack Loaded.", 255, kInfoGreen));

  ClosePopup(state);
  FinishSlides();
  ShowInfoWindow(state);
  Present(state.infoWindow.picture);
  const std::string pathLine = "File Path: " + path.substr(0, 31);
  ASSERT_EQ(pathLine.size(), 42u);
  EXPECT_TRUE(ShowsText(6, 16, pathLine, 255, kInfoGreen));
  const Soundtrack* song = state.soundtrack;
  auto counts = [](int32_t filled, int32_t slots, const char* what) {
    char line[64];
    std::snprintf(line, sizeof line, "%4d %s Loaded in %d Slots.", filled, what, slots);
    return std::string(line);
  };
  EXPECT_TRUE(ShowsText(6, 32, counts(CountFilledSampleSlots(song), song->sampleCount, "Samples"), 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 48, counts(CountFilledPatternSlots(song), song->patternCount, "Patterns"), 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 56, "   " + std::to_string(song->playPositionCount) + " PlayPositions Loaded", 255,
                        kInfoGreen));
  EXPECT_FALSE(AnyInk(6, 64, 252, 8, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 72, "Estimated Play Time:     0m23s", 255, kInfoGreen));
  EXPECT_TRUE(ShowsText(6, 88, "--------------------- Press ESC to dismiss", 255, kInfoGreen));
}

}  // namespace
}  // namespace tvp
