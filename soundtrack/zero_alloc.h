#pragma once
// The zero-filling allocation used for every soundtrack record, table and buffer.
#include <cstdint>

namespace tvp {

// A block of `size` bytes filled with 0, or null when memory is short or the size is negative.
void* ZeroAlloc(int32_t size);
// Frees a block from ZeroAlloc; accepts null.
void ZeroFree(void* block);

// ZeroAlloc for `count` records of `recordSize` bytes; null when the product does not fit the
// 32-bit size ZeroAlloc takes, so a count read from a file can never wrap into a small block.
void* ZeroAllocArray(int32_t count, int32_t recordSize);

}  // namespace tvp
