#pragma once
// Resources embedded in the program at build time, found by name.
#include <cstdint>

namespace tvp {

struct ResourceBytes {
  const uint8_t* data;
  int32_t size;
};

// True and the resource's bytes when the program carries a resource of that name.
bool FindResource(const char* name, ResourceBytes* out);

}  // namespace tvp
