// The XM loader: header checks and title, the song layout with its generated patterns, the
// translation of every effect group into events, instruments, samples and envelopes, the mends
// for hostile files, and the real songs of the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "soundtrack/byte_reader.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

namespace ec = EventCode;
using Ptr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;
constexpr int32_t kReset = static_cast<int32_t>(0x80000000u);
constexpr int32_t kPitch49 = 0x3C00;  // note 49, an untuned sample's base note

struct Loaded {
  int16_t status;
  Ptr song;
  std::string title;
  int32_t position;  // where the file was left
};

// Loads from `offset` in the bytes; with `query` only the title is asked for.
Loaded Load(const std::vector<uint8_t>& bytes, bool query = false, int32_t offset = 0) {
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  FileSeek(file, kSeekFromStart, offset);
  char title[kTitleCapacity] = "untouched";
  Soundtrack* song = reinterpret_cast<Soundtrack*>(&title);  // must be cleared
  int16_t status = LoadXM(file, title, query ? nullptr : &song);
  Loaded loaded{status, Ptr(query ? nullptr : song, ReleaseSoundtrack), title, FilePosition(file)};
  FileClose(file);
  return loaded;
}

struct E {
  int32_t time, channel, code, param;
  auto operator<=>(const E&) const = default;
};
void PrintTo(const E& e, std::ostream* os) {
  *os << std::hex << "{t=" << e.time << " ch=" << e.channel << " code=" << e.code << " p=" << e.param << "}";
}

// The events of a slot after the head, sorted as a set (the chain order is checked separately).
std::vector<E> Events(const Soundtrack* song, int slot) {
  std::vector<E> out;
  for (const Event* e = song->patterns[slot]->next; e != nullptr; e = e->next) out.push_back({e->time, e->channel, e->code, e->param});
  std::sort(out.begin(), out.end());
  return out;
}
std::vector<E> Sorted(std::vector<E> events) {
  std::sort(events.begin(), events.end());
  return events;
}

// What the engine and the mixer rely on, whatever the file held.
void ExpectWellFormed(const Soundtrack* song, int channels) {
  ASSERT_GE(song->playPositionCount, 3);
  for (int p = 0; p < song->playPositionCount; ++p) {
    ASSERT_TRUE(song->playPositions[p] >= 0 && song->playPositions[p] < song->patternCount);
  }
  for (int slot = 0; slot < song->patternCount; ++slot) {
    const Event* e = song->patterns[slot];
    ASSERT_NE(e, nullptr) << slot;
    EXPECT_TRUE(e->time == 0 && e->channel == 0 && e->code == 0) << slot;
    auto key = [](const Event* x) { return std::tuple(x->time, x->channel, EventCodeRank(x->code)); };
    for (e = e->next; e != nullptr && e->next != nullptr; e = e->next) {
      ASSERT_TRUE(e->channel >= 0 && (e->channel < channels || e->channel == 32)) << slot;
      ASSERT_TRUE(slot == 0 || key(e) <= key(e->next) || e->next->next == nullptr) << slot << " at " << e->time;
    }
    ASSERT_NE(e, nullptr) << slot;
    EXPECT_EQ(e->code, ec::NextPlayPosition) << slot;
  }
  for (int i = 0; i < song->sampleCount; ++i) {
    const Sample* s = song->samples[i];
    if (s == nullptr) continue;
    EXPECT_EQ(s->data != nullptr, s->length > 0) << i;
    EXPECT_TRUE(s->loopMode == kLoopNone || (s->loopStart >= 0 && s->loopEnd - s->loopStart >= 4 && s->loopEnd <= s->length)) << i;
  }
  for (int i = 0; i < song->envelopeCount; ++i) {
    const Envelope* e = song->envelopes[i];
    if (e == nullptr) continue;
    EXPECT_GE(e->length, 1) << i;
    if (e->flags & kEnvelopeSustain) {
      EXPECT_LT(e->sustainEnd, e->length) << i;
    }
    if (e->flags & kEnvelopeLoop) {
      EXPECT_TRUE(e->loopStart < e->length && e->loopEnd < e->length) << i;
    }
  }
}

// Two channels, two instruments without samples, one pattern of `rows` rows.
XmBuilder Song(int rows = 2) {
  XmBuilder b;
  b.instruments.resize(2);
  b.pattern(0).rows = rows;
  return b;
}

// ---------------------------------------------------------------------------------------------
// Header, title and layout

TEST(XmHeader, RefusalsAndClearedOuts) {
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* name;
    void (*change)(XmBuilder&);
    void (*damage)(Bytes&);
    int16_t status;
  } cases[] = {
      {"byte 37", nullptr, [](Bytes& f) { f[37] = 0x20; }, kStatusWrongFormat},
      {"signature", nullptr, [](Bytes& f) { f[9] = 'm'; }, kStatusWrongFormat},
      {"short header", nullptr, [](Bytes& f) { f.resize(335); }, kStatusDataEnded},
      {"empty file", nullptr, [](Bytes& f) { f.clear(); }, kStatusDataEnded},
      {"no channels", [](XmBuilder& b) { b.channels = 0; }, nullptr, kStatusWrongFormat},
      {"33 channels", [](XmBuilder& b) { b.channels = 33; }, nullptr, kStatusWrongFormat},
      {"negative channels", [](XmBuilder& b) { b.channels = -2; }, nullptr, kStatusWrongFormat},
      {"song length 257", [](XmBuilder& b) { b.songLength = 257; }, nullptr, kStatusWrongFormat},
      {"negative patterns", [](XmBuilder& b) { b.patternCount = 0x8000; }, nullptr, kStatusWrongFormat},
      {"negative instruments", [](XmBuilder& b) { b.instrumentCount = 0xFFFF; }, nullptr, kStatusWrongFormat},
  };
  for (const Case& c : cases) {
    XmBuilder b = Song();
    b.title = "refused";
    if (c.change != nullptr) c.change(b);
    Bytes bytes = b.bytes();
    if (c.damage != nullptr) c.damage(bytes);
    for (bool query : {false, true}) {
      Loaded l = Load(bytes, query);
      EXPECT_EQ(l.status, c.status) << c.name;
      EXPECT_EQ(l.song, nullptr) << c.name;
      EXPECT_EQ(l.title, "") << c.name;
    }
  }
  XmBuilder b = Song();
  b.channels = 32;
  EXPECT_EQ(Load(b.bytes()).status, kStatusOk);
}

