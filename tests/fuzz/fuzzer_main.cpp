// The libFuzzer entry point; the target is chosen at build time by TVP_FUZZ_TARGET.
#include <cstdlib>

#include "tests/fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tvp::fuzz::Target target = [] {
    tvp::fuzz::Target t{};
    if (!tvp::fuzz::TargetByName(TVP_FUZZ_TARGET, &t)) std::abort();
    return t;
  }();
  tvp::fuzz::RunTarget(target, data, size);
  return 0;
}
