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
  MixRoutine filtered;  // voices with filterOn, arpeggio or not
};

// The instruction sets the loops are built for: SSE2 always (x86-64 has it), AVX2 (eight frames
// per vector) when the build has it, used where the processor has it.
enum class MixIsa : int32_t { kSse2, kAvx2 };

// Whether the loops for `isa` are built in and this processor runs them.
bool mixIsaSupported(MixIsa isa);

// The plain and arpeggio loops for a mode, with the best instruction set this processor runs;
// unknown modes (and 4 to 6) mix as mode 0.
MixRoutinePair mixRoutinesFor(int32_t interpolation);
// The same with the loops of one instruction set; SSE2 where `isa` is not supported. The
// AVX2 loops themselves: avx2MixRoutinesFor, in a build with TVP_MIX_AVX2 only.
MixRoutinePair mixRoutinesFor(int32_t interpolation, MixIsa isa);
MixRoutinePair avx2MixRoutinesFor(int32_t interpolation);

// Routines with the mixing loops' signature that move each voice through its frames exactly as
// `interpolation`'s loops do (positions, loops, arpeggio clock, volume ramps) and mix nothing.
MixRoutinePair moveRoutinesFor(int32_t interpolation);

// A converted buffer's peaks: per channel the largest magnitude written, or 0x10000 when a sum had
// to be limited.
struct OutputPeaks {
  int32_t left;
  int32_t right;
};

// Writes `frameCount` frames of left/right sums as 16-bit frames limited to -32767..32767 and
// clears the sums, so that the next buffer mixes into zeros; with the best instruction set this
// processor runs, or with `isa` (SSE2 where it is not supported).
OutputPeaks convertSums(int32_t* sums, int16_t* destination, int32_t frameCount);
OutputPeaks convertSums(int32_t* sums, int16_t* destination, int32_t frameCount, MixIsa isa);
OutputPeaks avx2ConvertSums(int32_t* sums, int16_t* destination, int32_t frameCount);

// Recomputes stepWhole and stepFraction from pitch, the arpeggio offset of the current phase,
// pitchOrigin and stepTable; nothing without a step table.
void UpdateVoiceStep(Voice* voice);

}  // namespace tvp
