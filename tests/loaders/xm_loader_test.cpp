// The XM loader: header checks and title, the song layout with its generated patterns, the
// translation of every effect group into events, instruments, samples and envelopes, the mends
// for hostile files, and the real songs of the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "soundtrack/byte_reader.h"
#include "soundtrack/event_dump.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

namespace ec = EventCode;
using Ptr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;
constexpr int32_t kReset = static_cast<int32_t>(0x80000000u);

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
  const char* name = EventName(e.code);
  *os << std::hex << "{t=" << e.time << " ch=" << e.channel << " " << (name ? name : "?") << " " << e.param << "}";
}

// The events of a slot after the head, sorted as a set (the chain order is checked separately).
std::vector<E> Events(const Soundtrack* song, int slot) {
  std::vector<E> out;
  for (const Event* e = song->patterns[slot]->next; e != nullptr; e = e->next) out.push_back({e->time, e->channel, e->code, e->param});
  std::sort(out.begin(), out.end());
  return out;
}

// Events in a short notation: "@row.channel+tick" sets where the following "Name param" pairs
// happen (param in hex, '!' adds the reset request of flow events).
std::vector<E> Ev(const std::string& text) {
  std::vector<E> out;
  std::istringstream in(text);
  std::string word, param;
  int32_t time = 0, channel = 0;
  while (in >> word) {
    int row = 0, tick = 0;
    if (word[0] == '@') {
      std::sscanf(word.c_str(), "@%d.%d+%d", &row, &channel, &tick);
      time = row * 256 + tick;
      continue;
    }
    in >> param;
    int32_t code = -1;
    for (int32_t c = 1; c < 0x1600 && code < 0; ++c) code = EventName(c) != nullptr && word == EventName(c) ? c : -1;
    EXPECT_GE(code, 0) << word;
    const bool reset = param.back() == '!';
    out.push_back({time, channel, code, static_cast<int32_t>(std::stoll(param, nullptr, 16)) | (reset ? kReset : 0)});
  }
  std::sort(out.begin(), out.end());
  return out;
}

// What the engine and the mixer rely on, whatever the file held.
void ExpectWellFormed(const Soundtrack* song, int channels) {
  ASSERT_GE(song->playPositionCount, 3);
  for (int p = 0; p < song->playPositionCount; ++p) ASSERT_TRUE(song->playPositions[p] >= 0 && song->playPositions[p] < song->patternCount);
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
    EXPECT_TRUE(s == nullptr || ((s->data != nullptr) == (s->length > 0) &&
                                 (s->loopMode == kLoopNone || (s->loopStart >= 0 && s->loopEnd - s->loopStart >= 4 && s->loopEnd <= s->length)))) << i;
  }
  for (int i = 0; i < song->envelopeCount; ++i) {
    const Envelope* e = song->envelopes[i];
    EXPECT_TRUE(e == nullptr || (e->length >= 1 && (!(e->flags & kEnvelopeSustain) || e->sustainEnd < e->length) &&
                                 (!(e->flags & kEnvelopeLoop) || (e->loopStart < e->length && e->loopEnd < e->length)))) << i;
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
      EXPECT_EQ(std::tuple(l.status, l.song.get(), l.title), std::tuple(c.status, static_cast<Soundtrack*>(nullptr), "")) << c.name;
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
  EXPECT_EQ(std::tuple(query.status, query.title, query.position), std::tuple(kStatusOk, "query", 100 + 336));
  EXPECT_EQ(Load(bytes, false, 100).status, kStatusDataEnded);

  bytes.resize(100);
  module = b.bytes();
  bytes.insert(bytes.end(), module.begin(), module.end());
  Loaded full = Load(bytes, false, 100);  // later seeks are relative to the module's start
  ASSERT_EQ(full.status, kStatusOk);
  ExpectWellFormed(full.song.get(), 2);
}

