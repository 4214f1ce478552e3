#pragma once
// A slow scalar model of the mixing loops and of UpdateVoiceStep, written frame by frame straight
// from the rules, for the fast loops to be compared with bit for bit.
#include <cstdint>

#include "engine/voice.h"

namespace tvp::reference {

// Same contract as a mixing loop: `mixBuffer` points at the stretch's first left/right pair.
int32_t mixVoice(int32_t mode, bool arpeggio, uint32_t arpeggioStepFrames, Voice& voice,
                 int32_t* mixBuffer, int32_t frameCount);

void updateVoiceStep(Voice& voice);

}  // namespace tvp::reference
