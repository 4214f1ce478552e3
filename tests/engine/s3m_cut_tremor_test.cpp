// S3M note cuts and tremor, loaded and played: a cut silences its voice on its tick; a tremor's
// shut steps mute the voice while the sample runs on, its open steps bring it back, and a gate
// still shut when the row ends opens with the next row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "soundtrack/loaders.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/s3m_builder.h"

namespace tvp::test {
namespace {

constexpr int32_t kRate = 40000;
constexpr int32_t kTickFrames = 800;  // tempo 125 at 40000 Hz: one tick a buffer

struct Played {
  std::vector<int32_t> peaks;  // loudest left sample of each tick
  int32_t position = 0;        // channel 0's sample position after the last tick
  uint16_t active = 0;
};

// Channel 0 starts a long square wave in row 0; `cells` follow from row 1.
Played Play(const std::vector<S3MCell>& cells, int32_t ticks) {
  std::vector<uint8_t> square(30000);
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 16) % 2 ? 0x40 : 0xC0;
  S3MBuilder b;
  b.sample(0, {.data = square}).cell(0, 0, 0, {S3MNote(5, 0), 1});
  for (size_t i = 0; i < cells.size(); ++i) b.cell(0, static_cast<int>(i) + 1, 0, cells[i]);
  std::vector<uint8_t> bytes = b.bytes();
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Soundtrack* song = nullptr;
  EXPECT_EQ(LoadS3M(file, nullptr, &song), 0);
  FileClose(file);
  Played played;
  {
    OfflineEngine e(4, kTickFrames);
    e.sendPlayerSettings();
    e.command(ENG_SET_INTERPOLATION, 0);  // fixed gains: a mute takes effect on its tick
    song->flags |= kSoundtrackInUse;
    e.play(song, kRate);
    for (int32_t t = 0; t < ticks; ++t) {
      e.renderBuffer();
      int32_t peak = 0;
      for (size_t i = 0; i < e.out.size(); i += 2) peak = std::max(peak, std::abs(int32_t{e.out[i]}));
      played.peaks.push_back(peak);
    }
    played.position = e.engine->voices[0].position;
    played.active = e.engine->voices[0].active;
  }
  ReleaseSoundtrack(song);
  return played;
}

TEST(S3MCutAndTremor, TremorGatesTheVoiceWhileTheSampleRunsOn) {
  // Row 1: I21 at speed 6 shuts on ticks 2 and 5 and opens on tick 3; row 2 has no cell.
  Played tremor = Play({{-1, 0, -1, 'I', 0x21}}, 18);
  Played plain = Play({}, 18);
  for (int32_t t = 0; t < 18; ++t) {
    bool shut = t == 6 + 2 || t == 6 + 5;
    EXPECT_EQ(tremor.peaks[t] == 0, shut) << "tick " << t;
    if (!shut) {
      EXPECT_EQ(tremor.peaks[t], plain.peaks[t]) << "tick " << t;
    }
  }
  EXPECT_GT(tremor.position, 0);
  EXPECT_EQ(tremor.position, plain.position);  // the sample ran on through the muted ticks
}

TEST(S3MCutAndTremor, ACutSilencesTheVoiceOnItsTickUntilTheNextNote) {
  Played cut = Play({{-1, 0, -1, 'I', 0x11}, {kS3MCut}, {kS3MNoNote, 1}, {S3MNote(5, 0), 1}}, 30);
  for (int32_t t = 12; t < 24; ++t) EXPECT_EQ(cut.peaks[t], 0) << "tick " << t;  // an instrument alone starts nothing
  for (int32_t t = 24; t < 30; ++t) EXPECT_GT(cut.peaks[t], 0) << "tick " << t;
  EXPECT_EQ(cut.active & 1, 1);

  Played delayed = Play({{kS3MCut, 0, -1, 'S', 0xD3}}, 12);
  for (int32_t t = 6; t < 12; ++t) EXPECT_EQ(delayed.peaks[t] == 0, t >= 9) << "tick " << t;
  EXPECT_EQ(delayed.active & 1, 0);
}

}  // namespace
}  // namespace tvp::test
