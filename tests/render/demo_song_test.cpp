// The demo song the build composes: the XM loader takes it, it lasts 30 to 60 s, and it plays to
// its own end (not a loop back) without clipping even at full master volume, fading to silence
// before it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tools/render/render_session.h"

namespace tvp::test {
namespace {

class DemoSong : public ::testing::Test {
 protected:
  void SetUp() override {
    ModuleFile* file = FileOpen(TVP_DEMO_SONG_PATH, kFileRead);
    ASSERT_NE(file, nullptr) << "the build writes the demo song to " << TVP_DEMO_SONG_PATH;
    int16_t status = kStatusOk;
    format_ = LoadModule(file, title_, &soundtrack_, &status);
    FileClose(file);
    ASSERT_EQ(status, kStatusOk);
    ASSERT_NE(soundtrack_, nullptr);
  }
  void TearDown() override { ReleaseSoundtrack(soundtrack_); }

  ModuleFormat format_ = ModuleFormat::None;
  char title_[kTitleCapacity] = {};
  Soundtrack* soundtrack_ = nullptr;
};

TEST_F(DemoSong, IsAnXmOfHalfAMinuteToAMinute) {
  EXPECT_EQ(format_, ModuleFormat::XM);
  EXPECT_STREQ(title_, "Tonvale Morning");
  int32_t seconds = 0;
  ASSERT_EQ(EstimatePlayTime(soundtrack_, &seconds, nullptr), kStatusOk);
  EXPECT_GE(seconds, 30);
  EXPECT_LE(seconds, 60);
}

TEST_F(DemoSong, PlaysToItsEndWithoutClippingAndFadesOut) {
  RenderSettings settings;
  settings.interpolation = 3;  // cubic
  settings.masterVolume = 65536;
  RenderSession session;
  ASSERT_EQ(session.open(settings, soundtrack_), 0);
  std::vector<int16_t> audio;
  while (!session.finished()) {
    const int32_t frames = session.renderNext();
    audio.insert(audio.end(), session.frames(), session.frames() + 2 * frames);
  }
  EXPECT_EQ(session.stopReason(), StopReason::Ended) << StopReasonText(session.stopReason());

  // The render and the estimate agree to within one engine buffer.
  int32_t units = 0;
  ASSERT_EQ(EstimatePlayTime(soundtrack_, nullptr, &units), kStatusOk);
  const int64_t frames = static_cast<int64_t>(audio.size() / 2);
  EXPECT_LE(std::llabs(frames - int64_t{units} * 256), settings.framesPerBuffer + 256);
  EXPECT_GE(frames, 30 * 44100);
  EXPECT_LE(frames, 60 * 44100);

  auto peak = [&](size_t from, size_t to) {
    int32_t most = 0;
    for (size_t k = from; k < to; ++k) most = std::max<int32_t>(most, std::abs(int32_t{audio[k]}));
    return most;
  };
  // Loud enough, and never at the limit even at full master volume.
  const int32_t songPeak = peak(0, audio.size());
  EXPECT_GT(songPeak, 32767 / 3);
  EXPECT_LT(songPeak, 32767);
  // Its last notes have faded before the song ends: the last second is silent.
  EXPECT_LT(peak(audio.size() - 44100, audio.size()), 64);
}

}  // namespace
}  // namespace tvp::test
