#pragma once
// The interpolators of the mixing loops: one functor per method, each turning the frames around a
// position into a sample value. Each is written once for a plain int32_t (one frame) and for a
// vector of int32 lanes (several frames at once, the lanes policies of mixer/mix_loop.h): `d(k)` gives frame i + k, where
// i is the frame at the position (a vector of such frames, one per lane), and `f` is the position's
// fraction (0..65535, units of 1/65536 frame). They read at most d(-1) .. d(2); the guard frames of
// the sample storage make those reads valid anywhere inside the data or the loop. kFirstTap is the
// first frame an interpolator reads (the vector loops read frames in pairs from there).
//
// All arithmetic is 32-bit with arithmetic right shifts, in exactly the order written, and without
// branches, so that the same expression serves one frame and a vector of frames. Where a product
// can leave the int32 range for legal sample data (the last steps of the cubic), it is formed with
// wrapMul so the bits equal the 32-bit two's-complement product instead of being undefined.
#include <cstdint>

// Everything here and in mix_loop.h is compiled once per instruction set the mixer is built for
// (SSE2 always, AVX2 in a file of its own), each in a namespace of its own, so that the linker
// never takes one build's copy of an inline function for the other's.
#ifndef TVP_MIX_ISA
#define TVP_MIX_ISA sse2
#endif