TEST(XmHeader, TitleLosesTrailingSpacesAndEndsAtNul) {
  const std::pair<std::string, std::string> cases[] = {
      {"Song of ten  ", "Song of ten"}, {std::string(20, ' '), ""}, {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
      {std::string("ab\0cd", 5), "ab"}, {"  lead", "  lead"}};
  for (const auto& [field, title] : cases) {
    XmBuilder b = Song();
    b.title = field;
    EXPECT_EQ(Load(b.bytes()).title, title);
    EXPECT_EQ(Load(b.bytes(), true).title, title);
  }
}

TEST(XmHeader, TitleQueryReadsOnlyTheHeaderFromTheCurrentPosition) {
  XmBuilder b = Song();
  b.title = "query";
  std::vector<uint8_t> bytes(100, 0xEE);  // something else in front of the module
  std::vector<uint8_t> module = b.bytes();
  module.resize(336);  // nothing after the header: a full load fails, the query does not
  bytes.insert(bytes.end(), module.begin(), module.end());
  Loaded query = Load(bytes, true, 100);
  EXPECT_EQ(query.status, kStatusOk);
  EXPECT_EQ(query.title, "query");
  EXPECT_EQ(query.position, 100 + 336);
  EXPECT_EQ(Load(bytes, false, 100).status, kStatusDataEnded);

  bytes.resize(100);
  module = b.bytes();
  bytes.insert(bytes.end(), module.begin(), module.end());
  Loaded full = Load(bytes, false, 100);  // later seeks are relative to the module's start
  ASSERT_EQ(full.status, kStatusOk);
  ExpectWellFormed(full.song.get(), 2);
}

TEST(XmLayout, PlayPositionsAndGeneratedPatterns) {
  XmBuilder b = Song(4);
  b.orders = {1, 0, 4, 1};  // pattern 1 has no data yet, 4 is past the stored count
  b.pattern(1).rows = 10;
  b.pattern(1).packedSize = 0;  // stored without data: 10 empty rows
  b.patternCount = 2;
  b.restart = 2;
  b.speed = 5;
  b.tempo = 140;
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Soundtrack* s = l.song.get();
  ExpectWellFormed(s, 2);
  const int m = 5;  // patterns 0 .. 4
  EXPECT_EQ(std::vector<int32_t>(s->playPositions, s->playPositions + s->playPositionCount),
            (std::vector<int32_t>{0, 2, 1, 5, 2, m + 1, m + 2}));
  ASSERT_EQ(s->patternCount, m + 3);

  std::vector<E> initial = {{0, 32, ec::SetVariable, 0}, {0, 0, ec::SetSongMode, 0}, {0, 0, ec::SetSpeed, 5},
                            {0, 0, ec::SetTempo, 140}, {0, 0, ec::NextPlayPosition, 0}};
  for (int c = 0; c < 2; ++c) {
    for (E e : {E{0, c, ec::SetPanning, 16}, E{0, c, ec::SetVolumeMax, 0x10000}, E{0, c, ec::SetPitchMin, 0xC00},
                E{0, c, ec::SetPitchMax, 0x6BFF}, E{0, c, ec::PitchSlideSpeed, 0x7FFF}}) {
      initial.push_back(e);
    }
  }
  EXPECT_EQ(Events(s, 0), Sorted(initial));
  EXPECT_EQ(s->patterns[0]->next->code, ec::SetVariable);  // built in order, not sorted
  EXPECT_EQ(Events(s, 2), (std::vector<E>{{10 * 256, 0, ec::NextPlayPosition, 0}}));
  for (int slot : {3, 4, 5}) EXPECT_EQ(Events(s, slot), (std::vector<E>{{64 * 256, 0, ec::NextPlayPosition, 0}})) << slot;
  EXPECT_EQ(Events(s, m + 1), Sorted({{0, 0, ec::GotoPlayPosition, 3 | kReset}, {0, 0, ec::NextPlayPosition, 0}}));
  EXPECT_EQ(Events(s, m + 2), Sorted({{0, 0, ec::ClearVoiceFlags, 2}, {0, 1, ec::ClearVoiceFlags, 2},
                                      {0, 32, ec::AddVariable, 1}, {64 * 256, 0, ec::NextPlayPosition, 0}}));
  EXPECT_EQ(Events(s, 1), (std::vector<E>{{4 * 256, 0, ec::NextPlayPosition, 0}}));
}

TEST(XmLayout, RestartAtOrPastTheSongLengthStartsOver) {
  for (int restart : {3, 4, 200, -1}) {
    XmBuilder b = Song();
    b.orders = {0, 0, 0};
    b.restart = restart;
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    EXPECT_EQ(Events(l.song.get(), 2), Sorted({{0, 0, ec::GotoPlayPosition, kReset}, {0, 0, ec::NextPlayPosition, 0}}));
  }
}

// ---------------------------------------------------------------------------------------------
// Effects: the events of slot 1 for cells of one small pattern (closing NextPlayPosition left out)

struct At {
  int row, channel;
  XmCell cell;
};
struct EffectCase {
  const char* name;
  std::vector<At> cells;
  std::vector<E> events;
  int rows = 2;
};

constexpr int R = 256;  // one row
enum Letter { kA = 10, kB, kC, kD, kE, kF, kG, kH, kK = 20, kP = 25, kR = 27, kX = 33 };

const EffectCase kEffectCases[] = {
    {"note alone", {{0, 0, {49}}},
     {{0, 0, ec::SetPitch, kPitch49}, {0, 0, ec::StartSample, 0}, {0, 0, ec::SelectSampleByNote, 0}, {0, 0, ec::SetVoiceFlags, 1}}},
    {"note with instrument", {{0, 1, {61, 2}}},
     {{0, 1, ec::SelectInstrument, 1}, {0, 1, ec::SelectSampleByNote, 0}, {0, 1, ec::SetVoiceFlags, 3},
      {0, 1, ec::ResetModulators, 0}, {0, 1, ec::ResetVolume, 0}, {0, 1, ec::ResetPanning, 0},
      {0, 1, ec::SetPitch, 72 * 256}, {0, 1, ec::StartSample, 0}}},
    {"instrument without note", {{0, 0, {0, 1}}},
     {{0, 0, ec::SelectInstrument, 0}, {0, 0, ec::SetVoiceFlags, 3}, {0, 0, ec::ResetModulators, 0},
      {0, 0, ec::ResetVolume, 0}, {0, 0, ec::ResetPanning, 0}}},
    {"instrument with volume and panning", {{0, 0, {0, 1, 0x30, 8, 0xFF}}},
     {{0, 0, ec::SelectInstrument, 0}, {0, 0, ec::SetVoiceFlags, 3}, {0, 0, ec::ResetModulators, 0},
      {0, 0, ec::SetVolume, 0x8000}, {0, 0, ec::SetPanning, 4080}}},
    {"instrument above the count is none", {{0, 0, {49, 3}}},
     {{0, 0, ec::SetPitch, kPitch49}, {0, 0, ec::StartSample, 0}, {0, 0, ec::SelectSampleByNote, 0}, {0, 0, ec::SetVoiceFlags, 1}}},
    {"key off", {{0, 0, {97, 1}}, {1, 0, {10, 0, 0, kK, 0}}},
     {{0, 0, ec::SelectInstrument, 0}, {0, 0, ec::ClearVoiceFlags, 2}, {R, 0, ec::ClearVoiceFlags, 2}}},
    {"3xx with a note slides to it", {{0, 0, {49, 0, 0, 3, 0x10}}},
     {{0, 0, ec::PitchSlideSpeed, 0x100}, {0, 0, ec::PitchSlideTarget, kPitch49}, {0, 0, ec::PitchSlide, 1},
      {R, 0, ec::PitchSlide, 0}}},
    {"1xx after a volume-column portamento", {{0, 0, {49, 0, 0xF2, 1, 0x03}}},
     {{0, 0, ec::PitchRiseSpeed, 0x30}, {0, 0, ec::PitchSlide, 8}, {0, 0, ec::SetPitch, kPitch49},
      {0, 0, ec::SelectSampleByNote, 0}, {0, 0, ec::SetVoiceFlags, 1}, {R, 0, ec::PitchSlide, 0}}},
    {"2xx, then 1xx keeps its speed", {{0, 0, {0, 0, 0, 2, 0x04}}, {1, 0, {0, 0, 0, 1, 0}}},
     {{0, 0, ec::PitchFallSpeed, 0x40}, {0, 0, ec::PitchSlide, 0x10}, {R, 0, ec::PitchSlide, 8}, {2 * R, 0, ec::PitchSlide, 0}}},
    {"arpeggio switches on once", {{0, 0, {0, 0, 0, 0, 0x47}}, {1, 0, {0, 0, 0, 0, 0x47}}},
     {{0, 0, ec::ArpeggioFirst, 0x400}, {0, 0, ec::ArpeggioSecond, 0x700}, {0, 0, ec::Arpeggio, 1},
      {R, 0, ec::ArpeggioFirst, 0x400}, {R, 0, ec::ArpeggioSecond, 0x700}, {2 * R, 0, ec::Arpeggio, 0}}},
    {"4xy then 6xy", {{0, 0, {0, 0, 0, 4, 0x23}}, {1, 0, {0, 0, 0, 6, 0x20}}},
     {{0, 0, ec::VibratoDepth, 0x60}, {0, 0, ec::VibratoSpeed, 24}, {0, 0, ec::Vibrato, 1},
      {R, 0, ec::VolumeSlideSpeed, 0x800}, {R, 0, ec::VolumeSlideTarget, 0x10000}, {R, 0, ec::VolumeSlide, 1},
      {2 * R, 0, ec::Vibrato, 0}, {2 * R, 0, ec::VolumeSlide, 0}}},
    {"A0y, A00 goes on, an empty row ends it", {{0, 0, {0, 0, 0, kA, 0x0F}}, {1, 0, {0, 0, 0, kA, 0}}},
     {{0, 0, ec::VolumeSlideSpeed, 0x3C00}, {0, 0, ec::VolumeSlideTarget, 0}, {0, 0, ec::VolumeSlide, 1},
      {2 * R, 0, ec::VolumeSlide, 0}}, 3},
    {"5xy with a note", {{0, 0, {49, 0, 0, 5, 0x01}}},
     {{0, 0, ec::PitchSlideTarget, kPitch49}, {0, 0, ec::PitchSlide, 1}, {0, 0, ec::VolumeSlideSpeed, 0x400},
      {0, 0, ec::VolumeSlideTarget, 0}, {0, 0, ec::VolumeSlide, 1}, {R, 0, ec::PitchSlide, 0}, {R, 0, ec::VolumeSlide, 0}}},
    {"9xx offsets the start", {{0, 0, {49, 0, 0, 9, 0x12}}},
     {{0, 0, ec::SetPitch, kPitch49}, {0, 0, ec::StartSample, 0x1200}, {0, 0, ec::SelectSampleByNote, 0}, {0, 0, ec::SetVoiceFlags, 1}}},
    {"Cxx limited to 64, Gxx, Hxy", {{0, 0, {0, 0, 0, kC, 0x50}}, {0, 1, {0, 0, 0, kG, 0x20}}, {1, 1, {0, 0, 0, kH, 0x01}}},
     {{0, 0, ec::SetVolume, 0x10000}, {0, 1, ec::SetGlobalVolume, 0x8000}, {R, 1, ec::GlobalVolumeSlideSpeed, 0x400},
      {R, 1, ec::GlobalVolumeSlideTarget, 0}, {R, 1, ec::GlobalVolumeSlide, 1}, {2 * R, 1, ec::GlobalVolumeSlide, 0}}},
    {"Pxy and 8xx", {{0, 1, {0, 0, 0, kP, 0x20}}, {1, 1, {0, 0, 0, 8, 0x00}}},
     {{0, 1, ec::PanningSlideSpeed, 64}, {0, 1, ec::PanningSlideTarget, 4080}, {0, 1, ec::PanningSlide, 1},
      {R, 1, ec::PanningSlide, 0}, {R, 1, ec::SetPanning, -4080}}},
    {"Bxx, and Dxy forces the next row's switches",
     {{0, 0, {0, 0, 0xA1, kB, 0x05}}, {0, 1, {0, 0, 0, kD, 0x12}}, {1, 0, {0, 0, 0, 4, 0}}},
     {{0, 0, ec::VibratoSpeed, 12}, {0, 0, ec::Vibrato, 1}, {0, 0, ec::PositionJump, 6 | kReset},
      {0, 0, ec::PatternBreak, (12 * R) | kReset}, {R, 0, ec::Vibrato, 1}, {2 * R, 0, ec::Vibrato, 0}}},
    {"speed and tempo: the last channel wins", {{0, 0, {0, 0, 0, kF, 0x06}}, {0, 1, {0, 0, 0, kF, 0x08}}, {1, 0, {0, 0, 0, kF, 0x80}}},
     {{0, 0, ec::SetSpeed, 8}, {R, 0, ec::SetTempo, 0x80}}},
    {"E61 loops once from the pattern start", {{1, 0, {0, 0, 0, kE, 0x61}}}, {{R, 0, ec::LoopBack, kReset}}},
    {"an E60 row sends its switches again", {{0, 0, {0, 0, 0, 0, 0x37}}, {1, 0, {0, 0, 0, 0, 0x37}}, {1, 1, {0, 0, 0, kE, 0x60}}},
     {{0, 0, ec::ArpeggioFirst, 0x300}, {0, 0, ec::ArpeggioSecond, 0x700}, {0, 0, ec::Arpeggio, 1},
      {R, 0, ec::ArpeggioFirst, 0x300}, {R, 0, ec::ArpeggioSecond, 0x700}, {R, 0, ec::Arpeggio, 1}, {2 * R, 0, ec::Arpeggio, 0}}, 3},
    {"F00 goes to the ending pattern", {{1, 1, {0, 0, 0, kF, 0}}}, {{R, 1, ec::GotoPlayPosition, (1 + 2) | kReset}}},
    {"fine slides remember their value", {{0, 0, {0, 0, 0, kE, 0x13}}, {1, 0, {0, 0, 0, kE, 0x10}}, {2, 0, {0, 0, 0, kE, 0x22}},
                                           {3, 0, {0, 0, 0, kX, 0x12}}, {4, 0, {0, 0, 0, kX, 0x10}}, {5, 0, {0, 0, 0, kX, 0x23}},
                                           {6, 0, {0, 0, 0, kE, 0xA2}}, {7, 0, {0, 0, 0, kE, 0xB3}}, {8, 0, {0, 0, 0, kE, 0xB0}}},
     {{0, 0, ec::AddPitch, 48}, {R, 0, ec::AddPitch, 48}, {2 * R, 0, ec::AddPitch, -32}, {3 * R, 0, ec::AddPitch, 8},
      {4 * R, 0, ec::AddPitch, 8}, {5 * R, 0, ec::AddPitch, -12}, {6 * R, 0, ec::AddVolume, 0x800},
      {7 * R, 0, ec::AddVolume, -0xC00}, {8 * R, 0, ec::AddVolume, -0xC00}}, 9},
    {"E4x, E7x waveforms, ECx, EEx", {{0, 0, {0, 0, 0, kE, 0x45}}, {0, 1, {0, 0, 0, kE, 0x72}}, {1, 0, {0, 0, 0, kE, 0xC3}},
                                      {1, 1, {0, 0, 0, kE, 0xE2}}},
     {{0, 0, ec::VibratoWaveform, 3}, {0, 1, ec::TremoloWaveform, 0x8004}, {R + 3, 0, ec::SetVolume, 0},
      {R, 1, ec::PatternDelay, 2 * R}}},
    {"EDx delays the cell's events", {{0, 0, {49, 0, 0x20, kE, 0xD2}}},
     {{2, 0, ec::SetPitch, kPitch49}, {2, 0, ec::StartSample, 0}, {2, 0, ec::SelectSampleByNote, 0},
      {2, 0, ec::SetVoiceFlags, 1}, {2, 0, ec::SetVolume, 0x4000}}},
    {"volume column", {{0, 0, {0, 0, 0x65}}, {0, 1, {0, 0, 0x73}}, {1, 0, {0, 0, 0x82}}, {1, 1, {0, 0, 0x91}},
                       {2, 0, {0, 0, 0xA3}}, {2, 1, {0, 0, 0xB2}}, {3, 0, {0, 0, 0xC8}}, {3, 1, {0, 0, 0xD2}},
                       {4, 0, {0, 0, 0xE1}}, {4, 1, {0, 0, 0x55}}, {5, 0, {0, 0, 0x0F}}},
     {{0, 0, ec::VolumeSlideSpeed, 0x1400}, {0, 0, ec::VolumeSlideTarget, 0}, {0, 0, ec::VolumeSlide, 1},
      {0, 1, ec::VolumeSlideSpeed, 0xC00}, {0, 1, ec::VolumeSlideTarget, 0x10000}, {0, 1, ec::VolumeSlide, 1},
      {R, 0, ec::VolumeSlide, 0}, {R, 0, ec::AddVolume, -0x800}, {R, 1, ec::VolumeSlide, 0}, {R, 1, ec::AddVolume, 0x400},
      {2 * R, 0, ec::VibratoSpeed, 36}, {2 * R, 0, ec::Vibrato, 1}, {2 * R, 1, ec::VibratoDepth, 64}, {2 * R, 1, ec::Vibrato, 1},
      {3 * R, 0, ec::Vibrato, 0}, {3 * R, 0, ec::SetPanning, 136 * 32 - 4080}, {3 * R, 1, ec::Vibrato, 0},
      {3 * R, 1, ec::PanningSlideSpeed, 64}, {3 * R, 1, ec::PanningSlideTarget, -4080}, {3 * R, 1, ec::PanningSlide, 1},
      {4 * R, 0, ec::PanningSlideSpeed, 32}, {4 * R, 0, ec::PanningSlideTarget, 4080}, {4 * R, 0, ec::PanningSlide, 1},
      {4 * R, 1, ec::PanningSlide, 0}, {5 * R, 0, ec::PanningSlide, 0}}, 6},
};

TEST(XmEffects, EachGroupGivesItsEvents) {
  for (const EffectCase& c : kEffectCases) {
    XmBuilder b = Song(c.rows);
    for (const At& at : c.cells) b.cell(0, at.row, at.channel, at.cell);
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk) << c.name;
    ExpectWellFormed(l.song.get(), 2);
    std::vector<E> expected = c.events;
    expected.push_back({c.rows * R, 0, ec::NextPlayPosition, 0});
    EXPECT_EQ(Events(l.song.get(), 1), Sorted(expected)) << c.name;
  }
}

