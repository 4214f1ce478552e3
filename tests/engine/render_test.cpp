// The render loop around the mix routines: stretches between ticks, the 16-bit conversion with
// its limits and peaks, the scope capture and the voice counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

using Stretches = std::vector<std::pair<int32_t, int32_t>>;  // first frame, count

// A mix routine that records its stretches, adds fixed values to both sides and reports the voice
// audible; what the real loops compute is tested with the mixer.
struct Probe {
  static inline Stretches stretches;
  static inline int32_t left = 0, right = 0;
  static inline uint32_t gainSeen = 0;  // the output gain the last stretch was mixed with
  static inline const std::vector<int32_t>* sums = nullptr;  // when set, added instead of left, right
  static int32_t mix(SoundEngine* engine, Voice*, int32_t first, int32_t count) {
    stretches.emplace_back(first, count);
    gainSeen = engine->outputGain;
    for (int32_t i = first; i < first + count; ++i) {
      engine->mixBuffer[2 * i] += sums ? (*sums)[2 * i] : left;
      engine->mixBuffer[2 * i + 1] += sums ? (*sums)[2 * i + 1] : right;
    }
    return 1;
  }
  static void reset(int32_t l, int32_t r) {
    stretches.clear();
    left = l;
    right = r;
  }
};

// 4096-frame buffers at 44100 Hz: 882 frames a tick.
class RenderTest : public ::testing::Test {
 protected:
  RenderTest() { e.sendPlayerSettings(); }

  void playWithProbe(int32_t soundingVoices, int32_t left, int32_t right) {
    e.play(song.inUse(), 44100);
    e.engine->mixPlain = e.engine->mixArpeggio = Probe::mix;
    for (int32_t i = 0; i < soundingVoices; ++i) e.engine->voices[i].active = kVoiceSounding;
    Probe::reset(left, right);
  }

  SongBuilder song;
  OfflineEngine e{4, 4096};
};

TEST_F(RenderTest, ABufferOf4096FramesSpansFourTicksAnd568Frames) {
  emptySong(song);
  playWithProbe(1, 0, 0);
  e.renderBuffer();
  const SoundEngine& s = *e.engine;
  EXPECT_EQ(Probe::stretches, (Stretches{{0, 882}, {882, 882}, {1764, 882}, {2646, 882}, {3528, 568}}));
  EXPECT_EQ(std::tuple(s.playPosition, s.positionCounter, s.samplesIntoTick), std::tuple(1, 4, 568));
  Probe::stretches.clear();
  e.renderBuffer();  // 568 + 4096 = 4664 = 5 x 882 + 254
  EXPECT_EQ(Probe::stretches.front(), (std::pair<int32_t, int32_t>{0, 314}));
  EXPECT_EQ(std::tuple(s.positionCounter, s.samplesIntoTick), std::tuple(0x103, 254));
}

TEST_F(RenderTest, TheFirstBufferRunsTheTimeZeroEventsBeforeMixing) {
  song.addPattern({{0, 0, EventCode::SetGlobalVolume, 0x4000}}, 0);
  song.setPlayPositions({0, song.addPattern({}, 64)});
  playWithProbe(1, 0, 0);
  e.renderBuffer();
  EXPECT_EQ(Probe::gainSeen, 0x2000u);  // 0x4000 x master volume 0x8000
}

TEST_F(RenderTest, DisabledAndSilentVoicesAreNotMixed) {
  emptySong(song);
  playWithProbe(3, 100, 100);
  e.command(ENG_SET_CHANNEL_ENABLED, 1, 0);
  e.renderBuffer();
  EXPECT_EQ(std::tuple(Probe::stretches.size(), e.out[0]), std::tuple(2u * 5, 200));  // voices 0 and 2
  EXPECT_EQ(e.command(ENG_GET_ACTIVE_VOICES), 2);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), 2);
}

// Output is limited to -32767..32767; a limited channel peaks at 0x10000. Peaks only rise until
// the host resets them.
TEST_F(RenderTest, OutputIsLimitedAndPeaksAreTheLargestMagnitudeSinceTheHostReset) {
  emptySong(song);
  playWithProbe(1, 40000, -40000);
  SoundEngine& s = *e.engine;
  s.peakLeft = s.peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(std::tuple(e.out[0], e.out[1], e.out[2 * 4095], s.peakLeft, s.peakRight),
            std::tuple(32767, -32767, 32767, 0x10000, 0x10000));
  s.peakLeft = s.peakRight = -1;
  Probe::reset(-32768, -32767);
  e.renderBuffer();
  EXPECT_EQ(std::tuple(e.out[0], e.out[1], s.peakLeft, s.peakRight), std::tuple(-32767, -32767, 0x10000, 32767));
  Probe::reset(10, 20);
  e.renderBuffer();
  EXPECT_EQ(std::tuple(s.peakLeft, s.peakRight), std::tuple(0x10000, 32767));
  s.peakLeft = s.peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(std::tuple(s.peakLeft, s.peakRight), std::tuple(10, 20));
}

