#include "platform/sdl_display.h"

#include <SDL.h>

#include <cstddef>
#include <string>
#include <utility>

#include "platform/virtual_keys.h"
#include "screen/palette.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

// Without vertical sync a presentation waits for the display's next refresh, counted from the
// previous presentation; this is the refresh rate taken when the display does not say.
constexpr int kFallbackRefreshHz = 60;

}  // namespace

struct SdlDisplay::Sdl {
  bool videoStarted = false;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int vsync = -1;  // the renderer's setting, -1 unknown
  uint64_t lastPresent = 0;  // performance counter
  int refreshHz = 0;         // of the window's display, read at set-up
  // The primary as the window last showed it; an unchanged frame is not drawn again until a
  // window event (exposed, resized, shown...) may have spoilt the picture.
  std::vector<uint8_t> shown;
  bool redraw = true;
  // Files of a drop that is still arriving, delivered as one event when it is complete.
  std::vector<std::string> dropped;
  bool dropping = false;
};

uint32_t VirtualKeyFromSdlKeycode(int32_t keycode) {
  if (keycode >= SDLK_0 && keycode <= SDLK_9) return kVk0 + static_cast<uint32_t>(keycode - SDLK_0);
  if (keycode >= SDLK_a && keycode <= SDLK_z) return kVkA + static_cast<uint32_t>(keycode - SDLK_a);
  if (keycode >= SDLK_F1 && keycode <= SDLK_F12) return kVkF1 + static_cast<uint32_t>(keycode - SDLK_F1);
  switch (keycode) {
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_COMMA: return kVkComma;
    case SDLK_PERIOD: return kVkPeriod;
    case SDLK_LEFTBRACKET: return kVkLeftBracket;
    case SDLK_RIGHTBRACKET: return kVkRightBracket;
    case SDLK_PAGEUP: return kVkPrior;
    case SDLK_PAGEDOWN: return kVkNext;
    case SDLK_END: return kVkEnd;
    case SDLK_HOME: return kVkHome;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    default: return 0;
  }
}

SdlDisplay::SdlDisplay() : sdl_(std::make_unique<Sdl>()) {}

