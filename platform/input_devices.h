#pragma once
// The game pad: up to eight game controllers (and, on request, the keyboard and the mouse) turned
// into one small state per frame: a horizontal and a vertical direction, eight buttons, and which
// buttons went down since the previous poll. The player's key commands do not come from here;
// they are the display's key-down events.
//
// InputDevices holds the logic; an InputSource reads the devices: platform/sdl_input.h over SDL's
// game controllers, platform/memory_input.h with values a test sets.
#include <cstdint>

namespace tvp {

// One controller as read at a poll.
struct ControllerReading {
  int32_t x;         // -32768 (left) .. 32767 (right): the D-pad when pressed, else the left stick
  int32_t y;         // -32768 (up) .. 32767 (down)
  uint32_t buttons;  // bits 0..7: A, B, X, Y, Back, Start, left shoulder, right shoulder
};

// Keyboard state by PC key code (set-1 scan codes 0x01..0x7F, extended keys + 0x80), a key
// being down when bit 7 of its byte is set.
inline constexpr int32_t kKeyStateSize = 256;

class InputSource {
 public:
  virtual ~InputSource() = default;
  // Starts the device service: 0, or kStatusPlatformFailed when there is none.
  virtual int32_t Start() = 0;
  virtual void Stop() = 0;
  // The controllers attached now, by an id that stays the controller's while it is attached, in
  // the order they were attached; up to `capacity` of them. Returns how many were written, or a
  // negative status when the controllers cannot be listed.
  virtual int32_t AttachedControllers(int32_t* ids, int32_t capacity) = 0;
  // 0, or kStatusPlatformFailed when the controller cannot be read (it was unplugged).
  virtual int32_t ReadController(int32_t id, ControllerReading* reading) = 0;
  virtual int32_t ReadKeyboard(uint8_t* keys) = 0;  // kKeyStateSize bytes
  // Motion since the last read and the buttons (bit 0 left, bit 1 right).
  virtual int32_t ReadMouse(int32_t* dx, int32_t* dy, uint32_t* buttons) = 0;
};

// Create flags.
inline constexpr uint32_t kInputKeyboard = 1;
inline constexpr uint32_t kInputMouse = 2;

// IsDirectionHeld / AxisValue directions.
inline constexpr int32_t kDirectionLeft = 1;
inline constexpr int32_t kDirectionRight = 2;
inline constexpr int32_t kDirectionUp = 4;
inline constexpr int32_t kDirectionDown = 8;
inline constexpr int32_t kDirectionHorizontal = 16;
inline constexpr int32_t kDirectionVertical = 32;

inline constexpr int32_t kMaxInputDevices = 8;
inline constexpr int32_t kNoDevice = -1;
inline constexpr int32_t kKeyboardDevice = -2;  // the keyboard's entry in `devices`

class InputDevices {
 public:
  // Starts the source and lists the keyboard (flags kInputKeyboard, always device 0), the mouse
  // (kInputMouse, not listed) and the attached controllers. 0; kStatusPlatformFailed when the
  // source cannot start; kStatusNoControllerList when the controllers cannot be listed. No
  // device is current afterwards. The source must outlive this object.
  int32_t Create(InputSource* source, uint32_t flags);
  void Destroy();

  // Makes listed device `index` current: 0, or kStatusBadParam (no device current then).
  int32_t SelectDevice(int32_t index);
  // Makes the first listed controller current: 0, or kStatusNotFound when none is listed.
  int32_t SelectFirstController();

  // Once per frame. Takes in controllers plugged in since the last poll (the first becomes current
  // when none is) and drops unplugged ones. 0, or kStatusPlatformFailed when the current
  // controller could not be read: it is dropped and its part of the pad is neutral.
  int32_t Poll();

  bool IsDirectionHeld(int32_t direction) const;
  int32_t AxisValue(int32_t direction) const;
  bool ButtonPressed(int32_t n) const;

  // The device list: controller ids from the source, kKeyboardDevice for the keyboard.
  int32_t deviceCount = 0;
  int32_t devices[kMaxInputDevices] = {};
  int32_t currentDevice = kNoDevice;  // an id from `devices`
  bool keyboardCreated = false;
  bool mouseCreated = false;

  // The combined pad: directions -2..2 (negative left or up), buttons bits 0..7.
  int32_t padX = 0, padY = 0;
  uint32_t padButtons = 0, padPreviousButtons = 0, padPressed = 0;
  // Keyboard part (when created).
  int32_t keyX = 0, keyY = 0;
  uint32_t keyButtons = 0, keyPreviousButtons = 0, keyPressed = 0;
  // Controller part.
  int32_t stickX = 0, stickY = 0;
  uint32_t stickButtons = 0, stickPreviousButtons = 0, stickPressed = 0;
  // Mouse part (when created): motion summed over all polls.
  int32_t mouseDX = 0, mouseDY = 0;
  uint32_t mouseButtons = 0;

 private:
  int32_t AddDevice(int32_t id);
  int32_t RefreshControllers();
  void ReadKeyboardPart();
  int32_t ReadControllerPart();

  InputSource* source_ = nullptr;
};

}  // namespace tvp
