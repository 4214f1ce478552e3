// The mixing loops with eight frames per vector in AVX2 registers. This file alone is compiled with
// -mavx2; mixRoutinesFor hands its loops out only where the processor has AVX2.
#define TVP_MIX_ISA avx2

#include <immintrin.h>

#include <cstdint>

#include "mixer/interpolators.h"
#include "mixer/mix_loop.h"
#include "mixer/mix_routines.h"

namespace tvp {
inline namespace TVP_MIX_ISA {
namespace mixloop {

typedef int32_t Lanes8 __attribute__((vector_size(32)));
typedef uint32_t Lanes8u __attribute__((vector_size(32)));

}  // namespace mixloop

template <>
struct UnsignedOf<mixloop::Lanes8> {
  using type = mixloop::Lanes8u;
};

namespace mixloop {

// Eight lanes. The lanes' frames come from one vector of offsets, and each pair of taps from one
// gather of eight 32-bit words at 2-byte scale; the 32-bit products are native (vpmulld).
struct Avx2Lanes {
  using Vec = Lanes8;
  static constexpr int32_t kWidth = 8;

  // Lane l mixes frame iota[l] of the block: AVX2 unpacks work within 128-bit halves, and in this
  // order they leave frames 0 to 3 in one register and 4 to 7 in the other, left and right
  // interleaved, ready to add to the sums.
  static Vec iota() { return Vec{0, 1, 4, 5, 2, 3, 6, 7}; }

  struct LaneFrames {
    const int16_t* data;
    __m256i offsets;  // frames from data, per lane
  };
  static LaneFrames laneFrames(const int16_t* data, int32_t, int32_t, Vec relative) {
    return {data, reinterpret_cast<__m256i>(relative >> 16)};
  }
  static Vec loadPairs(const LaneFrames& f, int32_t first) {
    return reinterpret_cast<Vec>(
        _mm256_i32gather_epi32(reinterpret_cast<const int*>(f.data + first), f.offsets, 2));
  }

  // (s x gain) >> 16 with the 32-bit product wrapping, as the one-frame loop does it.
  struct Gains {
    __m256i leftRight;
  };
  static Gains gains(int32_t left, int32_t right) {
    return {_mm256_set_epi32(right, left, right, left, right, left, right, left)};
  }
  static void addScaled(int32_t* out, Vec s, const Gains& g) {
    const __m256i v = reinterpret_cast<__m256i>(s);
    // Each sample once for either side: frames 0 1 | 2 3 and 4 5 | 6 7.
    const __m256i first = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_unpacklo_epi32(v, v), g.leftRight), 16);
    const __m256i second = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_unpackhi_epi32(v, v), g.leftRight), 16);
    auto* sums = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(sums, _mm256_add_epi32(_mm256_loadu_si256(sums), first));
    _mm256_storeu_si256(sums + 1, _mm256_add_epi32(_mm256_loadu_si256(sums + 1), second));
  }
};

}  // namespace mixloop
}  // namespace TVP_MIX_ISA

MixRoutinePair avx2MixRoutinesFor(int32_t interpolation) {
  return mixloop::routinesForMode<mixloop::Avx2Lanes>(interpolation);
}

}  // namespace tvp
