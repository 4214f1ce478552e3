// The XM loader: header checks and title, the song layout with its generated patterns, the
// translation of every effect group into events, envelope points, and the real songs of the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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
      {"65 channels", [](XmBuilder& b) { b.channels = 65; }, nullptr, kStatusWrongFormat},
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
      {2, 1, {0, 0, 0xB2}}, {3, 0, {0, 0, 0xC8}}, {3, 1, {0, 0, 0xD2}}, {4, 0, {0, 0, 0xE1}}, {4, 1, {0, 0, 0x55}}, {5, 0, {0, 0, 0x0F}}, {5, 1, {0, 0, 0x50}}},
     "@0.0 VolumeSlideSpeed 1400 VolumeSlideTarget 0 VolumeSlide 1 @0.1 VolumeSlideSpeed C00 VolumeSlideTarget 10000 VolumeSlide 1 "
     "@1.0 AddVolume -800 VolumeSlide 0 @1.1 AddVolume 400 VolumeSlide 0 @2.0 VibratoSpeed 24 Vibrato 1 @2.1 VibratoDepth 40 Vibrato 1 "
     "@3.0 SetPanning 110 Vibrato 0 @3.1 PanningSlideSpeed 40 PanningSlideTarget -FF0 PanningSlide 1 Vibrato 0 "
     "@4.0 PanningSlideSpeed 20 PanningSlideTarget FF0 PanningSlide 1 @4.1 PanningSlide 0 @5.0 PanningSlide 0 @5.1 SetVolume 10000", 6},
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

// ---------------------------------------------------------------------------------------------
// Instruments and envelopes

// A count past the twelve stored points uses those twelve: the panning points that follow in
// the header (a tick of 100 here) are no part of the volume envelope.
TEST(XmInstruments, EnvelopesInterpolateTheirStoredPointsOnly) {
  XmBuilder b = Song();
  XmInstrumentSpec& i = b.instruments[0];
  i.samples = {XmSampleSpec{{1, 2}}};
  i.volumeEnvelope = {{{0, 64}, {4, 0}}, 200, 1, 0, 1, 1 | 2};
  i.panningEnvelope = {{{100, 32}}, 1, 0, 0, 0, 1};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  ExpectWellFormed(l.song.get(), 2);
  const Envelope* v = l.song->envelopes[0];
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::vector<int32_t>(v->values, v->values + v->length), (std::vector<int32_t>{0x10000, 0xC000, 0x8000, 0x4000, 0}));
  EXPECT_EQ(std::tuple(v->sustainEnd, v->flags), std::tuple(4, kEnvelopeSustain));
}

// ---------------------------------------------------------------------------------------------
// Real songs

// Sample data packed in ADPCM (8-bit, reserved byte 0xAD) takes its packed size, so the samples
// after it stay in place; cut inside the codes it keeps the frames it holds.
TEST(XmInstruments, AdpcmSamplesDecodeToTheirFrames) {
  const std::vector<int> frames = {1, 3, 7, 15, -1, -33, 31};  // steps 1, 2, 4, 8, -16, -32, 64
  XmBuilder b = Song();
  XmSampleSpec packed{frames};
  packed.adpcm = true;
  b.instruments[0].samples = {packed, XmSampleSpec{{5, 6}}};
  b.instruments[1].samples = {XmSampleSpec{{9, 8}}};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  const Sample* s = l.song->samples[0];
  ASSERT_EQ(s->length, 14);
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(s->data[i], frames[i] * 256) << i;
  ASSERT_TRUE(l.song->samples[1] && l.song->samples[16]);
  EXPECT_EQ(std::tuple(l.song->samples[1]->data[1], l.song->samples[16]->data[1]), std::tuple(6 * 256, 8 * 256));
  b.instruments.resize(1);
  b.instruments[0].samples.resize(1);
  const std::vector<uint8_t> bytes = b.bytes();
  Loaded cut = Load(std::vector<uint8_t>(bytes.begin(), bytes.end() - 2));  // two codes a byte: four frames left
  ASSERT_EQ(cut.status, kStatusOk);
  ASSERT_NE(cut.song->samples[0], nullptr);
  EXPECT_EQ(std::tuple(cut.song->samples[0]->length, cut.song->samples[0]->data[3]), std::tuple(8, 15 * 256));
}

// An instrument of more than 16 samples stays empty and its data is passed over; a file cut in
// its instruments keeps the ones it holds whole, and the rest are empty slots.
TEST(XmInstruments, TwentyThreeSamplesAreSkippedAndACutFileKeepsWhatItHolds) {
  XmBuilder b = Song();
  b.instruments.resize(3);
  for (int j = 0; j < 23; ++j) b.instruments[0].samples.push_back(XmSampleSpec{{j, -j, j}, j % 2 == 1});
  b.instruments[1].samples = {XmSampleSpec{{3, 4}}};
  b.instruments[2].samples = {XmSampleSpec{{5, 6, 7}, true}};
  Loaded l = Load(b.bytes());
  ASSERT_EQ(l.status, kStatusOk);
  EXPECT_TRUE(l.song->instruments[0] == nullptr && l.song->instruments[1] != nullptr);
  EXPECT_EQ(std::tuple(l.song->samples[16]->data[1], l.song->samples[32]->data[2]), std::tuple(4 * 256, 7));

  XmBuilder cut = Song();
  cut.instrumentCount = 4;
  cut.instruments[0].samples = {XmSampleSpec{{1, 2, 3}}};
  cut.instruments[1].samples = {XmSampleSpec{{10, 20, 30, 40, 50, 60, 70, 80}}};
  const std::vector<uint8_t> whole = cut.bytes();
  for (size_t end : {whole.size() - 3, whole.size() - 8 - 40}) {  // inside the last sample; in its headers
    Loaded c = Load(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(end)));
    ASSERT_EQ(c.status, kStatusOk) << end;
    EXPECT_EQ(c.song->samples[0]->data[2], 3 * 256);
    EXPECT_TRUE(c.song->instruments[2] == nullptr && c.song->instruments[3] == nullptr);
    EXPECT_EQ(c.song->instruments[1] != nullptr, end == whole.size() - 3);
    if (end == whole.size() - 3) {
      EXPECT_EQ(c.song->samples[16]->length, 2 * 5);
    }
  }
}

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