TEST(XmEffects, PackedAndUnpackedCellsAgree) {
  XmBuilder b = Song(3);
  b.cell(0, 0, 0, {49, 1, 0x40, 4, 0x11}).cell(0, 1, 1, {97, 0, 0, kR, 0x00}).cell(0, 2, 0, {0, 0, 0, 0, 0x37});
  Loaded packed = Load(b.bytes());
  b.pattern(0).packed = false;
  Loaded unpacked = Load(b.bytes());
  ASSERT_EQ(packed.status, kStatusOk);
  ASSERT_EQ(unpacked.status, kStatusOk);
  EXPECT_EQ(Events(packed.song.get(), 1), Events(unpacked.song.get(), 1));
  EXPECT_GT(Events(packed.song.get(), 1).size(), 40u);
}

TEST(XmEffects, RetriggersRepeatWithinTheRow) {
  struct Case {
    XmCell cell;
    int starts;
    E volume;  // the change before each start; code 0 for none
  } cases[] = {
      {{0, 0, 0, kE, 0x93}, 11, {}},
      {{0, 0, 0, kE, 0x90}, 0, {}},
      {{0, 0, 0, kR, 0x32}, 16, {0, 0, ec::AddVolume, -3 * 1024}},
      {{0, 0, 0, kR, 0xB0}, 32, {0, 0, ec::AddVolume, 3 * 1024}},
      {{0, 0, 0, kR, 0x65}, 7, {0, 0, ec::ScaleVolume, 0xAAAB}},
      {{0, 0, 0, kR, 0xF8}, 4, {0, 0, ec::ScaleVolume, 0x20000}},
  };
  for (const Case& c : cases) {
    XmBuilder b = Song(1);
    b.cell(0, 0, 0, c.cell);
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    std::vector<E> expected = {{R, 0, ec::NextPlayPosition, 0}};
    const int interval = c.starts > 0 ? (c.cell.param & 15 ? c.cell.param & 15 : 1) : 32;
    for (int t = 0; t < 32 && c.starts > 0; t += interval) {
      if (c.volume.code != 0) expected.push_back({t, 0, c.volume.code, c.volume.param});
      expected.push_back({t, 0, ec::StartSample, 0});
      expected.push_back({t, 0, ec::SetVoiceFlags, 3});
    }
    EXPECT_EQ(static_cast<int>(std::count_if(expected.begin(), expected.end(), [](E e) { return e.code == ec::StartSample; })), c.starts);
    EXPECT_EQ(Events(l.song.get(), 1), Sorted(expected)) << std::hex << c.cell.param;
  }
  // R00 repeats the remembered parameter; the memory starts afresh with each pattern.
  XmBuilder b = Song(2);
  b.orders = {0, 1};
  b.cell(0, 0, 0, {0, 0, 0, kR, 0x98}).cell(0, 1, 0, {0, 0, 0, kR, 0}).cell(1, 0, 0, {0, 0, 0, kR, 0});
  Loaded l = Load(b.bytes());
  EXPECT_EQ(Events(l.song.get(), 1).size(), 2u * 4 * 3 + 1);
  EXPECT_EQ(Events(l.song.get(), 2).size(), 32u * 2 + 1);
}