TEST(XmLayout, PlayPositionsGeneratedPatternsAndRestart) {
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
  const std::string channel = " SetPanning 10 SetVolumeMax 10000 SetPitchMin C00 SetPitchMax 6BFF PitchSlideSpeed 7FFF";
  EXPECT_EQ(Events(s, 0), Ev("@0.32 SetVariable 0 @0.0 SetSongMode 0 SetSpeed 5 SetTempo 8C NextPlayPosition 0" + channel + " @0.1" + channel));
  EXPECT_EQ(s->patterns[0]->next->code, ec::SetVariable);  // built in order, not sorted
  EXPECT_EQ(Events(s, 1), Ev("@4.0 NextPlayPosition 0"));
  EXPECT_EQ(Events(s, 2), Ev("@10.0 NextPlayPosition 0"));
  for (int slot : {3, 4, 5}) EXPECT_EQ(Events(s, slot), Ev("@64.0 NextPlayPosition 0")) << slot;
  EXPECT_EQ(Events(s, m + 1), Ev("@0.0 GotoPlayPosition 3! NextPlayPosition 0"));
  EXPECT_EQ(Events(s, m + 2), Ev("@0.0 ClearVoiceFlags 2 @0.1 ClearVoiceFlags 2 @0.32 AddVariable 1 @64.0 NextPlayPosition 0"));

  for (int restart : {3, 4, 200, -1}) {  // at or past the song length: start over
    XmBuilder r = Song();
    r.orders = {0, 0, 0};
    r.restart = restart;
    Loaded o = Load(r.bytes());
    ASSERT_EQ(o.status, kStatusOk);
    EXPECT_EQ(Events(o.song.get(), 2), Ev("@0.0 GotoPlayPosition 0! NextPlayPosition 0")) << restart;
  }
}

// ---------------------------------------------------------------------------------------------
// Effects: the events of slot 1 for cells of one small pattern (closing NextPlayPosition left out)

struct At {
  int row, channel;
  XmCell cell;
};
enum Letter { kA = 10, kB, kC, kD, kE, kF, kG, kH, kK = 20, kP = 25, kR = 27, kX = 33 };
XmCell Fx(int effect, int param, int note = 0, int volume = 0) { return {note, 0, volume, effect, param}; }

