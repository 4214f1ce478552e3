#pragma once
// Internals shared by the handler files.
#include "engine/sound_engine.h"

namespace tvp {

// Flow, tempo, global volume, variable bank and song mode.
void installSongHandlers(HandlerEntry* handlers);

// Channel events: selection, triggering, volume, panning, pitch and period.
void installVoiceHandlers(HandlerEntry* handlers);

// Note actions (hand-off, duplicate check, past-note actions) and the channel gain.
void installNoteActionHandlers(HandlerEntry* handlers);

// The waveform a param chooses (bit 15 ignored): 0..6 directly, 0x7FFD, 0x7FFE and 0x7FFF a
// random one of their sets; -1 for any other value, which leaves a waveform unchanged.
int32_t chooseWaveformCode(SoundEngine* engine, int32_t param);
// Resolves an instrument's waveform code once: a random choice is written back, bit 15 cleared.
int32_t resolveInstrumentWaveform(SoundEngine* engine, int32_t* code);

// Makes playPosition current: patternStart and eventCursor move to its first event, or, past
// the last play position, the song ends and playPosition returns to 0.
// Logs the move from `fromPosition`/`fromCounter` first. A pattern loop's jump (`patternLoop`)
// keeps the position's loop marks and loop states; one that `repeats` a state is logged as a
// move back, so that it ends a pass.
void enterPlayPosition(SoundEngine* engine, int32_t fromPosition, int32_t fromCounter, bool patternLoop = false,
                       bool repeats = false);

}  // namespace tvp