TEST(XmEffects, PatternLoopPlaysItsRowsThreeTimes) {
  auto total = [](int rows, bool loop) {
    XmBuilder b = Song(rows);
    if (loop) b.cell(0, 1, 1, {0, 0, 0, kE, 0x60}).cell(0, 4, 0, {0, 0, 0, kE, 0x62});
    Loaded l = Load(b.bytes());
    EXPECT_EQ(l.status, kStatusOk);
    if (loop) {
      EXPECT_EQ(Events(l.song.get(), 1), Sorted({{4 * R, 0, ec::LoopCount, 2}, {4 * R, 0, ec::LoopBack, R | kReset},
                                                 {8 * R, 0, ec::NextPlayPosition, 0}}));
    }
    int32_t seconds = 0, units = 0;
    EXPECT_EQ(EstimatePlayTime(l.song.get(), &seconds, &units), kStatusOk);
    return units;
  };
  EXPECT_NEAR(total(8, true), total(8 + 2 * 4, false), 1);  // rows 1 .. 4 twice more
}

TEST(XmEffects, PatternsTooBigForTheScratchArrayAreDecodedWhole) {
  XmBuilder b = Song(12);
  b.channels = 32;
  for (int row = 0; row < 12; ++row) {
    for (int c = 0; c < 32; ++c) b.cell(0, row, c, {0, 0, 0, kR, 0x11});  // 96 events a cell
  }
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  ExpectWellFormed(l.song.get(), 32);
  std::vector<E> events = Events(l.song.get(), 1);
  EXPECT_EQ(events.size(), 12u * 32 * 96 + 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), E{11 * R + 31, 31, ec::AddVolume, -1024}), 1);
}

