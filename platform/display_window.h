#pragma once
// The display: one window showing a picture of 8-bit palette indices (screen/palette.h), in a
// window on the desktop or full screen. The application draws each frame into a Pixmap, locks the
// drawing surface through a SurfaceView, copies the frame in (1:1 or doubled), unlocks, and
// presents: it copies the surface, or a rectangle of it, to the primary surface, which is what
// the window shows. The window also delivers key-down and quit events and closes itself for the
// keys in closeKeyMask.
//
// DisplayWindow holds everything but the window system; platform/sdl_display.h shows it on the
// screen through SDL, platform/memory_display.h keeps it in memory with scripted events.
// Everything here runs on the main thread.
#include <cstdint>
#include <string>
#include <vector>

#include "screen/pixmap.h"

namespace tvp {

// closeKeyMask: bits 0..11 stand for F1..F12, bit 12 for Escape.
inline constexpr uint32_t kCloseKeyF1 = 0x0001;
inline constexpr uint32_t kCloseKeyF12 = 0x0800;
inline constexpr uint32_t kCloseKeyEscape = 0x1000;

// The closeKeyMask bit of a virtual-key code, 0 for keys that never close the window.
uint32_t CloseKeyBit(uint32_t virtualKey);

struct DisplayRect {
  int32_t left, top, right, bottom;  // right and bottom excluded
};

// A locked drawing surface. The origin (xOffset, yOffset) may lie outside the surface, for a
// frame larger than the display: the copies below write only what falls inside.
struct SurfaceView {
  uint8_t* base;     // surface memory, null when not locked
  int32_t pitch;     // bytes from one surface row to the next
  int32_t width;     // surface size in pixels
  int32_t height;
  uint8_t* current;  // base + yOffset x pitch + xOffset; null when the origin lies outside
  int32_t xOffset;
  int32_t yOffset;
  const void* surface;  // the surface locked
};

// Moves the view's origin by (dx, dy).
void OffsetView(SurfaceView* view, int32_t dx, int32_t dy);
// Copies the pixmap's pixel plane, `height` rows of `rowBytes` bytes, to the view's origin, one
// surface row apart. Does nothing when rowBytes exceeds the pitch.
void CopyPixmapToView(const Pixmap* pixmap, SurfaceView* view);
// The same with every pixel a 2 x 2 block. Does nothing when 2 x rowBytes exceeds the pitch.
void CopyPixmapToViewDoubled(const Pixmap* pixmap, SurfaceView* view);

enum class WindowEventKind : int32_t {
  kKeyDown,  // key: the virtual-key code (platform/virtual_keys.h); key repeats are key-downs too
  kQuit,     // the window is gone: closed by its close button, the desktop or a close key
  kDrop,     // paths: files or folders dropped on the window together, in the order given
};
struct WindowEvent {
  WindowEventKind kind;
  uint32_t key;
  std::vector<std::string> paths;
};

class DisplayWindow {
 public:
  DisplayWindow() = default;
  virtual ~DisplayWindow() = default;
  DisplayWindow(const DisplayWindow&) = delete;
  DisplayWindow& operator=(const DisplayWindow&) = delete;

  // Marks the window class registered (the icon flag is kept for the window system). 0.
  int32_t RegisterClass(bool withIcon);

  // Opens the display: 0 (also when already open), kStatusBadParam for a size or depth below 1,
  // kStatusNoDisplayMode when full screen cannot show that size, kStatusPlatformFailed when the
  // window system refuses. A failed Open keeps the window, so the next Open reuses it.
  int32_t Open(const char* title, int32_t width, int32_t height, int32_t depth, bool fullScreen);
  // Releases the surfaces and leaves full screen; the window stays until the object goes.
  void Close();

