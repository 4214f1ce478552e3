#include "platform/sdl_input.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

#include "soundtrack/status.h"

namespace tvp {

namespace {

// The keyboard's pad keys: PC key code (set-1 scan code, extended keys + 0x80) and the SDL scan code of the same key.
struct KeyPair {
  uint8_t code;
  SDL_Scancode scancode;
};
constexpr KeyPair kKeys[] = {
    {0x02, SDL_SCANCODE_1},      {0x03, SDL_SCANCODE_2},      {0x04, SDL_SCANCODE_3},
    {0x05, SDL_SCANCODE_4},      {0x1C, SDL_SCANCODE_RETURN}, {0x1D, SDL_SCANCODE_LCTRL},
    {0x2A, SDL_SCANCODE_LSHIFT}, {0x2C, SDL_SCANCODE_Z},      {0x2D, SDL_SCANCODE_X},
    {0x2E, SDL_SCANCODE_C},      {0x2F, SDL_SCANCODE_V},      {0x38, SDL_SCANCODE_LALT},
    {0x3B, SDL_SCANCODE_F1},     {0x3C, SDL_SCANCODE_F2},     {0x3D, SDL_SCANCODE_F3},
    {0x3E, SDL_SCANCODE_F4},     {0x48, SDL_SCANCODE_KP_8},   {0x4B, SDL_SCANCODE_KP_4},
    {0x4C, SDL_SCANCODE_KP_5},   {0x4D, SDL_SCANCODE_KP_6},   {0x50, SDL_SCANCODE_KP_2},
    {0x9C, SDL_SCANCODE_KP_ENTER}, {0xC8, SDL_SCANCODE_UP},   {0xCB, SDL_SCANCODE_LEFT},
    {0xCD, SDL_SCANCODE_RIGHT},  {0xD0, SDL_SCANCODE_DOWN},
};

constexpr SDL_GameControllerButton kButtons[8] = {
    SDL_CONTROLLER_BUTTON_A,    SDL_CONTROLLER_BUTTON_B,     SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,    SDL_CONTROLLER_BUTTON_BACK,  SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
};

// A direction from a pair of D-pad buttons or hat bits, else the stick's axis value.
int32_t Direction(bool negative, bool positive, int32_t axis) {
  return negative ? -32768 : positive ? 32767 : axis;
}

struct OpenController {
  SDL_JoystickID id;
  SDL_GameController* controller;  // null for a joystick SDL cannot map
  SDL_Joystick* joystick;
};

class SdlInputSource : public InputSource {
 public:
  ~SdlInputSource() override { Stop(); }

  int32_t Start() override {
    if (started_) return kStatusOk;
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return kStatusPlatformFailed;
    started_ = true;
    return kStatusOk;
  }

  void Stop() override {
    for (OpenController& c : open_) Release(c);
    open_.clear();
    if (started_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    started_ = false;
  }

  int32_t AttachedControllers(int32_t* ids, int32_t capacity) override {
    if (!started_) return kStatusPlatformFailed;
    SDL_GameControllerUpdate();
    // Close the ones unplugged, open the ones new, keeping the order of attachment.
    auto gone = std::remove_if(open_.begin(), open_.end(), [](OpenController& c) {
      if (SDL_JoystickGetAttached(c.joystick)) return false;
      Release(c);
      return true;
    });
    open_.erase(gone, open_.end());
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
      SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
      if (id < 0 || Find(id)) continue;
      OpenController c{id, nullptr, nullptr};
      if (SDL_IsGameController(i)) {
        c.controller = SDL_GameControllerOpen(i);
        c.joystick = c.controller ? SDL_GameControllerGetJoystick(c.controller) : nullptr;
      } else {
        c.joystick = SDL_JoystickOpen(i);
      }
      if (c.joystick) open_.push_back(c);
    }
    int32_t n = std::min(capacity, static_cast<int32_t>(open_.size()));
    for (int32_t i = 0; i < n; ++i) ids[i] = open_[static_cast<size_t>(i)].id;
    return n;
  }

  int32_t ReadController(int32_t id, ControllerReading* reading) override {
    OpenController* c = Find(id);
    if (!c || !SDL_JoystickGetAttached(c->joystick)) return kStatusPlatformFailed;
    ControllerReading r{};
    if (c->controller) {
      SDL_GameController* g = c->controller;
      r.x = Direction(SDL_GameControllerGetButton(g, SDL_CONTROLLER_BUTTON_DPAD_LEFT),
                      SDL_GameControllerGetButton(g, SDL_CONTROLLER_BUTTON_DPAD_RIGHT),
                      SDL_GameControllerGetAxis(g, SDL_CONTROLLER_AXIS_LEFTX));
      r.y = Direction(SDL_GameControllerGetButton(g, SDL_CONTROLLER_BUTTON_DPAD_UP),
                      SDL_GameControllerGetButton(g, SDL_CONTROLLER_BUTTON_DPAD_DOWN),
                      SDL_GameControllerGetAxis(g, SDL_CONTROLLER_AXIS_LEFTY));
      for (int b = 0; b < 8; ++b) r.buttons |= SDL_GameControllerGetButton(g, kButtons[b]) ? 1u << b : 0u;
    } else {
      SDL_Joystick* j = c->joystick;
      Uint8 hat = SDL_JoystickNumHats(j) > 0 ? SDL_JoystickGetHat(j, 0) : SDL_HAT_CENTERED;
      int32_t axisX = SDL_JoystickNumAxes(j) > 0 ? SDL_JoystickGetAxis(j, 0) : 0;
      int32_t axisY = SDL_JoystickNumAxes(j) > 1 ? SDL_JoystickGetAxis(j, 1) : 0;
      r.x = Direction(hat & SDL_HAT_LEFT, hat & SDL_HAT_RIGHT, axisX);
      r.y = Direction(hat & SDL_HAT_UP, hat & SDL_HAT_DOWN, axisY);
      int buttons = std::min(8, SDL_JoystickNumButtons(j));
      for (int b = 0; b < buttons; ++b) r.buttons |= SDL_JoystickGetButton(j, b) ? 1u << b : 0u;
    }
    *reading = r;
    return kStatusOk;
  }

  int32_t ReadKeyboard(uint8_t* keys) override {
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    if (!state) return kStatusPlatformFailed;
    std::fill(keys, keys + kKeyStateSize, 0);
    for (const KeyPair& k : kKeys) {
      if (k.scancode < count && state[k.scancode]) keys[k.code] = 0x80;
    }
    return kStatusOk;
  }

  int32_t ReadMouse(int32_t* dx, int32_t* dy, uint32_t* buttons) override {
    int x = 0, y = 0;
    Uint32 state = SDL_GetRelativeMouseState(&x, &y);
    *dx = x;
    *dy = y;
    *buttons = ((state & SDL_BUTTON_LMASK) ? 1u : 0u) | ((state & SDL_BUTTON_RMASK) ? 2u : 0u);
    return kStatusOk;
  }

 private:
  static void Release(OpenController& c) {
    if (c.controller) SDL_GameControllerClose(c.controller);
    else if (c.joystick) SDL_JoystickClose(c.joystick);
  }

  OpenController* Find(SDL_JoystickID id) {
    for (OpenController& c : open_) {
      if (c.id == id) return &c;
    }
    return nullptr;
  }

  bool started_ = false;
  std::vector<OpenController> open_;
};

}  // namespace

std::unique_ptr<InputSource> MakeSdlInputSource() { return std::make_unique<SdlInputSource>(); }

}  // namespace tvp