// The events of slot 1 for the cells of one small pattern (the closing NextPlayPosition left out).
const struct EffectCase {
  const char* name;
  std::vector<At> cells;
  const char* events;
  int rows = 2;
} kEffectCases[] = {
    {"note with instrument", {{0, 1, {61, 2}}}, "@0.1 SelectSampleByNote 0 SelectInstrument 1 SetVoiceFlags 3 StartSample 0 "
                                                "ResetModulators 0 ResetVolume 0 ResetPanning 0 SetPitch 4800"},
    {"instrument without note", {{0, 0, {0, 1}}}, "@0.0 SelectInstrument 0 SetVoiceFlags 3 ResetModulators 0 ResetVolume 0 ResetPanning 0"},
    {"instrument with volume and panning", {{0, 0, {0, 1, 0x30, 8, 0xFF}}},
     "@0.0 SelectInstrument 0 SetVoiceFlags 3 ResetModulators 0 SetVolume 8000 SetPanning FF0"},
    {"instrument above the count is none", {{0, 0, {49, 3}}}, "@0.0 SelectSampleByNote 0 SetVoiceFlags 1 StartSample 0 SetPitch 3C00"},
    {"key off", {{0, 0, {97, 1}}, {1, 0, Fx(kK, 0, 10)}}, "@0.0 SelectInstrument 0 ClearVoiceFlags 2 @1.0 ClearVoiceFlags 2"},
    {"3xx with a note slides to it", {{0, 0, Fx(3, 0x10, 49)}}, "@0.0 PitchSlideSpeed 100 PitchSlideTarget 3C00 PitchSlide 1 @1.0 PitchSlide 0"},
    {"1xx after a volume-column portamento", {{0, 0, Fx(1, 0x03, 49, 0xF2)}},
     "@0.0 SelectSampleByNote 0 SetVoiceFlags 1 SetPitch 3C00 PitchRiseSpeed 30 PitchSlide 8 @1.0 PitchSlide 0"},
    {"2xx, then 1xx keeps its speed", {{0, 0, Fx(2, 0x04)}, {1, 0, Fx(1, 0)}},
     "@0.0 PitchFallSpeed 40 PitchSlide 10 @1.0 PitchSlide 8 @2.0 PitchSlide 0"},
    {"arpeggio switches on once", {{0, 0, Fx(0, 0x47)}, {1, 0, Fx(0, 0x47)}},
     "@0.0 ArpeggioFirst 400 ArpeggioSecond 700 Arpeggio 1 @1.0 ArpeggioFirst 400 ArpeggioSecond 700 @2.0 Arpeggio 0"},
    {"4xy then 6xy", {{0, 0, Fx(4, 0x23)}, {1, 0, Fx(6, 0x20)}}, "@0.0 VibratoDepth 60 VibratoSpeed 18 Vibrato 1 "
     "@1.0 VolumeSlideSpeed 800 VolumeSlideTarget 10000 VolumeSlide 1 @2.0 VolumeSlide 0 Vibrato 0"},
    {"A0y, A00 goes on, an empty row ends it", {{0, 0, Fx(kA, 0x0F)}, {1, 0, Fx(kA, 0)}},
     "@0.0 VolumeSlideSpeed 3C00 VolumeSlideTarget 0 VolumeSlide 1 @2.0 VolumeSlide 0", 3},
    {"5xy with a note", {{0, 0, Fx(5, 0x01, 49)}}, "@0.0 VolumeSlideSpeed 400 VolumeSlideTarget 0 VolumeSlide 1 "
     "PitchSlideTarget 3C00 PitchSlide 1 @1.0 VolumeSlide 0 PitchSlide 0"},
    {"9xx offsets the start", {{0, 0, Fx(9, 0x12, 49)}}, "@0.0 SelectSampleByNote 0 SetVoiceFlags 1 StartSample 1200 SetPitch 3C00"},
    {"Cxx limited to 64, Gxx, Hxy", {{0, 0, Fx(kC, 0x50)}, {0, 1, Fx(kG, 0x20)}, {1, 1, Fx(kH, 0x01)}}, "@0.0 SetVolume 10000 "
     "@0.1 SetGlobalVolume 8000 @1.1 GlobalVolumeSlideSpeed 400 GlobalVolumeSlideTarget 0 GlobalVolumeSlide 1 @2.1 GlobalVolumeSlide 0"},
    {"Pxy and 8xx", {{0, 1, Fx(kP, 0x20)}, {1, 1, Fx(8, 0)}},
     "@0.1 PanningSlideSpeed 40 PanningSlideTarget FF0 PanningSlide 1 @1.1 SetPanning -FF0 PanningSlide 0"},
    {"Bxx, and Dxy forces the next row's switches", {{0, 0, Fx(kB, 0x05, 0, 0xA1)}, {0, 1, Fx(kD, 0x12)}, {1, 0, Fx(4, 0)}},
     "@0.0 PositionJump 6! PatternBreak C00! VibratoSpeed C Vibrato 1 @1.0 Vibrato 1 @2.0 Vibrato 0"},
    {"speed and tempo: the last channel wins", {{0, 0, Fx(kF, 0x06)}, {0, 1, Fx(kF, 0x08)}, {1, 0, Fx(kF, 0x80)}}, "@0.0 SetSpeed 8 @1.0 SetTempo 80"},
    {"E61 loops once from the pattern start", {{1, 0, Fx(kE, 0x61)}}, "@1.0 LoopBack 0!"},
    {"an E60 row sends its switches again", {{0, 0, Fx(0, 0x37)}, {1, 0, Fx(0, 0x37)}, {1, 1, Fx(kE, 0x60)}},
     "@0.0 ArpeggioFirst 300 ArpeggioSecond 700 Arpeggio 1 @1.0 ArpeggioFirst 300 ArpeggioSecond 700 Arpeggio 1 @2.0 Arpeggio 0", 3},
    {"F00 goes to the ending pattern", {{1, 1, Fx(kF, 0)}}, "@1.1 GotoPlayPosition 3!"},
    {"fine slides remember their value", {{0, 0, Fx(kE, 0x13)}, {1, 0, Fx(kE, 0x10)}, {2, 0, Fx(kE, 0x22)}, {3, 0, Fx(kX, 0x12)},
      {4, 0, Fx(kX, 0x10)}, {5, 0, Fx(kX, 0x23)}, {6, 0, Fx(kE, 0xA2)}, {7, 0, Fx(kE, 0xB3)}, {8, 0, Fx(kE, 0xB0)}},
     "@0.0 AddPitch 30 @1.0 AddPitch 30 @2.0 AddPitch -20 @3.0 AddPitch 8 @4.0 AddPitch 8 @5.0 AddPitch -C @6.0 AddVolume 800 "
     "@7.0 AddVolume -C00 @8.0 AddVolume -C00", 9},
    {"E4x, E7x waveforms, ECx, EEx", {{0, 0, Fx(kE, 0x45)}, {0, 1, Fx(kE, 0x72)}, {1, 0, Fx(kE, 0xC3)}, {1, 1, Fx(kE, 0xE2)}},
     "@0.0 VibratoWaveform 3 @0.1 TremoloWaveform 8004 @1.1 PatternDelay 200 @1.0+3 SetVolume 0"},
    {"EDx delays the cell's events", {{0, 0, Fx(kE, 0xD2, 49, 0x20)}},
     "@0.0+2 SelectSampleByNote 0 SetVoiceFlags 1 StartSample 0 SetVolume 4000 SetPitch 3C00"},
    {"volume column", {{0, 0, {0, 0, 0x65}}, {0, 1, {0, 0, 0x73}}, {1, 0, {0, 0, 0x82}}, {1, 1, {0, 0, 0x91}}, {2, 0, {0, 0, 0xA3}},
      {2, 1, {0, 0, 0xB2}}, {3, 0, {0, 0, 0xC8}}, {3, 1, {0, 0, 0xD2}}, {4, 0, {0, 0, 0xE1}}, {4, 1, {0, 0, 0x55}}, {5, 0, {0, 0, 0x0F}}},
     "@0.0 VolumeSlideSpeed 1400 VolumeSlideTarget 0 VolumeSlide 1 @0.1 VolumeSlideSpeed C00 VolumeSlideTarget 10000 VolumeSlide 1 "
     "@1.0 AddVolume -800 VolumeSlide 0 @1.1 AddVolume 400 VolumeSlide 0 @2.0 VibratoSpeed 24 Vibrato 1 @2.1 VibratoDepth 40 Vibrato 1 "
     "@3.0 SetPanning 110 Vibrato 0 @3.1 PanningSlideSpeed 40 PanningSlideTarget -FF0 PanningSlide 1 Vibrato 0 "
     "@4.0 PanningSlideSpeed 20 PanningSlideTarget FF0 PanningSlide 1 @4.1 PanningSlide 0 @5.0 PanningSlide 0", 6},
};

