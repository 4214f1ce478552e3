#pragma once
// A display in memory: no window system. Key and quit events are scripted by the owner, each
// presentation is counted and the primary surface (primary()) holds the last picture shown.
// Headless runs (snapshots) and tests use it.
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/display_window.h"

namespace tvp {

class MemoryDisplay : public DisplayWindow {
 public:
  void PushKey(uint32_t virtualKey) { events_.push_back({WindowEventKind::kKeyDown, virtualKey, {}}); }
  void PushQuit() { events_.push_back({WindowEventKind::kQuit, 0, {}}); }
  void PushDrop(std::vector<std::string> paths) { events_.push_back({WindowEventKind::kDrop, 0, std::move(paths)}); }
  bool UsableDesktopArea(int32_t* width, int32_t* height) override;

  // The desktop's usable area; 0 x 0: the "window system" cannot say.
  int32_t usableWidth = 0, usableHeight = 0;
  void ShowCursor(bool visible) override { cursorVisible = visible; }
  void Raise() override { ++raises; }

  // Full-screen sizes this "monitor" can show; empty: any size.
  std::vector<std::pair<int32_t, int32_t>> fullScreenSizes;
  bool refuseWindow = false;  // CreateWindow fails

  int32_t windowsCreated = 0;
  int32_t presents = 0;
  int32_t vsyncPresents = 0;  // presentations that waited for the vertical blank
  bool windowVisible = false;
  bool cursorVisible = true;
  int32_t raises = 0;

 protected:
  bool windowExists() const override { return windowsCreated > 0; }
  int32_t CreateWindow() override;
  int32_t SetUpDisplay() override;
  void ReleaseDisplay() override {}
  int32_t ShowPrimary(bool waitVerticalBlank) override;
  bool NextEvent(WindowEvent* event) override;
  void HideWindow() override { windowVisible = false; }
  void ApplyTitle() override {}

 private:
  std::deque<WindowEvent> events_;
};

}  // namespace tvp
