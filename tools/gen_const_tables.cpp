// Writes the engine's constant-table resource: eight tables of signed 32-bit big-endian words,
// the period-to-pitch table (16384 entries) followed by the seven 1024-entry waveforms.
//   gen_const_tables <output file>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Pitch of period 1 in 1/256 semitones. Any value in 48353.23409 .. 48353.23414 gives the same
// rounded table; the middle keeps clear of both ends.
constexpr double kPeriodOnePitch = 48353.2341;

int32_t periodPitch(int i) {
  if (i == 0) return 0;  // log2(0) is -inf; periods are clamped to 1.. before any lookup
  return static_cast<int32_t>(std::lround(kPeriodOnePitch - 3072.0 * std::log2(static_cast<double>(i))));
}

// The first half rounds to nearest, the second half toward zero, so the table is not odd-symmetric
// to the last unit (entry 8 is 3216, entry 520 is -3215).
int32_t sine(int i) {
  double v = 65536.0 * std::sin(2.0 * kPi * i / 1024.0);
  return static_cast<int32_t>(i < 512 ? std::lround(v) : std::trunc(v));
}

int32_t waveform(int w, int i) {
  switch (w) {
    case 0: return sine(i);
    case 1:  // triangle
      if (i < 256) return 256 * i;
      if (i < 768) return 65536 - 256 * (i - 256);
      return -65536 + 256 * (i - 768);
    case 2: return -65536 + 128 * i;  // rising ramp
    case 3: return 65536 - 128 * i;   // falling ramp
    case 4: return i < 512 ? 65536 : -65536;  // square
    case 5: return i < 512 ? 65536 : 0;       // positive half-square
    default: return i < 512 ? 0 : -65536;     // negative half-square
  }
}

void putBigEndian(std::vector<uint8_t>& out, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_const_tables <output file>\n");
    return 1;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve(94208);
  for (int i = 0; i < 16384; ++i) putBigEndian(bytes, periodPitch(i));
  for (int w = 0; w < 7; ++w)
    for (int i = 0; i < 1024; ++i) putBigEndian(bytes, waveform(w, i));

  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::fprintf(stderr, "gen_const_tables: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
