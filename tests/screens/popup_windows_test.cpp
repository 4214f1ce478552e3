// The player variables window's steps and limits, and the soundtrack information window.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/temp_dir.h"
#include "tests/screens/window_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp {
namespace {

constexpr uint8_t kInfoGreen = 46, kSelectedBox = 42;

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

TEST_F(PopupWindowsTest, InformationShowsThePlayTimeInMinutesAndSeconds) {
  // Nine 64-row positions at speed 6 and 125 BPM: 9 x 64 x 6 ticks of 20 ms, 69 s.
  test::TempDir dir;
  test::XmBuilder xm;
  xm.orders = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  for (int p = 0; p < 9; ++p) xm.pattern(p).rows = 64;
  OpenModuleFile(state, dir.write("long.xm", xm.bytes()).c_str());
  ASSERT_NE(state.soundtrack, nullptr);
  ShowInfoWindow(state);
  Present(state.infoWindow.picture);
  EXPECT_TRUE(ShowsText(6, 72, "Estimated Play Time:     1m09s", 255, kInfoGreen));
}

}  // namespace
}  // namespace tvp