// ---------------------------------------------------------------------------------------------
// Instruments, samples, envelopes

XmSampleSpec Sample8(std::vector<int> frames) {
  XmSampleSpec s;
  s.frames = std::move(frames);
  return s;
}

TEST(XmInstruments, SamplesFieldsNoteMapAndVibrato) {
  XmBuilder b = Song();
  XmInstrumentSpec& i = b.instruments[1];
  i.samples = {Sample8({0, 100, -100, 127, -128, 1}), XmSampleSpec{}, XmSampleSpec{}};
  i.samples[1].length = 0;
  i.samples[2].frames = {1000, -32768, 32767, 0, -1};
  i.samples[2].sixteenBit = true;
  i.samples[2].volume = 32;
  i.samples[2].panning = 0;
  i.samples[2].relativeNote = -12;
  i.samples[2].fineTune = -16;
  i.noteMap.fill(2);
  i.noteMap[0] = 0;
  i.noteMap[95] = 17;
  i.fadeout = 0x100;
  i.vibratoType = 1;
  i.vibratoSweep = 3;
  i.vibratoDepth = 0xF5;
  i.vibratoRate = 7;
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Soundtrack* s = l.song.get();
  ExpectWellFormed(s, 2);
  ASSERT_EQ(s->instrumentCount, 2);
  ASSERT_EQ(s->sampleCount, 32);
  ASSERT_EQ(s->envelopeCount, 5);
  EXPECT_EQ(s->instruments[0], nullptr);  // no samples
  EXPECT_EQ(CountFilledSampleSlots(s), 2);
  const Sample* eight = s->samples[16];
  const Sample* sixteen = s->samples[18];
  ASSERT_NE(eight, nullptr);
  ASSERT_NE(sixteen, nullptr);
  EXPECT_EQ(std::vector<int16_t>(eight->data, eight->data + 6), (std::vector<int16_t>{0, 25600, -25600, 32512, -32768, 256}));
  EXPECT_EQ(eight->length, 12);
  EXPECT_EQ(eight->volume, 0x10000);
  EXPECT_EQ(eight->panning, 16);
  EXPECT_EQ(eight->rate, 0x20AB0000u);
  EXPECT_EQ(eight->baseNote, 0x3C00);
  EXPECT_EQ(std::vector<int16_t>(sixteen->data, sixteen->data + 5), (std::vector<int16_t>{1000, -32768, 32767, 0, -1}));
  EXPECT_EQ(sixteen->length, 10);
  EXPECT_EQ(sixteen->volume, 0x8000);
  EXPECT_EQ(sixteen->panning, -4080);
  EXPECT_EQ(sixteen->baseNote, 0x3C00 + 12 * 256 + 32);

  const Instrument* in = s->instruments[1];
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->noteMap[12].sampleSlot, 16);
  EXPECT_EQ(in->noteMap[12].sample, eight);
  EXPECT_EQ(in->noteMap[60].sample, sixteen);
  EXPECT_EQ(in->noteMap[107].sampleSlot, 33);
  EXPECT_EQ(in->noteMap[107].sample, nullptr);
  EXPECT_EQ(in->noteMap[11].sample, nullptr);
  EXPECT_EQ(in->fadeout, 0x200);
  EXPECT_EQ(std::tuple(in->autoVibratoOn, in->autoVibratoWaveform, in->autoVibratoDepth, in->autoVibratoRate, in->autoVibratoSweep),
            std::tuple(1, 0x8004, 20, 28, 0x4000));
  EXPECT_EQ(in->volumeEnvelope, nullptr);
  const Envelope* builtIn = s->envelopes[4];
  ASSERT_NE(builtIn, nullptr);
  EXPECT_EQ(std::vector<int32_t>(builtIn->values, builtIn->values + builtIn->length), (std::vector<int32_t>{-256, -128, -64, -32, -16, 0}));
}

