#include "mixer/mix_routines.h"

#include <cstdint>

#include "mixer/interpolators.h"
#include "mixer/mix_loop.h"

namespace tvp {

namespace {

using mixloop::ArpeggioClock;
using mixloop::FixedGain;
using mixloop::mixVoice;
using mixloop::NoClock;
using mixloop::RampedGain;
using mixloop::Sse2Lanes;

template <class Interp, template <class> class Gain>
constexpr MixRoutinePair routinePair() {
  return {&mixVoice<Interp, Gain, NoClock, Sse2Lanes>, &mixVoice<Interp, Gain, ArpeggioClock, Sse2Lanes>};
}

// Indexed by interpolation mode. Modes 4 to 6 have no loops of their own and mix as mode 0.
constexpr MixRoutinePair kRoutinesByMode[] = {
    routinePair<NearestInterpolator, FixedGain>(),  // 0 none
    routinePair<LinearInterpolator, FixedGain>(),   // 1 linear
    routinePair<StairsInterpolator, FixedGain>(),   // 2 stairs
    routinePair<CubicInterpolator, FixedGain>(),    // 3 cubic
    routinePair<NearestInterpolator, FixedGain>(),  // 4
    routinePair<NearestInterpolator, FixedGain>(),  // 5
    routinePair<NearestInterpolator, FixedGain>(),  // 6
    routinePair<CubicInterpolator, RampedGain>(),   // 7 cubic with volume and panning ramps
};
constexpr int32_t kModeCount = static_cast<int32_t>(sizeof kRoutinesByMode / sizeof kRoutinesByMode[0]);

}  // namespace

MixRoutinePair mixRoutinesFor(int32_t interpolation) {
  if (interpolation < 0 || interpolation >= kModeCount) return kRoutinesByMode[kInterpolationNone];
  return kRoutinesByMode[interpolation];
}

void UpdateVoiceStep(Voice* voice) {
  if (!voice->stepTable) return;
  int64_t pitch = voice->pitch;
  if (voice->arpeggioOn) {
    if (voice->arpeggioPhase == 1) pitch += voice->arpeggioOffset1;
    if (voice->arpeggioPhase == 2) pitch += voice->arpeggioOffset2;
  }
  // 64-bit, so no pitch, offset and origin can overflow the difference.
  const int64_t d = pitch - voice->pitchOrigin;
  uint32_t step;
  if (d >= 0) {
    const int64_t octaves = d / kStepTableEntries;
    const uint32_t entry = voice->stepTable[d % kStepTableEntries];
    // The step is shifted within 32 bits; 32 octaves up nothing of it is left.
    step = octaves < 32 ? entry << octaves : 0;
  } else {
    // Below the origin the difference is raised by whole octaves into 0..3071 and the entry
    // halved once per octave. The octave count is worked out at once rather than by adding 3072
    // one at a time, so a pitch driven far down (a slide without limits) cannot stall the mixer.
    const int64_t octaves = (-d + kStepTableEntries - 1) / kStepTableEntries;
    const int64_t index = d + octaves * kStepTableEntries;
    // Arithmetic shift, capped at 31 to stay defined: by then a positive step has reached 0,
    // which is what an ever lower pitch tends to.
    const int32_t shift = octaves < 31 ? static_cast<int32_t>(octaves) : 31;
    step = static_cast<uint32_t>(static_cast<int32_t>(voice->stepTable[index]) >> shift);
  }
  voice->stepWhole = static_cast<int32_t>((step >> 15) & 0x1FFFE);  // twice the whole frames
  voice->stepFraction = static_cast<int32_t>(step & 0xFFFF);
}

}  // namespace tvp
