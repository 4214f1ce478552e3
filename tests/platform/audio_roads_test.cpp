// The engine's two sound roads on the in-memory devices: the ring (what the first service call
// writes, a lock handed out in two regions, stops and restarts) and the queue of two buffers.
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
  EXPECT_EQ(device.ringBytes(), 4 * 16384);  // four sections of one 4096-frame buffer
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

TEST_F(RingRoad, AStopLeavesTheDeviceAloneAStartPlaysOnWithNothingLostAndAPrepareRewinds) {
  PrepareAndStart();
  for (int i = 0; i < 3; ++i) {
    Service(&engine);
    device.Advance(kRoadBytes / 2 + 100);
  }
  ASSERT_EQ(Command(&engine, ENG_STOP), kStatusOk);
  EXPECT_FALSE(device.playing());
  const int32_t calls = device.calls;
  EXPECT_EQ(Service(&engine), 0);
  EXPECT_EQ(device.calls, calls);

  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  for (int i = 0; i < 8; ++i) {
    Service(&engine);
    device.Advance(kRoadBytes / 2);
  }
  const std::vector<uint8_t> whole = OfflineRoadBytes(song.inUse(), 8);
  ASSERT_GE(device.played().size(), 4u * kRoadBytes);
  EXPECT_TRUE(std::equal(device.played().begin(), device.played().end(), whole.begin()))
      << "the device played on through what was written before the stop";

  ASSERT_EQ(Command(&engine, ENG_STOP), kStatusOk);
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  const int32_t locks = device.locks;
  EXPECT_EQ(Service(&engine), 2);
  EXPECT_EQ(device.locks - locks, 3);
  int32_t cursor = -1;
  device.GetPlayCursor(&cursor);
  EXPECT_EQ(cursor, 0) << "after a prepare the song starts afresh";
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

TEST_F(QueueRoad, TwoBuffersAreQueuedAtStartAndEachPlayedOneIsRefilledOnce) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  EXPECT_EQ(Service(&engine), 1);
  EXPECT_EQ(device.queuedBytes(), 2 * kRoadBytes);
  EXPECT_EQ(Service(&engine), 0);  // both still queued
  constexpr int32_t kBuffers = 6;
  while (device.played().size() < size_t{kBuffers} * kRoadBytes) {
    device.Consume(kRoadBytes);
    EXPECT_EQ(Service(&engine), 1);
    EXPECT_EQ(device.queuedBytes(), 2 * kRoadBytes);
  }
  EXPECT_TRUE(std::vector<uint8_t>(device.played().begin(), device.played().end()) ==
              OfflineRoadBytes(song.inUse(), kBuffers));
  Command(&engine, ENG_STOP);
  EXPECT_EQ(device.queuedBytes(), 0);
}

TEST_F(QueueRoad, TheDeviceOpensOnceAcrossPreparesAgainForANewRateAndClosesWithTheEngine) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  EXPECT_EQ(device.opens, 1);
  // Left at the old rate, the new song would play at the wrong pitch and speed.
  ASSERT_EQ(Command(&engine, ENG_PREPARE, 16, 1, 22050 << 16), kStatusOk);
  EXPECT_EQ(device.opens, 2);
  EXPECT_EQ(device.openRate(), 22050u);
  Command(&engine, ENG_CLOSE);
  engine = nullptr;
  EXPECT_FALSE(device.isOpen());
}

}  // namespace
}  // namespace tvp::test
