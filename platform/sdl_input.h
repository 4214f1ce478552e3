#pragma once
// Input devices over SDL: game controllers through the game controller API (the joystick API for
// sticks SDL cannot map), the keyboard from SDL's keyboard state, the mouse's relative motion.
// SDL's event pump (the display's event loop) keeps the states current.
#include <memory>

#include "platform/input_devices.h"

namespace tvp {

std::unique_ptr<InputSource> MakeSdlInputSource();

}  // namespace tvp
