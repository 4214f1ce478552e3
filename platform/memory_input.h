#pragma once
// Input devices in memory: the owner plugs controllers in and out and sets what they, the keyboard
// and the mouse report.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/input_devices.h"
#include "soundtrack/status.h"

namespace tvp {

class MemoryInputSource : public InputSource {
 public:
  struct Controller {
    int32_t id;
    ControllerReading reading;
  };

  // Plugs in a controller, centred with no button down; returns its id.
  int32_t Attach() {
    controllers.push_back({nextId_, ControllerReading{}});
    return nextId_++;
  }
  void Detach(int32_t id) {
    controllers.erase(std::remove_if(controllers.begin(), controllers.end(),
                                     [id](const Controller& c) { return c.id == id; }),
                      controllers.end());
  }
  ControllerReading* reading(int32_t id) {
    for (Controller& c : controllers) {
      if (c.id == id) return &c.reading;
    }
    return nullptr;
  }

  int32_t Start() override { return refuseStart ? kStatusPlatformFailed : kStatusOk; }
  void Stop() override {}
  int32_t AttachedControllers(int32_t* ids, int32_t capacity) override {
    if (refuseList) return kStatusPlatformFailed;
    int32_t n = std::min(capacity, static_cast<int32_t>(controllers.size()));
    for (int32_t i = 0; i < n; ++i) ids[i] = controllers[static_cast<size_t>(i)].id;
    return n;
  }
  int32_t ReadController(int32_t id, ControllerReading* out) override {
    const ControllerReading* r = reading(id);
    if (!r) return kStatusPlatformFailed;
    *out = *r;
    return kStatusOk;
  }
  int32_t ReadKeyboard(uint8_t* out) override {
    std::memcpy(out, keys, kKeyStateSize);
    return kStatusOk;
  }
  int32_t ReadMouse(int32_t* dx, int32_t* dy, uint32_t* buttons) override {
    *dx = mouseDX;
    *dy = mouseDY;
    *buttons = mouseButtons;
    mouseDX = mouseDY = 0;
    return kStatusOk;
  }

  std::vector<Controller> controllers;
  uint8_t keys[kKeyStateSize] = {};  // by PC key code; 0x80 = down
  int32_t mouseDX = 0, mouseDY = 0;
  uint32_t mouseButtons = 0;
  bool refuseStart = false;
  bool refuseList = false;

 private:
  int32_t nextId_ = 1;
};

}  // namespace tvp
