// The S3M loader: play positions, samples, the initial settings, every effect's events, effect
// memory and switch-offs, and the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/adpcm_encoder.h"
#include "tests/support/s3m_builder.h"

namespace tvp::test {
namespace {

using E = std::tuple<int32_t, int32_t, int32_t, int32_t>;  // time, channel, code, param
using Events = std::vector<E>;
namespace C = EventCode;
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);
constexpr int32_t kStart = 0x40000000;  // StartSample with the modulators reset
const int kC5 = S3MNote(5, 0);          // table entry 72: 214, so period 856

struct Loaded {
  int16_t status;
  std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)> song;
  // The events of pattern slot `slot` after its head, in [row, row + rows), in a canonical order.
  Events rows(int32_t row, int32_t rows = 1, int32_t slot = 1) const {
    Events out;
    for (const Event* e = song->patterns[slot]->next; e; e = e->next)
      if (e->time >= row * 256 && e->time < (row + rows) * 256) out.emplace_back(e->time, e->channel, e->code, e->param);
    std::sort(out.begin(), out.end());
    return out;
  }
};

Loaded Load(const std::vector<uint8_t>& bytes, char* title = nullptr, bool query = false) {
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Soundtrack* song = nullptr;
  int16_t status = LoadS3M(file, title, query ? nullptr : &song);
  FileClose(file);
  return {status, {song, &ReleaseSoundtrack}};
}

Events Sorted(Events v) {
  std::sort(v.begin(), v.end());
  return v;
}
bool Has(const Events& events, const E& e) { return std::find(events.begin(), events.end(), e) != events.end(); }
S3MCell Fx(char effect, int param, int note = -1, int instrument = 0) { return {note, instrument, -1, effect, param}; }

// One sample; pattern 0 with `cells` on channel 0 from row 1 (row 0's switch-offs are done by then).
S3MBuilder Song(const std::vector<S3MCell>& cells) {
  S3MBuilder b;
  b.sample(0, {.data = std::vector<uint8_t>(64, 200)}).emptyPattern(0);
  for (size_t i = 0; i < cells.size(); ++i) b.cell(0, static_cast<int>(i) + 1, 0, cells[i]);
  return b;
}

TEST(S3MLoader, PlayPositionsSkip254StopAt255AndDecodeOnlyReferencedPatterns) {
  S3MBuilder b;
  b.orders({1, 254, 0, 4, 1, 255, 2}).emptyPattern(0).emptyPattern(1).emptyPattern(2).patternCount(4);
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, 0);
  EXPECT_EQ(std::vector<int32_t>(l.song->playPositions, l.song->playPositions + l.song->playPositionCount),
            (std::vector<int32_t>{0, 2, 1, 2}));
  ASSERT_EQ(l.song->patternCount, 5);
  EXPECT_TRUE(l.song->patterns[1] && l.song->patterns[2]);
  EXPECT_EQ(l.song->patterns[3], nullptr);  // pattern 2 comes only after 255
  EXPECT_EQ(l.rows(0, 65).back(), E(64 * 256, 0, C::NextPlayPosition, 0));
  Loaded absent = Load(S3MBuilder().orders({0, 1}).absentPattern(0).emptyPattern(1).bytes());
  ASSERT_EQ(absent.status, 0);
  EXPECT_EQ(absent.song->patterns[1], nullptr);  // playing it ends the song
}

TEST(S3MLoader, SamplesAreUnsigned8BitWithTheirHeaderFields) {
  S3MBuilder b;
  b.emptyPattern(0)
      .sample(0, {.data = {0, 128, 255, 64, 1, 2}, .loop = true, .loopBegin = 1, .loopEnd = 5, .volume = 48, .c2 = 22050})
      .sample(1, {.data = {9, 9}, .scrs = false})
      .sample(2, {.data = {}})
      .sample(3, {.data = {200, 200}, .dataPointer = 1});  // data offset 16 lies in the header
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, 0);
  const Sample* s = l.song->samples[0];
  ASSERT_EQ(s->length, 12);
  EXPECT_EQ(std::vector<int16_t>(s->data, s->data + 4), (std::vector<int16_t>{-32768, 0, 32512, -16384}));
  EXPECT_EQ(std::make_tuple(s->loopMode, s->loopStart, s->loopEnd, s->loopLength), std::make_tuple(1, 2, 10, 8));
  EXPECT_EQ(std::make_tuple(s->volume, s->rate, s->baseNote), std::make_tuple(48 * 1024, 22050u << 16, 0x3C00));
  EXPECT_EQ(l.song->samples[2], nullptr);  // length 0: no record
  for (int slot : {1, 3}) {                // no "SCRS", or no data in the file: silent
    EXPECT_EQ(std::make_tuple(l.song->samples[slot]->length, l.song->samples[slot]->data), std::make_tuple(0, nullptr));
  }
}

