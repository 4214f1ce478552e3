// The render loop around the mix routines: stretches between ticks, the 16-bit conversion with
// its limits and peaks, the scope capture and the voice counts.
#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

// A mix routine that records its stretches, adds fixed values to both sides and reports the
// voice audible; what the real loops compute is tested with the mixer.
struct Probe {
  static inline std::vector<std::pair<int32_t, int32_t>> stretches;
  static inline int32_t left = 0;
  static inline int32_t right = 0;
  static inline uint32_t gainSeen = 0;
  static int32_t mix(SoundEngine* engine, Voice*, int32_t first, int32_t count) {
    stretches.emplace_back(first, count);
    gainSeen = engine->outputGain;
    for (int32_t i = first; i < first + count; ++i) {
      engine->mixBuffer[2 * i] += left;
      engine->mixBuffer[2 * i + 1] += right;
    }
    return 1;
  }
  static void reset(int32_t l, int32_t r) {
    stretches.clear();
    left = l;
    right = r;
  }
};

class RenderTest : public ::testing::Test {
 protected:
  explicit RenderTest(int32_t frames = 4096) : e(4, frames) { e.sendPlayerSettings(); }

  void playWithProbe(uint32_t hertz, int32_t soundingVoices, int32_t left, int32_t right) {
    e.play(song.inUse(), hertz);
    e.engine->mixPlain = Probe::mix;
    e.engine->mixArpeggio = Probe::mix;
    for (int32_t i = 0; i < soundingVoices; ++i) e.engine->voices[i].active = kVoiceSounding;
    Probe::reset(left, right);
  }

  void emptySong() {
    song.addInitialSettings();
    int32_t body = song.addPattern({}, 64);
    song.setPlayPositions({0, body, body});
  }

  OfflineEngine e;
  SongBuilder song;
};

TEST_F(RenderTest, StretchesEndAtTickBoundaries) {
  emptySong();
  playWithProbe(44100, 1, 0, 0);
  e.renderBuffer();
  std::vector<std::pair<int32_t, int32_t>> expected = {{0, 882}, {882, 882}, {1764, 882}, {2646, 882}, {3528, 568}};
  EXPECT_EQ(Probe::stretches, expected);
  Probe::stretches.clear();
  e.renderBuffer();
  EXPECT_EQ(Probe::stretches.front(), (std::pair<int32_t, int32_t>{0, 314}));
}

TEST_F(RenderTest, TheFirstBufferRunsTheTimeZeroEventsBeforeMixing) {
  song.addPattern({{0, 0, EventCode::SetGlobalVolume, 0x4000}, {0, 0, EventCode::NextPlayPosition, 0}}, -1);
  int32_t body = song.addPattern({}, 64);
  song.setPlayPositions({0, body});
  playWithProbe(44100, 1, 0, 0);
  e.renderBuffer();
  EXPECT_EQ(Probe::gainSeen, 0x2000u);  // 0x4000 x master volume 0x8000
}

TEST_F(RenderTest, DisabledAndSilentVoicesAreNotMixed) {
  emptySong();
  playWithProbe(44100, 3, 100, 100);
  e.command(ENG_SET_CHANNEL_ENABLED, 1, 0);
  e.renderBuffer();
  EXPECT_EQ(Probe::stretches.size(), 2u * 5);  // voices 0 and 2, five stretches each
  EXPECT_EQ(e.out[0], 200);
  EXPECT_EQ(e.command(ENG_GET_ACTIVE_VOICES), 2);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), 2);
}

TEST_F(RenderTest, OutputIsLimitedTo32767AndALimitedChannelPeaksAt0x10000) {
  emptySong();
  playWithProbe(44100, 1, 40000, -40000);
  e.engine->peakLeft = e.engine->peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(e.out[0], 32767);
  EXPECT_EQ(e.out[1], -32767);
  EXPECT_EQ(e.out[2 * 4095], 32767);
  EXPECT_EQ(e.engine->peakLeft, 0x10000);
  EXPECT_EQ(e.engine->peakRight, 0x10000);
}

