#include "app/player_state.h"

#include <cstring>

namespace tvp {

namespace {

constexpr int32_t kNoticeGlyphWidth = 6;
constexpr int32_t kNoticeMargin = 80;  // pixels outside the frame at either end of the run

}  // namespace

EngineResult SendEngineCommand(PlayerState& state, uint32_t code, intptr_t p0, intptr_t p1, intptr_t p2,
                               intptr_t p3) {
  ParamBlock params{{p0, p1, p2, p3}};
  return engineCommand(state.engineHandle(), code, &params);
}

void ShowNotice(PlayerState& state, const char* text) {
  int32_t length = 0;
  while (text != nullptr && length < kNoticeCapacity - 1 && text[length] != '\0') ++length;
  if (length > 0) std::memmove(state.noticeText, text, static_cast<size_t>(length));
  state.noticeText[length] = '\0';
  state.noticeX = FRAME_WIDTH + kNoticeMargin;
  state.noticeEndX = -kNoticeGlyphWidth * length - kNoticeMargin;
}

void ShowPopup(PlayerState& state, Pixmap* picture) {
  if (!state.currentPopup) {
    state.currentPopup = picture;
    state.popupRequest = kPopupSlideIn;
  } else {
    state.pendingPopup = picture;
    state.popupRequest = kPopupSlideOut;
  }
}

void ClosePopup(PlayerState& state) {
  if (!state.currentPopup) return;
  state.popupRequest = kPopupSlideOut;
  state.pendingPopup = nullptr;
}

}  // namespace tvp
