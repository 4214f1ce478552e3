// Start-up on the in-memory platform: the display size fallbacks and the frame's placement, the
// failures that end the start with a reason, and a module named on the command line.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/player_options.h"
#include "tests/app/player_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

using StartupTest = PlayerFixture;

TEST_F(StartupTest, FullScreenFallsBackToTheSizesTheDisplayHas) {
  display.fullScreenSizes = {{640, 480}};
  ASSERT_EQ(start("RESOLUTION_X=1024\nRESOLUTION_Y=768\n"), kStatusOk) << error;
  EXPECT_EQ(state().settings.resolutionX, 640);
  EXPECT_EQ(state().settings.resolutionY, 480);
  EXPECT_EQ(state().scale, 1);
  EXPECT_EQ(display.closeKeyMask, kCloseKeyEscape | kCloseKeyF12);
  EXPECT_FALSE(display.cursorVisible) << "full screen without MOUSECURSOR hides it";
}

TEST_F(StartupTest, TheFrameIsCentredAndDoubledFrom640x480) {
  struct Case { int w, h, scale, x, y; } cases[] = {
      {320, 240, 0, 4, 0}, {640, 480, 1, 8, 0}, {800, 600, 1, 88, 60}, {639, 480, 0, 163, 120}};
  for (const Case& c : cases) {
    PlaceFrame(state(), c.w, c.h);
    EXPECT_EQ(state().scale, c.scale) << c.w;
    EXPECT_EQ(state().offsetX, c.x) << c.w;
    EXPECT_EQ(state().offsetY, c.y) << c.w;
  }
}

TEST_F(StartupTest, FailuresNameWhatFailed) {
  display.fullScreenSizes = {{1920, 1080}};
  EXPECT_NE(start(), kStatusOk);
  EXPECT_NE(error.find("display"), std::string::npos) << error;
  EXPECT_EQ(state().frameBitmap, nullptr) << "torn down";
}

TEST(StartupSoundTest, NoAudioDeviceEndsTheStart) {
  MemoryDisplay display;
  MemoryInputSource input;
  SoundDeviceHolder sound([]() -> std::unique_ptr<RingAudioDevice> { return nullptr; });
  ManualClock clock;
  auto player = std::make_unique<Player>();
  std::string error;
  StartOptions options;
  options.window = 1;
  EXPECT_NE(StartPlayer(*player, {&display, &input, &sound, &clock}, options, &error), kStatusOk);
  EXPECT_EQ(error.rfind("no audio device", 0), 0u) << error;
  EXPECT_EQ(player->state.frameBitmap, nullptr) << "torn down";
}

TEST_F(StartupTest, AModuleOnTheCommandLinePlaysAtOnce) {
  XmBuilder xm;
  xm.title = "Start";
  xm.orders = {0};
  std::vector<uint8_t> bytes = xm.bytes();
  ASSERT_EQ(start("WINDOW=YES\n", dir.write("start.mod", std::string(bytes.begin(), bytes.end()))), kStatusOk)
      << error;
  EXPECT_EQ(send(ENG_IS_PLAYING), 1);
  EXPECT_EQ(notice(), "FILE READ SUCCESSFULLY");
  EXPECT_TRUE(display.cursorVisible) << "a window always shows the cursor";
}

TEST(PlayerOptionsTest, ParsesTheCommandLineAndRefusesWhatItCannotTake) {
  auto parse = [](std::vector<const char*> args, PlayerOptions* options, std::string* error) {
    args.insert(args.begin(), "tpw");
    return ParsePlayerOptions(static_cast<int>(args.size()), args.data(), options, error);
  };
  PlayerOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--snapshot", "a.png", "--at", "2.5", "--display", "4", "--keys", "f2,Up,s", "x.xm"}, &o, &error));
  EXPECT_EQ(o.action, PlayerOptions::Action::kSnapshot);
  EXPECT_EQ(o.snapshotSeconds, 2.5);
  EXPECT_EQ(o.snapshotDisplay, 4);
  EXPECT_EQ(o.snapshotKeys, (std::vector<uint32_t>{kVkF1 + 1, kVkUp, 'S'}));
  EXPECT_EQ(o.file, "x.xm");
  for (auto bad : std::vector<std::vector<const char*>>{
           {"--bogus"}, {"--at"}, {"--snapshot", "a.png", "--display", "5"}, {"--keys", "F13"}, {"a", "b"},
           {"--display", "2"}, {"--snapshot", "a.png", "--at", "-1"}}) {
    PlayerOptions fresh;
    EXPECT_FALSE(parse(bad, &fresh, &error)) << bad[0];
  }
}

}  // namespace
}  // namespace tvp::test
