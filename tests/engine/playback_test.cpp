// Songs built in memory play audibly: a note sounds at its pitch, a key-off cuts it on its tick,
// and rendering is deterministic.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

constexpr int32_t kFrames = 4096;

// One period of a sine, 100 frames: 441 Hz when played at 44100 Hz.
std::vector<int16_t> sinePeriod() {
  std::vector<int16_t> frames(100);
  for (int i = 0; i < 100; ++i) frames[i] = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * i / 100)));
  return frames;
}

// Channel 0 plays the looped sine at `pitch` from time 0; more events may follow.
void noteSong(SongBuilder& song, int32_t pitch, std::vector<Ev> more = {}) {
  song.addInitialSettings();
  int32_t sample = song.addSample(sinePeriod(), 44100, 0, 100);
  std::vector<Ev> events = {{0, 0, EventCode::SetPitch, pitch},
                            {0, 0, EventCode::SelectSample, sample},
                            {0, 0, EventCode::ResetVolume, 0},
                            {0, 0, EventCode::StartSample, 0},
                            {0, 0, EventCode::SetVoiceFlags, 3}};
  events.insert(events.end(), more.begin(), more.end());
  int32_t body = song.addPattern(events, 64);
  song.setPlayPositions({0, body});
}

std::vector<int16_t> renderSong(SongBuilder& song, int32_t buffers, int16_t interpolation = 1) {
  OfflineEngine e(8, kFrames);
  e.sendPlayerSettings();
  e.command(ENG_SET_MASTER_VOLUME, 0x10000);
  e.command(ENG_SET_INTERPOLATION, interpolation);
  e.play(song.inUse(), 44100);
  std::vector<int16_t> all;
  for (int i = 0; i < buffers; ++i) {
    e.renderBuffer();
    all.insert(all.end(), e.out.begin(), e.out.end());
  }
  return all;
}

int32_t leftZeroCrossings(const std::vector<int16_t>& stereo, size_t firstFrame) {
  int32_t crossings = 0;
  for (size_t i = 2 * (firstFrame + 1); i < stereo.size(); i += 2)
    crossings += (stereo[i - 2] < 0) != (stereo[i] < 0);
  return crossings;
}

TEST(Playback, ANoteAnOctaveUpSoundsAtTwiceTheSampleFrequency) {
  SongBuilder song;
  noteSong(song, 0x3C00 + 12 * 256);
  std::vector<int16_t> out = renderSong(song, 11);  // just over a second
  // 882 Hz over 44100 frames: two crossings a period.
  int32_t crossings = leftZeroCrossings(std::vector<int16_t>(out.begin(), out.begin() + 2 * 44100), 0);
  EXPECT_NEAR(crossings, 2 * 882, 2);
  // Centred at full volume a voice adds half its sample to each side.
  int16_t peak = *std::max_element(out.begin(), out.end());
  EXPECT_NEAR(peak, 10000, 50);
}

TEST(Playback, TheStepFollowsTheTableForTheNote) {
  SongBuilder song;
  noteSong(song, 0x3C00 - 7 * 256);  // a fifth down: 441 x 2^(-7/12) = 294.3 Hz
  std::vector<int16_t> out = renderSong(song, 11);
  int32_t crossings = leftZeroCrossings(std::vector<int16_t>(out.begin(), out.begin() + 2 * 44100), 0);
  EXPECT_NEAR(crossings, 2 * 294.3, 2);
}

TEST(Playback, AKeyOffWithoutEnvelopeSilencesTheVoiceOnItsTick) {
  SongBuilder song;
  noteSong(song, 0x3C00, {{0x100, 0, EventCode::ClearVoiceFlags, 2}});
  std::vector<int16_t> out = renderSong(song, 2);
  const size_t cut = 6 * 882;  // row 1, tick 0
  int32_t before = 0;
  for (size_t f = cut - 100; f < cut; ++f) before += out[2 * f] != 0;
  EXPECT_GT(before, 90);
  for (size_t f = cut; f < 2 * kFrames; ++f) ASSERT_EQ(out[2 * f], 0) << "frame " << f;
}

TEST(Playback, EffectsChangeWhatIsHeard) {
  SongBuilder plain, vibrato;
  noteSong(plain, 0x3C00);
  noteSong(vibrato, 0x3C00, {{0, 0, EventCode::VibratoSpeed, 0x40}, {0, 0, EventCode::VibratoDepth, 0x200},
                             {0, 0, EventCode::Vibrato, 1}});
  EXPECT_NE(renderSong(plain, 3), renderSong(vibrato, 3));
}

TEST(Playback, RenderingIsBitIdenticalFromRunToRun) {
  for (int16_t mode : {0, 1, 2, 3, 7}) {
    SongBuilder a, b;
    std::vector<Ev> effects = {{0x100, 0, EventCode::ArpeggioFirst, 0x400}, {0x100, 0, EventCode::ArpeggioSecond, 0x700},
                               {0x100, 0, EventCode::Arpeggio, 1}, {0x200, 0, EventCode::VolumeSlideSpeed, 0x800},
                               {0x200, 0, EventCode::VolumeSlide, 1}, {0x300, 0, EventCode::SetPanning, -3000}};
    noteSong(a, 0x3C00, effects);
    noteSong(b, 0x3C00, effects);
    std::vector<int16_t> first = renderSong(a, 6, mode), second = renderSong(b, 6, mode);
    EXPECT_EQ(first, second) << "mode " << mode;
    EXPECT_NE(*std::max_element(first.begin(), first.end()), 0) << "mode " << mode;
  }
}

}  // namespace
}  // namespace tvp::test
