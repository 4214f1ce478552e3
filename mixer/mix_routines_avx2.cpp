// The mixing loops with eight frames per vector in AVX2 registers. This file alone is compiled with
// -mavx2; mixRoutinesFor hands its loops out only where the processor has AVX2.
#define TVP_MIX_ISA avx2

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "mixer/convert_sums.h"
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

// Eight lanes; the 32-bit products are native (vpmulld). Where the lanes stand close together (the
// usual step of a frame or less per output frame) the interpolator's terms come from contiguous
// frames (FrameLanes); where they spread wider, up to 13/7 frames a step, the lanes' tap pairs are
// permuted out of a window of contiguous frames (WindowPairs); otherwise, and where a window would
// pass the data's end, each pair is one gather of eight 32-bit words at 2-byte scale
// (ScatteredPairs). Gathers cost far more than loads and permutes.
struct Avx2Lanes {
  using Vec = Lanes8;
  static constexpr int32_t kWidth = 8;

  // Lane l mixes frame iota[l] of the block: AVX2 unpacks work within 128-bit halves, and in this
  // order they leave frames 0 to 3 in one register and 4 to 7 in the other, left and right
  // interleaved, ready to add to the sums.
  static Vec iota() { return Vec{0, 1, 4, 5, 2, 3, 6, 7}; }

  struct ScatteredPairs {
    static constexpr bool kFrameTerms = false;
    ScatteredPairs(const int16_t* first, int32_t, int32_t, Vec relative)
        : first(first), offsets(reinterpret_cast<__m256i>(relative >> 16)) {}
    Vec pairAt(int32_t tap) const {
      return reinterpret_cast<Vec>(_mm256_i32gather_epi32(reinterpret_cast<const int*>(first + tap), offsets, 2));
    }
    const int16_t* first;
    __m256i offsets;  // frames from first, per lane
  };

  // Where the lanes stand on kWidth consecutive frames (a step of a frame or less per output
  // frame), the interpolator's terms are worked out for those frames, their taps read as they lie,
  // and each lane takes its own frame's with one permute per term. windowRoom (mix_loop.h) keeps
  // the kFrames frames read, from the first frame's first tap on, inside the data.
  static constexpr bool kWindow = true;
  static Vec loadFrames(const int16_t* at) {
    return reinterpret_cast<Vec>(_mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))));
  }
  struct FrameLanes {
    static constexpr bool kFrameTerms = true;
    static constexpr int32_t kFrames = kWidth + 3;  // the cubic's taps -1 .. 2 around kWidth frames
    // The frames start `below` frames before the block's first frame.
    FrameLanes(int32_t below, Vec relative) : index(reinterpret_cast<__m256i>((relative >> 16) + below)) {}
    Vec operator()(Vec frameTerm) const {
      return reinterpret_cast<Vec>(_mm256_permutevar8x32_epi32(reinterpret_cast<__m256i>(frameTerm), index));
    }
    __m256i index;  // per lane, its frame among the kWidth
  };

  // Where the lanes spread wider, up to 13 frames (a step up to 13/7), their tap pairs come from
  // a window of 17 frames from framesBelow (mix_loop.h) before the block's first tap on, as
  // 32-bit words from an even frame (frames 0,1 2,3 .. 14,15 of the window) and from an odd one
  // (1,2 .. 15,16). A lane's pair starting at window frame w is word w / 2 of the one or the
  // other, by w's parity: one permute of each and a blend. windowRoom keeps every lane's taps and
  // all kFrames frames inside the data.
  struct WindowPairs {
    static constexpr bool kFrameTerms = false;
    static constexpr int32_t kFrames = 17;
    WindowPairs(const int16_t* first, int32_t, int32_t laneStep, Vec relative) {
      const int32_t below = framesBelow<kWidth>(laneStep);
      even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first - below));
      odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first - below + 1));
      const Vec at = (relative >> 16) + below;
      word = reinterpret_cast<__m256i>(at >> 1);
      oddLanes = _mm256_castsi256_ps(reinterpret_cast<__m256i>(at << 31));
    }
    // `tap` is even: the lanes' pairs keep the parity of their first.
    Vec pairAt(int32_t tap) const {
      const __m256i index = _mm256_add_epi32(word, _mm256_set1_epi32(tap / 2));
      // The blend takes the odd word where a lane's sign bit is set.
      return reinterpret_cast<Vec>(_mm256_castps_si256(
          _mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, index)),
                           _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, index)), oddLanes)));
    }
    __m256i even, odd, word;
    __m256 oddLanes;  // sign bit set: the lane's pairs start at an odd frame of the window
  };

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

// Eight frames at a time: saturating packs to 16 bits (within 128-bit halves, put back in order by
// one permute), then the lower limit. The peaks and clip flags come from each lane's largest and
// smallest sum: the largest magnitude written is the larger of the largest sum and minus the
// smallest, and a sum was limited where either lies outside -32767..32767.
OutputPeaks avx2ConvertSums(int32_t* sums, int16_t* destination, int32_t frameCount) {
  const int32_t samples = 2 * frameCount;
  const __m256i lowest = _mm256_set1_epi16(-32767);
  __m256i high = _mm256_set1_epi32(INT32_MIN);
  __m256i low = _mm256_set1_epi32(INT32_MAX);
  int32_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    auto* at = reinterpret_cast<__m256i*>(sums + i);
    const __m256i a = _mm256_loadu_si256(at);
    const __m256i b = _mm256_loadu_si256(at + 1);
    _mm256_storeu_si256(at, _mm256_setzero_si256());
    _mm256_storeu_si256(at + 1, _mm256_setzero_si256());
    high = _mm256_max_epi32(high, _mm256_max_epi32(a, b));
    low = _mm256_min_epi32(low, _mm256_min_epi32(a, b));
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), _mm256_max_epi16(packed, lowest));
  }
  int32_t highs[8], lows[8];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(highs), high);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lows), low);
  convert::ChannelPeaks found;
  for (int32_t channel = 0; channel < 2; ++channel) {
    int32_t most = INT32_MIN, least = INT32_MAX;
    for (int32_t l = channel; l < 8; l += 2) {
      most = std::max(most, highs[l]);
      least = std::min(least, lows[l]);
    }
    found.clipped[channel] = most > 32767 || least < -32767;
    // Unclipped, both lie inside the limits and -least cannot overflow; with no sums at all the
    // peak stays 0.
    if (!found.clipped[channel]) found.peak[channel] = std::max({0, most, -least});
  }
  return convert::finish(sums, destination, i, samples, found);
}

}  // namespace tvp