TEST(XmEffects, EachGroupGivesItsEvents) {
  for (const EffectCase& c : kEffectCases) {
    XmBuilder b = Song(c.rows);
    for (const At& at : c.cells) b.cell(0, at.row, at.channel, at.cell);
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk) << c.name;
    ExpectWellFormed(l.song.get(), 2);
    EXPECT_EQ(Events(l.song.get(), 1), Ev(c.events + (" @" + std::to_string(c.rows) + ".0 NextPlayPosition 0"))) << c.name;
  }
}

TEST(XmEffects, PackedAndUnpackedCellsAgree) {
  XmBuilder b = Song(3);
  b.cell(0, 0, 0, {49, 1, 0x40, 4, 0x11}).cell(0, 1, 1, {97, 0, 0, kR, 0x00}).cell(0, 2, 0, Fx(0, 0x37));
  Loaded packed = Load(b.bytes());
  b.pattern(0).packed = false;
  Loaded unpacked = Load(b.bytes());
  ASSERT_TRUE(packed.status == kStatusOk && unpacked.status == kStatusOk);
  EXPECT_EQ(Events(packed.song.get(), 1), Events(unpacked.song.get(), 1));
  EXPECT_GT(Events(packed.song.get(), 1).size(), 40u);
}

TEST(XmEffects, RetriggersRepeatWithinTheRow) {
  const struct {
    int param, starts;  // Rxy unless E9x
    const char* volume;  // the change before each start
  } cases[] = {{0xE93, 11, ""}, {0xE90, 0, ""}, {0x32, 16, "AddVolume -C00"}, {0xB0, 32, "AddVolume C00"},
               {0x65, 7, "ScaleVolume AAAB"}, {0xF8, 4, "ScaleVolume 20000"}};
  for (const auto& c : cases) {
    XmBuilder b = Song(1);
    b.cell(0, 0, 0, c.param > 0xFF ? Fx(kE, c.param & 0xFF) : Fx(kR, c.param));
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    std::string want = "@1.0 NextPlayPosition 0";
    for (int n = 0; n < c.starts; ++n) {
      want += " @0.0+" + std::to_string(n * std::max(1, c.param & 15)) + " StartSample 0 SetVoiceFlags 3 " + c.volume;
    }
    EXPECT_EQ(Events(l.song.get(), 1), Ev(want)) << std::hex << c.param;
  }
  // R00 repeats the remembered parameter; the memory starts afresh with each pattern.
  XmBuilder b = Song(2);
  b.orders = {0, 1};
  b.cell(0, 0, 0, Fx(kR, 0x98)).cell(0, 1, 0, Fx(kR, 0)).cell(1, 0, 0, Fx(kR, 0));
  Loaded l = Load(b.bytes());
  EXPECT_EQ(Events(l.song.get(), 1).size(), 2u * 4 * 3 + 1);
  EXPECT_EQ(Events(l.song.get(), 2).size(), 32u * 2 + 1);
}

TEST(XmEffects, PatternLoopPlaysItsRowsThreeTimes) {
  auto total = [](int rows, bool loop) {
    XmBuilder b = Song(rows);
    if (loop) b.cell(0, 1, 0, Fx(kE, 0x60)).cell(0, 4, 0, Fx(kE, 0x62));
    Loaded l = Load(b.bytes());
    EXPECT_EQ(l.status, kStatusOk);
    if (loop) {
      EXPECT_EQ(Events(l.song.get(), 1), Ev("@4.0 LoopCount 2 LoopBack 100! @8.0 NextPlayPosition 0"));
    }
    int32_t seconds = 0, units = 0;
    EXPECT_EQ(EstimatePlayTime(l.song.get(), &seconds, &units), kStatusOk);
    return units;
  };
  EXPECT_NEAR(total(8, true), total(8 + 2 * 4, false), 1);  // rows 1 .. 4 twice more
}