SdlDisplay::~SdlDisplay() {
  Close();
  if (sdl_->window) SDL_DestroyWindow(sdl_->window);
  if (sdl_->videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void SdlDisplay::ShowCursor(bool visible) {
  if (sdl_->videoStarted) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void SdlDisplay::Raise() {
  if (!sdl_->window) return;
  if (SDL_GetWindowFlags(sdl_->window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(sdl_->window);
  SDL_RaiseWindow(sdl_->window);
}

bool SdlDisplay::windowExists() const { return sdl_->window != nullptr; }

int32_t SdlDisplay::CreateWindow() {
  if (!sdl_->videoStarted) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return kStatusPlatformFailed;
    sdl_->videoStarted = true;
  }
  // Made hidden, a window at its own size so that it is centred as it will be shown (X11 tells
  // SDL of a later size only with the server's reply, too late to centre it); SetUpDisplay gives
  // it full screen or a later size and shows it.
  const uint32_t flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
  if (!fullScreen())
    sdl_->window = SDL_CreateWindow(title().c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, windowWidth(),
                                    windowHeight(), flags);
  if (!sdl_->window)
    sdl_->window = SDL_CreateWindow(title().c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 320, 240, flags);
  if (!sdl_->window) return kStatusPlatformFailed;
  SDL_StopTextInput();  // key-downs only; no text or input-method events
  return kStatusOk;
}

int32_t SdlDisplay::SetUpDisplay() {
  SDL_Window* window = sdl_->window;
  if (fullScreen()) {
    // The monitor keeps its mode; the picture must fit it at least once.
    SDL_DisplayMode desktop{};
    int index = SDL_GetWindowDisplayIndex(window);
    if (index < 0 || SDL_GetDesktopDisplayMode(index, &desktop) != 0) return kStatusPlatformFailed;
    if (width() > desktop.w || height() > desktop.h) return kStatusNoDisplayMode;
    if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return kStatusPlatformFailed;
  } else {
    SDL_SetWindowFullscreen(window, 0);
    SDL_SetWindowSize(window, windowWidth(), windowHeight());
  }
  SDL_DisplayMode mode{};
  int displayIndex = SDL_GetWindowDisplayIndex(window);
  sdl_->refreshHz = displayIndex >= 0 && SDL_GetCurrentDisplayMode(displayIndex, &mode) == 0 ? mode.refresh_rate : 0;
  if (sdl_->refreshHz <= 0) sdl_->refreshHz = kFallbackRefreshHz;
  SDL_SetWindowTitle(window, title().c_str());
  SDL_ShowWindow(window);

  sdl_->redraw = true;
  sdl_->renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (!sdl_->renderer) sdl_->renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  if (!sdl_->renderer) return kStatusPlatformFailed;
  sdl_->vsync = -1;
  SDL_RenderSetLogicalSize(sdl_->renderer, width(), height());
  SDL_RenderSetIntegerScale(sdl_->renderer, SDL_TRUE);
  sdl_->texture = SDL_CreateTexture(sdl_->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width(),
                                    height());
  return sdl_->texture ? kStatusOk : kStatusPlatformFailed;
}

void SdlDisplay::ReleaseDisplay() {
  if (sdl_->texture) SDL_DestroyTexture(sdl_->texture);
  if (sdl_->renderer) SDL_DestroyRenderer(sdl_->renderer);
  sdl_->texture = nullptr;
  sdl_->renderer = nullptr;
  if (sdl_->window && fullScreen()) SDL_SetWindowFullscreen(sdl_->window, 0);
}

namespace {

// The primary's palette indices into the texture, drawn over a black background.
int32_t DrawPrimary(SDL_Renderer* renderer, SDL_Texture* texture, const std::vector<uint8_t>& primary, int32_t width,
                    int32_t height) {
  void* memory = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture, nullptr, &memory, &pitch) != 0) return kStatusPlatformFailed;
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) + static_cast<ptrdiff_t>(y) * pitch);
    const uint8_t* source = primary.data() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) row[x] = 0xFF000000u | kPalette[source[x]];
  }
  SDL_UnlockTexture(texture);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  return SDL_RenderCopy(renderer, texture, nullptr, nullptr) == 0 ? kStatusOk : kStatusPlatformFailed;
}

}  // namespace

int32_t SdlDisplay::ShowPrimary(bool waitVerticalBlank) {
  if (!sdl_->renderer) return kStatusPlatformFailed;
  int vsync = waitVerticalBlank ? 1 : 0;
  if (vsync != sdl_->vsync) {
    SDL_RenderSetVSync(sdl_->renderer, vsync);  // a renderer that cannot sync presents at once
    sdl_->vsync = vsync;
  }
  const bool changed = sdl_->redraw || sdl_->shown != primary();
  if (changed) {
    int32_t status = DrawPrimary(sdl_->renderer, sdl_->texture, primary(), width(), height());
    if (status != kStatusOk) return status;
  }
  // Paced by hand unless a synced present does it; a frame left out waits its period too.
  if (!waitVerticalBlank || !changed) {
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    uint64_t periodMicros = 1000000 / static_cast<uint64_t>(sdl_->refreshHz > 0 ? sdl_->refreshHz : kFallbackRefreshHz);
    if (longestPresentWait() > 0) periodMicros = std::min<uint64_t>(periodMicros, longestPresentWait());
    const uint64_t period = frequency * periodMicros / 1000000;
    const uint64_t elapsed = SDL_GetPerformanceCounter() - sdl_->lastPresent;
    if (elapsed < period) SDL_Delay(static_cast<Uint32>(((period - elapsed) * 1000 + frequency - 1) / frequency));
  }
  if (changed) {
    SDL_RenderPresent(sdl_->renderer);
    sdl_->shown = primary();
    sdl_->redraw = false;
  }
  sdl_->lastPresent = SDL_GetPerformanceCounter();
  return kStatusOk;
}