// ADPCM data (pack byte 4) decodes to its frames; cut by the end of the file it plays as far as it goes.
TEST(S3MLoader, AdpcmSamplesDecodeToTheirFrames) {
  const std::vector<int> frames = {-1, -3, 1, 65, 63, -65, -1};  // steps -1, -2, 4, 64, -2, -128, 64
  const std::vector<uint8_t> packed = EncodeAdpcm(frames);
  for (size_t cut : {size_t{0}, size_t{2}}) {
    S3MBuilder b;
    b.emptyPattern(0).sample(0, {.data = packed, .frames = 7, .pack = 4});
    std::vector<uint8_t> bytes = b.bytes();
    bytes.resize(b.sampleDataOffset(0) + packed.size() - cut);
    Loaded l = Load(bytes);
    ASSERT_EQ(l.status, 0);
    const Sample* s = l.song->samples[0];
    const size_t kept = cut == 0 ? frames.size() : 4;
    ASSERT_EQ(s->length, static_cast<int32_t>(2 * kept));
    for (size_t i = 0; i < kept; ++i) EXPECT_EQ(s->data[i], frames[i] * 256) << i;
  }
}

TEST(S3MLoader, InitialSettingsCarryTheHeaderAndChannelPanning) {
  std::array<uint8_t, 32> table{};
  table[0] = 0x20 | 5;  // from the table; channel 1 right, 2 left, 3 disabled, 4 another kind
  for (int variant = 0; variant < 4; ++variant) {
    const bool stereo = variant & 1, amiga = variant & 2;
    S3MBuilder b;
    b.emptyPattern(0).speed(4).tempo(150).globalVolume(48).panning(table).channel(3, 0x81).channel(4, 20);
    if (!stereo) b.mono();
    if (amiga) b.amigaLimits();
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, 0);
    Events want = {{0, 0, C::SetSongMode, 0}, {0, 0, C::SetSpeed, 4}, {0, 0, C::SetTempo, 150},
                   {0, 0, C::SetGlobalVolume, 48 * 1024}, {0, 0, C::NextPlayPosition, 0}};
    const int32_t pans[3] = {5 * 8192 / 15 - 4096, stereo ? 2457 : -274, stereo ? -2458 : -274};
    for (int32_t c = 0; c < 3; ++c) {
      want.insert(want.end(), {{0, c, C::SetPanning, pans[c]}, {0, c, C::SetVolumeMax, 0x10000},
                               {0, c, C::SetPitchMin, amiga ? 0x3000 : 0xC00}, {0, c, C::SetPitchMax, amiga ? 0x5300 : 0x6BFF},
                               {0, c, C::SetPeriodMin, amiga ? 452 : 106}, {0, c, C::SetPeriodMax, amiga ? 3424 : 32767},
                               {0, c, C::PeriodSlideSpeed, 32767}});
    }
    EXPECT_EQ(l.rows(0, 1, 0), Sorted(want)) << variant;
    EXPECT_EQ(l.song->playPositions[0], 0);
  }
}

