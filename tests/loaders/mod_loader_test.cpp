// The MOD loader: the title, play positions and initial settings, the effect translation, sample
// data cut by the end of the file, and the real songs of the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/mod_builder.h"

namespace tvp::test {
namespace {

using namespace EventCode;
using Ptr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;
constexpr int32_t B = INT32_MIN;  // the reset request of flow events

struct Loaded {
  int16_t status;
  Ptr song;
  std::string title;
};
// Loads the bytes, or with `query` only the title from the first `query` of them.
Loaded Load(const std::vector<uint8_t>& bytes, int32_t query = 0) {
  ModuleFile* file = FileOpenMemory(bytes.data(), query ? query : static_cast<int32_t>(bytes.size()));
  char title[kTitleCapacity] = "untouched";
  Soundtrack* song = nullptr;
  int16_t status = LoadMOD(file, title, query ? nullptr : &song);
  FileClose(file);
  return {status, Ptr(song, ReleaseSoundtrack), title};
}

struct E {
  int32_t time, channel, code, param;
  auto operator<=>(const E&) const = default;
};
void PrintTo(const E& e, std::ostream* os) {
  *os << std::hex << "{t=" << e.time << " ch=" << e.channel << " code=" << e.code << " p=" << e.param << "}";
}

// The events of a pattern slot after the head whose time lies in [from, to), sorted as a set.
std::vector<E> Events(const Soundtrack* song, int slot, int32_t from = 0, int32_t to = 1 << 20) {
  std::vector<E> out;
  for (const Event* e = song->patterns[slot]->next; e != nullptr; e = e->next)
    if (e->time >= from && e->time < to) out.push_back({e->time, e->channel, e->code, e->param});
  std::sort(out.begin(), out.end());
  return out;
}

// What the engine and the mixer rely on, whatever the file held.
void ExpectWellFormed(const Soundtrack* song, int channels) {
  ASSERT_EQ(song->sampleCount, 31);
  for (int i = 0; i < 31; ++i) {
    const Sample* s = song->samples[i];
    EXPECT_TRUE(s == nullptr || ((s->data != nullptr) == (s->length > 0) &&
                                 (s->loopMode == kLoopNone || (s->loopStart >= 0 && s->loopEnd - s->loopStart >= 4 && s->loopEnd <= s->length)))) << i;
  }
  ASSERT_GE(song->playPositionCount, 1);
  EXPECT_EQ(song->playPositions[0], 0);
  for (int p = 0; p < song->playPositionCount; ++p) ASSERT_LT(song->playPositions[p], song->patternCount);
  for (int slot = 0; slot < song->patternCount; ++slot) {
    const Event* e = song->patterns[slot];
    ASSERT_TRUE(e != nullptr && e->next != nullptr) << slot;
    ASSERT_TRUE(e->time == 0 && e->channel == 0 && e->code == 0) << slot;  // the head sorts nowhere
    auto key = [](const Event* x) { return std::tuple(x->time, x->channel, EventCodeRank(x->code)); };
    for (e = e->next; e->next != nullptr; e = e->next) {
      ASSERT_TRUE(e->channel >= 0 && e->channel < channels) << slot;
      ASSERT_TRUE(slot == 0 || key(e) <= key(e->next)) << "slot " << slot << " unsorted at time " << e->time;
    }
    EXPECT_EQ(std::tuple(e->code, e->time), std::tuple(NextPlayPosition, slot > 0 ? 64 * 256 : 0)) << slot;
  }
}

TEST(ModHeader, TitlePlayPositionsAndInitialSettings) {
  std::vector<uint8_t> bytes = ModBuilder().title("Twenty chars exactly!").orders({2, 0, 2}).orderEntry(100, 5).bytes();
  Loaded m = Load(bytes);
  ASSERT_EQ(m.status, 0);
  EXPECT_EQ(m.title, "Twenty chars exactly");
  ExpectWellFormed(m.song.get(), 4);
  EXPECT_EQ(std::vector<int32_t>(m.song->playPositions, m.song->playPositions + 4), (std::vector<int32_t>{0, 3, 1, 3}));
  EXPECT_EQ(CountFilledPatternSlots(m.song.get()), 7);  // the unused entry 5 counts too
  std::vector<E> want = {{0, 0, SetSongMode, 0}, {0, 0, SetGlobalVolume, 0xE000}, {0, 0, NextPlayPosition, 0}};
  for (int c = 0; c < 4; ++c) {
    for (auto [code, param] : {std::pair{SetPanning, c == 1 || c == 2 ? 0x800 : -0x800}, {SetVolumeMax, 0x10000},
                               {SetPeriodMin, 452}, {SetPeriodMax, 3424}, {SetPitchMin, 0x3000},
                               {SetPitchMax, 0x5300}, {PeriodSlideSpeed, 0x7FFF}})
      want.push_back({0, c, code, param});
  }
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Events(m.song.get(), 0), want);