namespace tvp {
inline namespace TVP_MIX_ISA {

// Four int32 lanes: GCC and Clang vector extensions, so +, -, *, >>, & and ?: work lane by lane.
typedef int32_t Lanes4 __attribute__((vector_size(16)));
typedef uint32_t Lanes4u __attribute__((vector_size(16)));

template <class T>
struct UnsignedOf {
  using type = uint32_t;
};
template <>
struct UnsignedOf<Lanes4> {
  using type = Lanes4u;
};

// A value in every lane (a plain int32_t stays itself).
template <class T>
constexpr T splat(int32_t v) {
  return T{} + v;
}

// 32-bit two's-complement product, add and subtract: the bits of the classic 32-bit machine
// operations, defined for every input, lane by lane.
template <class T>
constexpr T wrapMul(T a, T b) {
  using U = typename UnsignedOf<T>::type;
  return (T)((U)a * (U)b);
}
template <class T>
constexpr T wrapAdd(T a, T b) {
  using U = typename UnsignedOf<T>::type;
  return (T)((U)a + (U)b);
}
template <class T>
constexpr T wrapSub(T a, T b) {
  using U = typename UnsignedOf<T>::type;
  return (T)((U)a - (U)b);
}

// The nearest integer to x / 3 for -65536 <= x <= 65535, equal to thirdsTable[x] (a test holds
// the two equal over the whole range). For x >= 0 it is (x + 1) / 3, below -((1 - x) / 3): in
// both cases (|x| + 1) / 3 with the sign of x. The quotient is a multiply and a shift, exact for
// dividends below 2^17 (43691 = 2^17 / 3 rounded up; |x| + 1 <= 65537), which vectorises where
// the table's look-ups at data-dependent addresses cannot.
template <class T>
constexpr T nearestThird(T x) {
  using U = typename UnsignedOf<T>::type;
  const T sign = x >> 31;  // 0 or -1
  const T magnitude = (x ^ sign) - sign + 1;
  const T quotient = (T)(((U)magnitude * 43691u) >> 17);
  return (quotient ^ sign) - sign;
}

// Limits a value to the 16-bit sample range.
template <class T>
constexpr T clampToSample(T s) {
  s = s > 32767 ? splat<T>(32767) : s;
  return s < -32768 ? splat<T>(-32768) : s;
}

// Each interpolator works in two steps: `terms(d)` takes what the value needs from the frames
// around a position (they depend on the frame alone, not on the fraction), `evaluate(terms, f)`
// forms the value at the fraction; `sample` is the two in a row. The vector loops may work out the
// terms of a row of consecutive frames and hand each lane those of its own frame. A terms record
// can `map` a function over its fields.

// `sample`, the two steps in a row, for each interpolator.
template <class Interp>
struct TwoSteps {
  template <class T, class Taps>
  static T sample(const Taps& d, T f) {
    return Interp::evaluate(Interp::template terms<T>(d), f);
  }
};

// Mode 0: the nearest earlier frame.
struct NearestInterpolator : TwoSteps<NearestInterpolator> {
  static constexpr int32_t kFirstTap = 0;
  template <class T>
  struct Terms {
    T d0;
    template <class F>
    Terms map(F f) const {
      return {f(d0)};
    }
  };
  template <class T, class Taps>
  static Terms<T> terms(const Taps& d) {
    return {d(0)};
  }
  template <class T>
  static T evaluate(const Terms<T>& k, T /*f*/) {
    return k.d0;
  }
};

// Modes 1 and 2: the frame and the rise to the next.
template <class T>
struct RiseTerms {
  T d0;
  T rise;  // d(1) - d(0)
  template <class F>
  RiseTerms map(F f) const {
    return {f(d0), f(rise)};
  }
};

// Mode 1: straight line between d(0) and d(1); the halved fraction keeps the product in 31 bits.
struct LinearInterpolator : TwoSteps<LinearInterpolator> {
  static constexpr int32_t kFirstTap = 0;
  template <class T>
  using Terms = RiseTerms<T>;
  template <class T, class Taps>
  static Terms<T> terms(const Taps& d) {
    const T d0 = d(0);
    return {d0, d(1) - d0};
  }
  template <class T>
  static T evaluate(const Terms<T>& k, T f) {
    return k.d0 + (((f >> 1) * k.rise) >> 15);
  }
};

// Mode 2: holds d(0) for three quarters of the interval, slides to d(1) in the last quarter. The
// slide's fraction is f - 0xC000 when that is positive and 0 (so d(0) exactly) otherwise.
struct StairsInterpolator : TwoSteps<StairsInterpolator> {
  static constexpr int32_t kFirstTap = 0;
  static constexpr int32_t kHold = 0xC000;
  template <class T>
  using Terms = RiseTerms<T>;
  template <class T, class Taps>
  static Terms<T> terms(const Taps& d) {
    return LinearInterpolator::terms<T>(d);
  }
  template <class T>
  static T evaluate(const Terms<T>& k, T f) {
    T slide = f - kHold;
    slide &= ~(slide >> 31);
    return k.d0 + ((slide * k.rise) >> 14);
  }
};

// Modes 3 and 7: third-order Lagrange through d(-1) .. d(2), with halved intermediate terms and
// divisions by three rounded to the nearest integer.
struct CubicInterpolator : TwoSteps<CubicInterpolator> {
  static constexpr int32_t kFirstTap = -1;
  template <class T>
  struct Terms {
    T b;         // d(0)
    T halfC1;    // c1 >> 1
    T c3;
    T halfRest;  // (d(0) - d(1) / 2 - d(-1) / 2) / 2, each halving rounded down
    template <class F>
    Terms map(F f) const {
      return {f(b), f(halfC1), f(c3), f(halfRest)};
    }
  };
  template <class T, class Taps>
  static Terms<T> terms(const Taps& d) {
    const T a = d(-1);
    const T b = d(0);
    const T c = d(1);
    const T e = d(2);
    const T c1 = c - (b >> 1) - nearestThird((e >> 1) + a);
    const T c3 = (b >> 1) - (c >> 1) + nearestThird((e >> 1) - (a >> 1));
    return {b, c1 >> 1, c3, (b - (c >> 1) - (a >> 1)) >> 1};
  }
  template <class T>
  static T evaluate(const Terms<T>& k, T f) {
    const T t = f >> 1;
    T h = (wrapMul(k.c3, t) >> 16) - k.halfRest;
    h = wrapMul(h, t) >> 15;
    return clampToSample(k.b + (wrapMul(h + k.halfC1, t) >> 14));
  }
};

}  // namespace TVP_MIX_ISA
}  // namespace tvp
