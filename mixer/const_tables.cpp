#include "mixer/const_tables.h"

#include <cmath>
#include <cstdlib>

#include "engine/sound_engine.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

int32_t* readBigEndianWords(const uint8_t* bytes, int32_t count) {
  auto* table = static_cast<int32_t*>(std::calloc(static_cast<size_t>(count), sizeof(int32_t)));
  if (!table) return nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* b = bytes + 4 * i;
    table[i] = static_cast<int32_t>((uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                                    (uint32_t{b[2]} << 8) | uint32_t{b[3]});
  }
  return table;
}

// Division by three for the cubic loops: the nearest integer to i / 3. Thirds never fall on a
// half, so rounding half away from zero is plain nearest here. Worked out by the compiler: a table
// built at open cost a short render most of its start-up (131072 entries, 64 pages to fault in),
// while one in read-only data costs nothing until it is read.
struct ThirdsTable {
  int16_t values[2 * kThirdsTableHalf];
};
constexpr ThirdsTable makeThirds() {
  ThirdsTable t{};
  for (int32_t i = -kThirdsTableHalf; i < kThirdsTableHalf; ++i)
    t.values[i + kThirdsTableHalf] = static_cast<int16_t>(i >= 0 ? (i + 1) / 3 : -((1 - i) / 3));
  return t;
}
constexpr ThirdsTable kThirds = makeThirds();

}  // namespace

int32_t loadConstTables(SoundEngine* engine, const uint8_t* resource, int32_t size) {
  engine->thirdsTable = kThirds.values + kThirdsTableHalf;

  if (!resource || size < kConstTablesSize) return kStatusNotFound;
  engine->periodTable = readBigEndianWords(resource, kPeriodTableLength);
  if (!engine->periodTable) return kStatusOutOfMemory;
  const uint8_t* waveforms = resource + 4 * kPeriodTableLength;
  for (int32_t w = 0; w < kWaveformCount; ++w) {
    engine->lfoTables[w] = readBigEndianWords(waveforms + 4 * kWaveformLength * w, kWaveformLength);
    if (!engine->lfoTables[w]) return kStatusOutOfMemory;
  }

  engine->pow2Table = static_cast<double*>(std::calloc(kStepTableEntries, sizeof(double)));
  if (!engine->pow2Table) return kStatusOutOfMemory;
  for (int32_t i = 0; i < kStepTableEntries; ++i)
    engine->pow2Table[i] = std::pow(2.0, static_cast<double>(i) / kStepTableEntries);
  return kStatusOk;
}

void freeConstTables(SoundEngine* engine) {
  std::free(engine->periodTable);
  engine->periodTable = nullptr;
  for (int32_t w = 0; w < kWaveformCount; ++w) {
    std::free(engine->lfoTables[w]);
    engine->lfoTables[w] = nullptr;
  }
  std::free(engine->pow2Table);
  engine->pow2Table = nullptr;
  engine->thirdsTable = nullptr;
}

}  // namespace tvp
