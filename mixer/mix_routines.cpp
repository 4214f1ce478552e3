#include "mixer/mix_routines.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

#include "mixer/convert_sums.h"
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

MixRoutinePair moveRoutinesFor(int32_t interpolation) {
  return mixloop::moveRoutinesForMode<mixloop::Sse2Lanes>(interpolation);
}

MixRoutinePair mixRoutinesFor(int32_t interpolation) {
  static const MixIsa best = mixIsaSupported(MixIsa::kAvx2) ? MixIsa::kAvx2 : MixIsa::kSse2;
  return mixRoutinesFor(interpolation, best);
}

namespace {

// Four frames at a time in SSE2 registers, left in the even lanes and right in the odd ones:
// saturating packs to 16 bits, then the lower limit; the peaks are the 16-bit magnitudes, the clip
// flags compare the 32-bit sums with the limits.
OutputPeaks sse2ConvertSums(int32_t* sums, int16_t* destination, int32_t frameCount) {
  const int32_t samples = 2 * frameCount;
  const __m128i lowest = _mm_set1_epi16(-32767);
  const __m128i above = _mm_set1_epi32(32767);
  const __m128i below = _mm_set1_epi32(-32767);
  __m128i peak = _mm_setzero_si128();
  __m128i clipped = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 8 <= samples; i += 8) {
    auto* at = reinterpret_cast<__m128i*>(sums + i);
    const __m128i a = _mm_loadu_si128(at);
    const __m128i b = _mm_loadu_si128(at + 1);
    _mm_storeu_si128(at, _mm_setzero_si128());
    _mm_storeu_si128(at + 1, _mm_setzero_si128());
    const __m128i limited = _mm_max_epi16(_mm_packs_epi32(a, b), lowest);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), limited);
    peak = _mm_max_epi16(peak, _mm_max_epi16(limited, _mm_sub_epi16(_mm_setzero_si128(), limited)));
    clipped = _mm_or_si128(clipped, _mm_or_si128(_mm_cmpgt_epi32(a, above), _mm_cmpgt_epi32(below, a)));
    clipped = _mm_or_si128(clipped, _mm_or_si128(_mm_cmpgt_epi32(b, above), _mm_cmpgt_epi32(below, b)));
  }
  int16_t peaks[8];
  int32_t clips[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(peaks), peak);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(clips), clipped);
  convert::ChannelPeaks found;
  found.peak[0] = std::max({peaks[0], peaks[2], peaks[4], peaks[6]});
  found.peak[1] = std::max({peaks[1], peaks[3], peaks[5], peaks[7]});
  found.clipped[0] = (clips[0] | clips[2]) != 0;
  found.clipped[1] = (clips[1] | clips[3]) != 0;
  return convert::finish(sums, destination, i, samples, found);
}

}  // namespace

OutputPeaks convertSums(int32_t* sums, int16_t* destination, int32_t frameCount, MixIsa isa) {
#if TVP_MIX_AVX2
  if (isa == MixIsa::kAvx2 && mixIsaSupported(isa)) return avx2ConvertSums(sums, destination, frameCount);
#else
  (void)isa;
#endif
  return sse2ConvertSums(sums, destination, frameCount);
}

OutputPeaks convertSums(int32_t* sums, int16_t* destination, int32_t frameCount) {
  static const auto best = mixIsaSupported(MixIsa::kAvx2) ? avx2ConvertSums : sse2ConvertSums;
  return best(sums, destination, frameCount);
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
