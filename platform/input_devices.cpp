#include "platform/input_devices.h"

#include <algorithm>

#include "soundtrack/status.h"

namespace tvp {

namespace {

// The keyboard's pad table in PC key codes, in ascending code order: keys are applied
// in this order, so for a direction the higher code wins (Left and Right together give right).
enum class KeyRole : uint8_t { kButton, kX, kY };
struct PadKey {
  uint8_t code;
  KeyRole role;
  int8_t value;  // the button's bit, or the direction
};
constexpr PadKey kPadKeys[] = {
    {0x02, KeyRole::kButton, 0}, {0x03, KeyRole::kButton, 1}, {0x04, KeyRole::kButton, 2},  // 1 2 3
    {0x05, KeyRole::kButton, 3},                                                            // 4
    {0x1C, KeyRole::kButton, 3},                                                            // Enter
    {0x1D, KeyRole::kButton, 0},                                                            // left Ctrl
    {0x2A, KeyRole::kButton, 2},                                                            // left Shift
    {0x2C, KeyRole::kButton, 0}, {0x2D, KeyRole::kButton, 1}, {0x2E, KeyRole::kButton, 2},  // Z X C
    {0x2F, KeyRole::kButton, 3},                                                            // V
    {0x38, KeyRole::kButton, 1},                                                            // left Alt
    {0x3B, KeyRole::kButton, 0}, {0x3C, KeyRole::kButton, 1}, {0x3D, KeyRole::kButton, 2},  // F1 F2 F3
    {0x3E, KeyRole::kButton, 3},                                                            // F4
    {0x48, KeyRole::kY, -1},                                                                // keypad 8
    {0x4B, KeyRole::kX, -1},                                                                // keypad 4
    {0x4C, KeyRole::kY, 1},                                                                 // keypad 5
    {0x4D, KeyRole::kX, 1},                                                                 // keypad 6
    {0x50, KeyRole::kY, 1},                                                                 // keypad 2
    {0x9C, KeyRole::kButton, 3},                                                            // keypad Enter
    {0xC8, KeyRole::kY, -1},                                                                // Up
    {0xCB, KeyRole::kX, -1},                                                                // Left
    {0xCD, KeyRole::kX, 1},                                                                 // Right
    {0xD0, KeyRole::kY, 1},                                                                 // Down
};

// A stick position inside half its range counts as centred.
int32_t AxisSign(int32_t value) { return value <= -16384 ? -1 : value >= 16384 ? 1 : 0; }

uint32_t PressEdges(uint32_t buttons, uint32_t* previous) {
  uint32_t pressed = (buttons ^ *previous) & buttons;
  *previous = buttons;
  return pressed;
}

// Room for more ids than can be listed, so that the ones past the eighth are seen and left out.
constexpr int32_t kListCapacity = 2 * kMaxInputDevices;

}  // namespace

int32_t InputDevices::Create(InputSource* source, uint32_t flags) {
  Destroy();
  if (!source || source->Start() != kStatusOk) return kStatusPlatformFailed;
  source_ = source;
  if (flags & kInputKeyboard) {
    keyboardCreated = true;
    AddDevice(kKeyboardDevice);
  }
  mouseCreated = (flags & kInputMouse) != 0;
  int32_t status = RefreshControllers();
  currentDevice = kNoDevice;
  return status < 0 ? kStatusNoControllerList : kStatusOk;
}

void InputDevices::Destroy() {
  if (source_) source_->Stop();
  *this = InputDevices{};
}

int32_t InputDevices::AddDevice(int32_t id) {
  if (deviceCount == kMaxInputDevices) return kStatusOutOfMemory;
  devices[deviceCount++] = id;
  return kStatusOk;
}

// Lists controllers plugged in since the last look and drops unplugged ones. Returns how many were
// added, or a negative status when the source cannot list them (the list is kept).
int32_t InputDevices::RefreshControllers() {
  int32_t ids[kListCapacity];
  int32_t attached = source_->AttachedControllers(ids, kListCapacity);
  if (attached < 0) return attached;
  attached = std::min(attached, kListCapacity);
  int32_t kept = 0;
  for (int32_t i = 0; i < deviceCount; ++i) {
    bool present = devices[i] == kKeyboardDevice || std::find(ids, ids + attached, devices[i]) != ids + attached;
    if (present) devices[kept++] = devices[i];
  }
  deviceCount = kept;
  if (currentDevice != kNoDevice && std::find(devices, devices + deviceCount, currentDevice) == devices + deviceCount) {
    currentDevice = kNoDevice;
  }
  int32_t added = 0;
  for (int32_t i = 0; i < attached; ++i) {
    if (std::find(devices, devices + deviceCount, ids[i]) != devices + deviceCount) continue;
    if (AddDevice(ids[i]) == kStatusOk) ++added;
  }
  return added;
}

int32_t InputDevices::SelectDevice(int32_t index) {
  if (index < 0 || index >= deviceCount) {
    currentDevice = kNoDevice;
    return kStatusBadParam;
  }
  currentDevice = devices[index];
  return kStatusOk;
}

int32_t InputDevices::SelectFirstController() {
  for (int32_t i = 0; i < deviceCount; ++i) {
    if (devices[i] != kKeyboardDevice) return SelectDevice(i);
  }
  return kStatusNotFound;
}

void InputDevices::ReadKeyboardPart() {
  uint8_t keys[kKeyStateSize] = {};
  if (source_->ReadKeyboard(keys) != kStatusOk) return;  // the part keeps its last values
  keyX = keyY = 0;
  keyButtons = 0;
  for (const PadKey& k : kPadKeys) {
    if (!(keys[k.code] & 0x80)) continue;
    if (k.role == KeyRole::kButton) keyButtons |= 1u << k.value;
    else if (k.role == KeyRole::kX) keyX = k.value;
    else keyY = k.value;
  }
  keyPressed = PressEdges(keyButtons, &keyPreviousButtons);
}

int32_t InputDevices::ReadControllerPart() {
  ControllerReading reading{};
  int32_t status = kStatusOk;
  if (currentDevice != kNoDevice && currentDevice != kKeyboardDevice) {
    status = source_->ReadController(currentDevice, &reading);
    if (status != kStatusOk) {
      // Unplugged or broken: a neutral pad rather than a direction held for ever. The next
      // controller plugged in becomes current.
      reading = ControllerReading{};
      currentDevice = kNoDevice;
    }
  }
  stickX = AxisSign(reading.x);
  stickY = AxisSign(reading.y);
  stickButtons = reading.buttons & 0xFF;
  return status;
}

int32_t InputDevices::Poll() {
  if (!source_) return kStatusOk;
  const int32_t previousCurrent = currentDevice;
  if (RefreshControllers() > 0 && currentDevice == kNoDevice) SelectFirstController();
  const bool lostCurrent = previousCurrent != kNoDevice && currentDevice == kNoDevice;
  if (deviceCount == 0 && !lostCurrent && !mouseCreated) return kStatusOk;

  if (mouseCreated) {
    int32_t dx = 0, dy = 0;
    uint32_t buttons = 0;
    if (source_->ReadMouse(&dx, &dy, &buttons) == kStatusOk) {
      mouseDX += dx;
      mouseDY += dy;
      mouseButtons = buttons & 3;
    }
  }
  if (keyboardCreated) ReadKeyboardPart();
  int32_t status = ReadControllerPart();

  padX = stickX + keyX;
  padY = stickY + keyY;
  padButtons = stickButtons | keyButtons;
  padPressed = PressEdges(padButtons, &padPreviousButtons);
  stickPressed = PressEdges(stickButtons, &stickPreviousButtons);
  return status;
}

bool InputDevices::IsDirectionHeld(int32_t direction) const {
  switch (direction) {
    case kDirectionLeft: return padX < 0;
    case kDirectionRight: return padX > 0;
    case kDirectionUp: return padY < 0;
    case kDirectionDown: return padY > 0;
    case kDirectionHorizontal: return padX != 0;
    case kDirectionVertical: return padY != 0;
    default: return false;
  }
}

int32_t InputDevices::AxisValue(int32_t direction) const {
  switch (direction) {
    case kDirectionLeft: return -padX;
    case kDirectionRight: return padX;
    case kDirectionUp: return -padY;
    case kDirectionDown: return padY;
    case kDirectionHorizontal: return padX;
    case kDirectionVertical: return padY;
    default: return 0;
  }
}

bool InputDevices::ButtonPressed(int32_t n) const { return n >= 0 && n < 32 && (padPressed >> n) & 1u; }

}  // namespace tvp