TEST(XmInstruments, LoopsInBytesOfFrames) {
  struct Case {
    bool sixteenBit;
    int loopType;
    uint32_t start, length;  // file bytes
    int32_t mode, loopStart, loopEnd;
  } cases[] = {
      {false, 1, 2, 4, kLoopForward, 4, 12},
      {true, 2, 4, 8, kLoopPingPong, 4, 12},
      {true, 3, 3, 9, kLoopPingPong, 2, 10},
      {false, 1, 2, 1, kLoopNone, 0, 0},         // a frame long: no loop
      {false, 1, 10, 100, kLoopForward, 20, 32},  // cut to the data
      {false, 2, 15, 100, kLoopNone, 0, 0},      // what remains is under two frames
      {true, 1, 0xFFFFFFF0, 0x40, kLoopNone, 0, 0},
  };
  for (const Case& c : cases) {
    XmBuilder b = Song();
    XmSampleSpec sample = Sample8(std::vector<int>(16, 5));
    sample.sixteenBit = c.sixteenBit;
    sample.loopType = c.loopType;
    sample.loopStart = c.start;
    sample.loopLength = c.length;
    b.instruments[0].samples = {sample};
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    ExpectWellFormed(l.song.get(), 2);
    const Sample* s = l.song->samples[0];
    EXPECT_EQ(std::tuple(s->loopMode, s->loopStart, s->loopEnd), std::tuple(c.mode, c.loopStart, c.loopEnd)) << c.start << "+" << c.length;
  }
}

TEST(XmInstruments, EnvelopesInterpolateAndSustain) {
  XmBuilder b = Song();
  XmInstrumentSpec& i = b.instruments[0];
  i.samples = {Sample8({1, 2})};
  i.volumeEnvelope = {{{0, 64}, {4, 0}, {300, 32}, {310, 0x1210}}, -1, 2, 0, 1, 1 | 2 | 4};
  i.panningEnvelope = {{{2, 32}, {3, 0}}, -1, 5, 0, 0, 1 | 2};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Envelope* v = l.song->envelopes[0];
  const Envelope* p = l.song->envelopes[1];
  ASSERT_TRUE(v != nullptr && p != nullptr);
  EXPECT_EQ(l.song->instruments[0]->volumeEnvelope, v);
  EXPECT_EQ(l.song->instruments[0]->panningEnvelope, p);
  ASSERT_EQ(v->length, 311);
  EXPECT_EQ(std::vector<int32_t>(v->values, v->values + 5), (std::vector<int32_t>{0x10000, 0xC000, 0x8000, 0x4000, 0}));
  EXPECT_EQ(v->values[152], 148 * 0x8000 / 296);
  EXPECT_EQ(v->values[300], 0x8000);
  EXPECT_EQ(v->values[310], 0x10 * 1024);  // the value's low byte
  EXPECT_EQ(std::tuple(v->sustainStart, v->sustainEnd, v->loopStart, v->loopEnd, v->flags),
            std::tuple(300, 300, 0, 4, kEnvelopeSustain | kEnvelopeLoop));
  EXPECT_EQ(std::vector<int32_t>(p->values, p->values + p->length), (std::vector<int32_t>{0, 0, 16, -4080}));
  EXPECT_EQ(std::tuple(p->sustainEnd, p->loopEnd, p->flags), std::tuple(kNoEnvelopePoint, kNoEnvelopePoint, 0u));
}