TEST_F(RenderTest, PeaksAreTheLargestMagnitudeSinceTheHostReset) {
  emptySong();
  playWithProbe(44100, 1, -32767, 1234);
  e.engine->peakLeft = e.engine->peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(e.engine->peakLeft, 32767);  // -32767 is not limited
  EXPECT_EQ(e.engine->peakRight, 1234);
  Probe::reset(10, 20);
  e.renderBuffer();
  EXPECT_EQ(e.engine->peakRight, 1234);  // peaks only rise until the host resets them
  e.engine->peakLeft = e.engine->peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(e.engine->peakLeft, 10);
  EXPECT_EQ(e.engine->peakRight, 20);
}

TEST_F(RenderTest, AStoppedEngineRendersSilenceAndCountsNoBuffer) {
  emptySong();
  playWithProbe(44100, 1, 500, 500);
  e.command(ENG_STOP);
  e.engine->peakLeft = -1;
  EXPECT_EQ(e.renderBuffer(), 1);
  EXPECT_TRUE(Probe::stretches.empty());
  EXPECT_EQ(e.out[100], 0);
  EXPECT_EQ(e.engine->peakLeft, 0);
  EXPECT_EQ(e.engine->buffersRendered, 0);
}

TEST_F(RenderTest, TheScopeCopiesExactlyOneBufferPerRequest) {
  emptySong();
  playWithProbe(44100, 1, 300, -300);
  e.renderBuffer();
  const auto* scope = reinterpret_cast<const int16_t*>(e.command(ENG_GET_SCOPE_BUFFER));
  EXPECT_EQ(scope[0], 0);  // no request yet
  e.command(ENG_SET_SCOPE_REQUEST, 1);
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
  song.addInitialSettings();
  int32_t a = song.addPattern({}, 1);  // one row: 6 ticks of 882 frames
  song.setPlayPositions({0, a});
  playWithProbe(44100, 1, 1000, 1000);
  e.renderBuffer();  // ticks 0..3 and 568 frames of tick 4
  EXPECT_FALSE(e.engine->flags & kEngineEnded);
  Probe::stretches.clear();
  e.renderBuffer();  // the rest of tick 4, then tick 5, and the song ends with the row
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
  EXPECT_EQ(Probe::stretches, (std::vector<std::pair<int32_t, int32_t>>{{0, 314}, {314, 882}}));
  EXPECT_EQ(e.out[2 * 1195], 1000);
  EXPECT_EQ(e.out[2 * 1196], 0);

  Probe::stretches.clear();
  e.renderBuffer();
  EXPECT_TRUE(Probe::stretches.empty());
  EXPECT_EQ(e.out[0], 0);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 1);
}

TEST_F(RenderTest, AFadedOutSongMixesUpToTheNextTickBoundaryOnly) {
  e.command(ENG_SET_FADE_STEP, 0x10000);
  song.addInitialSettings();
  int32_t a = song.addPattern({{0, 0, EventCode::PositionJump, 1}}, 4);
  song.setPlayPositions({0, a});
  playWithProbe(44100, 1, 1000, 1000);
  e.renderBuffer();
  e.renderBuffer();  // the jump back lands at frame 5292, 1196 frames into this buffer
  EXPECT_TRUE(e.engine->flags & kEngineEnded);
  Probe::stretches.clear();
  e.renderBuffer();  // 254 frames of the current tick were rendered: 628 remain
  EXPECT_EQ(Probe::stretches, (std::vector<std::pair<int32_t, int32_t>>{{0, 628}}));
  EXPECT_EQ(e.out[2 * 627], 1000);
  EXPECT_EQ(e.out[2 * 628], 0);
}

}  // namespace
}  // namespace tvp::test
