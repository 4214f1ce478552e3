#pragma once
// Internals shared by the handler files.
#include "engine/sound_engine.h"

namespace tvp {

// Flow, tempo, global volume, variable bank and song mode.
void installSongHandlers(HandlerEntry* handlers);

// Makes playPosition current: patternStart and eventCursor move to its first event, or, past
// the last play position, the song ends and playPosition returns to 0.
void enterPlayPosition(SoundEngine* engine);

}  // namespace tvp
