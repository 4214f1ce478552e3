#pragma once
// The one template behind every mixing loop. A routine is mixVoice<Interpolator, Gain, Clock,
// Lanes>: the interpolator functor (mixer/interpolators.h) computes a sample value, the gain policy
// scales it into the left and right sums (fixed gains, or gains ramped frame by frame), the clock
// counts arpeggio frames (or nothing), and the lanes policy says how many frames one vector holds
// (four in SSE2 registers, Sse2Lanes below; eight in AVX2 ones, mix_routines_avx2.cpp) and how
// their frames are read. At entry the routine picks one of six straight-line frame
// loops, loop rule (ping-pong, forward, one-shot) x (audible, silent); inside a frame loop nothing
// tests the method or the loop kind.
//
// A frame loop works in runs: while a whole vector of frames lies before the next loop boundary
// (and, for an arpeggio, before the next pitch switch) it mixes them at once with no rule tested;
// the frame that reaches a boundary goes alone through the loop rule. A silent voice skips a
// run with one division.
//
// Positions are bytes of 16-bit sample data (frame index = position >> 1) plus a 16-bit fraction
// of a frame. The loops do no bounds checks: reads reach one frame before and two after the
// current frame, which the sample storage's guard frames cover as long as the voice entered with
// its position inside the data and a loop inside the data (checked once at entry).
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <emmintrin.h>

#include "engine/sound_engine.h"
#include "engine/voice.h"
#include "mixer/interpolators.h"
#include "mixer/mix_routines.h"