TEST(XmInstruments, SeventeenSamplesAreSkippedAfterTheHeader) {
  XmBuilder b = Song();
  b.instruments[0].sampleCount = 17;
  b.instruments[0].size = 29;
  b.instruments[1].samples = {Sample8({3, 4})};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  EXPECT_EQ(l.song->instruments[0], nullptr);
  ASSERT_NE(l.song->instruments[1], nullptr);
  EXPECT_EQ(l.song->samples[16]->data[1], 4 * 256);
}

// ---------------------------------------------------------------------------------------------
// Hostile files

TEST(XmMends, EnvelopePointsOutsideTheStoredOnesAndTicksGoingBack) {
  struct Case {
    XmEnvelopeSpec envelope;
    int32_t length, sustainEnd, loopStart, loopEnd;
  } cases[] = {
      {{{{0, 10}, {5, 20}}, 200, 150, 150, 180, 7}, 6, kNoEnvelopePoint, 5, 5},  // past the 12 points
      {{{{0, 10}, {8, 20}, {3, 30}, {8, 40}}, -1, 2, 2, 3, 7}, 9, 8, 8, 8},  // tick 3 after tick 8
      {{{{7, 10}, {0, 20}}, -1, 1, 0, 1, 7}, 8, 7, 7, 7},              // every tick equal after the first
      {{{{65535, 64}}, -1, 0, 0, 0, 7}, 65536, 65535, 65535, 65535},
      {{{{40, 10}}, 0, 0, 0, 3, 7}, 1, kNoEnvelopePoint, 0, 0},      // no points: one value
  };
  for (const Case& c : cases) {
    XmBuilder b = Song();
    b.instruments[0].samples = {Sample8({1})};
    b.instruments[0].volumeEnvelope = c.envelope;
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    ExpectWellFormed(l.song.get(), 2);
    const Envelope* e = l.song->envelopes[0];
    EXPECT_EQ(std::tuple(e->length, e->sustainEnd, e->loopStart, e->loopEnd), std::tuple(c.length, c.sustainEnd, c.loopStart, c.loopEnd));
  }
}

TEST(XmMends, HugeLengthsAndCountsAreCheckedAgainstTheFile) {
  struct Case {
    const char* name;
    void (*change)(XmBuilder&);
    int16_t status;
  } cases[] = {
      {"8-bit sample of 2 GB", [](XmBuilder& b) { b.instruments[0].samples[0].length = 0x7FFFFFF0; }, kStatusDataEnded},
      {"8-bit sample of 4 GB", [](XmBuilder& b) { b.instruments[0].samples[0].length = 0xFFFFFFFF; }, kStatusDataEnded},
      {"30000 patterns", [](XmBuilder& b) { b.patternCount = 30000; }, kStatusDataEnded},
      {"30000 instruments", [](XmBuilder& b) { b.instrumentCount = 30000; }, kStatusDataEnded},
      {"header size 4 GB", [](XmBuilder& b) { b.headerSize = 0xFFFFFFF0; }, kStatusDataEnded},
      {"pattern header 4 GB", [](XmBuilder& b) { b.pattern(0).headerLength = 0xFFFFFFFF; }, kStatusDataEnded},
      {"instrument size 4 GB", [](XmBuilder& b) { b.instruments[0].size = 0xFFFFFFFF; }, kStatusDataEnded},
      {"sample header size 4 GB", [](XmBuilder& b) { b.instruments[0].sampleHeaderSize = 0xFFFFFFFF; }, kStatusDataEnded},
      {"instrument size 0", [](XmBuilder& b) { b.instruments[1].size = 0; }, kStatusOk},
      {"sample header size 0", [](XmBuilder& b) { b.instruments[0].sampleHeaderSize = 0; }, kStatusOk},
  };
  for (const Case& c : cases) {
    XmBuilder b = Song();
    b.instruments[0].samples = {Sample8({1, 2, 3})};
    c.change(b);
    Loaded l = Load(b.bytes());
    EXPECT_EQ(l.status, c.status) << c.name;
    if (l.status == kStatusOk) {
      ExpectWellFormed(l.song.get(), 2);
      EXPECT_EQ(l.song->samples[0]->data[2], 3 * 256) << c.name;
    }
  }
  // Short 16-bit data leaves a silent sample no longer than what the file still holds.
  XmBuilder b = Song();
  b.instruments.resize(1);
  b.instruments[0].samples = {XmSampleSpec{{100, 200, 300}, true}};
  b.instruments[0].samples[0].length = 0x7FFFFFF0;
  b.instruments[0].samples[0].loopType = 1;
  b.instruments[0].samples[0].loopLength = 0x1000;
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  ExpectWellFormed(l.song.get(), 2);
  const Sample* s = l.song->samples[0];
  EXPECT_EQ(s->length, 6);
  EXPECT_EQ(std::vector<int16_t>(s->data, s->data + 3), (std::vector<int16_t>{0, 0, 0}));
  EXPECT_EQ(std::tuple(s->loopMode, s->loopEnd), std::tuple(kLoopForward, 6));
}

TEST(XmMends, DecodingEndsWithTheDataWhateverTheRowCount) {
  XmBuilder b = Song(0xFFFF);
  b.channels = 32;
  b.pattern(0).raw = {0x98, kA, 0x01, 49};  // a slide, then a note whose other fields are missing
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  EXPECT_EQ(Events(l.song.get(), 1),
            Sorted({{0, 0, ec::VolumeSlideSpeed, 0x400}, {0, 0, ec::VolumeSlideTarget, 0}, {0, 0, ec::VolumeSlide, 1},
                    {0, 1, ec::SetPitch, kPitch49}, {0, 1, ec::StartSample, 0}, {0, 1, ec::SelectSampleByNote, 0},
                    {0, 1, ec::SetVoiceFlags, 1}, {R, 0, ec::VolumeSlide, 0}, {0xFFFF * R, 0, ec::NextPlayPosition, 0}}));
}

