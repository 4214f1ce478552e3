// The whole screen as a user sees it, through the headless snapshot run of the real main loop on
// the demo song: each display mode and the help and variables windows, kept as hashes of the
// frame. Any change to a screen shows here; when it is intended, the failure names the new hash
// and writes the new picture as a PNG to compare with the one in docs/screens/.
#include "app/snapshot.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/player_state.h"
#include "platform/virtual_keys.h"
#include "screen/png_file.h"

namespace tvp::test {
namespace {

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
  return hash;
}

struct Golden {
  const char* name;
  int display;
  std::vector<uint32_t> keys;
  double seconds;
  uint64_t hash;
};

TEST(SnapshotTest, EveryDisplayAndWindowLooksAsBefore) {
  const Golden goldens[] = {
      {"mode1", 1, {}, 12, 0x55f7e9a1f9ee0678ull},
      {"mode2", 2, {}, 12, 0x681fec90289f273eull},
      {"mode3", 3, {}, 12, 0xdb9dccaaa540a70aull},
      {"mode4", 4, {}, 12, 0xe0154e35ffc97b40ull},
      {"help", 1, {kVkF1}, 2, 0xb6579e313439d164ull},
      {"variables", 1, {kVkF1 + 1}, 2, 0x5d9eb83e584f095bull},
  };
  for (const Golden& g : goldens) {
    PlayerOptions options;
    options.files = {TVP_DEMO_SONG};
    options.snapshotDisplay = g.display;
    options.snapshotKeys = g.keys;
    options.snapshotSeconds = g.seconds;
    std::vector<uint8_t> pixels;
    std::string error;
    ASSERT_TRUE(SnapshotFrame(options, &pixels, &error)) << error;
    ASSERT_EQ(pixels.size(), size_t{FRAME_WIDTH} * FRAME_HEIGHT);
    uint64_t hash = Fnv1a(pixels);
    if (hash != g.hash) {
      std::string file = std::string("snapshot-") + g.name + ".png";
      Pixmap frame{FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH, FRAME_HEIGHT, pixels.data(), pixels.data()};
      WritePixmapPng(&frame, file, 2);
      char text[32];
      std::snprintf(text, sizeof text, "0x%016llxull", static_cast<unsigned long long>(hash));
      ADD_FAILURE() << g.name << ": the frame's hash is now " << text << "; the picture is in " << file;
    }
  }
}

}  // namespace
}  // namespace tvp::test
