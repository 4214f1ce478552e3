#include "mixer/mix_routines.h"

#include <cstdint>

#include "mixer/interpolators.h"
#include "mixer/mix_loop.h"

namespace tvp {

bool mixIsaSupported(MixIsa isa) {
  if (isa == MixIsa::kSse2) return true;
#if TVP_MIX_AVX2
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

MixRoutinePair mixRoutinesFor(int32_t interpolation, MixIsa isa) {
#if TVP_MIX_AVX2
  if (isa == MixIsa::kAvx2 && mixIsaSupported(isa)) return avx2MixRoutinesFor(interpolation);
#else
  (void)isa;
#endif
  return mixloop::routinesForMode<mixloop::Sse2Lanes>(interpolation);
}

MixRoutinePair mixRoutinesFor(int32_t interpolation) {
  static const MixIsa best = mixIsaSupported(MixIsa::kAvx2) ? MixIsa::kAvx2 : MixIsa::kSse2;
  return mixRoutinesFor(interpolation, best);
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
