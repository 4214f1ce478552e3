// PrepareSampleData: the playing form of a sample with its guard frames, and the loop guard
// that lets the mixer read two frames past any position inside a loop.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

using SamplePtr = std::unique_ptr<Sample, decltype(&FreeSample)>;

// A sample as a loader leaves it: frames in a ZeroAlloc buffer, length in bytes.
SamplePtr LoadedSample(const std::vector<int16_t>& frames, int32_t loopMode = kLoopNone, int32_t loopStart = 0,
                       int32_t loopEnd = 0) {
  SamplePtr sample(NewSample(), &FreeSample);
  int32_t bytes = static_cast<int32_t>(frames.size() * sizeof(int16_t));
  sample->data = static_cast<int16_t*>(ZeroAlloc(bytes));
  if (bytes > 0) std::memcpy(sample->data, frames.data(), static_cast<size_t>(bytes));
  sample->length = bytes;
  sample->loopMode = loopMode;
  sample->loopStart = loopStart;
  sample->loopEnd = loopEnd;
  sample->loopLength = loopEnd - loopStart;
  return sample;
}

std::vector<int16_t> FramesWithGuards(const Sample& sample) {
  int32_t frames = sample.length / 2;
  return std::vector<int16_t>(sample.data - 1, sample.data + frames + 2);
}

TEST(SampleData, NoLoopGetsZeroBeforeAndLastFrameTwiceAfter) {
  SamplePtr sample = LoadedSample({100, -200, 300});
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(sample->block, sample->data - 1);
  EXPECT_EQ(sample->length, 6);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 100, -200, 300, 300, 300}));
  EXPECT_EQ(sample->loopMode, kLoopNone);
}

TEST(SampleData, ForwardLoopEndingAtLengthRepeatsLoopStart) {
  SamplePtr sample = LoadedSample({10, 20, 30, 40}, kLoopForward, 2, 8);
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 10, 20, 30, 40, 20, 30}));
  // Before the loop guard replaced them, the frames after the end were the last frame's copies.
  EXPECT_EQ(sample->savedGuard[0], 40);
  EXPECT_EQ(sample->savedGuard[1], 40);
  EXPECT_EQ(sample->loopMode, kLoopForward);
}

TEST(SampleData, ForwardLoopInsideDataSavesTheFramesItReplaces) {
  SamplePtr sample = LoadedSample({1, 2, 3, 4, 5, 6, 7, 8}, kLoopForward, 2, 10);
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 3, 4, 5, 2, 3, 8, 8, 8}));
  EXPECT_EQ(sample->savedGuard[0], 6);
  EXPECT_EQ(sample->savedGuard[1], 7);
}

TEST(SampleData, OneFrameForwardLoopRepeatsThatFrame) {
  SamplePtr sample = LoadedSample({1, 2, 3}, kLoopForward, 2, 4);
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 2, 2, 3}));
}

TEST(SampleData, PingPongLoopMirrorsTheTwoFramesBeforeItsEnd) {
  SamplePtr sample = LoadedSample({1, 2, 3, 4, 5, 6}, kLoopPingPong, 0, 8);
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 3, 4, 4, 3, 6, 6}));
  EXPECT_EQ(sample->savedGuard[0], 5);
  EXPECT_EQ(sample->savedGuard[1], 6);

  SamplePtr atEnd = LoadedSample({1, 2, 3}, kLoopPingPong, 2, 6);
  ASSERT_EQ(PrepareSampleData(atEnd.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*atEnd), (std::vector<int16_t>{0, 1, 2, 3, 3, 2}));
  EXPECT_EQ(atEnd->loopMode, kLoopPingPong);
}

TEST(SampleData, LengthZeroKeepsNullData) {
  SamplePtr sample = LoadedSample({});
  ZeroFree(sample->data);
  sample->data = nullptr;
  EXPECT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(sample->data, nullptr);
  EXPECT_EQ(sample->block, nullptr);
  EXPECT_EQ(sample->length, 0);
}

TEST(SampleData, OddLengthIsRoundedDownToWholeFrames) {
  SamplePtr sample = LoadedSample({7, 8, 9});
  sample->length = 5;  // two frames and a stray byte
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(sample->length, 4);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 7, 8, 8, 8}));

  SamplePtr oneByte = LoadedSample({7});
  oneByte->length = 1;
  oneByte->loopMode = kLoopForward;
  ASSERT_EQ(PrepareSampleData(oneByte.get()), kStatusOk);
  EXPECT_EQ(oneByte->length, 0);
  EXPECT_EQ(oneByte->data, nullptr);
  EXPECT_EQ(oneByte->block, nullptr);
  EXPECT_EQ(oneByte->loopMode, kLoopNone);
}

// Loops the loaders did not correct must never make the guard write outside the block.
TEST(SampleData, LoopThatDoesNotFitIsDroppedAndDataKept) {
  struct Case {
    int32_t mode, start, end;
  };
  const Case cases[] = {
      {kLoopForward, 0, 10},     // past the end
      {kLoopForward, 0, 0x7FFFFFFE},
      {kLoopForward, -2, 4},     // before the start
      {kLoopForward, 4, 4},      // empty
      {kLoopForward, 6, 2},      // reversed
      {kLoopPingPong, 4, 6},     // one frame: the mirror would leave the loop
      {3, 0, 8},                 // a mode the mixer does not know
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.start << ".." << c.end);
    SamplePtr sample = LoadedSample({1, 2, 3, 4}, c.mode, c.start, c.end);
    ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
    EXPECT_EQ(sample->loopMode, kLoopNone);
    EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 3, 4, 4, 4}));
  }
}

TEST(SampleData, OddLoopBoundsAreRoundedDownToFrames) {
  SamplePtr sample = LoadedSample({1, 2, 3, 4, 5, 6}, kLoopForward, 3, 9);
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(sample->loopStart, 2);
  EXPECT_EQ(sample->loopEnd, 8);
  EXPECT_EQ(sample->loopLength, 6);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 3, 4, 2, 3, 6, 6}));
}

TEST(SampleData, OutOfMemoryLeavesSampleUnchanged) {
  SamplePtr sample = LoadedSample({5, 6});
  int16_t* data = sample->data;
  sample->length = INT32_MAX;  // the block would not fit a 32-bit size; nothing is read
  EXPECT_EQ(PrepareSampleData(sample.get()), kStatusOutOfMemory);
  EXPECT_EQ(sample->data, data);
  EXPECT_EQ(sample->block, nullptr);
  EXPECT_EQ(sample->length, INT32_MAX);
  EXPECT_EQ(sample->data[1], 6);
}

TEST(SampleData, PreparingTwiceFreesTheOldBlock) {
  SamplePtr sample = LoadedSample({1, 2, 3});
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  // Freeing data instead of the block would be an invalid free under ASan.
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_NE(sample->block, nullptr);
  EXPECT_EQ(sample->block, sample->data - 1);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 1, 2, 3, 3, 3}));
}

TEST(SampleData, NullDataWithLengthGivesSilence) {
  SamplePtr sample = LoadedSample({});
  ZeroFree(sample->data);
  sample->data = nullptr;
  sample->length = 4;
  ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
  EXPECT_EQ(FramesWithGuards(*sample), (std::vector<int16_t>{0, 0, 0, 0, 0}));
  EXPECT_EQ(PrepareSampleData(nullptr), kStatusBadParam);
}

}  // namespace
}  // namespace tvp
