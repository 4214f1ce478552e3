// PrepareSampleData: the playing form of a sample with its guard frames, and the loop guard
// that lets the mixer read two frames past any position inside a loop.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

using SamplePtr = std::unique_ptr<Sample, decltype(&FreeSample)>;

// A sample as a loader leaves it: frames in a ZeroAlloc buffer (none when empty), sizes in bytes.
SamplePtr LoadedSample(const std::vector<int16_t>& frames, int32_t loopMode = kLoopNone, int32_t loopStart = 0,
                       int32_t loopEnd = 0) {
  SamplePtr sample(NewSample(), &FreeSample);
  sample->length = static_cast<int32_t>(frames.size() * sizeof(int16_t));
  if (!frames.empty()) {
    sample->data = static_cast<int16_t*>(ZeroAlloc(sample->length));
    std::memcpy(sample->data, frames.data(), frames.size() * sizeof(int16_t));
  }
  sample->loopMode = loopMode;
  sample->loopStart = loopStart;
  sample->loopEnd = loopEnd;
  sample->loopLength = loopEnd - loopStart;
  return sample;
}

std::vector<int16_t> FramesWithGuards(const Sample& sample) {
  return std::vector<int16_t>(sample.data - 1, sample.data + sample.length / 2 + 2);
}

TEST(SampleData, GuardFramesFollowTheLoop) {
  using V = std::vector<int16_t>;
  constexpr int32_t F = kLoopForward, P = kLoopPingPong, N = kLoopNone;
  struct Case {
    V frames;
    int32_t mode, start, end;  // bytes
    V guarded;                 // one frame before the data, two after
    int32_t modeAfter;
    V saved;                   // the frames the loop guard replaced
  } cases[] = {
      {{100, -200, 300}, N, 0, 0, {0, 100, -200, 300, 300, 300}, N, {}},
      {{10, 20, 30, 40}, F, 2, 8, {0, 10, 20, 30, 40, 20, 30}, F, {40, 40}},  // loop ends at the end
      {{1, 2, 3, 4, 5, 6, 7, 8}, F, 2, 10, {0, 1, 2, 3, 4, 5, 2, 3, 8, 8, 8}, F, {6, 7}},
      {{1, 2, 3}, F, 2, 4, {0, 1, 2, 2, 2, 3}, F, {}},                     // one frame repeats itself
      {{1, 2, 3, 4, 5, 6}, P, 0, 8, {0, 1, 2, 3, 4, 4, 3, 6, 6}, P, {5, 6}},  // mirrors the two before
      {{1, 2, 3}, P, 2, 6, {0, 1, 2, 3, 3, 2}, P, {}},
      {{1, 2, 3, 4, 5, 6}, F, 3, 9, {0, 1, 2, 3, 4, 2, 3, 6, 6}, F, {}},   // odd bounds round down
      // Loops that do not fit are dropped, so the guard never writes outside the block.
      {{1, 2, 3, 4}, F, 0, 10, {0, 1, 2, 3, 4, 4, 4}, N, {}},
      {{1, 2, 3, 4}, F, 0, 0x7FFFFFFE, {0, 1, 2, 3, 4, 4, 4}, N, {}},
      {{1, 2, 3, 4}, F, -2, 4, {0, 1, 2, 3, 4, 4, 4}, N, {}},
      {{1, 2, 3, 4}, F, 4, 4, {0, 1, 2, 3, 4, 4, 4}, N, {}},
      {{1, 2, 3, 4}, F, 6, 2, {0, 1, 2, 3, 4, 4, 4}, N, {}},
      {{1, 2, 3, 4}, P, 4, 6, {0, 1, 2, 3, 4, 4, 4}, N, {}},  // one frame: the mirror would leave it
      {{1, 2, 3, 4}, 3, 0, 8, {0, 1, 2, 3, 4, 4, 4}, N, {}},  // a mode the mixer does not know
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mode << " " << c.start << ".." << c.end);
    SamplePtr sample = LoadedSample(c.frames, c.mode, c.start, c.end);
    ASSERT_EQ(PrepareSampleData(sample.get()), kStatusOk);
    EXPECT_EQ(std::tuple(sample->block, sample->length), std::tuple(sample->data - 1, int32_t(2 * c.frames.size())));
    EXPECT_EQ(FramesWithGuards(*sample), c.guarded);
    EXPECT_EQ(sample->loopMode, c.modeAfter);
    if (c.modeAfter != N) {
      EXPECT_EQ(std::tuple(sample->loopStart, sample->loopEnd, sample->loopLength),
                std::tuple(c.start & ~1, c.end & ~1, (c.end & ~1) - (c.start & ~1)));
    }
    if (!c.saved.empty()) {
      EXPECT_EQ((V{sample->savedGuard[0], sample->savedGuard[1]}), c.saved);
    }
  }
}

}  // namespace
}  // namespace tvp