// The conversion runs four frames at a time and the rest one by one: a value that needs the limit,
// or the largest magnitude, counts wherever it falls, in either channel.
TEST_F(RenderTest, AnyFrameCountConvertsAsTheLimitAndPeakRuleSays) {
  emptySong(song);
  playWithProbe(1, 0, 0);
  std::mt19937 rng(16);
  std::vector<int32_t> sums(2 * 4096);
  Probe::sums = &sums;
  std::vector<int16_t> out(2 * 4096);
  for (int32_t count : {1, 3, 4, 5, 7, 8, 9, 31, 4093, 4096}) {
    for (int32_t trial = 0; trial < 20; ++trial) {
      for (int32_t& v : sums) v = std::uniform_int_distribution<int32_t>(-3000, 3000)(rng);
      const int32_t at = std::uniform_int_distribution<int32_t>(0, 2 * count - 1)(rng);
      sums[at] = trial % 4 == 0 ? 32767 : trial % 4 == 1 ? -32768 : trial % 4 == 2 ? 40000 : -31000;
      SoundEngine& s = *e.engine;
      s.peakLeft = s.peakRight = 0;
      render(&s, out.data(), count);
      int32_t peak[2] = {0, 0};
      for (int32_t i = 0; i < 2 * count; ++i) {
        const int32_t limited = std::clamp(sums[i], -32767, 32767);
        ASSERT_EQ(out[i], limited) << count << " " << i;
        peak[i & 1] = std::max(peak[i & 1], limited != sums[i] ? 0x10000 : std::abs(limited));
      }
      ASSERT_EQ(std::pair(s.peakLeft, s.peakRight), std::pair(peak[0], peak[1])) << count << " at " << at;
    }
  }
  Probe::sums = nullptr;
}

TEST_F(RenderTest, AStoppedEngineRendersSilenceAndCountsNoBuffer) {
  emptySong(song);
  playWithProbe(1, 500, 500);
  e.command(ENG_STOP);
  e.engine->peakLeft = -1;
  EXPECT_EQ(e.renderBuffer(), 1);
  EXPECT_EQ(std::tuple(Probe::stretches.size(), e.out[100], e.engine->peakLeft, e.engine->buffersRendered),
            std::tuple(0u, 0, 0, 0));
}

TEST_F(RenderTest, TheScopeCopiesExactlyOneBufferPerRequest) {
  emptySong(song);
  playWithProbe(1, 300, -300);
  e.renderBuffer();
  const auto* scope = reinterpret_cast<const int16_t*>(e.command(ENG_GET_SCOPE_BUFFER));
  EXPECT_EQ(scope[0], 0);  // no request yet
  e.command(ENG_SET_SCOPE_REQUEST, 1);
  EXPECT_EQ(e.command(ENG_GET_SCOPE_REQUEST), 1);
  e.renderBuffer();
  EXPECT_EQ(e.command(ENG_GET_SCOPE_REQUEST), -1);
  EXPECT_EQ(std::vector<int16_t>(scope, scope + 2 * 4096), e.out);
  Probe::reset(7, 7);
  e.renderBuffer();
  EXPECT_EQ(scope[0], 300);  // the captured copy stays until the next request
  e.command(ENG_SET_SCOPE_REQUEST, 1);
  e.renderBuffer();
  EXPECT_EQ(scope[0], 7);
}

TEST_F(RenderTest, ASongThatRunsOutEndsMidBufferAndStaysSilent) {
  emptySong(song, 1, 1);  // one row: 6 ticks of 882 frames
  playWithProbe(1, 1000, 1000);
  e.renderBuffer();  // ticks 0..3 and 568 frames of tick 4
  EXPECT_FALSE(e.engine->flags & kEngineEnded);
  Probe::stretches.clear();
  e.renderBuffer();  // the rest of tick 4, then tick 5, and the song ends with the row
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
  EXPECT_EQ(Probe::stretches, (Stretches{{0, 314}, {314, 882}}));
  EXPECT_EQ(std::tuple(e.out[2 * 1195], e.out[2 * 1196]), std::tuple(1000, 0));
  Probe::stretches.clear();
  e.renderBuffer();
  EXPECT_EQ(std::tuple(Probe::stretches.size(), e.out[0]), std::tuple(0u, 0));
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 1);
}

TEST_F(RenderTest, AFadedOutSongMixesUpToTheNextTickBoundaryOnly) {
  e.command(ENG_SET_FADE_STEP, 0x10000);
  song.addInitialSettings();
  song.setPlayPositions({0, song.addPattern({{0, 0, EventCode::PositionJump, 1}}, 4)});
  playWithProbe(1, 1000, 1000);
  e.render(2);  // the jump back lands at frame 5292, 1196 frames into the second buffer
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
  Probe::stretches.clear();
  e.renderBuffer();  // 254 frames of the current tick were rendered: 628 remain
  EXPECT_EQ(Probe::stretches, (Stretches{{0, 628}}));
  EXPECT_EQ(std::tuple(e.out[2 * 627], e.out[2 * 628]), std::tuple(1000, 0));
}

}  // namespace
}  // namespace tvp::test
