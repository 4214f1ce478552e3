// Start-up on the in-memory platform: the display size fallbacks and the frame's placement, a
// missing sound device, and a module named on the command line, played or refused with a reason.
#include "app/startup.h"

#include <gtest/gtest.h>

#include "tests/app/player_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

using StartupTest = PlayerFixture;

TEST_F(StartupTest, FullScreenFallsBackToTheSizesTheDisplayHasAndTheFrameIsCentred) {
  display.fullScreenSizes = {{640, 480}};
  ASSERT_EQ(start("RESOLUTION_X=1024\nRESOLUTION_Y=768\n"), kStatusOk) << error;
  EXPECT_EQ(state().settings.resolutionX, 640);
  EXPECT_EQ(state().settings.resolutionY, 480);
  frame();  // shown doubled, 8 pixels in
  int32_t wrong = 0;
  for (int y = 0; y < FRAME_HEIGHT; ++y)
    for (int x = 0; x < FRAME_WIDTH; ++x)
      wrong += display.primary()[static_cast<size_t>((2 * y + 1) * 640 + 8 + 2 * x + 1)] !=
               state().frameBitmap->pixels[y * state().frameBitmap->rowBytes + x];
  EXPECT_EQ(wrong, 0);
  struct Case { int w, h, scale, x, y; } cases[] = {
      {320, 240, 0, 4, 0}, {640, 480, 1, 8, 0}, {800, 600, 1, 88, 60}, {640, 400, 0, 164, 80}};
  for (const Case& c : cases) {
    PlaceFrame(state(), c.w, c.h);
    EXPECT_EQ(std::tuple(state().scale, state().offsetX, state().offsetY), std::tuple(c.scale, c.x, c.y)) << c.w;
  }
}

// On a 1280 x 1024 desktop three quarters hold the frame three times; a size in the settings is
// the window's own.
TEST_F(StartupTest, AWindowShowsTheFrameAtTheLargestMultipleThatFitsUnlessTheSettingsGiveItsSize) {
  display.usableWidth = 1280;
  display.usableHeight = 1024;
  ASSERT_EQ(start("WINDOW=YES\n"), kStatusOk) << error;
  EXPECT_EQ(std::tuple(display.windowWidth(), display.windowHeight(), display.width()), std::tuple(936, 720, 312));
  EXPECT_EQ(display.title(), "Tonvale Player");
  for (const auto& [w, h, scale] : std::vector<std::tuple<int, int, int>>{{1920, 1080, 3}, {3840, 2160, 6}, {300, 200, 1}})
    EXPECT_EQ(WindowScale(w, h), scale) << w;

  HeadlessPlayer sized;
  sized.display.usableWidth = 1280;
  sized.display.usableHeight = 1024;
  StartOptions options;
  options.settingsPath = dir.write("tpw32.ini", "WINDOW=YES\nRESOLUTION_X=800\nRESOLUTION_Y=600\n");
  ASSERT_EQ(sized.Start(options, &error), kStatusOk);
  EXPECT_EQ(std::tuple(sized.display.windowWidth(), sized.display.width()), std::tuple(800, 800));
}

TEST(StartupSoundTest, NoAudioDeviceEndsTheStartWithItsReason) {
  MemoryDisplay display;
  MemoryInputSource input;
  SoundDeviceHolder sound([]() -> std::unique_ptr<RingAudioDevice> { return nullptr; });
  ManualClock clock;
  auto player = std::make_unique<Player>();
  std::string error;
  StartOptions options;
  options.window = 1;
  EXPECT_NE(StartPlayer(*player, {&display, &input, &sound, &clock, {}}, options, &error), kStatusOk);
  EXPECT_EQ(error.rfind("no audio device", 0), 0u) << error;
  EXPECT_EQ(player->state.frameBitmap, nullptr) << "torn down";
}

TEST_F(StartupTest, AModuleOnTheCommandLinePlaysAtOnceAndARefusedOneSaysWhy) {
  XmBuilder xm;
  xm.orders = {0};
  std::vector<uint8_t> bytes = xm.bytes();
  ASSERT_EQ(start("WINDOW=YES\n", dir.write("start.mod", std::string(bytes.begin(), bytes.end()))), kStatusOk)
      << error;
  EXPECT_EQ(send(ENG_IS_PLAYING), 1);

  HeadlessPlayer refusing;
  StartOptions options;
  options.settingsPath = dir.write("tpw32.ini", "WINDOW=YES\n");
  options.files = {dir.write("junk.xm", std::string(400, 'x'))};
  ::testing::internal::CaptureStderr();
  ASSERT_EQ(refusing.Start(options, &error), kStatusOk) << error;
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("junk.xm: not a module"), std::string::npos) << said;
  EXPECT_EQ(refusing.state().soundtrack, nullptr);
}

}  // namespace
}  // namespace tvp::test
