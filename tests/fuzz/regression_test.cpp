// Every input a fuzzing run kept (tests/fuzz/regressions/<target>/) is replayed here through the
// same target; under the sanitizer build a fault in any of them fails the suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

namespace tvp::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryKeptInputRunsCleanly) {
  const fs::path root = TVP_FUZZ_REGRESSIONS_DIR;
  int32_t replayed = 0;
  for (const char* name : {"xm", "s3m", "mod", "it", "pipeline", "picture"}) {
    Target target{};
    ASSERT_TRUE(TargetByName(name, &target));
    if (!fs::is_directory(root / name)) continue;
    for (const auto& entry : fs::directory_iterator(root / name)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      SCOPED_TRACE(entry.path().string());
      RunTarget(target, bytes.data(), bytes.size());
      ++replayed;
    }
  }
  RecordProperty("replayed", replayed);
}

}  // namespace
}  // namespace tvp::fuzz
