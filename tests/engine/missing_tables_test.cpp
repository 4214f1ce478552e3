// Opening an engine whose constant tables cannot be had. This program carries its own resource
// table: none at all, or one byte short of the tables (TVP_SHORT_TABLES).
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "engine/engine_api.h"
#include "resources/resources.h"
#include "soundtrack/status.h"

namespace tvp {

bool FindResource(const char* name, ResourceBytes* out) {
#ifdef TVP_SHORT_TABLES
  static const std::vector<uint8_t> shortTables(94207, 0);
  if (std::string_view(name) == "TENG_CONST_DATA") {
    *out = {shortTables.data(), static_cast<int32_t>(shortTables.size())};
    return true;
  }
#else
  (void)name;
  (void)out;
#endif
  return false;
}

namespace {

TEST(EngineOpenWithoutTables, FailsWithNotFoundAndLeavesTheHandleAlone) {
  for (intptr_t road : {intptr_t{0}, kOfflineRoad}) {
    SoundEngine* handle = nullptr;
    ParamBlock p{{0, road, 256, 4096}};
    EXPECT_EQ(engineCommand(&handle, ENG_OPEN, &p), kStatusNotFound);
    EXPECT_EQ(handle, nullptr);  // and nothing leaks: the sanitizer build checks
  }
}

}  // namespace
}  // namespace tvp
