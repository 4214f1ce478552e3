// The render loop around the mix routines: the 16-bit limits with the clipping shown on the
// meters, and a faded-out song.
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

TEST_F(RenderTest, OutputIsLimitedAndClippingShowsOnTheMeters) {
  emptySong(song);
  playWithProbe(1, 40000, -40000);
  SoundEngine& s = *e.engine;
  s.peakLeft = s.peakRight = -1;
  e.renderBuffer();
  EXPECT_EQ(std::tuple(e.out[0], e.out[1], e.out[2 * 4095], s.peakLeft, s.peakRight),
            std::tuple(32767, -32767, 32767, 0x10000, 0x10000));
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
