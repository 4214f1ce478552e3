// The oscilloscope on captures put into the engine's scope buffer: frames per column, a buffer
// too short for a column, full-scale samples, the handshake and the picture kept between captures.
#include "screens/oscilloscope.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/screen_fixture.h"

namespace tvp {
namespace {

constexpr int kTop = 48;  // the panel's place on the frame

class OscilloscopeTest : public testing::ScreenFixture {
 protected:
  // An engine whose buffers hold `frames` frames, as the settings would have opened it.
  void reopen(int32_t frames) {
    send(ENG_CLOSE);
    state.engine = nullptr;
    ASSERT_EQ(send(ENG_OPEN, 0, kOfflineRoad, kMaxVoices, frames), kStatusOk);
    state.settings.framesPerBuffer = frames;
  }
  // A captured buffer: every frame (left, right) from the function of its index.
  template <typename Sample>
  void capture(Sample sample) {
    for (int32_t i = 0; i < engine()->framesPerBuffer; ++i) {
      engine()->scopeBuffer[2 * i] = sample(i, 0);
      engine()->scopeBuffer[2 * i + 1] = sample(i, 1);
    }
    engine()->scopeRequest = -1;
  }
  void draw() {
    PixmapFillPixels(state.frameBitmap, 0);
    DrawOscilloscope(state, 0, kTop);
  }
  int lit(int column, uint8_t colour) {
    int n = 0;
    for (int y = 0; y < FRAME_HEIGHT; ++y) n += testing::PixelAt(state.frameBitmap, column, y) == colour;
    return n;
  }
  int litAnywhere() {
    int n = 0;
    for (int x = 0; x < FRAME_WIDTH; ++x) n += lit(x, kColourScopeLeft) + lit(x, kColourScopeRight);
    return n;
  }
};

TEST_F(OscilloscopeTest, TwoFramesAColumnFromABufferOf1024AtFullScale) {
  reopen(1024);  // k = 1024 / 312 - 1 = 2: frames 1 + 2c and 2 + 2c in column c, up to frame 624
  capture([](int32_t i, int side) -> int16_t {
    if (side == 1) return -32768;
    if (i == 1 || i == 624) return 32767;
    return i == 2 ? -32768 : 0;
  });
  draw();
  EXPECT_EQ(engine()->scopeRequest, 1) << "the next capture is asked for";
  // Frames 1 and 2 in column 0 reach both full-scale rows, 9 and 136 of the panel.
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 0, kTop + 9), kColourScopeLeft);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 0, kTop + 136), kColourScopeLeft);
  EXPECT_EQ(lit(0, kColourScopeLeft), 128) << "one stroke from row 9 to 136";
  // The last frame drawn rises from the baseline at the last column.
  EXPECT_EQ(lit(311, kColourScopeLeft), 64);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 311, kTop + 9), kColourScopeLeft);
  // The right trace at full scale below its baseline: row 104 + 64.
  EXPECT_EQ(lit(200, kColourScopeRight), 1);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 200, kTop + 168), kColourScopeRight);
  for (int y = 0; y < kTop + 9; ++y) ASSERT_EQ(testing::PixelAt(state.frameBitmap, 5, y), 0) << y;
}

TEST_F(OscilloscopeTest, ABufferShorterThanTwoColumnsOfFramesLeavesThePanelBlack) {
  reopen(608);  // 608 / 312 - 1 = 0 frames a column
  capture([](int32_t i, int) -> int16_t { return i % 2 ? 20000 : -20000; });
  draw();
  EXPECT_EQ(litAnywhere(), 0);
}

TEST_F(OscilloscopeTest, TheLastTracesStayUntilTheNextCapture) {
  reopen(1024);
  capture([](int32_t, int side) -> int16_t { return side ? -8192 : 8192; });
  draw();
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 100, kTop + 72 - 16), kColourScopeLeft);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 100, kTop + 104 + 16), kColourScopeRight);

  // Nothing captured since (the request is pending): the same picture, whatever the buffer holds.
  std::fill(engine()->scopeBuffer, engine()->scopeBuffer + 2048, int16_t{0});
  draw();
  EXPECT_EQ(engine()->scopeRequest, 1);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 100, kTop + 72 - 16), kColourScopeLeft);
  EXPECT_EQ(litAnywhere(), 2 * 312);

  // A new capture starts from a black panel.
  capture([](int32_t, int) -> int16_t { return 0; });
  draw();
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 100, kTop + 72 - 16), 0);
  EXPECT_EQ(testing::PixelAt(state.frameBitmap, 100, kTop + 72), kColourScopeLeft);
}

}  // namespace
}  // namespace tvp