int32_t SdlDisplay::ReadBack(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height) {
  if (!sdl_->renderer || !pixels) return kStatusPlatformFailed;
  if (DrawPrimary(sdl_->renderer, sdl_->texture, primary(), this->width(), this->height()) != kStatusOk) {
    return kStatusPlatformFailed;
  }
  // The picture's area in output pixels: the logical size at the renderer's scale. The read
  // lands in a buffer as large as the whole output, so no scale can make it overflow.
  int outputWidth = 0, outputHeight = 0;
  if (SDL_GetRendererOutputSize(sdl_->renderer, &outputWidth, &outputHeight) != 0) return kStatusPlatformFailed;
  float scaleX = 1, scaleY = 1;
  SDL_RenderGetScale(sdl_->renderer, &scaleX, &scaleY);
  *width = std::min(outputWidth, static_cast<int>(this->width() * scaleX));
  *height = std::min(outputHeight, static_cast<int>(this->height() * scaleY));
  std::vector<uint32_t> output(static_cast<size_t>(outputWidth) * static_cast<size_t>(outputHeight));
  if (SDL_RenderReadPixels(sdl_->renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, output.data(), outputWidth * 4) != 0) {
    return kStatusPlatformFailed;
  }
  pixels->clear();
  for (int32_t y = 0; y < *height; ++y) {
    auto row = output.begin() + static_cast<ptrdiff_t>(y) * outputWidth;
    pixels->insert(pixels->end(), row, row + *width);
  }
  for (uint32_t& p : *pixels) p &= 0x00FFFFFFu;
  return kStatusOk;
}

bool SdlDisplay::NextEvent(WindowEvent* event) {
  if (!sdl_->videoStarted) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (e.type == SDL_QUIT) {
      *event = WindowEvent{WindowEventKind::kQuit, 0, {}};
      return true;
    }
    if (e.type == SDL_DROPBEGIN) {
      sdl_->dropped.clear();
      sdl_->dropping = true;
      continue;
    }
    if (e.type == SDL_DROPFILE) {
      if (e.drop.file) sdl_->dropped.emplace_back(e.drop.file);
      SDL_free(e.drop.file);
      if (sdl_->dropping) continue;  // more may follow until the drop is complete
    }
    if (e.type == SDL_DROPFILE || e.type == SDL_DROPCOMPLETE) {
      sdl_->dropping = false;
      if (sdl_->dropped.empty()) continue;
      *event = WindowEvent{WindowEventKind::kDrop, 0, std::move(sdl_->dropped)};
      sdl_->dropped.clear();
      return true;
    }
    if (e.type == SDL_WINDOWEVENT || e.type == SDL_RENDER_TARGETS_RESET || e.type == SDL_RENDER_DEVICE_RESET)
      sdl_->redraw = true;
    if (e.type == SDL_DROPTEXT) SDL_free(e.drop.file);
    if (e.type != SDL_KEYDOWN) continue;
    if (e.key.keysym.mod & KMOD_ALT) {
      // Alt combinations are the desktop's, not key commands; Alt+F4 closes the window where the
      // desktop leaves it to the program.
      if (e.key.keysym.sym == SDLK_F4) {
        HideWindow();
        *event = WindowEvent{WindowEventKind::kQuit, 0, {}};
        return true;
      }
      continue;
    }
    uint32_t key = VirtualKeyFromSdlKeycode(e.key.keysym.sym);
    if (key != 0) {
      *event = WindowEvent{WindowEventKind::kKeyDown, key, {}};
      return true;
    }
  }
  return false;
}

void SdlDisplay::ApplyTitle() {
  if (sdl_->window) SDL_SetWindowTitle(sdl_->window, title().c_str());
}

bool SdlDisplay::UsableDesktopArea(int32_t* width, int32_t* height) {
  if (!sdl_->videoStarted) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    sdl_->videoStarted = true;
  }
  SDL_Rect area{};
  int index = sdl_->window ? SDL_GetWindowDisplayIndex(sdl_->window) : 0;
  if (SDL_GetDisplayUsableBounds(index < 0 ? 0 : index, &area) != 0 || area.w <= 0 || area.h <= 0) return false;
  *width = area.w;
  *height = area.h;
  return true;
}

void SdlDisplay::HideWindow() {
  if (sdl_->window) SDL_HideWindow(sdl_->window);
}

}  // namespace tvp