  // The title the window shows, taken at once.
  void SetTitle(const std::string& title);
  // In a window: the window's size in pixels at the next Open, where the surface is shown scaled
  // by whole multiples; 0 x 0 (the default) makes it the surface's size. Full screen ignores it.
  void SetWindowSize(int32_t width, int32_t height);
  // The desktop's area for windows (without its panels): false when the window system cannot say.
  virtual bool UsableDesktopArea(int32_t* width, int32_t* height) = 0;
  // Without vertical sync a presentation waits for the display's next refresh (a sixtieth of a
  // second when the display cannot say), so a loop that presents as fast as it can leaves the
  // processor; it never waits longer than this, in microseconds (0: no limit).
  void SetLongestPresentWait(uint32_t micros) { longestPresentWait_ = micros; }

  // The following return kStatusDisplayNotReady before a successful Open.
  // Fills the primary and then the drawing surface (both whole, or the rectangle) with a colour.
  int32_t ClearSurfaces(uint8_t colour, const DisplayRect* rect);
  // Copies the whole drawing surface, or the same rectangle of it, to the primary and shows it.
  // A rectangle not inside the surface fails with kStatusPlatformFailed.
  int32_t CopyToPrimary();
  int32_t CopyRectToPrimary(const DisplayRect& rect);
  // Shows the drawing surface: the whole surface to the primary.
  int32_t PresentFrame();
  // The next presentation waits for the display's vertical blank.
  int32_t WaitVerticalBlank();

  // Fills the view for the whole drawing surface, origin at (0, 0): 0, kStatusBadParam without a
  // view, kStatusPlatformFailed when not open or already locked.
  int32_t LockSurface(SurfaceView* view);
  void UnlockSurface(SurfaceView* view);

  // Takes the next event, if any (false when none is waiting).
  bool TakeEvent(WindowEvent* event);
  // The window's own handling of an event the application took: a key-down of a key in
  // closeKeyMask closes the window, and a quit event follows. Call it after the key's command.
  void DispatchEvent(const WindowEvent& event);

  virtual void ShowCursor(bool visible) = 0;
  // Brings the window to the front of the desktop, restored when it was minimized.
  virtual void Raise() = 0;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t depth() const { return depth_; }
  bool fullScreen() const { return fullScreen_; }
  bool isOpen() const { return (state_ & kOpened) != 0; }
  const std::string& title() const { return title_; }
  int32_t windowWidth() const { return windowWidth_ > 0 ? windowWidth_ : width_; }
  int32_t windowHeight() const { return windowHeight_ > 0 ? windowHeight_ : height_; }
  uint32_t longestPresentWait() const { return longestPresentWait_; }
  // What the window shows: the primary surface, width x height palette indices.
  const std::vector<uint8_t>& primary() const { return primary_; }

  uint32_t closeKeyMask = kCloseKeyEscape;

 protected:
  // The window system's part. CreateWindow runs when no window exists; SetUpDisplay brings up
  // what shows a width x height picture (-2 or -1 on failure); ReleaseDisplay undoes it, also
  // after a set-up that failed part way.
  virtual bool windowExists() const = 0;
  virtual int32_t CreateWindow() = 0;
  virtual int32_t SetUpDisplay() = 0;
  virtual void ReleaseDisplay() = 0;
  // Shows the primary surface; `waitVerticalBlank` asks for this presentation to follow the
  // display's refresh.
  virtual int32_t ShowPrimary(bool waitVerticalBlank) = 0;
  // The window system's next event for the application, if any.
  virtual bool NextEvent(WindowEvent* event) = 0;
  // Takes the window off the screen after a close key.
  virtual void HideWindow() = 0;
  // Shows title() in the window, when there is one.
  virtual void ApplyTitle() = 0;

 private:
  static constexpr uint32_t kOpened = 1, kReady = 2, kRegistered = 4;

  int32_t Show();

  uint32_t state_ = 0;
  std::string title_;
  int32_t width_ = 0, height_ = 0, depth_ = 0;
  int32_t windowWidth_ = 0, windowHeight_ = 0;
  uint32_t longestPresentWait_ = 0;
  bool fullScreen_ = false;
  std::vector<uint8_t> surface_;  // the drawing surface, pitch = width
  std::vector<uint8_t> primary_;
  bool locked_ = false;
  bool waitVerticalBlank_ = false;
  bool quitPending_ = false;
};

}  // namespace tvp
