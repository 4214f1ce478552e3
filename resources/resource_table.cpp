#include <cstring>

#include "resources/embedded.h"
#include "resources/resources.h"

namespace tvp {

bool FindResource(const char* name, ResourceBytes* out) {
  if (!name || !out) return false;
  for (const EmbeddedResource* r = kEmbeddedResources; r->name; ++r) {
    if (std::strcmp(r->name, name) == 0) {
      out->data = r->data;
      out->size = r->size;
      return true;
    }
  }
  return false;
}

}  // namespace tvp
