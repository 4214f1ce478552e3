#include "engine/offline_output.h"

#include "engine/sound_engine.h"
#include "soundtrack/status.h"

namespace tvp {

int32_t renderOfflineBuffer(EngineHandle handle, int16_t* destination) {
  SoundEngine* engine = handle ? *handle : nullptr;
  if (!engine || engine->outputMode != kOutputOffline || !destination) return kStatusBadParam;
  if (!(engine->flags & kEnginePrepared)) return kStatusNotPrepared;
  render(engine, destination, engine->framesPerBuffer);
  return 1;
}

}  // namespace tvp
