#pragma once
// Fields of module files, read byte by byte in the byte order the format gives. Block readers
// work on a buffer the loader has already read and checked the size of; `ByteCursor` walks
// packed data and never reads past its end (reads past it give 0 and set `overrun`).
#include <cstdint>

namespace tvp {

inline uint8_t ReadU8(const uint8_t* p) { return p[0]; }
inline int8_t ReadS8(const uint8_t* p) { return static_cast<int8_t>(p[0]); }
inline uint16_t ReadU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t ReadS16LE(const uint8_t* p) { return static_cast<int16_t>(ReadU16LE(p)); }
inline uint32_t ReadU32LE(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline int32_t ReadS32LE(const uint8_t* p) { return static_cast<int32_t>(ReadU32LE(p)); }
inline uint16_t ReadU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t ReadU32BE(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

struct ByteCursor {
  const uint8_t* data;
  int32_t size;
  int32_t position = 0;
  bool overrun = false;

  bool atEnd() const { return position >= size; }
  uint8_t u8() {
    if (position >= size) {
      overrun = true;
      return 0;
    }
    return data[position++];
  }
};

}  // namespace tvp
