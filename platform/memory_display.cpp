#include "platform/memory_display.h"

#include <algorithm>

#include "soundtrack/status.h"

namespace tvp {

int32_t MemoryDisplay::CreateWindow() {
  if (refuseWindow) return kStatusPlatformFailed;
  ++windowsCreated;
  windowVisible = true;
  return kStatusOk;
}

int32_t MemoryDisplay::SetUpDisplay() {
  if (!fullScreen() || fullScreenSizes.empty()) return kStatusOk;
  bool listed = std::find(fullScreenSizes.begin(), fullScreenSizes.end(), std::make_pair(width(), height())) !=
                fullScreenSizes.end();
  return listed ? kStatusOk : kStatusNoDisplayMode;
}

int32_t MemoryDisplay::ShowPrimary(bool waitVerticalBlank) {
  ++presents;
  if (waitVerticalBlank) ++vsyncPresents;
  return kStatusOk;
}

bool MemoryDisplay::UsableDesktopArea(int32_t* width, int32_t* height) {
  if (usableWidth <= 0 || usableHeight <= 0) return false;
  *width = usableWidth;
  *height = usableHeight;
  return true;
}

bool MemoryDisplay::NextEvent(WindowEvent* event) {
  if (events_.empty()) return false;
  *event = events_.front();
  events_.pop_front();
  return true;
}

}  // namespace tvp
