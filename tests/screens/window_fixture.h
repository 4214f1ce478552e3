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


  // What the main loop does once a slide has ended.
  void FinishSlides() {
    if (state.popupRequest == kPopupSlideOut) {
      state.currentPopup = state.pendingPopup;
      state.pendingPopup = nullptr;
    }
    state.popupRequest = kPopupNoRequest;
  }
};

}  // namespace tvp::testing
