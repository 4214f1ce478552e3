#pragma once
// The offline road: an engine opened with kOfflineRoad has no device; its owner renders buffers
// into memory it owns, one buffer of framesPerBuffer frames at a time, as a device would take them.
#include <cstdint>

#include "engine/engine_api.h"

namespace tvp {

// Renders framesPerBuffer interleaved 16-bit left/right frames into `destination` (room for
// 2 x framesPerBuffer samples). Returns 1 (one buffer rendered), kStatusBadParam for a handle
// without an open offline engine or a null destination, kStatusNotPrepared before a prepare.
int32_t renderOfflineBuffer(EngineHandle handle, int16_t* destination);

}  // namespace tvp
