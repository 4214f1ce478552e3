// The engine's two device roads on the in-memory devices: what a start writes, what the service
// call writes as the device plays on, that nothing is dropped, repeated or reordered, and that a
// stopped engine leaves the device alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/memory_audio.h"
#include "tests/platform/road_song.h"

namespace tvp::test {
namespace {

// A frame of a 60 Hz main loop at 44100 Hz, in bytes.
constexpr int32_t kFrameBytes = 735 * 4;

int32_t Service(EngineHandle engine) { return static_cast<int32_t>(Command(engine, ENG_SERVICE)); }

// The main loop's sound step: serve, and once more when something was rendered.
void ServeLikeTheMainLoop(EngineHandle engine) {
  if (Service(engine) != 0) Service(engine);
}

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

TEST_F(RingRoad, PrepareMakesFourSectionsOfOneBufferAtTheRate) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  EXPECT_EQ(device.ringBytes(), 4 * 16384);
  EXPECT_EQ(device.sampleRate(), kRoadHertz);
  EXPECT_FALSE(device.playing());
}

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

TEST_F(RingRoad, PlaysEveryBufferOnceAndInOrderWhenTheServiceKeepsUp) {
  PrepareAndStart();
  constexpr int32_t kBuffers = 40;  // over three seconds
  while (device.played().size() < size_t{kBuffers} * kRoadBytes) {
    ServeLikeTheMainLoop(&engine);
    device.Advance(kFrameBytes);
  }
  std::vector<uint8_t> played(device.played().begin(), device.played().begin() + kBuffers * kRoadBytes);
  EXPECT_TRUE(played == OfflineRoadBytes(song.inUse(), kBuffers));
}

TEST_F(RingRoad, ALockHandedOutInTwoRegionsRendersBothInOrder) {
  device.splitLocksAt = 1000 * 4;
  PrepareAndStart();
  EXPECT_EQ(Service(&engine), 2);
  ExpectFirstSectionsRendered(3);
}

TEST_F(RingRoad, ServiceWhileStoppedTouchesNoDevice) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  int32_t calls = device.calls;
  EXPECT_EQ(Service(&engine), 0);  // prepared, never started
  EXPECT_EQ(device.calls, calls);

  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  Service(&engine);
  ASSERT_EQ(Command(&engine, ENG_STOP), kStatusOk);
  EXPECT_FALSE(device.playing());
  calls = device.calls;
  EXPECT_EQ(Service(&engine), 0);
  EXPECT_EQ(Service(&engine), 0);
  EXPECT_EQ(device.calls, calls);
}

TEST_F(RingRoad, AStartAfterAStopFillsTheFirstSectionsAfreshAndRewinds) {
  PrepareAndStart();
  Service(&engine);
  device.Advance(kRoadBytes + 100);
  Service(&engine);
  Command(&engine, ENG_STOP);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  const int32_t locks = device.locks;
  EXPECT_EQ(Service(&engine), 2);
  EXPECT_EQ(device.locks - locks, 3);
  int32_t cursor = -1;
  device.GetPlayCursor(&cursor);
  EXPECT_EQ(cursor, 0);
  EXPECT_TRUE(device.playing());
}

TEST_F(RingRoad, ADeviceThatRefusesTheRingFailsThePrepare) {
  device.refuseCreate = true;
  EXPECT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusPlatformFailed);
  EXPECT_EQ(Command(&engine, ENG_START), kStatusNotPrepared);
  EXPECT_EQ(Service(&engine), 0);
}

TEST_F(RingRoad, ClosingTheEngineReleasesTheRing) {
  PrepareAndStart();
  Service(&engine);
  Command(&engine, ENG_CLOSE);
  engine = nullptr;
  EXPECT_EQ(device.ringBytes(), 0);
  EXPECT_FALSE(device.playing());
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

TEST_F(QueueRoad, FirstServiceAfterStartQueuesTwoBuffersAndReturnsOne) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  EXPECT_EQ(Service(&engine), 1);
  EXPECT_EQ(device.queuedBytes(), 2 * kRoadBytes);
  EXPECT_EQ(Service(&engine), 0);  // both still queued
  device.Consume(kRoadBytes);
  EXPECT_EQ(Service(&engine), 1);
  EXPECT_EQ(device.queuedBytes(), 2 * kRoadBytes);
}

TEST_F(QueueRoad, PlaysEveryBufferOnceAndInOrder) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  constexpr int32_t kBuffers = 12;
  while (device.played().size() < size_t{kBuffers} * kRoadBytes) {
    ServeLikeTheMainLoop(&engine);
    device.Consume(kFrameBytes);
  }
  std::vector<uint8_t> played(device.played().begin(), device.played().begin() + kBuffers * kRoadBytes);
  EXPECT_TRUE(played == OfflineRoadBytes(song.inUse(), kBuffers));
}

TEST_F(QueueRoad, TheDeviceOpensOnceAcrossPreparesAndAgainForANewRate) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  EXPECT_EQ(device.opens, 1);
  EXPECT_EQ(device.openRate(), kRoadHertz);
  // Left at the old rate, the new song would play at the wrong pitch and speed.
  ASSERT_EQ(Command(&engine, ENG_PREPARE, 16, 1, 22050 << 16), kStatusOk);
  EXPECT_EQ(device.opens, 2);
  EXPECT_EQ(device.openRate(), 22050u);
}

TEST_F(QueueRoad, AStopDropsWhatIsQueuedAndLeavesTheDeviceAlone) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  ASSERT_EQ(Command(&engine, ENG_START), kStatusOk);
  Service(&engine);
  Command(&engine, ENG_STOP);
  EXPECT_EQ(device.queuedBytes(), 0);
  const int32_t calls = device.calls;
  EXPECT_EQ(Service(&engine), 0);
  EXPECT_EQ(device.calls, calls);
}

TEST_F(QueueRoad, ClosingTheEngineClosesTheDevice) {
  ASSERT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusOk);
  Command(&engine, ENG_CLOSE);
  engine = nullptr;
  EXPECT_FALSE(device.isOpen());
}

TEST(QueueRoadWithoutDevice, PrepareFailsAsADeviceThatCannotOpen) {
  SongBuilder song;
  BuildRoadSong(song);
  SoundEngine* engine = nullptr;
  ASSERT_EQ(OpenRoadEngine(&engine, 0, 0), kStatusOk);
  EXPECT_EQ(PrepareRoadEngine(&engine, song.inUse()), kStatusPlatformFailed);
  MemoryQueueDevice refusing;
  refusing.refuseOpen = true;
  SoundEngine* other = nullptr;
  ASSERT_EQ(OpenRoadEngine(&other, reinterpret_cast<intptr_t>(&refusing), 0), kStatusOk);
  EXPECT_EQ(PrepareRoadEngine(&other, song.inUse()), kStatusPlatformFailed);
  Command(&engine, ENG_CLOSE);
  Command(&other, ENG_CLOSE);
}

}  // namespace
}  // namespace tvp::test
