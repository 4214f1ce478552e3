#pragma once
// The voice mixing loops and their selection by interpolation mode.
#include <cstdint>

#include "engine/sound_engine.h"

namespace tvp {

enum InterpolationMode : int16_t {
  kInterpolationNone = 0,
  kInterpolationLinear = 1,
  kInterpolationStairs = 2,
  kInterpolationCubic = 3,
  kInterpolationRampedCubic = 7,  // cubic with volume and panning ramps
};

struct MixRoutinePair {
  MixRoutine plain;
  MixRoutine arpeggio;
};

// The plain and arpeggio loops for a mode; unknown modes (and 4 to 6) mix as mode 0.
MixRoutinePair mixRoutinesFor(int32_t interpolation);

// Recomputes stepWhole and stepFraction from pitch, the arpeggio offset of the current phase,
// pitchOrigin and stepTable; nothing without a step table.
void UpdateVoiceStep(Voice* voice);

}  // namespace tvp