// ---------------------------------------------------------------------------------------------
// Instruments, samples, envelopes

TEST(XmInstruments, SamplesFieldsNoteMapAndVibrato) {
  XmBuilder b = Song();
  XmInstrumentSpec& i = b.instruments[1];
  i.samples = {XmSampleSpec{{0, 100, -100, 127, -128, 1}}, XmSampleSpec{.frames = {}, .length = 0},
               XmSampleSpec{.frames = {1000, -32768, 32767, 0, -1}, .sixteenBit = true, .volume = 32, .fineTune = -16,
                            .panning = 0, .relativeNote = -12}};
  i.noteMap.fill(2);
  i.noteMap[0] = 0;
  i.noteMap[95] = 17;
  i.fadeout = 0x100;
  std::tie(i.vibratoType, i.vibratoSweep, i.vibratoDepth, i.vibratoRate) = std::tuple(1, 3, 0xF5, 7);
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Soundtrack* s = l.song.get();
  ExpectWellFormed(s, 2);
  ASSERT_EQ(std::tuple(s->instrumentCount, s->sampleCount, s->envelopeCount, CountFilledSampleSlots(s)), std::tuple(2, 32, 5, 2));
  EXPECT_EQ(s->instruments[0], nullptr);  // no samples
  const Sample* eight = s->samples[16];
  const Sample* sixteen = s->samples[18];
  ASSERT_TRUE(eight != nullptr && sixteen != nullptr);
  EXPECT_EQ(std::vector<int16_t>(eight->data, eight->data + 6), (std::vector<int16_t>{0, 25600, -25600, 32512, -32768, 256}));
  EXPECT_EQ(std::tuple(eight->length, eight->volume, eight->panning, eight->rate, eight->baseNote),
            std::tuple(12, 0x10000, 16, 0x20AB0000u, 0x3C00));
  EXPECT_EQ(std::vector<int16_t>(sixteen->data, sixteen->data + 5), (std::vector<int16_t>{1000, -32768, 32767, 0, -1}));
  EXPECT_EQ(std::tuple(sixteen->length, sixteen->volume, sixteen->panning, sixteen->baseNote),
            std::tuple(10, 0x8000, -4080, 0x3C00 + 12 * 256 + 32));
  const Instrument* in = s->instruments[1];
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(std::tuple(in->noteMap[12].sampleSlot, in->noteMap[12].sample, in->noteMap[60].sample), std::tuple(16, eight, sixteen));
  EXPECT_EQ(std::tuple(in->noteMap[107].sampleSlot, in->noteMap[107].sample, in->noteMap[11].sample),
            std::tuple(33, nullptr, nullptr));
  EXPECT_EQ(std::tuple(in->fadeout, in->autoVibratoOn, in->autoVibratoWaveform, in->autoVibratoDepth, in->autoVibratoRate,
                       in->autoVibratoSweep), std::tuple(0x200, 1, 0x8004, 20, 28, 0x4000));
  EXPECT_EQ(in->volumeEnvelope, nullptr);
  const Envelope* builtIn = s->envelopes[4];
  ASSERT_NE(builtIn, nullptr);
  EXPECT_EQ(std::vector<int32_t>(builtIn->values, builtIn->values + builtIn->length), (std::vector<int32_t>{-256, -128, -64, -32, -16, 0}));
}