TEST(S3MLoader, EveryEffectBecomesItsEvents) {
  auto at = [](int32_t code, int32_t param, int32_t tick = 0) { return E{256 + tick, 0, code, param}; };
  const Events note = {at(C::SetPeriod, 856), at(C::StartSample, kStart), at(C::SetVoiceFlags, 1)};
  auto with = [](Events a, const Events& b) { a.insert(a.end(), b.begin(), b.end()); return a; };
  const struct {
    const char* name;
    S3MCell cell;
    Events events;
  } cases[] = {
      {"note, instrument, volume", {kC5, 1, 32}, with(note, {at(C::SelectSample, 0), at(C::SetVolume, 32 * 1024)})},
      {"instrument alone", {kS3MNoNote, 1}, {at(C::SelectSample, 0), at(C::ResetVolume, 0)}},
      {"lowest note", {S3MNote(0, 0)}, {at(C::SetPeriod, 27364), at(C::StartSample, kStart), at(C::SetVoiceFlags, 1)}},
      {"note past the table is none", {S3MNote(9, 11), 1}, {at(C::SelectSample, 0), at(C::ResetVolume, 0)}},
      {"instrument past the count", {kC5, 2}, note},
      {"note cut ignores the instrument", {kS3MCut, 1}, {at(C::ClearVoiceFlags, 1)}},
      {"A", Fx('A', 5), {at(C::SetSpeed, 5)}}, {"B", Fx('B', 2), {at(C::PositionJump, 3)}},
      {"C", Fx('C', 0x12), {at(C::PatternBreak, (12 * 256) | kReset)}},
      {"D down", Fx('D', 0x03), {at(C::VolumeSlideSpeed, 3072), at(C::VolumeSlideTarget, 0), at(C::VolumeSlide, 1)}},
      {"D up", Fx('D', 0x30), {at(C::VolumeSlideSpeed, 3072), at(C::VolumeSlideTarget, 0x10000), at(C::VolumeSlide, 1)}},
      {"D fine down", Fx('D', 0xF2), {at(C::AddVolume, -2048)}}, {"D fine up", Fx('D', 0x2F), {at(C::AddVolume, 2048)}},
      {"DFF", Fx('D', 0xFF), {at(C::AddVolume, 15 * 1024)}}, {"E", Fx('E', 0x10), {at(C::PeriodRiseSpeed, 128), at(C::PeriodSlide, 8)}},
      {"E fine", Fx('E', 0xF3), {at(C::AddPeriod, 24)}}, {"F extra fine", Fx('F', 0xE3), {at(C::AddPeriod, -6)}},
      {"F", Fx('F', 0x10), {at(C::PeriodFallSpeed, 128), at(C::PeriodSlide, 0x10)}},
      {"G with a note slides to it without restarting the sample", Fx('G', 0x20, kC5, 1),
       {at(C::PeriodSlideSpeed, 256), at(C::PeriodSlideTarget, 856), at(C::PeriodSlide, 1), at(C::SelectSample, 0), at(C::ResetVolume, 0)}},
      {"H", Fx('H', 0x46), {at(C::PeriodVibrato, 1), at(C::PeriodVibratoSpeed, 64), at(C::PeriodVibratoDepth, 48)}},
      {"U", Fx('U', 0x46), {at(C::PeriodVibrato, 1), at(C::PeriodVibratoSpeed, 64), at(C::PeriodVibratoDepth, 12)}},
      {"J", Fx('J', 0x37), {at(C::Arpeggio, 1), at(C::ArpeggioFirst, 768), at(C::ArpeggioSecond, 1792)}},
      {"K", Fx('K', 0x02), {at(C::PeriodVibrato, 1), at(C::VolumeSlideSpeed, 2048), at(C::VolumeSlideTarget, 0), at(C::VolumeSlide, 1)}},
      {"L", Fx('L', 0x20, kC5),
       {at(C::PeriodSlideTarget, 856), at(C::PeriodSlide, 1), at(C::VolumeSlideSpeed, 2048), at(C::VolumeSlideTarget, 0x10000), at(C::VolumeSlide, 1)}},
      {"O", Fx('O', 0x12, kC5), {note[0], at(C::StartSample, 0x1200 | kStart), note[2]}},
      {"Q", Fx('Q', 0x6F), {at(C::StartSample, 0, 15), at(C::SetVoiceFlags, 1, 15), at(C::ScaleVolume, 0xAAAB, 15),
                            at(C::StartSample, 0, 30), at(C::SetVoiceFlags, 1, 30), at(C::ScaleVolume, 0xAAAB, 30)}},
      {"Q down", Fx('Q', 0x2F), {at(C::StartSample, 0, 15), at(C::SetVoiceFlags, 1, 15), at(C::AddVolume, -2048, 15),
                                 at(C::StartSample, 0, 30), at(C::SetVoiceFlags, 1, 30), at(C::AddVolume, -2048, 30)}},
      {"S3", Fx('S', 0x31), {at(C::PeriodVibratoWaveform, 0x8003)}}, {"S4", Fx('S', 0x46), {at(C::TremoloWaveform, 4)}},
      {"S8", Fx('S', 0x8F), {at(C::SetPanning, 4096)}}, {"SC", Fx('S', 0xC3), {at(C::SetVolume, 0, 3)}},
      {"SD delays the cell", Fx('S', 0xD2, kC5), {at(C::SetPeriod, 856, 2), at(C::StartSample, kStart, 2), at(C::SetVoiceFlags, 1, 2)}},
      {"SE", Fx('S', 0xE2), {at(C::PatternDelay, 512)}}, {"T", Fx('T', 0x80), {at(C::SetTempo, 128)}},
      {"X", Fx('X', 0x40), {at(C::SetPanning, 0)}}, {"X past the right", Fx('X', 0xFF), {at(C::SetPanning, 4096)}},
      {"R is not translated", Fx('R', 0x11), {}}, {"letters past Z are no effect", Fx('[', 0x11), {}},
  };
  for (const auto& c : cases) {
    Loaded l = Load(Song({c.cell}).bytes());
    ASSERT_EQ(l.status, 0) << c.name;
    EXPECT_EQ(l.rows(1), Sorted(c.events)) << c.name;
  }
}

