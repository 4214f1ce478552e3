#pragma once
// The interpolators of the mixing loops: one functor per method, each turning the frames around a
// position into one sample value. `d` points at frame i (the frame at position >> 1), `f` is the
// position's fraction (0..65535, units of 1/65536 frame). They read at most d[-1] .. d[2]; the
// guard frames of the sample storage make those reads valid anywhere inside the data or the loop.
//
// All arithmetic is 32-bit with arithmetic right shifts, in exactly the order written. Where a
// product can leave the int32 range for legal sample data (the last steps of the cubic), it is
// formed with wrapMul so the bits equal the 32-bit two's-complement product instead of being
// undefined.
#include <cstdint>

namespace tvp {

// 32-bit two's-complement product, add and subtract: the bits of the classic 32-bit machine
// operations, defined for every input.
constexpr int32_t wrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
constexpr int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// Mode 0: the nearest earlier frame.
struct NearestInterpolator {
  static int32_t sample(const int16_t* d, int32_t /*f*/, const int16_t* /*thirds*/) { return d[0]; }
};

// Mode 1: straight line between d[0] and d[1]; the halved fraction keeps the product in 31 bits.
struct LinearInterpolator {
  static int32_t sample(const int16_t* d, int32_t f, const int16_t* /*thirds*/) {
    const int32_t d0 = d[0];
    const int32_t d1 = d[1];
    return d0 + (((f >> 1) * (d1 - d0)) >> 15);
  }
};

// Mode 2: holds d[0] for three quarters of the interval, slides to d[1] in the last quarter.
struct StairsInterpolator {
  static constexpr int32_t kHold = 0xC000;
  static int32_t sample(const int16_t* d, int32_t f, const int16_t* /*thirds*/) {
    const int32_t d0 = d[0];
    const int32_t d1 = d[1];
    // The compiler turns this into a conditional move; it is a property of the value, not a
    // choice of method.
    return f > kHold ? d0 + (((f - kHold) * (d1 - d0)) >> 14) : d0;
  }
};

// Modes 3 and 7: third-order Lagrange through d[-1] .. d[2], with halved intermediate terms and the
// divisions by three looked up in `thirds` (indexed -65536..65535).
struct CubicInterpolator {
  static int32_t sample(const int16_t* d, int32_t f, const int16_t* thirds) {
    const int32_t a = d[-1];
    const int32_t b = d[0];
    const int32_t c = d[1];
    const int32_t e = d[2];
    const int32_t t = f >> 1;
    const int32_t c1 = c - (b >> 1) - thirds[(e >> 1) + a];
    const int32_t c3 = (b >> 1) - (c >> 1) + thirds[(e >> 1) - (a >> 1)];
    int32_t h = (wrapMul(c3, t) >> 16) - ((b - (c >> 1) - (a >> 1)) >> 1);
    h = wrapMul(h, t) >> 15;
    int32_t s = b + (wrapMul(h + (c1 >> 1), t) >> 14);
    if (s > 32767) s = 32767;
    if (s < -32768) s = -32768;
    return s;
  }
};

}  // namespace tvp