TEST(XmInstruments, LoopsInBytesOfFrames) {
  const struct {
    bool sixteenBit;
    int loopType;
    uint32_t start, length;  // file bytes
    int32_t mode, loopStart, loopEnd;
  } cases[] = {
      {false, 1, 2, 4, kLoopForward, 4, 12}, {true, 2, 4, 8, kLoopPingPong, 4, 12}, {true, 3, 3, 9, kLoopPingPong, 2, 10},
      {false, 1, 2, 1, kLoopNone, 0, 0},           // a frame long: no loop
      {false, 1, 10, 100, kLoopForward, 20, 32},   // cut to the data
      {false, 2, 15, 100, kLoopNone, 0, 0},        // what remains is under two frames
      {true, 1, 0xFFFFFFF0, 0x40, kLoopNone, 0, 0}};
  for (const auto& c : cases) {
    XmBuilder b = Song();
    b.instruments[0].samples = {XmSampleSpec{std::vector<int>(16, 5), c.sixteenBit, c.loopType, c.start, c.length}};
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
  i.samples = {XmSampleSpec{{1, 2}}};
  i.volumeEnvelope = {{{0, 64}, {4, 0}, {300, 32}, {310, 0x1210}}, -1, 2, 0, 1, 1 | 2 | 4};
  i.panningEnvelope = {{{2, 32}, {3, 0}}, -1, 5, 0, 0, 1 | 2};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Envelope* v = l.song->envelopes[0];
  const Envelope* p = l.song->envelopes[1];
  ASSERT_TRUE(v != nullptr && p != nullptr);
  EXPECT_EQ(std::tuple(l.song->instruments[0]->volumeEnvelope, l.song->instruments[0]->panningEnvelope), std::tuple(v, p));
  ASSERT_EQ(v->length, 311);
  EXPECT_EQ(std::vector<int32_t>(v->values, v->values + 5), (std::vector<int32_t>{0x10000, 0xC000, 0x8000, 0x4000, 0}));
  // Sustain at tick 300; the last value is its low byte.
  EXPECT_EQ(std::tuple(v->values[152], v->values[300], v->values[310]), std::tuple(148 * 0x8000 / 296, 0x8000, 0x10 * 1024));
  EXPECT_EQ(std::tuple(v->sustainStart, v->sustainEnd, v->loopStart, v->loopEnd, v->flags),
            std::tuple(300, 300, 0, 4, kEnvelopeSustain | kEnvelopeLoop));
  EXPECT_EQ(std::vector<int32_t>(p->values, p->values + p->length), (std::vector<int32_t>{0, 0, 16, -4080}));
  EXPECT_EQ(std::tuple(p->sustainEnd, p->loopEnd, p->flags), std::tuple(kNoEnvelopePoint, kNoEnvelopePoint, 0u));
}

// An instrument of more than 16 samples stays empty; its sample headers (of any declared size)
// and data are passed over, and the instruments after it load from their own bytes.
TEST(XmInstruments, MoreThanSixteenSamplesAreSkippedWithTheirData) {
  for (uint32_t headerSize : {40u, 64u}) {
    XmBuilder b = Song();
    b.instruments.resize(3);
    for (int j = 0; j < 23; ++j) b.instruments[0].samples.push_back(XmSampleSpec{{j, -j, j}, j % 2 == 1});
    b.instruments[0].sampleHeaderSize = headerSize;
    b.instruments[1].samples = {XmSampleSpec{{3, 4}}};
    b.instruments[2].samples = {XmSampleSpec{{5, 6, 7}, true}};
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    EXPECT_TRUE(l.song->instruments[0] == nullptr && l.song->instruments[1] != nullptr && l.song->instruments[2] != nullptr);
    EXPECT_EQ(CountFilledSampleSlots(l.song.get()), 2);
    EXPECT_EQ(std::tuple(l.song->samples[16]->data[1], l.song->samples[32]->data[2]), std::tuple(4 * 256, 7));
  }
}

// ---------------------------------------------------------------------------------------------
// Hostile files

TEST(XmMends, EnvelopePointsOutsideTheStoredOnesAndTicksGoingBack) {
  const struct {
    XmEnvelopeSpec envelope;
    int32_t length, sustainEnd, loopStart, loopEnd;
  } cases[] = {
      {{{{0, 10}, {5, 20}}, 200, 150, 150, 180, 7}, 6, kNoEnvelopePoint, 5, 5},  // past the 12 points
      {{{{0, 10}, {8, 20}, {3, 30}, {8, 40}}, -1, 2, 2, 3, 7}, 9, 8, 8, 8},  // tick 3 after tick 8
      {{{{7, 10}, {0, 20}}, -1, 1, 0, 1, 7}, 8, 7, 7, 7},              // every tick equal after the first
      {{{{65535, 64}}, -1, 0, 0, 0, 7}, 65536, 65535, 65535, 65535},
      {{{{40, 10}}, 0, 0, 0, 3, 7}, 1, kNoEnvelopePoint, 0, 0},      // no points: one value
  };
  for (const auto& c : cases) {
    XmBuilder b = Song();
    b.instruments[0].samples = {XmSampleSpec{{1}}};
    b.instruments[0].volumeEnvelope = c.envelope;
    Loaded l = Load(b.bytes());
    ASSERT_EQ(l.status, kStatusOk);
    ExpectWellFormed(l.song.get(), 2);
    const Envelope* e = l.song->envelopes[0];
    EXPECT_EQ(std::tuple(e->length, e->sustainEnd, e->loopStart, e->loopEnd), std::tuple(c.length, c.sustainEnd, c.loopStart, c.loopEnd));
  }
}

TEST(XmMends, HugeLengthsAndCountsAreCheckedAgainstTheFile) {
  using B = XmBuilder&;
  const struct {
    const char* name;
    void (*change)(XmBuilder&);
    int16_t status;
    bool sampleKept;  // the first sample loads whole
  } cases[] = {
      // Data or instruments past the end of the file: what the file holds loads.
      {"8-bit sample of 2 GB", [](B b) { b.instruments[0].samples[0].length = 0x7FFFFFF0; }, kStatusOk, true},
      {"8-bit sample of 4 GB", [](B b) { b.instruments[0].samples[0].length = 0xFFFFFFFF; }, kStatusOk, true},
      {"30000 instruments", [](B b) { b.instrumentCount = 30000; }, kStatusOk, true},
      {"instrument size 4 GB", [](B b) { b.instruments[0].size = 0xFFFFFFFF; }, kStatusOk, false},
      {"sample header size 4 GB", [](B b) { b.instruments[0].sampleHeaderSize = 0xFFFFFFFF; }, kStatusOk, false},
      {"instrument size 0", [](B b) { b.instruments[1].size = 0; }, kStatusOk, true},
      {"sample header size 0", [](B b) { b.instruments[0].sampleHeaderSize = 0; }, kStatusOk, true},
      // Patterns past the end of the file are refused.
      {"30000 patterns", [](B b) { b.patternCount = 30000; }, kStatusDataEnded, false},
      {"header size 4 GB", [](B b) { b.headerSize = 0xFFFFFFF0; }, kStatusDataEnded, false},
      {"pattern header 4 GB", [](B b) { b.pattern(0).headerLength = 0xFFFFFFFF; }, kStatusDataEnded, false}};
  for (const auto& c : cases) {
    XmBuilder b = Song();
    b.instruments[0].samples = {XmSampleSpec{{1, 2, 3}}};
    c.change(b);
    Loaded l = Load(b.bytes());
    EXPECT_EQ(l.status, c.status) << c.name;
    if (l.status == kStatusOk) ExpectWellFormed(l.song.get(), 2);
    if (c.sampleKept) {
      EXPECT_EQ(l.song->samples[0]->data[2], 3 * 256) << c.name;
    }
  }
}

// 8-bit samples packed in ADPCM (reserved byte 0xAD) decode to their frames and take their own
// length in the file, so the samples after them load too; cut short, they play as far as they go.
TEST(XmInstruments, AdpcmSamplesDecodeToTheirFrames) {
  const std::vector<int> frames = {1, 3, 7, 15, -1, -33, 31};  // steps 1, 2, 4, 8, -16, -32, 64
  XmBuilder b = Song();
  XmSampleSpec packed{frames};
  packed.adpcm = true;
  b.instruments[0].samples = {packed, XmSampleSpec{{5, 6}}};
  b.instruments[1].samples = {XmSampleSpec{{9, 8}}};
  const std::vector<uint8_t> whole = b.bytes();
  Loaded l = Load(whole);
  ASSERT_EQ(l.status, kStatusOk);
  const Sample* s = l.song->samples[0];
  ASSERT_EQ(s->length, 14);
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(s->data[i], frames[i] * 256) << i;
  EXPECT_EQ(std::tuple(l.song->samples[1]->data[1], l.song->samples[16]->data[1]), std::tuple(6 * 256, 8 * 256));
  // Cut inside the packed codes: 16 table bytes and 2 bytes of codes are left, four frames.
  b.instruments.resize(1);
  b.instruments[0].samples.resize(1);
  const std::vector<uint8_t> bytes = b.bytes();
  Loaded cut = Load(std::vector<uint8_t>(bytes.begin(), bytes.end() - 2));
  ASSERT_EQ(cut.status, kStatusOk);
  EXPECT_EQ(std::tuple(cut.song->samples[0]->length, cut.song->samples[0]->data[3]), std::tuple(8, 15 * 256));
}

// Trackers leave out trailing empty instruments; a file cut inside an instrument's headers or
// sample data keeps what it holds: instruments cut off are empty slots, sample data plays as
// far as it goes.
TEST(XmInstruments, AFileEndingEarlyKeepsWhatItHolds) {
  for (bool sixteenBit : {false, true}) {
    SCOPED_TRACE(sixteenBit ? "16-bit" : "8-bit");
    XmBuilder b = Song();
    b.instrumentCount = 4;
    b.instruments[0].samples = {XmSampleSpec{{1, 2, 3}, sixteenBit}};
    b.instruments[1].samples = {XmSampleSpec{{10, 20, 30, 40, 50, 60, 70, 80}, sixteenBit, 1, 0, 8u << sixteenBit}};
    const std::vector<uint8_t> whole = b.bytes();
    const int32_t frameBytes = sixteenBit ? 2 : 1;
    const int32_t scale = sixteenBit ? 1 : 256;
    struct Cut {
      size_t bytes;
      int32_t frames;  // of instrument 1's sample; -1 when instrument 1 is cut off
    } cuts[] = {{whole.size(), 8}, {whole.size() - 3 * frameBytes, 5}, {whole.size() - 8 * frameBytes, 0},
                {whole.size() - 8 * frameBytes - 40, -1}, {whole.size() - 8 * frameBytes - 40 - 263 + 10, -1}};
    for (const Cut& cut : cuts) {
      SCOPED_TRACE(cut.bytes);
      std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut.bytes));
      if (sixteenBit && cut.frames == 5) bytes.push_back(0x7F);  // an odd byte more, of no whole frame
      Loaded l = Load(bytes);
      ASSERT_EQ(l.status, kStatusOk);
      ExpectWellFormed(l.song.get(), 2);
      EXPECT_EQ(l.song->samples[0]->data[2], 3 * scale);
      EXPECT_TRUE(l.song->instruments[2] == nullptr && l.song->instruments[3] == nullptr);
      EXPECT_EQ(l.song->instruments[1] != nullptr, cut.frames >= 0);
      const Sample* s = l.song->samples[16];
      if (cut.frames > 0) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->length, 2 * cut.frames);
        EXPECT_EQ(s->data[cut.frames - 1], 10 * cut.frames * scale);
        EXPECT_EQ(s->loopEnd, 2 * cut.frames);  // the loop is cut to the data
      } else {
        EXPECT_TRUE(s == nullptr || s->length == 0);
      }
    }
  }
}

