// The display window's rules on the in-memory display: opening and its failures, the close keys,
// presenting, and copying a frame into the locked surface.
#include <gtest/gtest.h>

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
  OffsetView(&view, x, y);
  doubled ? CopyPixmapToViewDoubled(&frame, &view) : CopyPixmapToView(&frame, &view);
  display.UnlockSurface(&view);
  EXPECT_EQ(view.base, nullptr);
  ASSERT_EQ(display.PresentFrame(), kStatusOk);
}

TEST(DisplayOpen, RefusesBadSizesAndKeepsTheWindowForTheNextTry) {
  MemoryDisplay display;
  EXPECT_EQ(display.Open("T", 0, 240, 8, false), kStatusBadParam);
  EXPECT_EQ(display.Open("T", 320, 240, 0, false), kStatusBadParam);
  display.fullScreenSizes = {{640, 480}};
  EXPECT_EQ(display.Open("T", 312, 240, 8, true), kStatusNoDisplayMode);
  EXPECT_FALSE(display.isOpen());
  EXPECT_EQ(display.PresentFrame(), kStatusDisplayNotReady);
  EXPECT_EQ(display.Open("T", 640, 480, 8, true), kStatusOk);
  EXPECT_EQ(display.windowsCreated, 1);
  EXPECT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);  // already open: unchanged
  EXPECT_EQ(display.width(), 640);
  EXPECT_TRUE(display.fullScreen());
}

TEST(DisplayOpen, EverySurfaceOperationWaitsForOpen) {
  MemoryDisplay display;
  SurfaceView view{};
  EXPECT_EQ(display.ClearSurfaces(0, nullptr), kStatusDisplayNotReady);
  EXPECT_EQ(display.CopyToPrimary(), kStatusDisplayNotReady);
  EXPECT_EQ(display.CopyRectToPrimary({0, 0, 1, 1}), kStatusDisplayNotReady);
  EXPECT_EQ(display.WaitVerticalBlank(), kStatusDisplayNotReady);
  EXPECT_EQ(display.LockSurface(&view), kStatusPlatformFailed);
  EXPECT_EQ(display.LockSurface(nullptr), kStatusBadParam);
  display.refuseWindow = true;
  EXPECT_EQ(display.Open("T", 320, 240, 8, false), kStatusPlatformFailed);
}

// The main loop's message step: take one event, run nothing, let the window handle it.
bool PumpOnce(DisplayWindow& display, WindowEvent* event) {
  if (!display.TakeEvent(event)) return false;
  display.DispatchEvent(*event);
  return true;
}

TEST(DisplayCloseKeys, AKeyInTheMaskClosesTheWindowAndAQuitFollows) {
  struct Case {
    uint32_t mask;
    uint32_t key;
    bool closes;
  };
  const Case cases[] = {
      {kCloseKeyEscape, kVkEscape, true},   {kCloseKeyEscape, kVkF12, false},
      {kCloseKeyEscape | kCloseKeyF12, kVkF12, true}, {kCloseKeyEscape | kCloseKeyF12, kVkF1, false},
      {0, kVkEscape, false},                {kCloseKeyF1, kVkF1, true},
      {0xFFFFFFFF, kVkSpace, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mask " << c.mask << " key " << c.key);
    MemoryDisplay display;
    ASSERT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);
    display.closeKeyMask = c.mask;
    display.PushKey(c.key);
    WindowEvent event{};
    ASSERT_TRUE(PumpOnce(display, &event));
    EXPECT_EQ(event.kind, WindowEventKind::kKeyDown);  // the key reaches the application first
    EXPECT_EQ(event.key, c.key);
    const bool more = PumpOnce(display, &event);
    EXPECT_EQ(more && event.kind == WindowEventKind::kQuit, c.closes);
    EXPECT_EQ(display.windowVisible, !c.closes);
  }
}

