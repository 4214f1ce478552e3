// Modules composed in memory in each format play one note per even row and silence every odd
// row: each note sounds at its pitch and every row starts on its frame (speed 6, tempo 125 at
// 44100 Hz: 5292 frames a row); and pattern loops in two channels play and are estimated as
// trackers play them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "engine/sound_engine.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/mod_builder.h"
#include "tests/support/s3m_builder.h"
#include "tests/support/xm_builder.h"
#include "tools/render/render_session.h"

namespace tvp::test {
namespace {

constexpr int32_t kRowFrames = 5292;
constexpr int32_t kRows = 8;
constexpr int32_t kCycle = 32;     // frames of one period of the sample's wave
constexpr int32_t kCycles = 8;     // the loop holds this many periods
// Hz of the sample at the reference note: 8363 for XM and S3M, the PAL rate of fine-tune 0 for MOD.
constexpr double kReferenceRate = 8363.0;
constexpr double kModReferenceRate = 8287.137;
const int kSemitones[kRows / 2] = {0, 4, 7, 12};

// A cosine, so that the first frame of a note is loud.
int8_t WaveByte(int i) { return static_cast<int8_t>(std::lround(100 * std::cos(2 * M_PI * i / kCycle))); }

std::vector<uint8_t> XmSong() {
  XmBuilder xm;
  xm.channels = 1;
  XmSampleSpec sample;
  for (int i = 0; i < kCycle * kCycles; ++i) sample.frames.push_back(WaveByte(i));
  sample.loopType = 1;
  sample.loopLength = kCycle * kCycles;
  XmInstrumentSpec instrument;
  instrument.samples = {sample};
  xm.instruments = {instrument};
  xm.pattern(0).rows = 64;
  for (int row = 0; row < kRows; row += 2) {
    xm.cell(0, row, 0, {49 + kSemitones[row / 2], 1, 0, -1, 0});  // 49: C-4, the reference
    xm.cell(0, row + 1, 0, {0, 0, 0x10, -1, 0});                   // volume 0
  }
  return xm.bytes();
}

std::vector<uint8_t> S3mSong() {
  S3MBuilder s3m;
  s3m.orders({0});
  S3MSampleSpec sample;
  for (int i = 0; i < kCycle * kCycles; ++i) sample.data.push_back(static_cast<uint8_t>(WaveByte(i) + 128));
  sample.loop = true;
  sample.loopEnd = kCycle * kCycles;
  s3m.sample(0, sample);
  for (int row = 0; row < kRows; row += 2) {
    const int semitone = kSemitones[row / 2];
    s3m.cell(0, row, 0, {S3MNote(4 + semitone / 12, semitone % 12), 1, -1, 0, 0});  // C-4 plays at C2 rate
    s3m.cell(0, row + 1, 0, {-1, 0, 0, 0, 0});
  }
  return s3m.bytes();
}

std::vector<uint8_t> ModSong() {
  static const int kPeriods[] = {428, 340, 285, 214};  // C-3 plays at the sample's rate
  ModBuilder mod;
  mod.orders({0});
  ModSample sample;
  sample.words = kCycle * kCycles / 2;
  sample.repeatLength = sample.words;
  for (int i = 0; i < kCycle * kCycles; ++i) sample.data.push_back(WaveByte(i));
  mod.sample(0, sample);
  for (int row = 0; row < kRows; row += 2) {
    mod.cell(0, row, 0, {1, kPeriods[row / 2], 0, 0});
    mod.cell(0, row + 1, 0, {0, 0, 0xC, 0});  // volume 0
  }
  return mod.bytes();
}

// The left channel of the first rows, rendered without interpolation.
std::vector<int16_t> RenderLeft(const std::vector<uint8_t>& bytes, ModuleFormat expected) {
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Soundtrack* soundtrack = nullptr;
  int16_t status = 0;
  EXPECT_EQ(LoadModule(file, nullptr, &soundtrack, &status), expected);
  FileClose(file);
  std::vector<int16_t> left;
  if (!soundtrack) return left;
  RenderSettings settings;
  settings.masterVolume = 0x10000;
  settings.maxFrames = kRows * kRowFrames;
  settings.loops = 1;
  RenderSession session;
  EXPECT_EQ(session.open(settings, soundtrack), kStatusOk);
  while (!session.finished()) {
    const int32_t frames = session.renderNext();
    for (int32_t f = 0; f < frames; ++f) left.push_back(session.frames()[2 * f]);
  }
  session.close();
  ReleaseSoundtrack(soundtrack);
  return left;
}

// Frequency from the first and last rising zero crossing inside [first, last).
double Frequency(const std::vector<int16_t>& left, int32_t first, int32_t last) {
  int32_t firstRise = -1, lastRise = -1, rises = 0;
  for (int32_t f = first + 1; f < last; ++f) {
    if (left[f - 1] < 0 && left[f] >= 0) {
      if (firstRise < 0) firstRise = f;
      lastRise = f;
      ++rises;
    }
  }
  return rises < 2 ? 0 : 44100.0 * (rises - 1) / (lastRise - firstRise);
}

class ModulePlayback : public ::testing::TestWithParam<ModuleFormat> {};

TEST_P(ModulePlayback, NotesSoundAtTheirPitchAndRowsStartOnTheirFrames) {
  const ModuleFormat format = GetParam();
  const std::vector<int16_t> left = RenderLeft(
      format == ModuleFormat::XM ? XmSong() : format == ModuleFormat::S3M ? S3mSong() : ModSong(), format);
  ASSERT_GE(left.size(), size_t{kRows * kRowFrames});
  for (int32_t row = 0; row < kRows; ++row) {
    SCOPED_TRACE(::testing::Message() << "row " << row);
    const int32_t start = row * kRowFrames;
    if (row % 2 == 0) {
      EXPECT_NE(left[start], 0);  // the note starts on the row's first frame...
      if (row > 0) {
        EXPECT_EQ(left[start - 1], 0);  // ... right after the silent row
      }
      const double rate = format == ModuleFormat::MOD ? kModReferenceRate : kReferenceRate;
      const double expected = rate / kCycle * std::pow(2.0, kSemitones[row / 2] / 12.0);
      EXPECT_NEAR(Frequency(left, start, start + kRowFrames), expected, expected * 0.005);
    } else {
      int32_t loudBefore = 0;
      for (int32_t f = start - 16; f < start; ++f) loudBefore += left[f] != 0;
      EXPECT_GT(loudBefore, 8);  // sounding up to the row's end
      for (int32_t f = start; f < start + kRowFrames; ++f) ASSERT_EQ(left[f], 0) << "frame " << f;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachFormat, ModulePlayback,
                         ::testing::Values(ModuleFormat::XM, ModuleFormat::S3M, ModuleFormat::MOD),
                         [](const auto& info) {
                           return info.param == ModuleFormat::XM ? "XM" : info.param == ModuleFormat::S3M ? "S3M" : "MOD";
                         });

struct Length {
  int64_t estimated = -1;
  int64_t firstPosition = -1;
};

Length LengthOf(const std::vector<uint8_t>& bytes) {
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Soundtrack* soundtrack = nullptr;
  int16_t status = 0;
  LoadModule(file, nullptr, &soundtrack, &status);
  FileClose(file);
  Length length;
  if (soundtrack == nullptr) return length;
  int32_t units = 0;
  EstimatePlayTime(soundtrack, nullptr, &units);
  length.estimated = int64_t{units} * 256;
  RenderSettings settings;
  settings.framesPerBuffer = 16;
  RenderSession session;
  if (session.open(settings, soundtrack) == kStatusOk) {
    int64_t frames = 0;
    const SoundEngine* engine = session.engine();
    while (!session.finished() && engine->playPosition <= 1 && !(engine->flags & kEngineEnded)) {
      if (engine->playPosition == 1) frames += 16;
      session.renderNext();
    }
    length.firstPosition = frames;
  }
  session.close();
  ReleaseSoundtrack(soundtrack);
  return length;
}

// Loops in two channels each count their own passes: side by side (rows 0..5 and 0..7, once
// more each) and one inside the other (rows 2..3 twice more inside rows 0..7 once more). The
// rows are those trackers play: 6 + 6 + 2 twice, and (4 + 2 + 2 + 4) twice, then the rest.
TEST(ModulePlayback, PatternLoopsInTwoChannelsEndWithTheRowsTrackersPlay) {
  auto xm = [&](std::vector<std::tuple<int, int, int>> loops) {
    XmBuilder b;
    b.pattern(0).rows = 16;
    for (auto [row, channel, count] : loops) b.cell(0, row, channel, {0, 0, 0, 0xE, 0x60 + count});
    return b.bytes();
  };
  auto mod = [&](std::vector<std::tuple<int, int, int>> loops) {
    ModBuilder b;
    b.orders({0});
    for (auto [row, channel, count] : loops) b.cell(0, row, channel, {0, 0, 0xE, 0x60 + count});
    return b.bytes();
  };
  const std::vector<std::tuple<int, int, int>> sideBySide = {{5, 0, 1}, {7, 1, 1}};
  const std::vector<std::tuple<int, int, int>> nested = {{0, 0, 0}, {7, 0, 1}, {2, 1, 0}, {3, 1, 2}};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    int64_t rows;
  } cases[] = {
      {"XM side by side", xm(sideBySide), 28 + 8},
      {"XM nested", xm(nested), 24 + 8},
      {"MOD side by side", mod(sideBySide), 28 + 56},
      {"MOD nested", mod(nested), 24 + 56},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Length length = LengthOf(c.bytes);
    EXPECT_EQ(length.estimated / 256, c.rows * kRowFrames / 256);
    EXPECT_NEAR(length.firstPosition, c.rows * kRowFrames, 16);
  }
}

}  // namespace
}  // namespace tvp::test
