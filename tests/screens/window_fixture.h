#pragma once
// A screen fixture for the pop-up windows: shows a window's picture on the frame for the text
// checks, plays the main loop's part in the slides and in the key dispatch.
#include "app/module_playback.h"
#include "platform/virtual_keys.h"
#include "screens/popup_windows.h"
#include "tests/support/screen_fixture.h"

namespace tvp::testing {

class WindowFixture : public ScreenFixture {
 protected:
  WindowFixture() { SendEngineSettings(state); }
  ~WindowFixture() override {
    ReleaseModule(state);
    DisposePopupWindows(state);
  }

  // The frame shows the picture at (0, 0) over black.
  void Present(const Pixmap* picture) {
    ASSERT_NE(picture, nullptr);
    PixmapFillPixels(state.frameBitmap, 0);
    PixmapCopyBitsClipped(picture, state.frameBitmap, 0, 0, picture->width, picture->height);
  }
  // Some pixel of the frame's region differs from `background`.
  bool AnyInk(int x, int y, int w, int h, uint8_t background) {
    for (int py = y; py < y + h; ++py)
      for (int px = x; px < x + w; ++px)
        if (PixelAt(state.frameBitmap, px, py) != background) return true;
    return false;
  }

  // The frame shows the glyph's ink at (x, y) in `colour` (what lies around the ink is not compared,
  // as neighbouring glyphs' shadows reach into the cell).
  ::testing::AssertionResult ShowsGlyphInk(int x, int y, uint8_t code, uint8_t colour) {
    PixmapFillPixels(expected, 0);
    font.DrawGlyphInColour(code, expected, static_cast<int16_t>(x), static_cast<int16_t>(y), colour);
    for (int py = y; py < y + 8; ++py)
      for (int px = x; px < x + 6; ++px)
        if (PixelAt(expected, px, py) == colour && PixelAt(state.frameBitmap, px, py) != colour)
          return ::testing::AssertionFailure() << "glyph " << int(code) << " lacks ink at (" << px << "," << py
                                               << "); actual frame in " << KeepActualPicture(state.frameBitmap);
    return ::testing::AssertionSuccess();
  }

  // What the main loop does once a slide has ended.
  void FinishSlides() {
    if (state.popupRequest == kPopupSlideOut) {
      state.currentPopup = state.pendingPopup;
      state.pendingPopup = nullptr;
    }
    state.popupRequest = kPopupNoRequest;
  }
  // The main loop's dispatch of a key-down up to its own command table: true when a window took it.
  bool WindowKey(int32_t key) {
    if (key == kVkEscape) ClosePopup(state);
    return OpenFileWindowKey(state, key) || VariablesWindowKey(state, key);
  }
};

}  // namespace tvp::testing