TEST(DisplayPresent, ARectangleCopiesOnlyItselfAndMustLieInsideTheSurface) {
  MemoryDisplay display;
  ASSERT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);
  TestFrame frame(312, 240);
  SurfaceView view{};
  ASSERT_EQ(display.LockSurface(&view), kStatusOk);
  EXPECT_EQ(display.LockSurface(&view), kStatusPlatformFailed);  // one lock at a time
  OffsetView(&view, 4, 0);
  CopyPixmapToView(&frame.pixmap, &view);
  display.UnlockSurface(&view);
  EXPECT_EQ(display.CopyRectToPrimary({4, 0, 316, 241}), kStatusPlatformFailed);
  ASSERT_EQ(display.CopyRectToPrimary({10, 20, 30, 40}), kStatusOk);
  const std::vector<uint8_t>& shown = display.primary();
  EXPECT_EQ(shown[20 * 320 + 10], TestFrame::Colour(6, 20));
  EXPECT_EQ(shown[39 * 320 + 29], TestFrame::Colour(25, 39));
  EXPECT_EQ(shown[19 * 320 + 10], 0);  // outside the rectangle
  EXPECT_EQ(shown[20 * 320 + 30], 0);
}

TEST(DisplayPresent, OnlyThePresentationAfterAVerticalBlankWaitFollowsTheRefresh) {
  MemoryDisplay display;
  ASSERT_EQ(display.Open("T", 320, 240, 8, false), kStatusOk);
  const int32_t before = display.presents;
  ASSERT_EQ(display.WaitVerticalBlank(), kStatusOk);
  display.PresentFrame();
  display.PresentFrame();
  EXPECT_EQ(display.presents - before, 2);
  EXPECT_EQ(display.vsyncPresents, 1);
}

TEST(SurfaceCopy, ADoubledFrameNeedsAPitchOfTwiceItsRow) {
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
}

TEST(SurfaceCopy, AFrameLargerThanTheDisplayIsCutToIt) {
  // 320 x 200 centres the 312 x 240 frame at (4, -20): its rows 20..219 show, nothing is written
  // outside the surface (the sanitizer build checks).
  TestFrame frame(312, 240);
  MemoryDisplay display;
  ASSERT_EQ(display.Open("T", 320, 200, 8, false), kStatusOk);
  ShowFrame(display, frame.pixmap, 4, -20, false);
  EXPECT_EQ(display.primary()[0 * 320 + 4], TestFrame::Colour(0, 20));
  EXPECT_EQ(display.primary()[199 * 320 + 315], TestFrame::Colour(311, 219));
  EXPECT_EQ(display.primary()[199 * 320 + 316], 0);

  MemoryDisplay low;  // the origin above and left of the surface
  ASSERT_EQ(low.Open("T", 320, 100, 8, false), kStatusOk);
  ShowFrame(low, frame.pixmap, -6, -95, false);
  EXPECT_EQ(low.primary()[0], TestFrame::Colour(6, 95));
  EXPECT_EQ(low.primary()[99 * 320 + 305], TestFrame::Colour(311, 194));
  EXPECT_EQ(low.primary()[99 * 320 + 306], 0);
}

TEST(DisplayClear, ClearsBothSurfacesOrARectangleOfThem) {
  MemoryDisplay display;
  ASSERT_EQ(display.Open("T", 16, 8, 8, false), kStatusOk);
  DisplayRect rect{2, 2, 40, 4};  // clipped to the surface
  ASSERT_EQ(display.ClearSurfaces(7, &rect), kStatusOk);
  EXPECT_EQ(display.primary()[2 * 16 + 2], 7);
  EXPECT_EQ(display.primary()[3 * 16 + 15], 7);
  EXPECT_EQ(display.primary()[4 * 16 + 2], 0);
  display.PresentFrame();  // the drawing surface was filled too
  EXPECT_EQ(display.primary()[3 * 16 + 15], 7);
}

}  // namespace
}  // namespace tvp
