#include "platform/display_window.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/virtual_keys.h"
#include "soundtrack/status.h"

namespace tvp {

uint32_t CloseKeyBit(uint32_t virtualKey) {
  if (virtualKey == kVkEscape) return kCloseKeyEscape;
  if (virtualKey >= kVkF1 && virtualKey <= kVkF12) return kCloseKeyF1 << (virtualKey - kVkF1);
  return 0;
}

void OffsetView(SurfaceView* view, int32_t dx, int32_t dy) {
  if (!view) return;
  view->xOffset += dx;
  view->yOffset += dy;
  bool inside = view->base && view->xOffset >= 0 && view->yOffset >= 0 && view->xOffset < view->width &&
                view->yOffset < view->height;
  view->current = inside ? view->base + static_cast<ptrdiff_t>(view->yOffset) * view->pitch + view->xOffset
                         : nullptr;
}

namespace {

// Writes the pixmap's rows at the view's origin, each row and each byte kScale times, keeping
// only what falls inside the surface.
template <int kScale>
void CopyRows(const Pixmap* pixmap, SurfaceView* view) {
  const int32_t rowBytes = pixmap->rowBytes;
  for (int32_t r = 0; r < pixmap->height * kScale; ++r) {
    const int32_t y = view->yOffset + r;
    if (y < 0) continue;
    if (y >= view->height) break;
    const uint8_t* src = pixmap->pixels + static_cast<ptrdiff_t>(r / kScale) * rowBytes;
    uint8_t* dst = view->base + static_cast<ptrdiff_t>(y) * view->pitch;
    const int32_t first = std::max(0, -view->xOffset);
    const int32_t last = std::min(rowBytes * kScale, view->width - view->xOffset);
    if (kScale == 1) {
      if (last > first) std::memcpy(dst + view->xOffset + first, src + first, static_cast<size_t>(last - first));
    } else {
      for (int32_t x = first; x < last; ++x) dst[view->xOffset + x] = src[x / kScale];
    }
  }
}

bool Copyable(const Pixmap* pixmap, const SurfaceView* view) {
  return pixmap && pixmap->pixels && view && view->base && pixmap->height > 0;
}

}  // namespace

void CopyPixmapToView(const Pixmap* pixmap, SurfaceView* view) {
  if (!Copyable(pixmap, view) || pixmap->rowBytes > view->pitch) return;
  CopyRows<1>(pixmap, view);
}

void CopyPixmapToViewDoubled(const Pixmap* pixmap, SurfaceView* view) {
  if (!Copyable(pixmap, view) || 2 * pixmap->rowBytes > view->pitch) return;
  CopyRows<2>(pixmap, view);
}

int32_t DisplayWindow::RegisterClass(bool) {
  state_ |= kRegistered;
  return kStatusOk;
}

int32_t DisplayWindow::Open(const char* title, int32_t width, int32_t height, int32_t depth, bool fullScreen) {
  if (state_ & kOpened) return kStatusOk;
  if (width <= 0 || height <= 0 || depth <= 0) return kStatusBadParam;
  title_ = title ? title : "";
  width_ = width;
  height_ = height;
  depth_ = depth;
  fullScreen_ = fullScreen;
  RegisterClass(true);
  int32_t status = windowExists() ? kStatusOk : CreateWindow();
  if (status == kStatusOk && !(state_ & kReady)) {
    status = SetUpDisplay();
    if (status == kStatusOk) {
      surface_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
      primary_.assign(surface_.size(), 0);
      state_ |= kReady;
    } else {
      ReleaseDisplay();  // whatever the failed set-up made, so that the next try starts clean
    }
  }
  if (status != kStatusOk) {
    Close();
    return status;
  }
  state_ |= kOpened;
  return kStatusOk;
}

void DisplayWindow::SetTitle(const std::string& title) {
  title_ = title;
  ApplyTitle();
}

void DisplayWindow::SetWindowSize(int32_t width, int32_t height) {
  const bool valid = width > 0 && height > 0;
  windowWidth_ = valid ? width : 0;
  windowHeight_ = valid ? height : 0;
}

void DisplayWindow::Close() {
  if (state_ & kReady) ReleaseDisplay();
  surface_.clear();
  primary_.clear();
  locked_ = false;
  state_ = 0;
}

int32_t DisplayWindow::Show() {
  int32_t status = ShowPrimary(waitVerticalBlank_);
  waitVerticalBlank_ = false;
  return status;
}

int32_t DisplayWindow::ClearSurfaces(uint8_t colour, const DisplayRect* rect) {
  if (!(state_ & kReady)) return kStatusDisplayNotReady;
  DisplayRect all{0, 0, width_, height_};
  DisplayRect r = rect ? *rect : all;
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, width_);
  r.bottom = std::min(r.bottom, height_);
  for (std::vector<uint8_t>* plane : {&primary_, &surface_}) {
    for (int32_t y = r.top; y < r.bottom && r.left < r.right; ++y) {
      std::memset(plane->data() + static_cast<size_t>(y) * width_ + r.left, colour,
                  static_cast<size_t>(r.right - r.left));
    }
  }
  return Show();
}

int32_t DisplayWindow::CopyToPrimary() {
  if (!(state_ & kReady)) return kStatusDisplayNotReady;
  primary_ = surface_;
  return Show();
}

int32_t DisplayWindow::CopyRectToPrimary(const DisplayRect& rect) {
  if (!(state_ & kReady)) return kStatusDisplayNotReady;
  if (rect.left < 0 || rect.top < 0 || rect.right > width_ || rect.bottom > height_ || rect.left >= rect.right ||
      rect.top >= rect.bottom) {
    return kStatusPlatformFailed;
  }
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    size_t at = static_cast<size_t>(y) * width_ + rect.left;
    std::memcpy(primary_.data() + at, surface_.data() + at, static_cast<size_t>(rect.right - rect.left));
  }
  return Show();
}

int32_t DisplayWindow::PresentFrame() { return CopyToPrimary(); }

int32_t DisplayWindow::WaitVerticalBlank() {
  if (!(state_ & kReady)) return kStatusDisplayNotReady;
  waitVerticalBlank_ = true;
  return kStatusOk;
}

int32_t DisplayWindow::LockSurface(SurfaceView* view) {
  if (!view) return kStatusBadParam;
  if (!(state_ & kReady) || locked_) return kStatusPlatformFailed;
  locked_ = true;
  *view = SurfaceView{surface_.data(), width_, width_, height_, surface_.data(), 0, 0, &surface_};
  return kStatusOk;
}

void DisplayWindow::UnlockSurface(SurfaceView* view) {
  if (!view || view->surface != &surface_) return;
  locked_ = false;
  view->base = nullptr;
  view->current = nullptr;
  view->surface = nullptr;
}

bool DisplayWindow::TakeEvent(WindowEvent* event) {
  if (quitPending_) {
    quitPending_ = false;
    *event = WindowEvent{WindowEventKind::kQuit, 0, {}};
    return true;
  }
  return NextEvent(event);
}

void DisplayWindow::DispatchEvent(const WindowEvent& event) {
  if (event.kind != WindowEventKind::kKeyDown || !(CloseKeyBit(event.key) & closeKeyMask)) return;
  HideWindow();
  quitPending_ = true;
}

}  // namespace tvp
