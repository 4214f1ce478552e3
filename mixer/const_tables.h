#pragma once
// The engine's constant tables: the period-to-pitch table and the seven waveforms come from the
// big-endian resource TENG_CONST_DATA; the divide-by-three table is
// compiled in and the power-of-two table computed.
#include <cstdint>

namespace tvp {

struct SoundEngine;

inline constexpr char kConstTablesResource[] = "TENG_CONST_DATA";
inline constexpr int32_t kConstTablesSize = 94208;

// Points thirdsTable at the compiled-in table, reads the resource bytes into periodTable and
// lfoTables (host order) and builds pow2Table. kStatusNotFound when the bytes are missing or
// short, kStatusOutOfMemory when a table cannot be had; what was made stays in the engine for
// freeConstTables.
int32_t loadConstTables(SoundEngine* engine, const uint8_t* resource, int32_t size);
void freeConstTables(SoundEngine* engine);

}  // namespace tvp
