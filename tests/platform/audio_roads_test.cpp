// The engine's ring road on the in-memory device: what the first service call writes, and a lock
// handed out in two regions.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/memory_audio.h"
#include "tests/platform/road_song.h"

namespace tvp::test {
namespace {

int32_t Service(EngineHandle engine) { return static_cast<int32_t>(Command(engine, ENG_SERVICE)); }

class RingRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildRoadSong(song);
    ASSERT_EQ(OpenRoadEngine(&engine, 0, reinterpret_cast<intptr_t>(&device)), kStatusOk);
  }
  void TearDown() override { Command(&engine, ENG_CLOSE); }

  void PrepareAndStart() {
    ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
    ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  }

  // Sections 0 .. count - 1 hold the song's first buffers.
  void ExpectFirstSectionsRendered(int32_t count) {
    const std::vector<uint8_t> expected = OfflineRoadBytes(song.inUse(), count);
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_TRUE(std::equal(expected.begin() + i * kRoadBytes, expected.begin() + (i + 1) * kRoadBytes,
                             device.ring().begin() + i * kRoadBytes))
          << "section " << i;
    }
  }

  SongBuilder song;
  MemoryRingDevice device;
  SoundEngine* engine = nullptr;
};

TEST_F(RingRoad, FirstServiceAfterStartWritesThreeSectionsAndPlaysFromTheStart) {
  PrepareAndStart();
  device.MoveCursor(3 * kRoadBytes);  // wherever an earlier run left it
  EXPECT_EQ(device.locks, 0);         // nothing is written before the service call
  EXPECT_EQ(Service(&engine), 2);
  EXPECT_EQ(device.locks, 3);
  EXPECT_TRUE(device.playing());
  int32_t cursor = -1;
  device.GetPlayCursor(&cursor);
  EXPECT_EQ(cursor, 0);
  ExpectFirstSectionsRendered(3);
  // Section 3 waits until the cursor has left section 0.
  EXPECT_EQ(Service(&engine), 1);
  EXPECT_EQ(Service(&engine), 0);
  device.Advance(kRoadBytes - 4);
  EXPECT_EQ(Service(&engine), 0);
  device.Advance(4);
  EXPECT_EQ(Service(&engine), 1);
}

TEST_F(RingRoad, ALockHandedOutInTwoRegionsRendersBothInOrder) {
  device.splitLocksAt = 1000 * 4;
  PrepareAndStart();
  EXPECT_EQ(Service(&engine), 2);
  ExpectFirstSectionsRendered(3);
}

class QueueRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildRoadSong(song);
    ASSERT_EQ(OpenRoadEngine(&engine, reinterpret_cast<intptr_t>(&device), 0), kStatusOk);
  }
  void TearDown() override { Command(&engine, ENG_CLOSE); }

  SongBuilder song;
  MemoryQueueDevice device;
  SoundEngine* engine = nullptr;
};

}  // namespace
}  // namespace tvp::test
