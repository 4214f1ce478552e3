// The SDL implementations without a screen or a sound card: SDL's dummy video driver (a window
// in memory, drawn by the software renderer) and its disk audio driver, which writes what the
// device plays into a file at the device's pace.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/sdl_audio.h"
#include "platform/sdl_display.h"
#include "platform/virtual_keys.h"
#include "screen/palette.h"
#include "tests/platform/road_song.h"

namespace tvp::test {
namespace {

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/tvp-" + std::to_string(getpid()) + "-" + name;
}

TEST(SdlDisplay, AFrameCopiedIntoTheSurfaceIsShownInThePaletteColours) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SdlDisplay display;
  ASSERT_EQ(display.Open("Tonvale test", 320, 240, 8, false), kStatusOk);
  ASSERT_EQ(display.ClearSurfaces(0, nullptr), kStatusOk);

  // A 312 x 240 frame whose every pixel tells its place, centred as the player centres it.
  constexpr int32_t kW = 312, kH = 240;
  std::vector<uint8_t> pixels(kW * kH), mask(kW * kH, 255);
  for (int32_t y = 0; y < kH; ++y) {
    for (int32_t x = 0; x < kW; ++x) pixels[y * kW + x] = static_cast<uint8_t>(x * 7 + y * 3);
  }
  Pixmap frame{kW, kH, kW, kH, pixels.data(), mask.data()};
  SurfaceView view{};
  ASSERT_EQ(display.LockSurface(&view), kStatusOk);
  OffsetView(&view, 4, 0);
  CopyPixmapToView(&frame, &view);
  display.UnlockSurface(&view);
  ASSERT_EQ(display.CopyRectToPrimary({4, 0, 4 + kW, kH}), kStatusOk);

  std::vector<uint32_t> shown;
  int32_t width = 0, height = 0;
  ASSERT_EQ(display.ReadBack(&shown, &width, &height), kStatusOk);
  ASSERT_EQ(width, 320);
  ASSERT_EQ(height, 240);
  int32_t wrong = 0;
  for (int32_t y = 0; y < 240; ++y) {
    for (int32_t x = 0; x < 320; ++x) {
      uint32_t expected = x < 4 || x >= 316 ? 0 : kPalette[pixels[y * kW + x - 4]];
      wrong += shown[y * 320 + x] != expected;
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(display.title(), "Tonvale test");
}

TEST(SdlDisplay, AFullScreenLargerThanTheMonitorIsRefusedAndTheWindowServesTheNextTry) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SdlDisplay display;
  EXPECT_EQ(display.Open("Tonvale test", 30000, 20000, 8, true), kStatusNoDisplayMode);
  EXPECT_EQ(display.PresentFrame(), kStatusDisplayNotReady);
  ASSERT_EQ(display.Open("Tonvale test", 320, 240, 8, false), kStatusOk);
  EXPECT_EQ(display.PresentFrame(), kStatusOk);
}

TEST(SdlDisplay, PresentingAsFastAsPossibleIsHeldNear250FramesASecond) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SdlDisplay display;
  ASSERT_EQ(display.Open("Tonvale test", 320, 240, 8, false), kStatusOk);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) display.PresentFrame();
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(49 * 4 - 10));  // never much faster than 4 ms a frame
}

TEST(SdlKeys, KeysMapToThePlayersKeyCodes) {
  EXPECT_EQ(VirtualKeyFromSdlKeycode('a'), 0x41u);
  EXPECT_EQ(VirtualKeyFromSdlKeycode('z'), 0x5Au);
  EXPECT_EQ(VirtualKeyFromSdlKeycode('4'), 0x34u);
  EXPECT_EQ(VirtualKeyFromSdlKeycode(27), kVkEscape);
  EXPECT_EQ(VirtualKeyFromSdlKeycode(' '), kVkSpace);
  EXPECT_EQ(VirtualKeyFromSdlKeycode('\r'), kVkReturn);
  EXPECT_EQ(VirtualKeyFromSdlKeycode((1 << 30) | 58), kVkF1);   // SDL's F1: scan code 58
  EXPECT_EQ(VirtualKeyFromSdlKeycode((1 << 30) | 69), kVkF12);  // F12: scan code 69
  EXPECT_EQ(VirtualKeyFromSdlKeycode((1 << 30) | 80), kVkLeft);
  EXPECT_EQ(VirtualKeyFromSdlKeycode((1 << 30) | 75), kVkPrior);
  EXPECT_EQ(VirtualKeyFromSdlKeycode('-'), 0u);
}

// Three seconds of a song played through ENG_SERVICE at a 60 Hz frame pace reach the disk
// driver's file exactly as the offline road renders them.
TEST(SdlRingDevice, WhatTheServiceWritesIsWhatTheDevicePlays) {
  const std::string file = TempPath("ring.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  unsetenv("SDL_DISKAUDIODELAY");  // play at the device's own pace

  SongBuilder song;
  BuildRoadSong(song);
  constexpr int32_t kSeconds = 3;
  constexpr size_t kBytes = size_t{kSeconds} * kRoadHertz * 4;
  {
    SoundDeviceHolder holder(&OpenSdlRingDevice);
    ASSERT_EQ(holder.Create(), kStatusOk);
    SoundEngine* engine = nullptr;
    ASSERT_EQ(OpenRoadEngine(&engine, 0, reinterpret_cast<intptr_t>(holder.device())), kStatusOk);
    ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
    ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
    // Serve until the device has played past three seconds, plus a little.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSeconds * 1000 + 500);
    while (std::chrono::steady_clock::now() < end) {
      if (Command(&engine, ENG_SERVICE) != 0) Command(&engine, ENG_SERVICE);
      std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    Command(&engine, ENG_CLOSE);
    holder.Destroy();
  }
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(file.c_str());

  // The device writes silence while paused, before the start; the song begins after it.
  const std::vector<uint8_t> expected = OfflineRoadBytes(song.inUse(), kSeconds * kRoadHertz / kRoadFrames + 1);
  auto start = std::search(written.begin(), written.end(), expected.begin(), expected.begin() + kRoadBytes);
  ASSERT_NE(start, written.end()) << "the first buffer never reached the device";
  ASSERT_GE(static_cast<size_t>(written.end() - start), kBytes);
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + kBytes, start));
}

}  // namespace
}  // namespace tvp::test
