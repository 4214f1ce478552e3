#pragma once
// The screens' one way to ask the engine a question through its command entry point.
#include <cstdint>

#include "app/player_state.h"
#include "engine/engine_api.h"

namespace tvp {

inline intptr_t EngineQuery(PlayerState& state, uint32_t code, intptr_t p0 = 0) {
  ParamBlock params{{p0, 0, 0, 0}};
  return engineCommand(state.engineHandle(), code, &params);
}

}  // namespace tvp