// A few bytes can ask for much: a retrigger cell 96 events from two bytes, an envelope 65536
// values from 48, a one-frame sample a record with a 12 kB step table from 41. Each load has an
// allowance of events (2^20 + 4 per byte), envelope values (2^20 + 4 per byte) and sample
// records (256 + 1 per kB); a file that would overdraw one, in one part or in many parts
// together, is refused before the allocation.
TEST(XmMends, AllowancesBoundWhatAFileCanAskFor) {
  // `cells` retrigger cells (each channel's first gives the parameter the others recall) in each
  // of `patterns` patterns.
  auto retriggers = [](int patterns, int cells) {
    XmBuilder b = Song();
    b.channels = 32;
    b.orders.clear();
    for (int p = 0; p < patterns; ++p) {
      b.orders.push_back(p);
      b.pattern(p).rows = 0xFFFF;
      std::vector<uint8_t>& raw = b.pattern(p).raw;
      for (int c = 0; c < cells; ++c) {
        if (c < 32) {
          raw.insert(raw.end(), {0x98, kR, 0x11});
        } else {
          raw.insert(raw.end(), {0x88, kR});
        }
      }
    }
    return b;
  };
  auto envelopes = [](int instruments) {  // two envelopes of 65536 ticks each
    XmBuilder b = Song();
    XmInstrumentSpec i;
    i.samples = {Sample8({1})};
    i.volumeEnvelope = i.panningEnvelope = {{{0, 64}, {65535, 0}}, -1, 0, 0, 0, 1};
    b.instruments.assign(instruments, i);
    return b;
  };
  auto samples = [](int instruments) {  // sixteen one-frame samples each
    XmBuilder b = Song();
    XmInstrumentSpec i;
    i.samples.assign(16, Sample8({1}));
    b.instruments.assign(instruments, i);
    return b;
  };
  using Measure = int64_t (*)(const Soundtrack*);
  const Measure events = [](const Soundtrack* s) { return static_cast<int64_t>(Events(s, 1).size()); };
  const Measure values = [](const Soundtrack* s) {
    int64_t n = 0;
    for (int e = 0; e < s->envelopeCount; ++e) n += s->envelopes[e] != nullptr ? s->envelopes[e]->length : 0;
    return n;
  };
  const Measure records = [](const Soundtrack* s) { return int64_t{CountFilledSampleSlots(s)}; };
  struct Case {
    const char* name;
    XmBuilder song;
    int16_t status;
    Measure measure = nullptr;
    int64_t loaded = 0;  // what the measure finds in a loaded song
  } cases[] = {
      {"192 000 events", retriggers(1, 2000), kStatusOk, events, 192000 + 1},
      {"1 536 000 events from 32 kB", retriggers(1, 16000), kStatusWrongFormat},
      {"two patterns of 600 000 events from 25 kB", retriggers(2, 6250), kStatusWrongFormat},
      {"917 504 envelope values", envelopes(7), kStatusOk, values, 917504 + 6},  // and the built-in one's
      {"1 179 648 envelope values from 3 kB", envelopes(9), kStatusWrongFormat},
      {"256 samples from 15 kB", samples(16), kStatusOk, records, 256},
      {"320 samples from 18 kB", samples(20), kStatusWrongFormat},
  };
  for (const Case& c : cases) {
    Loaded l = Load(c.song.bytes());
    ASSERT_EQ(l.status, c.status) << c.name;
    if (l.status != kStatusOk) continue;
    ExpectWellFormed(l.song.get(), c.song.channels);
    EXPECT_EQ(c.measure(l.song.get()), c.loaded) << c.name;
  }
}

// The header's tempo is limited to what an Fxx effect can set.
TEST(XmMends, HeaderTempoIsLimitedToWhatAnEffectCanSet) {
  for (auto [tempo, sent] : {std::pair{255, 255}, {256, 255}, {32767, 255}, {32, 32}, {0, 0}}) {
    XmBuilder b = Song();
    b.tempo = tempo;
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    const std::vector<E> initial = Events(l.song.get(), 0);
    EXPECT_EQ(std::count(initial.begin(), initial.end(), E{0, 0, ec::SetTempo, sent}), 1) << tempo;
  }
}

// A small song with every part, cut at each length and with bytes changed at random: every
// outcome is a status, and a loaded song keeps the invariants.
TEST(XmMends, CutAndDamagedFilesNeverReadOutOfBounds) {
  XmBuilder b = Song(4);
  b.orders = {0, 1, 0};
  b.cell(0, 0, 0, {49, 2, 0x40, kR, 0x31}).cell(0, 1, 1, {50, 1, 0xF3, 1, 0x10}).cell(1, 2, 0, {0, 0, 0, kE, 0x62});
  b.instruments[1].samples = {XmSampleSpec{{9, 8, 7, 6}, true, 2, 2, 4}, Sample8({1, 2, 3, 4, 5, 6})};
  b.instruments[1].volumeEnvelope = {{{0, 64}, {10, 0}}, -1, 1, 0, 1, 7};
  const std::vector<uint8_t> whole = b.bytes();
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    Loaded l = Load(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
    if (cut < whole.size()) {
      EXPECT_NE(l.status, kStatusOk) << cut;
    }
  }
  std::mt19937 random(1234);
  for (int round = 0; round < 1000; ++round) {
    std::vector<uint8_t> bytes = whole;
    for (int n = 0; n < 4; ++n) {
      size_t at = 37 + random() % (bytes.size() - 37);
      bytes[at] = static_cast<uint8_t>(random());
    }
    Loaded l = Load(bytes);
    if (l.status == kStatusOk) {
      ExpectWellFormed(l.song.get(), ReadS16LE(bytes.data() + 68));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Real songs

TEST(XmCorpus, EverySongLoads) {
  const std::filesystem::path dir = TVP_CORPUS_DIR;
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus at " << dir;
  std::vector<std::filesystem::path> songs = {dir / "area1-game2.mod"};  // an XM under another name
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".xm") songs.push_back(entry.path());
  }
  ASSERT_GE(songs.size(), 2u);
  for (const auto& path : songs) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Loaded l = Load(bytes);
    ASSERT_EQ(l.status, kStatusOk) << path;
    const Soundtrack* s = l.song.get();
    ExpectWellFormed(s, 32);
    EXPECT_FALSE(l.title.empty()) << path;
    int notes = 0;
    for (int p = 1; p + 1 < s->playPositionCount; ++p) {
      for (const Event* e = s->patterns[s->playPositions[p]]; e != nullptr; e = e->next) notes += e->code == ec::SetPitch;
    }
    EXPECT_GT(notes, 0) << path;
    EXPECT_GT(CountFilledSampleSlots(s), 0) << path;
  }
}

}  // namespace
}  // namespace tvp::test
