#pragma once
// The channel displays: one text row per channel under a header, either as bar graphs (sample
// phase with its loop, pitch, volume, panning) or as digits (frame position, direction, speed,
// note and deviation, volume, panning, with lamps for the slides and modulators that run).
// Each row shows the voice record as the last rendered buffer left it.
#include <cstdint>

#include "app/player_state.h"
#include "engine/voice.h"

namespace tvp {

inline constexpr char kBarGraphHeader[] = "ChAS In Smp Phase    Note          Volume   PanPos";
inline constexpr char kDigitalHeader[] = "ChAS In Smp Phase Speed  Note      Volume   PanPos";

// The header at text row 6 and one row per channel from firstVisibleChannel, as many as fit
// above the notice row (22).
void DrawChannelRows(PlayerState& state, bool digital);

void DrawBarGraphRow(PlayerState& state, int32_t channel, const Voice& voice, int x, int y);
void DrawDigitalRow(PlayerState& state, int32_t channel, const Voice& voice, int x, int y);

// The nearest note of a pitch (256 a semitone, note 0 = pitch 0) and the deviation from it,
// "C#3-38": name, octave character (octave 1 shows the digit 0), sign, 1/256 semitones in hex.
// `text` has room for 7 bytes.
void FormatNoteAndDeviation(int32_t pitch, char* text);

}  // namespace tvp
