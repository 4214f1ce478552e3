#include "soundtrack/zero_alloc.h"

#include <cstdlib>

namespace tvp {

void* ZeroAlloc(int32_t size) {
  if (size < 0) return nullptr;
  // A zero-byte request still gets a block of its own, so null always means failure.
  return std::calloc(1, size > 0 ? static_cast<size_t>(size) : 1);
}

void ZeroFree(void* block) { std::free(block); }

void* ZeroAllocArray(int32_t count, int32_t recordSize) {
  if (count < 0 || recordSize < 0) return nullptr;
  int64_t bytes = static_cast<int64_t>(count) * recordSize;
  if (bytes > INT32_MAX) return nullptr;
  return ZeroAlloc(static_cast<int32_t>(bytes));
}

}  // namespace tvp