namespace tvp {
inline namespace TVP_MIX_ISA {
namespace mixloop {

// The part of the voice that moves frame by frame, held in locals while a loop runs. The voice
// keeps a byte position of its 16-bit data and a 16-bit fraction; here they are one fixed-point
// count of frames (frame << 16 | fraction), so that one 64-bit add moves both and carries the
// fraction into the frame exactly as the separate fields do.
struct Cursor {
  int64_t at;    // frame << 16 | fraction
  int64_t step;  // per output frame, same units
  uint32_t loopFlags;  // only kVoiceMovingBackward changes

  int32_t frame() const { return static_cast<int32_t>(at >> 16); }
  int32_t fraction() const { return static_cast<int32_t>(at & 0xFFFF); }
};

inline int64_t fixedFrames(int32_t bytes) { return static_cast<int64_t>(bytes >> 1) << 16; }
inline int64_t fixedStep(int32_t stepWhole, int32_t stepFraction) { return fixedFrames(stepWhole) | stepFraction; }

// Loop and sample bounds in the cursor's units, and the loop in whole frames.
struct LoopBounds {
  int64_t start;
  int64_t end;  // just after the loop
  int64_t length;
  int64_t sampleEnd;
  int32_t startFrame;
  int32_t endFrame;
  int32_t lengthFrames;

  LoopBounds(int32_t startBytes, int32_t endBytes, int32_t lengthBytes, int32_t sampleEndBytes)
      : start(fixedFrames(startBytes)),
        end(fixedFrames(endBytes)),
        length(fixedFrames(lengthBytes)),
        sampleEnd(fixedFrames(sampleEndBytes)),
        startFrame(startBytes >> 1),
        endFrame(endBytes >> 1),
        lengthFrames(lengthBytes >> 1) {}
};

// Loop rules: advance one output frame and apply the loop; false when the sample has ended.

// Each rule also says how far the cursor may move in its present direction before the rule acts
// (`room`; a frame loop mixes a run of frames whose steps all fit in it), and which way it moves.

struct OneShotRule {
  static int64_t room(const Cursor& c, const LoopBounds& b) { return b.sampleEnd - 1 - c.at; }
  static bool backward(const Cursor&) { return false; }
  static bool advance(Cursor& c, const LoopBounds& b) {
    c.at += c.step;
    return c.at < b.sampleEnd;
  }
};

struct ForwardLoopRule {
  static int64_t room(const Cursor& c, const LoopBounds& b) { return b.end - 1 - c.at; }
  static bool backward(const Cursor&) { return false; }
  static bool advance(Cursor& c, const LoopBounds& b) {
    c.at += c.step;
    // Take the loop length off while the position is at or past the loop end. Normally once; a
    // step longer than the loop needs more, counted with one division instead of a loop per frame.
    if (c.at >= b.end) [[unlikely]] {
      const int32_t over = c.frame() - b.endFrame;
      c.at -= b.length;
      if (over >= b.lengthFrames) c.at -= (over / b.lengthFrames) * b.length;
    }
    return true;
  }
};

// Ping-pong: a reflection mirrors the exact position about the loop boundary (in bytes, position
// = 2 x boundary - position - 2 with the fraction complemented; in the cursor's units 2 x boundary
// - 1 - at), repeated until the position lies inside the loop. Two reflections in a row (one at
// each end) come to a shift by twice the loop length with the fraction and the direction
// unchanged, so a step many loops long is folded with one division rather than thousands of
// reflections per frame; at most one single reflection is left after that.
struct PingPongRule {
  static int64_t room(const Cursor& c, const LoopBounds& b) {
    return backward(c) ? c.at - b.start : b.end - 1 - c.at;
  }
  static bool backward(const Cursor& c) { return (c.loopFlags & kVoiceMovingBackward) != 0; }
  static bool advance(Cursor& c, const LoopBounds& b) {
    if (!(c.loopFlags & kVoiceMovingBackward)) {
      c.at += c.step;
      if (c.at >= b.end) [[unlikely]]
        reflectAtEnd(c, b);
    } else {
      c.at -= c.step;
      if (c.at < b.start) [[unlikely]]
        reflectAtStart(c, b);
    }
    return true;
  }

  static void reflectAtEnd(Cursor& c, const LoopBounds& b) {
    const int32_t over = c.frame() - b.endFrame;
    if (over >= b.lengthFrames) {  // the first reflection lands before the loop start: whole bounces
      const int64_t bounces = (over - b.lengthFrames) / (2 * int64_t{b.lengthFrames}) + 1;
      c.at -= bounces * 2 * b.length;
      if (c.at < b.end) return;
    }
    c.at = 2 * b.end - 1 - c.at;
    c.loopFlags |= kVoiceMovingBackward;
  }

  static void reflectAtStart(Cursor& c, const LoopBounds& b) {
    const int32_t under = b.startFrame - c.frame();
    if (under >= b.lengthFrames + 1) {  // the first reflection lands at or past the loop end
      const int64_t bounces = (under - b.lengthFrames - 1) / (2 * int64_t{b.lengthFrames}) + 1;
      c.at += bounces * 2 * b.length;
      if (c.at >= b.start) return;
    }
    c.at = 2 * b.start - 1 - c.at;
    c.loopFlags &= ~kVoiceMovingBackward;
  }
};

// Two adjacent frames as one little-endian word: the first in the low half.
inline int32_t loadPair(const int16_t* at) {
  int32_t pair;
  std::memcpy(&pair, at, sizeof pair);
  return pair;
}

// Lanes policy: how many frames one vector of int32 holds (four, in an SSE2 register) and how a
// vector of sample values is scaled into the interleaved left/right sums.
struct Sse2Lanes {
  using Vec = Lanes4;
  static constexpr int32_t kWidth = 4;

  static Vec iota() { return Vec{0, 1, 2, 3}; }

  // The lanes' taps, pair by pair. The lanes' frames are found with scalar adds, cheaper than
  // taking them out of a vector one by one. `first`: every lane's first tap from the block's
  // first frame (the block's own first tap).
  struct ScatteredPairs {
    static constexpr bool kFrameTerms = false;
    ScatteredPairs(const int16_t* first, int32_t fraction, int32_t laneStep, Vec) {
      int32_t relative = fraction;
#pragma GCC unroll 4
      for (int32_t l = 0; l < kWidth; ++l, relative += laneStep) at[l] = first + (relative >> 16);
    }
    // Built from a list, not lane by lane: compilers pair the lanes up with unpacks then.
    Vec pairAt(int32_t tap) const {
      return Vec{loadPair(at[0] + tap), loadPair(at[1] + tap), loadPair(at[2] + tap), loadPair(at[3] + tap)};
    }
    const int16_t* at[kWidth];
  };
  // No contiguous window: SSE2 has no shuffle by a vector of indices.
  static constexpr bool kWindow = false;

  // Every interpolator's value fits 16 bits (the cubic is clamped, the others lie between two
  // frames), so (s x gain) >> 16, the 32-bit product's bits 16..31 sign-extended, is the low 16
  // bits of s x (gain >> 16) + ((s x (gain & 0xFFFF)) >> 16): 16-bit multiplies, eight products
  // (four frames, both sides) per instruction. pmulhw takes the low half as signed, so a low half
  // of 0x8000 or more gets s added back.
  struct Gains {
    __m128i low, lowCarry, high;  // per 16-bit lane, left and right alternating
  };
  static Gains gains(int32_t left, int32_t right) {
    auto pair = [](int32_t l, int32_t r) { return _mm_set_epi16(r, l, r, l, r, l, r, l); };
    return {pair(left & 0xFFFF, right & 0xFFFF), pair(left & 0x8000 ? -1 : 0, right & 0x8000 ? -1 : 0),
            pair(left >> 16, right >> 16)};
  }
  static void addScaled(int32_t* out, Vec s, const Gains& g) {
    const __m128i s16 = _mm_packs_epi32(reinterpret_cast<__m128i>(s), reinterpret_cast<__m128i>(s));
    const __m128i twice = _mm_unpacklo_epi16(s16, s16);  // s0 s0 s1 s1 s2 s2 s3 s3
    __m128i scaled = _mm_add_epi16(_mm_mulhi_epi16(twice, g.low), _mm_and_si128(twice, g.lowCarry));
    scaled = _mm_add_epi16(scaled, _mm_mullo_epi16(twice, g.high));
    auto* sums = reinterpret_cast<__m128i*>(out);
    const __m128i first = _mm_srai_epi32(_mm_unpacklo_epi16(scaled, scaled), 16);
    const __m128i second = _mm_srai_epi32(_mm_unpackhi_epi16(scaled, scaled), 16);
    _mm_storeu_si128(sums, _mm_add_epi32(_mm_loadu_si128(sums), first));
    _mm_storeu_si128(sums + 1, _mm_add_epi32(_mm_loadu_si128(sums + 1), second));
  }
};

// The frames an interpolator reads. FrameTaps: around one position. ContiguousTaps: around each
// of kWidth consecutive frames, one per lane, for the terms of frames that the lanes then take
// their own of (the lanes policy's FrameLanes, where it has them). LaneTaps: around the position
// of each lane, lane l standing iota[l] x laneStep (16.16) from the block's first position (the
// lanes policy says which frame of the block each lane mixes), for any step; a lane's taps are
// read in pairs from the interpolator's first tap on by the policy's ScatteredPairs: one 32-bit
// word holds d(first) and d(first + 1) in its low and high halves (for the cubic, frames -1,0 and
// 1,2; for the linear, 0,1), half the loads of reading the frames one by one.
struct FrameTaps {
  const int16_t* at;
  int32_t operator()(int32_t k) const { return at[k]; }
};

// Frames a block's lowest lane may stand before its first frame: none moving forward; moving
// backward, kWidth - 1 steps rounded up. The same for every block of a run.
template <int32_t kWidth>
constexpr int32_t framesBelow(int32_t laneStep) {
  return laneStep < 0 ? static_cast<int32_t>(((kWidth - 1) * -int64_t{laneStep} + 0xFFFF) >> 16) : 0;
}

// Frames as they lie: d(k) holds frame k of kWidth consecutive frames from `at` on, one per lane.
template <class L>
struct ContiguousTaps {
  const int16_t* at;
  typename L::Vec operator()(int32_t k) const { return L::loadFrames(at + k); }
};

template <class Pairs, class V, int32_t kFirst>
struct LaneTaps {
  V operator()(int32_t k) const {
    const bool high = ((k - kFirst) & 1) != 0;
    const V pair = pairs.pairAt((high ? k - 1 : k) - kFirst);
    return high ? pair >> 16 : (pair << 16) >> 16;
  }
  Pairs pairs;
};

// Gains: gain = ((4096 -/+ panning) x volume) >> 13, so full volume at the centre adds half the
// sample to each side and a hard-panned voice adds all of it to one side.
inline int32_t gainLeft(int32_t volume, int32_t panning) {
  return wrapMul(wrapSub(4096, panning), volume) >> 13;
}
inline int32_t gainRight(int32_t volume, int32_t panning) {
  return wrapMul(wrapAdd(4096, panning), volume) >> 13;
}

inline void addScaled(int32_t* out, int32_t s, int32_t left, int32_t right) {
  // The sums wrap rather than trap; with legal gains 256 full-scale voices stay far from the limit.
  out[0] = wrapAdd(out[0], wrapMul(s, left) >> 16);
  out[1] = wrapAdd(out[1], wrapMul(s, right) >> 16);
}

// Frame emitters. `frame(data, cursor, out)` adds one frame's contribution at out[0], out[1];
// where kBlocks is set, `block<Lanes>(data, cursor, laneStep, out)` adds a vector of frames at
// positions cursor + l x laneStep (laneStep is the signed step, so a backward run works too).

// Gains computed once per call from volume and panning.
template <class Interp>
struct FixedGain {
  static constexpr bool kBlocks = true;
  static constexpr bool kSilent = false;
  static constexpr int32_t kFirstTap = Interp::kFirstTap;
  static bool silent(const Voice& v) { return v.volume < 1; }

  explicit FixedGain(const Voice& v) : left(gainLeft(v.volume, v.panning)), right(gainRight(v.volume, v.panning)) {}

  void operator()(const int16_t* data, const Cursor& c, int32_t* out) const {
    addScaled(out, Interp::sample(FrameTaps{data + c.frame()}, c.fraction()), left, right);
  }

  // Always inlined: left to itself the compiler calls the cubic's block, which costs more than the
  // block's own work.
  template <class L, class Source>
  [[gnu::always_inline]] void block(const int16_t* data, const Cursor& c, int32_t laneStep, int32_t* out) const {
    using V = typename L::Vec;
    // Every lane's position relative to the block's first frame, in 16.16; the caller keeps the
    // whole block's span inside int32.
    const V relative = splat<V>(c.fraction()) + L::iota() * laneStep;
    const int16_t* at = data + c.frame();
    V s;
    if constexpr (Source::kFrameTerms) {
      // The terms of kWidth frames from the run's reach below the block's first frame on, each
      // lane taking those of the frame it stands on.
      const int32_t below = framesBelow<L::kWidth>(laneStep);
      const auto frameTerms = Interp::template terms<V>(ContiguousTaps<L>{at - below});
      s = Interp::evaluate(frameTerms.map(Source(below, relative)), relative & 0xFFFF);
    } else {
      const LaneTaps<Source, V, Interp::kFirstTap> taps{
          Source(at + Interp::kFirstTap, c.fraction(), laneStep, relative)};
      s = Interp::sample(taps, relative & 0xFFFF);
    }
    L::addScaled(out, s, L::gains(left, right));
  }
  void store(Voice*) const {}

  int32_t left;
  int32_t right;
};

// Ramped gains: before each frame the applied volume and panning move toward their targets by at
// most kVolumeRamp and kPanningRamp, which hides the clicks of sudden changes (a jump from silence
// to full volume takes 683 frames, from hard left to hard right 512).
inline constexpr int32_t kVolumeRamp = 96;
inline constexpr int32_t kPanningRamp = 16;

inline int32_t rampToward(int32_t current, int32_t target, int32_t limit) {
  int64_t delta = static_cast<int64_t>(target) - current;
  if (delta > limit) delta = limit;
  if (delta < -limit) delta = -limit;
  return static_cast<int32_t>(current + delta);
}

// Frames of ramping before the applied volume and panning equal their targets.
inline int32_t framesToSettle(const Voice& v) {
  const int64_t volume = std::abs(static_cast<int64_t>(v.volume) - v.rampVolume);
  const int64_t panning = std::abs(static_cast<int64_t>(v.panning) - v.rampPanning);
  const int64_t frames = std::max((volume + kVolumeRamp - 1) / kVolumeRamp, (panning + kPanningRamp - 1) / kPanningRamp);
  return frames > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(frames);
}

template <class Interp>
struct RampedGain {
  static constexpr bool kBlocks = false;
  static constexpr bool kSilent = false;
  // A voice fading out (target 0, applied volume still up) keeps sounding until the ramp is done.
  static bool silent(const Voice& v) { return v.volume < 1 && v.rampVolume < 1; }

  explicit RampedGain(const Voice& v)
      : volume(v.volume),
        panning(v.panning),
        rampVolume(v.rampVolume),
        rampPanning(v.rampPanning) {}

  void operator()(const int16_t* data, const Cursor& c, int32_t* out) {
    rampVolume = rampToward(rampVolume, volume, kVolumeRamp);
    rampPanning = rampToward(rampPanning, panning, kPanningRamp);
    addScaled(out, Interp::sample(FrameTaps{data + c.frame()}, c.fraction()), gainLeft(rampVolume, rampPanning),
              gainRight(rampVolume, rampPanning));
  }
  void store(Voice* v) const {
    v->rampVolume = rampVolume;
    v->rampPanning = rampPanning;
  }

  int32_t volume;
  int32_t panning;
  int32_t rampVolume;
  int32_t rampPanning;
};

// The resonant low-pass after resampling, frame by frame: each interpolated value goes through
// y = a0 x + b1 y1 + b2 y2 (8.24 coefficients, 64-bit products; y1 and y2 in 1/256 of a sample
// step) before its gains, ramped when
// `kRamps`. Only voices that filter take these loops.
template <bool kRamps>
struct Filtered {
  template <class Interp>
  struct Gain {
    static constexpr bool kBlocks = false;
    static constexpr bool kSilent = false;
    static bool silent(const Voice& v) { return v.volume < 1 && (!kRamps || v.rampVolume < 1); }

    explicit Gain(const Voice& v)
        : volume(v.volume),
          panning(v.panning),
          rampVolume(kRamps ? v.rampVolume : v.volume),
          rampPanning(kRamps ? v.rampPanning : v.panning),
          left(gainLeft(v.volume, v.panning)),
          right(gainRight(v.volume, v.panning)),
          a0(v.filterA0),
          b1(v.filterB1),
          b2(v.filterB2),
          y1(v.filterY1),
          y2(v.filterY2) {}

    void operator()(const int16_t* data, const Cursor& c, int32_t* out) {
      // The state keeps 8 bits below the sample's and rounds: at a low cutoff the filter's gain
      // for what the rounding loses is in the thousands. A resonant peak lifts full scale by less
      // than 8 times; the limit only guards the state. What is mixed stays in the sample range,
      // which the gains are made for.
      const int64_t x = Interp::sample(FrameTaps{data + c.frame()}, c.fraction());
      const int64_t sum = a0 * x * 256 + b1 * y1 + b2 * y2 + (int64_t{1} << 23);
      const int64_t y = std::clamp<int64_t>(sum >> 24, -(int64_t{1} << 28), int64_t{1} << 28);
      y2 = y1;
      y1 = static_cast<int32_t>(y);
      const int32_t s = static_cast<int32_t>(std::clamp<int64_t>(y >> 8, -32767, 32767));
      if constexpr (kRamps) {
        rampVolume = rampToward(rampVolume, volume, kVolumeRamp);
        rampPanning = rampToward(rampPanning, panning, kPanningRamp);
        addScaled(out, s, gainLeft(rampVolume, rampPanning), gainRight(rampVolume, rampPanning));
      } else {
        addScaled(out, s, left, right);
      }
    }
    void store(Voice* v) const {
      v->filterY1 = y1;
      v->filterY2 = y2;
      if constexpr (kRamps) {
        v->rampVolume = rampVolume;
        v->rampPanning = rampPanning;
      }
    }

    int32_t volume, panning, rampVolume, rampPanning, left, right;
    int64_t a0, b1, b2;
    int32_t y1, y2;
  };
};

// A silent voice only moves: no sample reads, no sums touched, so it stays in time.
struct SilentFrame {
  static constexpr bool kBlocks = false;
  static constexpr bool kSilent = true;
  void operator()(const int16_t*, const Cursor&, int32_t*) const {}
  void store(Voice*) const {}
};

// Clocks: counted after every frame.

// `quiet()` is how many frames may pass with nothing but counting; `pass(n)` counts them.

struct NoClock {
  explicit NoClock(const SoundEngine&, const Voice&) {}
  static int32_t quiet() { return 0x7FFFFFFF; }
  void pass(int32_t) {}
  void count(Cursor&, Voice*) {}
  void store(Voice*) const {}
};

// The arpeggio switches its pitch every arpeggioStepFrames output frames; counter and phase live
// in the voice, so the switches keep their rate across calls, ticks and buffers.
struct ArpeggioClock {
  ArpeggioClock(const SoundEngine& engine, const Voice& v)
      : counter(v.arpeggioCounter),
        phase(v.arpeggioPhase),
        stepFrames(engine.arpeggioStepFrames > 0x7FFFFFFFu ? 0x7FFFFFFF
                                                           : static_cast<int32_t>(engine.arpeggioStepFrames)) {}

  int32_t quiet() const {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{stepFrames} - 1 - counter, 0, 0x7FFFFFFF));
  }
  void pass(int32_t frames) { counter += frames; }

  // The counter counts the frame; reaching stepFrames switches. Tested before the increment, so
  // no stored counter can overflow it, and with ">=" a counter left above a shortened interval (a
  // tempo change) switches at the next frame instead of running on until it wraps.
  void count(Cursor& c, Voice* v) {
    if (counter < stepFrames - 1) [[likely]] {
      ++counter;
      return;
    }
    phase = phase >= 2 ? 0 : phase + 1;
    v->arpeggioPhase = phase;
    UpdateVoiceStep(v);
    c.step = fixedStep(v->stepWhole, v->stepFraction);
    counter = 0;
  }
  void store(Voice* v) const {
    v->arpeggioCounter = counter;
    v->arpeggioPhase = phase;
  }

  int32_t counter;
  int32_t phase;
  int32_t stepFrames;
};

// A run of blocks keeps every lane's offset from the block's first position, in 16.16, inside int32.
inline constexpr int64_t kMaxBlockSpan = 0x7FFF0000;

// How far the cursor may move in its direction, from block to block, with every block's window
// (Window::kFrames frames from framesBelow before the first tap of the block's first frame) inside
// the data and its guard frames, the frame before the data and two after sampleEnd; negative where
// the first block's window is not, or where the step spreads the lanes wider than the window holds
// (its last three frames are the highest lane's other taps).
template <class L, class Window, int32_t kFirstTap>
int64_t windowRoom(const Cursor& c, const LoopBounds& b, int32_t laneStep) {
  constexpr int32_t kFrames = Window::kFrames;
  if ((L::kWidth - 1) * std::abs(int64_t{laneStep}) > int64_t{kFrames - 4} << 16) return -1;
  const int64_t below = framesBelow<L::kWidth>(laneStep);
  const int64_t lowest = (below - 1 - kFirstTap) << 16;
  const int64_t highest = (((b.sampleEnd >> 16) + 3 - kFrames - kFirstTap + below) << 16) - 1;
  if (c.at < lowest || c.at > highest) return -1;
  return laneStep < 0 ? c.at - lowest : highest - c.at;
}

// One straight-line frame loop; false when a one-shot sample ended inside it.
// The cursor, bounds, gains and clock are copied into locals: the sums are int32 stores that could
// otherwise alias them and force a reload of every field on every frame.
template <class Rule, class L, class Frame, class Clock>
bool sampleLoop(const int16_t* data, int32_t* out, int32_t frameCount, Cursor& cursor,
                const LoopBounds& bounds, Frame& frameState, Clock& clockState, Voice* voice) {
  Cursor c = cursor;
  const LoopBounds b = bounds;
  Frame frame = frameState;
  Clock clock = clockState;
  bool playing = true;
  int32_t n = 0;
  while (n < frameCount) {
    // The run: frames whose steps all stay short of the loop rule and the clock's next switch.
    const int64_t room = Rule::room(c, b);
    if constexpr (Frame::kSilent) {
      int64_t run = std::min(frameCount - n, clock.quiet());
      if (c.step > 0) run = std::min(run, std::max<int64_t>(0, room / c.step));
      c.at += (Rule::backward(c) ? -run : run) * c.step;
      clock.pass(static_cast<int32_t>(run));
      n += static_cast<int32_t>(run);
    } else if constexpr (Frame::kBlocks) {
      const int64_t span = L::kWidth * c.step;
      if (span <= kMaxBlockSpan) {
        const bool backward = Rule::backward(c);
        const int32_t laneStep = static_cast<int32_t>(backward ? -c.step : c.step);
        const int64_t move = backward ? -span : span;
        // How many of `count` blocks fit in `distance`, a span each; counted once per run, so that
        // the block loops count down one number.
        const auto fit = [span](int64_t distance, int32_t count) -> int32_t {
          if (distance < span) return 0;
          if (span == 0 || count * span <= distance) return count;
          return static_cast<int32_t>(distance / span);
        };
        const auto mixBlocks = [&](auto source, int32_t count) {
          using Source = typename decltype(source)::type;
          for (int32_t k = count; k > 0; --k) {
            frame.template block<L, Source>(data, c, laneStep, out);
            c.at += move;
            out += 2 * L::kWidth;
          }
          n += count * L::kWidth;
          clock.pass(count * L::kWidth);
        };
        const int32_t blocks = fit(room, std::min(frameCount - n, clock.quiet()) / L::kWidth);
        int32_t windowed = 0;
        if constexpr (L::kWindow) {
          // The blocks whose frames one window holds first (the frames' terms where the lanes
          // stand close, their pairs where they spread wider), then the rest with the lanes' taps
          // read where they stand: the run's last blocks before a sample end, wide steps.
          using Close = typename L::FrameLanes;
          using Wide = typename L::WindowPairs;
          windowed = fit(windowRoom<L, Close, Frame::kFirstTap>(c, b, laneStep) + span, blocks);
          mixBlocks(std::type_identity<Close>{}, windowed);
          if (windowed == 0) {
            windowed = fit(windowRoom<L, Wide, Frame::kFirstTap>(c, b, laneStep) + span, blocks);
            mixBlocks(std::type_identity<Wide>{}, windowed);
          }
        }
        mixBlocks(std::type_identity<typename L::ScatteredPairs>{}, blocks - windowed);
      }
    }
    if (n == frameCount) break;
    // One frame through the loop rule (and the clock).
    frame(data, c, out);
    out += 2;
    ++n;
    if (!Rule::advance(c, b)) {  // the frames after the end get nothing
      playing = false;
      break;
    }
    clock.count(c, voice);
  }
  cursor = c;
  frameState = frame;
  clockState = clock;
  return playing;
}

template <class L, class Frame, class Clock>
bool runLoopKind(const int16_t* data, int32_t* out, int32_t frameCount, Cursor& c, const LoopBounds& b,
                 Frame& frame, Clock& clock, Voice* voice) {
  if (c.loopFlags & kVoiceLoopPingPong)
    return sampleLoop<PingPongRule, L>(data, out, frameCount, c, b, frame, clock, voice);
  if (c.loopFlags & kVoiceLoopForward)
    return sampleLoop<ForwardLoopRule, L>(data, out, frameCount, c, b, frame, clock, voice);
  return sampleLoop<OneShotRule, L>(data, out, frameCount, c, b, frame, clock, voice);
}

// Largest sample end the loops accept: a position below it plus a maximal step stays in int32.
inline constexpr int32_t kMaxSampleEnd = 0x7FFFFFFF - 0x40000;

// Fields the voice set-up guarantees; a voice violating them would make the loops read outside
// the data or never finish a loop rule. Checked once per call, never per frame.
inline bool voiceFieldsSane(const Voice& v) {
  if (v.sampleEnd < 0 || v.sampleEnd > kMaxSampleEnd) return false;
  // Byte positions of 16-bit frames are even; an odd one would let a reflection land one byte
  // before the loop (and the guard frame).
  if ((v.position | v.sampleEnd | v.stepWhole) & 1) return false;
  if (v.positionFraction < 0 || v.positionFraction > 0xFFFF) return false;
  if (v.stepFraction < 0 || v.stepFraction > 0xFFFF) return false;
  if (v.stepWhole < 0 || v.stepWhole > 0x1FFFE) return false;
  if (v.loopFlags & (kVoiceLoopPingPong | kVoiceLoopForward)) {
    if (v.loopLength < 2 || v.loopStart < 0) return false;
    if (static_cast<int64_t>(v.loopEnd) - v.loopStart != v.loopLength) return false;
    if (v.loopEnd > v.sampleEnd || ((v.loopStart | v.loopEnd) & 1)) return false;
  }
  return true;
}

template <class Interp, template <class> class Gain, class Clock, class L>
int32_t mixVoice(SoundEngine* engine, Voice* voice, int32_t firstFrame, int32_t frameCount) {
  if (!voice->sampleData) return 0;
  const int32_t result = voice->volume > 0 ? 1 : 0;
  assert(engine->mixBuffer && firstFrame >= 0 && frameCount >= 0);
  assert(voiceFieldsSane(*voice) && "voice set-up armed an impossible position, step or loop");
  // An offset past the data (or a broken set-up in a release build) ends the voice before anything
  // is read: no frame of it is valid.
  if (!voiceFieldsSane(*voice) || voice->position < 0 || voice->position >= voice->sampleEnd) {
    voice->active = 0;
    return result;
  }

  Cursor c{fixedFrames(voice->position) | voice->positionFraction,
           fixedStep(voice->stepWhole, voice->stepFraction), voice->loopFlags};
  const LoopBounds b{voice->loopStart, voice->loopEnd, voice->loopLength, voice->sampleEnd};
  const int16_t* data = voice->sampleData;
  int32_t* out = engine->mixBuffer + 2 * static_cast<int64_t>(firstFrame);
  Clock clock(*engine, *voice);

  bool playing;
  if (Gain<Interp>::silent(*voice)) {
    SilentFrame frame;
    playing = runLoopKind<L>(data, out, frameCount, c, b, frame, clock, voice);
  } else if constexpr (std::is_same_v<Gain<Interp>, RampedGain<Interp>>) {
    // Once the applied volume and panning have reached their targets every later frame has the
    // same gains, so the rest of the stretch runs the fixed-gain loop: the same bits, less work.
    const int32_t ramped = std::min(frameCount, framesToSettle(*voice));
    RampedGain<Interp> frame(*voice);
    playing = runLoopKind<L>(data, out, ramped, c, b, frame, clock, voice);
    frame.store(voice);
    if (playing && ramped < frameCount) {
      FixedGain<Interp> settled(*voice);
      playing = runLoopKind<L>(data, out + 2 * static_cast<int64_t>(ramped), frameCount - ramped, c, b, settled, clock,
                            voice);
    }
  } else {
    Gain<Interp> frame(*voice);
    playing = runLoopKind<L>(data, out, frameCount, c, b, frame, clock, voice);
    frame.store(voice);
  }

  voice->position = c.frame() * 2;
  voice->positionFraction = c.fraction();
  voice->loopFlags = c.loopFlags;
  clock.store(voice);
  if (!playing) voice->active = 0;
  return result;
}

// Fixed gains that count as silent whatever the volume: a voice only moves.
template <class Interp>
struct MutedGain : FixedGain<Interp> {
  using FixedGain<Interp>::FixedGain;
  static bool silent(const Voice&) { return true; }
};

// The applied gain after `frames` frames of ramping by at most `limit` a frame.
inline int32_t rampedAfter(int32_t current, int32_t target, int32_t limit, int32_t frames) {
  const int64_t delta = static_cast<int64_t>(target) - current, reach = static_cast<int64_t>(limit) * frames;
  if (delta > reach) return static_cast<int32_t>(current + reach);
  if (delta < -reach) return static_cast<int32_t>(current - reach);
  return target;
}

// The voice after `frameCount` frames exactly as mixVoice<Interp, Gain, Clock, L> leaves it
// (position, loop direction, arpeggio clock, ramped gains), with no sample read and no sum
// touched: the road of a seek. A ramp broken off by the end of a one-shot sample is left where it
// was, as a voice that has stopped takes new gains, unramped, with its next sample.
template <class Interp, template <class> class Gain, class Clock, class L>
int32_t moveVoice(SoundEngine* engine, Voice* voice, int32_t firstFrame, int32_t frameCount) {
  const bool ramps = std::is_same_v<Gain<Interp>, RampedGain<Interp>> && voice->sampleData &&
                     !RampedGain<Interp>::silent(*voice);
  const int32_t result = mixVoice<Interp, MutedGain, Clock, L>(engine, voice, firstFrame, frameCount);
  if (ramps && voice->active) {
    voice->rampVolume = rampedAfter(voice->rampVolume, voice->volume, kVolumeRamp, frameCount);
    voice->rampPanning = rampedAfter(voice->rampPanning, voice->panning, kPanningRamp, frameCount);
  }
  return result;
}

// A filtered voice takes the arpeggio clock, which with no arpeggio on only counts.
template <class Interp, template <class> class Gain, class L>
constexpr MixRoutinePair routinePair() {
  constexpr bool kRamps = std::is_same_v<Gain<Interp>, RampedGain<Interp>>;
  return {&mixVoice<Interp, Gain, NoClock, L>, &mixVoice<Interp, Gain, ArpeggioClock, L>,
          &mixVoice<Interp, Filtered<kRamps>::template Gain, ArpeggioClock, L>};
}

// The loops of every interpolation mode with one lanes policy. Modes 4 to 6 have no loops of their
// own and mix as mode 0, and so do unknown modes.
template <class Interp, template <class> class Gain, class L>
constexpr MixRoutinePair movePair() {
  return {&moveVoice<Interp, Gain, NoClock, L>, &moveVoice<Interp, Gain, ArpeggioClock, L>,
          &moveVoice<Interp, Gain, ArpeggioClock, L>};
}

// For each mode, the routines that move voices as that mode's loops do without mixing.
template <class L>
MixRoutinePair moveRoutinesForMode(int32_t interpolation) {
  static constexpr MixRoutinePair kByMode[] = {
      movePair<NearestInterpolator, FixedGain, L>(), movePair<LinearInterpolator, FixedGain, L>(),
      movePair<StairsInterpolator, FixedGain, L>(),  movePair<CubicInterpolator, FixedGain, L>(),
      movePair<NearestInterpolator, FixedGain, L>(), movePair<NearestInterpolator, FixedGain, L>(),
      movePair<NearestInterpolator, FixedGain, L>(), movePair<CubicInterpolator, RampedGain, L>(),
  };
  constexpr int32_t kModeCount = static_cast<int32_t>(sizeof kByMode / sizeof kByMode[0]);
  if (interpolation < 0 || interpolation >= kModeCount) return kByMode[kInterpolationNone];
  return kByMode[interpolation];
}

template <class L>
MixRoutinePair routinesForMode(int32_t interpolation) {
  static constexpr MixRoutinePair kByMode[] = {
      routinePair<NearestInterpolator, FixedGain, L>(),  // 0 none
      routinePair<LinearInterpolator, FixedGain, L>(),   // 1 linear
      routinePair<StairsInterpolator, FixedGain, L>(),   // 2 stairs
      routinePair<CubicInterpolator, FixedGain, L>(),    // 3 cubic
      routinePair<NearestInterpolator, FixedGain, L>(),  // 4
      routinePair<NearestInterpolator, FixedGain, L>(),  // 5
      routinePair<NearestInterpolator, FixedGain, L>(),  // 6
      routinePair<CubicInterpolator, RampedGain, L>(),   // 7 cubic with volume and panning ramps
  };
  constexpr int32_t kModeCount = static_cast<int32_t>(sizeof kByMode / sizeof kByMode[0]);
  if (interpolation < 0 || interpolation >= kModeCount) return kByMode[kInterpolationNone];
  return kByMode[interpolation];
}

}  // namespace mixloop
}  // namespace TVP_MIX_ISA
}  // namespace tvp
