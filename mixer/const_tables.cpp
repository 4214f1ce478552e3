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

}  // namespace

int32_t loadConstTables(SoundEngine* engine, const uint8_t* resource, int32_t size) {
  // Division by three for the cubic loops: the nearest integer to i / 3. Thirds never fall on a
  // half, so rounding half away from zero is plain nearest here. The value is odd in i and steps
  // up by one after every i = 3q + 1 (0 0 1 1 1 2 2 2 ...), so the table is filled by counting
  // rather than by 131072 divisions, which were most of a short render's start-up.
  engine->thirdsBlock = static_cast<int16_t*>(std::malloc(2 * kThirdsTableHalf * sizeof(int16_t)));
  if (!engine->thirdsBlock) return kStatusOutOfMemory;
  int16_t* thirds = engine->thirdsBlock + kThirdsTableHalf;
  int16_t third = 0;
  for (int32_t i = 0, untilNext = 2; i <= kThirdsTableHalf; ++i) {
    if (i < kThirdsTableHalf) thirds[i] = third;
    thirds[-i] = static_cast<int16_t>(-third);
    if (--untilNext == 0) {
      ++third;
      untilNext = 3;
    }
  }
  engine->thirdsTable = thirds;

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
  std::free(engine->thirdsBlock);
  engine->thirdsBlock = nullptr;
  engine->thirdsTable = nullptr;
}

}  // namespace tvp
