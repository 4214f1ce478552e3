#pragma once
// The display on the screen through SDL: a resizable window of the opened size, or the desktop's
// full screen with the opened size as the logical size. Presenting expands the 8-bit primary
// surface through the fixed palette into a streaming texture, scaled by whole multiples with black
// borders. SDL_VIDEODRIVER=offscreen or dummy runs it without a screen.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/display_window.h"

namespace tvp {

class SdlDisplay : public DisplayWindow {
 public:
  SdlDisplay();
  ~SdlDisplay() override;

  void ShowCursor(bool visible) override;
  void Raise() override;
  bool UsableDesktopArea(int32_t* width, int32_t* height) override;

  // Draws the primary surface through the renderer again and reads the result back: *width x
  // *height 0x00RRGGBB values (the picture at its on-screen scale). 0 or kStatusPlatformFailed.
  int32_t ReadBack(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height);

 protected:
  bool windowExists() const override;
  int32_t CreateWindow() override;
  int32_t SetUpDisplay() override;
  void ReleaseDisplay() override;
  int32_t ShowPrimary(bool waitVerticalBlank) override;
  bool NextEvent(WindowEvent* event) override;
  void HideWindow() override;
  void ApplyTitle() override;

 private:
  struct Sdl;  // the SDL objects, kept out of this header
  std::unique_ptr<Sdl> sdl_;
};

// The virtual-key code of an SDL key code (SDL_Keycode value), 0 for keys the player has no use
// for. The one table from SDL keys to the player's key codes.
uint32_t VirtualKeyFromSdlKeycode(int32_t keycode);

}  // namespace tvp