TEST(S3MLoader, MemorySwitchOffsLoopsAndRowRequests) {
  S3MBuilder b = Song({Fx('D', 0x03), Fx('D', 0), {-1, 0, 40}, Fx('J', 0x12), {kC5}, Fx('S', 0xB0), Fx('A', 3), Fx('S', 0xB2)});
  b.cell(1, 0, 0, Fx('D', 0)).cell(0, 3, 1, Fx('H', 0x11)).cell(0, 7, 1, Fx('S', 0xD4)).orders({0, 1});
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, 0);
  EXPECT_EQ(l.rows(2), Sorted({{512, 0, C::VolumeSlideSpeed, 3072}, {512, 0, C::VolumeSlideTarget, 0}, {512, 0, C::VolumeSlide, 1}}));
  // A cell without the effect switches it off at its time; no cell at all, at the row's start.
  EXPECT_TRUE(Has(l.rows(3), {768, 0, C::VolumeSlide, 0}));
  EXPECT_TRUE(Has(l.rows(4), {1024, 1, C::PeriodVibrato, 0}));
  EXPECT_TRUE(Has(l.rows(5), {1280, 0, C::Arpeggio, 0}));
  EXPECT_EQ(l.rows(7), (Events{{7 * 256 + 4, 0, C::SetSpeed, 3}}));  // at the time of the row's last cell
  EXPECT_EQ(l.rows(8), Sorted({{8 * 256, 0, C::LoopCount, 2}, {8 * 256, 0, C::LoopBack, (6 * 256) | kReset}}));
  // Memory starts empty in each pattern: D00 goes on with the engine's last slide.
  Events next = l.rows(0, 1, 2);
  EXPECT_TRUE(Has(next, {0, 0, C::VolumeSlide, 1}) && Has(next, {0, 1, C::PeriodVibrato, 0}));
  EXPECT_FALSE(Has(next, {0, 0, C::VolumeSlideSpeed, 3072}));

  S3MBuilder mono = Song({Fx('S', 0x8F), Fx('X', 0x40)});
  mono.mono().channel(1, 0x80).cell(0, 1, 1, {kC5, 1, 10});
  Loaded m = Load(mono.bytes());
  ASSERT_EQ(m.status, 0);
  EXPECT_TRUE(m.rows(1, 2).empty());  // no panning in mono; nothing on a disabled channel
}

TEST(S3MCorpus, EveryFileLoadsWithItsPatternsAndSamples) {
  if (!std::filesystem::is_directory(TVP_CORPUS_DIR)) GTEST_SKIP() << "no corpus at " << TVP_CORPUS_DIR;
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TVP_CORPUS_DIR)) {
    if (entry.path().extension() != ".s3m") continue;
    const std::string name = entry.path().string();
    ++loaded;
    ModuleFile* file = FileOpen(name.c_str(), kFileRead);
    Soundtrack* song = nullptr;
    EXPECT_EQ(LoadS3M(file, nullptr, &song), 0) << name;
    FileClose(file);
    std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)> owned(song, &ReleaseSoundtrack);
    ASSERT_NE(song, nullptr) << name;
    EXPECT_GT(song->playPositionCount, 1) << name;
    for (int32_t i = 1; i < song->playPositionCount; ++i) EXPECT_NE(song->patterns[song->playPositions[i]], nullptr) << name;
    EXPECT_GT(CountFilledSampleSlots(song), 0) << name;
    int32_t seconds = 0;
    EXPECT_EQ(EstimatePlayTime(song, &seconds, nullptr), 0);
    EXPECT_GT(seconds, 3) << name;
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace tvp::test
