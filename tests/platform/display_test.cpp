// The display window's rules on the in-memory display: the close keys, one lock at a time,
// presenting a rectangle, and copying a frame into the locked surface, plain and doubled.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/memory_display.h"
#include "platform/virtual_keys.h"
#include "soundtrack/status.h"

namespace tvp {
namespace {

// A pixmap whose pixels tell their place; planes allocated here.
struct TestFrame {
  TestFrame(int32_t width, int32_t height)
      : pixels(static_cast<size_t>(width * height)), mask(pixels.size(), 255),
        pixmap{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<int16_t>(width),
               static_cast<int16_t>(height), pixels.data(), mask.data()} {
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y * width + x)] = Colour(x, y);
    }
  }
  static uint8_t Colour(int32_t x, int32_t y) { return static_cast<uint8_t>(1 + (x * 5 + y * 11) % 250); }
  std::vector<uint8_t> pixels, mask;
  Pixmap pixmap;
};

// Locks, copies the frame at (x, y), unlocks and presents the whole surface.
void ShowFrame(DisplayWindow& display, const Pixmap& frame, int32_t x, int32_t y, bool doubled) {
  SurfaceView view{};
  ASSERT_EQ(display.LockSurface(&view), kStatusOk);
  EXPECT_EQ(display.LockSurface(&view), kStatusPlatformFailed);  // one lock at a time
  OffsetView(&view, x, y);
  doubled ? CopyPixmapToViewDoubled(&frame, &view) : CopyPixmapToView(&frame, &view);
  display.UnlockSurface(&view);
  ASSERT_EQ(display.PresentFrame(), kStatusOk);
}

TEST(DisplayCloseKeys, AKeyInTheMaskClosesTheWindowAndAQuitFollows) {
  struct Case {
    uint32_t mask, key;
    bool closes;
  };
  for (const Case& c : {Case{kCloseKeyEscape, kVkEscape, true}, Case{kCloseKeyEscape, kVkF12, false},
                        Case{kCloseKeyEscape | kCloseKeyF12, kVkF12, true}, Case{0xFFFFFFFF, kVkSpace, false}}) {
    SCOPED_TRACE(::testing::Message() << "mask " << c.mask << " key " << c.key);
    MemoryDisplay display;
    ASSERT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);
    display.closeKeyMask = c.mask;
    display.PushKey(c.key);
    WindowEvent event{};
    ASSERT_TRUE(display.TakeEvent(&event));
    EXPECT_EQ(event.key, c.key);  // the key reaches the application first
    display.DispatchEvent(event);
    EXPECT_EQ(display.TakeEvent(&event) && event.kind == WindowEventKind::kQuit, c.closes);
  }
}

TEST(DisplayPresent, ARectangleCopiesOnlyItselfAndMustLieInsideTheSurface) {
  MemoryDisplay display;
  ASSERT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);
  TestFrame frame(312, 240);
  SurfaceView view{};
  ASSERT_EQ(display.LockSurface(&view), kStatusOk);
  OffsetView(&view, 4, 0);
  CopyPixmapToView(&frame.pixmap, &view);
  display.UnlockSurface(&view);
  EXPECT_EQ(display.CopyRectToPrimary({4, 0, 321, 240}), kStatusPlatformFailed);
  ASSERT_EQ(display.CopyRectToPrimary({10, 20, 30, 40}), kStatusOk);
  const std::vector<uint8_t>& shown = display.primary();
  EXPECT_EQ(shown[20 * 320 + 10], TestFrame::Colour(6, 20));
  EXPECT_EQ(shown[39 * 320 + 29], TestFrame::Colour(25, 39));
  EXPECT_EQ(shown[19 * 320 + 10], 0);  // outside the rectangle
  EXPECT_EQ(shown[20 * 320 + 30], 0);
}

TEST(SurfaceCopy, ADoubledFrameNeedsAPitchOfTwiceItsRowAndAFrameLargerThanTheSurfaceIsCut) {
  TestFrame frame(312, 240);
  MemoryDisplay narrow;
  ASSERT_EQ(narrow.Open("T", 623, 480, 8, false), kStatusOk);
  ShowFrame(narrow, frame.pixmap, 0, 0, true);
  EXPECT_EQ(std::count(narrow.primary().begin(), narrow.primary().end(), 0), 623 * 480);

  MemoryDisplay wide;
  ASSERT_EQ(wide.Open("T", 640, 480, 8, false), kStatusOk);
  ShowFrame(wide, frame.pixmap, 8, 0, true);
  int32_t wrong = 0;
  for (int32_t y = 0; y < 480; ++y) {
    for (int32_t x = 0; x < 640; ++x) {
      uint8_t expected = x < 8 || x >= 8 + 624 ? 0 : TestFrame::Colour((x - 8) / 2, y / 2);
      wrong += wide.primary()[static_cast<size_t>(y * 640 + x)] != expected;
    }
  }
  EXPECT_EQ(wrong, 0);

  // A frame placed past the surface's right and top edges: nothing is written outside it, and
  // each row's cut-off tail stays out of the next row's left border.
  MemoryDisplay small;
  ASSERT_EQ(small.Open("T", 320, 200, 8, false), kStatusOk);
  ShowFrame(small, frame.pixmap, 12, -20, false);
  EXPECT_EQ(small.primary()[12], TestFrame::Colour(0, 20));
  EXPECT_EQ(small.primary()[199 * 320 + 319], TestFrame::Colour(307, 219));
  EXPECT_EQ(small.primary()[100 * 320], 0);
}

}  // namespace
}  // namespace tvp