TEST(XmMends, DecodingEndsWithTheDataWhateverTheRowCount) {
  XmBuilder b = Song(0xFFFF);
  b.channels = 32;
  b.pattern(0).raw = {0x98, kA, 0x01, 49};  // a slide, then a note whose other fields are missing
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  EXPECT_EQ(Events(l.song.get(), 1), Ev("@0.0 VolumeSlideSpeed 400 VolumeSlideTarget 0 VolumeSlide 1 @1.0 VolumeSlide 0 "
                                         "@0.1 SetPitch 3C00 StartSample 0 SelectSampleByNote 0 SetVoiceFlags 1 @65535.0 NextPlayPosition 0"));
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
        c < 32 ? raw.insert(raw.end(), {0x98, kR, 0x11}) : raw.insert(raw.end(), {0x88, kR});
      }
    }
    return b;
  };
  // `instruments` instruments with two envelopes of 65536 ticks each, or with sixteen one-frame samples.
  auto instruments = [](int instruments, bool envelopes) {
    XmBuilder b = Song();
    XmInstrumentSpec i;
    i.samples.assign(envelopes ? 1 : 16, XmSampleSpec{{1}});
    if (envelopes) i.volumeEnvelope = i.panningEnvelope = {{{0, 64}, {65535, 0}}, -1, 0, 0, 0, 1};
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
  const struct {
    const char* name;
    XmBuilder song;
    int16_t status;
    Measure measure = nullptr;
    int64_t loaded = 0;  // what the measure finds in a loaded song
  } cases[] = {
      {"192 000 events, far more than a scratch array", retriggers(1, 2000), kStatusOk, events, 192000 + 1},
      {"1 536 000 events from 32 kB", retriggers(1, 16000), kStatusWrongFormat},
      {"two patterns of 600 000 events from 25 kB", retriggers(2, 6250), kStatusWrongFormat},
      {"917 504 envelope values", instruments(7, true), kStatusOk, values, 917504 + 6},  // and the built-in one's
      {"1 179 648 envelope values from 3 kB", instruments(9, true), kStatusWrongFormat},
      {"256 samples from 15 kB", instruments(16, false), kStatusOk, records, 256},
      {"320 samples from 18 kB", instruments(20, false), kStatusWrongFormat},
  };
  for (const auto& c : cases) {
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
  b.instruments[1].samples = {XmSampleSpec{{9, 8, 7, 6}, true, 2, 2, 4}, XmSampleSpec{{1, 2, 3, 4, 5, 6}}};
  b.instruments[1].volumeEnvelope = {{{0, 64}, {10, 0}}, -1, 1, 0, 1, 7};
  const std::vector<uint8_t> whole = b.bytes();
  XmBuilder patternsOnly = b;
  patternsOnly.instruments.clear();
  const size_t instrumentsStart = patternsOnly.bytes().size();  // a cut after it loads what is there
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    Loaded l = Load(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
    EXPECT_EQ(l.status == kStatusOk, cut >= instrumentsStart) << cut;
    if (l.status == kStatusOk) ExpectWellFormed(l.song.get(), 2);
  }
  std::mt19937 random(1234);
  for (int round = 0; round < 1000; ++round) {
    std::vector<uint8_t> bytes = whole;
    for (int n = 0; n < 4; ++n) bytes[37 + random() % (bytes.size() - 37)] = static_cast<uint8_t>(random());
    Loaded l = Load(bytes);
    if (l.status == kStatusOk) ExpectWellFormed(l.song.get(), ReadS16LE(bytes.data() + 68));
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