  Loaded query = Load(bytes, 1084);  // a title query reads the header only
  EXPECT_EQ(std::tuple(query.status, query.title), std::tuple(0, "Twenty chars exactly"));

  for (int length : {0, 200}) {  // order entries past the 128th play the initial settings
    Loaded n = Load(ModBuilder().songLength(length).bytes());
    ASSERT_EQ(n.status, 0);
    ASSERT_EQ(n.song->playPositionCount, length + 1);
    EXPECT_EQ(std::count(n.song->playPositions, n.song->playPositions + length + 1, 1), std::min(length, 128));
  }
}

TEST(ModSamples, DataCutByTheEndOfTheFileKeepsWhatIsThere) {
  struct Case { int words, present, repeatStart, repeatLength, mode; } cases[] = {  // present: bytes
      {50, 30, 0, 0, kLoopNone}, {65535, 100, 0, 0, kLoopNone}, {50, 0, 0, 0, kLoopNone},
      {16, 29, 14, 2, kLoopNone} /* one frame of loop left */, {16, 30, 14, 2, kLoopForward}};
  for (const Case& c : cases) {
    ModBuilder b;
    b.sample(0, {.words = c.words, .repeatStart = c.repeatStart, .repeatLength = c.repeatLength});
    Loaded m = Load(b.truncate(b.sampleDataOffset(0) + c.present).bytes());
    ASSERT_EQ(m.status, 0);
    ExpectWellFormed(m.song.get(), 4);
    const Sample* s = m.song->samples[0];
    EXPECT_EQ(std::tuple(s->length, s->loopMode), std::tuple(c.present * 2, c.mode)) << c.words << " " << c.present;
    for (int i = 0; i < c.present; ++i) ASSERT_EQ(s->data[i], ModBuilder::DefaultByte(0, i) * 256);
  }
}

// One cell at row 1 on channel 2, after a row 0 that switched everything off.
// Layouts beside the plain one: other trackers' signatures (Digital Tracker's "FA0x" writes four
// bytes more after it), stored patterns that no order entry names, and samples packed in ADPCM.
TEST(ModLayouts, OtherSignaturesUnnamedPatternsAndAdpcmSamples) {
  struct Signature { const char* text; int channels; };
  for (const Signature& c : {Signature{"M!K!", 4}, Signature{"CD81", 8}, Signature{"TDZ3", 3}, Signature{"FA06", 6}}) {
    SCOPED_TRACE(c.text);
    ModBuilder b(c.channels);
    b.signature(c.text).sample(0, {.words = 4}).cell(0, 63, c.channels - 1, {1, 428, 0, 0});
    std::vector<uint8_t> bytes = b.bytes();
    if (std::string(c.text, 3) == "FA0") bytes.insert(bytes.begin() + 1084, {0, 0x40, 0, 0});
    Loaded m = Load(bytes);
    ASSERT_EQ(m.status, 0);
    EXPECT_EQ(Events(m.song.get(), 1, 63 * 256).at(0).channel, c.channels - 1);
    EXPECT_EQ(m.song->samples[0]->data[0], ModBuilder::DefaultByte(0, 0) * 256);
  }

  ModBuilder unnamed;
  unnamed.orders({0}).storedPatterns(3).sample(0, {.words = 30}).sample(1, {.words = 20});
  Loaded m = Load(unnamed.bytes());
  ASSERT_EQ(m.status, 0);
  EXPECT_EQ(std::tuple(m.song->samples[0]->data[0], m.song->samples[1]->data[39]),
            std::tuple(ModBuilder::DefaultByte(0, 0) * 256, ModBuilder::DefaultByte(1, 39) * 256));

  // Packed samples take their packed size, so the next sample stays in place; one cut by the end
  // of the file plays as far as it goes.
  const std::vector<int8_t> frames = {2, 6, 14, 30, 22, 6, -26, -27, -23, -25};  // steps in the encoder's table
  for (int cut : {0, 2}) {
    ModBuilder b;
    b.orders({0}).sample(0, {.words = 5, .data = frames, .adpcm = true}).sample(1, {.words = 3});
    std::vector<uint8_t> bytes = b.bytes();
    if (cut != 0) bytes.resize(b.sampleDataOffset(1) - cut);
    Loaded packed = Load(bytes);
    ASSERT_EQ(packed.status, 0);
    const Sample* s = packed.song->samples[0];
    const int kept = cut == 0 ? 10 : 6;
    ASSERT_EQ(s->length, 2 * kept);
    for (int i = 0; i < kept; ++i) EXPECT_EQ(s->data[i], frames[i] * 256) << i;
    if (cut == 0) {
      EXPECT_EQ(packed.song->samples[1]->data[5], ModBuilder::DefaultByte(1, 5) * 256);
    }
  }
}

// An eight-channel song stored under "M.K.": the file's size tells, and only an exact fit does.
TEST(ModLayouts, EightChannelsUnderTheFourChannelSignature) {
  for (const int extra : {0, 1}) {
    ModBuilder b(8);
    b.signature("M.K.").orders({0, 1}).sample(0, {.words = 40}).cell(1, 5, 7, {1, 428, 0, 0});
    std::vector<uint8_t> bytes = b.bytes();
    bytes.resize(bytes.size() + static_cast<size_t>(extra));
    Loaded m = Load(bytes);
    ASSERT_EQ(m.status, 0);
    const std::vector<E> row5 = Events(m.song.get(), 2, 5 * 256, 6 * 256);
    if (extra == 0) {
      ASSERT_FALSE(row5.empty());
      EXPECT_EQ(row5.at(0).channel, 7) << "read as eight channels";
      EXPECT_EQ(m.song->samples[0]->data[0], ModBuilder::DefaultByte(0, 0) * 256);
    } else {
      EXPECT_TRUE(row5.empty()) << "one byte more: four channels, as announced, and the note lies beyond";
    }
  }
}

TEST(ModEffects, CellsBecomeEvents) {
  auto ch = [](int32_t code, int32_t param, int32_t dt = 0) { return E{256 + dt, 2, code, param}; };
  auto song = [](int32_t code, int32_t param) { return E{256, 0, code, param}; };
  auto note = [&](int32_t period, int32_t sample, int32_t offset, int32_t dt = 0) {
    return std::vector<E>{ch(SetPeriod, period * 4, dt), ch(StartSample, offset | kStartResetsModulators | kStartPastEndLoops, dt),
                          ch(SetVoiceFlags, 1, dt), ch(SelectSample, sample - 1, dt), ch(ResetVolume, 0, dt)};
  };
  auto retrigger = [&](int32_t every) {
    std::vector<E> out;
    for (int32_t t = 0; t < 32; t += every) out.insert(out.end(), {ch(StartSample, 0, t), ch(SetVoiceFlags, 1, t)});
    return out;
  };
  struct Case { ModCell cell; std::vector<E> want; } cases[] = {
      {{0, 0, 0x0, 0x37}, {ch(Arpeggio, 1), ch(ArpeggioFirst, 0x300), ch(ArpeggioSecond, 0x700)}},
      {{0, 0, 0x1, 0x05}, {ch(PeriodFallSpeed, 20), ch(PeriodSlide, 0x10)}}, {{0, 0, 0x1, 0x00}, {ch(PeriodSlide, 0x10)}},
      {{0, 0, 0x2, 0x03}, {ch(PeriodRiseSpeed, 12), ch(PeriodSlide, 8)}},
      // 3xx with a note slides to it without playing it; without one the slide goes on
      {{1, 428, 0x3, 0x04}, {ch(PeriodSlideSpeed, 16), ch(PeriodSlideTarget, 1712), ch(PeriodSlide, 1), ch(SelectSample, 0), ch(ResetVolume, 0)}},
      {{0, 0, 0x3, 0x00}, {ch(PeriodSlide, 1)}},
      {{0, 0, 0x4, 0x37}, {ch(PeriodVibrato, 1), ch(PeriodVibratoSpeed, 48), ch(PeriodVibratoDepth, 56)}},
      {{0, 428, 0x5, 0x30},
       {ch(PeriodSlideTarget, 1712), ch(PeriodSlide, 1), ch(VolumeSlideSpeed, 3072), ch(VolumeSlideTarget, 0x10000), ch(VolumeSlide, 1)}},
      {{0, 0, 0x6, 0x02}, {ch(PeriodVibrato, 1), ch(VolumeSlideSpeed, 2048), ch(VolumeSlideTarget, 0), ch(VolumeSlide, 1)}},
      {{0, 0, 0x7, 0x45}, {ch(Tremolo, 1), ch(TremoloSpeed, 64), ch(TremoloDepth, 5120)}},
      {{0, 0, 0x8, 0x40}, {ch(SetPanning, 0)}}, {{0, 0, 0x8, 0xFF}, {ch(SetPanning, 4096)}}, {{0, 0, 0x8, 0x00}, {ch(SetPanning, -4096)}},
      {{1, 428, 0x9, 0x02}, note(428, 1, 512)}, {{0x1F, 856, 0x0, 0x00}, note(856, 0x1F, 0)},
      {{0x20, 0, 0x0, 0x00}, {}},  // sample numbers above 31 are none
      {{0, 0, 0xA, 0x00}, {ch(VolumeSlide, 1)}}, {{0, 0, 0xB, 0x05}, {song(PositionJump, 6 | B)}},
      {{2, 0, 0xC, 0x40}, {ch(SelectSample, 1), ch(SetVolume, 0x10000)}}, {{0, 0, 0xD, 0x12}, {song(PatternBreak, 12 * 256 | B)}},
      {{0, 0, 0xD, 0x63}, {song(PatternBreak, 63 * 256 | B)}}, {{0, 0, 0xD, 0x64}, {song(PatternBreak, 0 | B)}},
      {{0, 0, 0xE, 0x13}, {ch(AddPeriod, -12)}}, {{0, 0, 0xE, 0x23}, {ch(AddPeriod, 12)}},
      {{0, 0, 0xE, 0x40}, {ch(PeriodVibratoWaveform, 0x8000)}}, {{0, 0, 0xE, 0x45}, {ch(PeriodVibratoWaveform, 3)}},
      {{0, 0, 0xE, 0x72}, {ch(TremoloWaveform, 0x8004)}}, {{0, 0, 0xE, 0x77}, {ch(TremoloWaveform, 0x7FFE)}},
      {{0, 0, 0xE, 0x61}, {ch(LoopBack, 0 | B)}}, {{0, 0, 0xE, 0x63}, {ch(LoopCount, 3), ch(LoopBack, 0 | B)}},
      {{0, 0, 0xE, 0x87}, {ch(SetPanning, -274)}}, {{0, 0, 0xE, 0x9A}, retrigger(10)},
      {{0, 0, 0xE, 0xA3}, {ch(AddVolume, 3072)}}, {{0, 0, 0xE, 0xB2}, {ch(AddVolume, -2048)}},
      {{0, 0, 0xE, 0xC3}, {ch(SetVolume, 0, 3)}}, {{1, 428, 0xE, 0xD2}, note(428, 1, 0, 2)},
      {{0, 0, 0xE, 0xE4}, {ch(PatternDelay, 1024)}},
      {{0, 0, 0xE, 0x05}, {}}, {{0, 0, 0xE, 0x31}, {}}, {{0, 0, 0xE, 0x90}, {}}, {{0, 0, 0xE, 0xF1}, {}},
      {{0, 0, 0xF, 0x06}, {song(SetSpeed, 6)}}, {{0, 0, 0xF, 0x00}, {song(SetSpeed, 0)}},  // F00: the engine ignores it
      {{0, 0, 0xF, 0x1F}, {song(SetSpeed, 0x1F)}}, {{0, 0, 0xF, 0x20}, {song(SetTempo, 0x20)}}};
  for (Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.cell.effect << " " << c.cell.param);
    Loaded m = Load(ModBuilder().cell(0, 1, 2, c.cell).bytes());
    ASSERT_EQ(m.status, 0);
    ExpectWellFormed(m.song.get(), 4);
    std::sort(c.want.begin(), c.want.end());
    EXPECT_EQ(Events(m.song.get(), 1, 256, 512), c.want);
  }
}

TEST(ModCorpus, EveryModLoadsExceptTheXmUnderAModName) {
  const std::filesystem::path dir = TVP_CORPUS_DIR;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
  int loaded = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mod") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ModuleFile* file = FileOpen(entry.path().c_str(), kFileRead);
    Soundtrack* raw = nullptr;
    int16_t status = LoadMOD(file, nullptr, &raw);
    FileClose(file);
    Ptr song(raw, ReleaseSoundtrack);
    if (entry.path().filename() == "area1-game2.mod") {  // an XM under a MOD name
      EXPECT_EQ(status, kStatusWrongFormat);
      continue;
    }
    ASSERT_EQ(status, 0);
    ExpectWellFormed(song.get(), 4);
    int32_t seconds = 0;
    EXPECT_EQ(EstimatePlayTime(song.get(), &seconds, nullptr), 0);
    EXPECT_GT(seconds, 3);
    ++loaded;
  }
  EXPECT_GE(loaded, 6);
}

}  // namespace
}  // namespace tvp::test
