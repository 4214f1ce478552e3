// The main loop on the in-memory platform: the volume keys and the channel keys, through the
// real start-up.
#include "app/main_loop.h"

#include <gtest/gtest.h>

#include "engine/sound_engine.h"
#include "tests/app/player_fixture.h"
#include "tests/support/picture_check.h"

namespace tvp::test {
namespace {

class MainLoopTest : public PlayerFixture {
 protected:
  void SetUp() override { ASSERT_EQ(start("WINDOW=YES\n"), kStatusOk) << error; }
  bool enabled(int channel) { return send(ENG_GET_CHANNEL_ENABLED, channel) == 1; }
  int enabledCount() {
    int n = 0;
    for (int v = 0; v < kMaxVoices; ++v) n += enabled(v);
    return n;
  }
};

TEST_F(MainLoopTest, VolumeKeysLandOnMultiplesOf4096) {
  struct Step { int from; uint32_t key; int to; } steps[] = {
      {32768, kVkLeft, 28672}, {30000, kVkLeft, 28672}, {0, kVkLeft, 0}, {100, kVkLeft, 0},
      {30000, kVkRight, 32768}, {65536, kVkRight, 65536}, {65000, kVkRight, 65536}};
  for (const Step& s : steps) {
    send(ENG_SET_MASTER_VOLUME, s.from);
    key(s.key);
    EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), s.to) << s.from << " key " << s.key;
  }
}

TEST_F(MainLoopTest, ChannelKeysSelectSwitchAndSolo) {
  for (int i = 0; i < 22; ++i) key(kVkDown);
  EXPECT_EQ(state().selectedChannel, 22);
  EXPECT_EQ(state().firstVisibleChannel, 1) << "channel 22 is in the bottom row";
  for (int i = 0; i < 30; ++i) key(kVkUp);
  EXPECT_EQ(state().selectedChannel, 0);
  EXPECT_EQ(state().firstVisibleChannel, 0);

  key(kVkSpace);
  EXPECT_FALSE(enabled(0));
  key(kVkSpace);
  EXPECT_TRUE(enabled(0));

  key('S');  // all enabled: only this one stays
  EXPECT_EQ(enabledCount(), 1);
  EXPECT_TRUE(enabled(0));
  key('S');  // the only one: all again
  EXPECT_EQ(enabledCount(), kMaxVoices);
  for (int v = 0; v < kMaxVoices; ++v) send(ENG_SET_CHANNEL_ENABLED, v, 0);
  key('S');  // none enabled: only the selected one
  EXPECT_EQ(enabledCount(), 1);
  EXPECT_TRUE(enabled(0));
  for (int i = 0; i < kMaxVoices + 2; ++i) key(kVkDown);
  EXPECT_EQ(state().selectedChannel, kMaxVoices - 1);
}

}  // namespace
}  // namespace tvp::test
