// The IT loader so far: header, order list and samples of IT files composed in memory, damaged
// ones among them, and the real IT files of the corpus.
#include "soundtrack/it_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <memory>

#include "soundtrack/event_codes.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "tests/support/it_builder.h"

namespace tvp::test {
namespace {

using Ptr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;

struct Loaded {
  int16_t status;
  Ptr song;
  std::string title;
  ItHeader header;
};
Loaded Load(const std::vector<uint8_t>& bytes) {
  ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  char title[kTitleCapacity] = "untouched";
  Soundtrack* song = nullptr;
  ItHeader header;
  const int16_t status = LoadIT(file, title, &song, &header);
  FileClose(file);
  return {status, Ptr(song, ReleaseSoundtrack), title, header};
}

std::vector<int16_t> Ramp(int frames, int step) {
  std::vector<int16_t> out;
  for (int i = 0; i < frames; ++i) out.push_back(static_cast<int16_t>((i * step) % 60000 - 30000));
  return out;
}

TEST(ItHeader, TitleCountsAndTheOrderListWithItsMarkers) {
  ItBuilder b;
  b.title("a song").speed(4).tempo(150).globalVolume(100).orders({1, 254, 0, 7, 1, 255, 0});
  b.cell(0, 0, 0, {60, 1, -1, 0, 0}).cell(1, 0, 0, {62, 1, -1, 0, 0});
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  EXPECT_EQ(m.title, "a song");
  EXPECT_EQ(std::tuple(m.header.speed, m.header.tempo, m.header.globalVolume), std::tuple(4, 150, 100));
  // 254 is passed over, the missing pattern 7 too, and 255 ends the list; slot p + 1 is pattern p.
  ASSERT_EQ(m.song->playPositionCount, 4);
  EXPECT_EQ(std::vector<int32_t>(m.song->playPositions + 1, m.song->playPositions + 4), (std::vector<int32_t>{2, 1, 2}));
}

TEST(ItSamples, EveryStorageGivesTheSameFrames) {
  const std::vector<int16_t> frames = Ramp(3000, 37);  // steps of every size: packed data changes width
  struct Kind {
    bool sixteenBit, signedData, compressed, it215, stereo;
  };
  for (const Kind k : {Kind{false, true, false, false, false}, Kind{false, false, false, false, false},
                       Kind{true, true, false, false, false}, Kind{true, false, false, false, false},
                       Kind{false, true, true, false, false}, Kind{false, true, true, true, false},
                       Kind{true, true, true, false, false}, Kind{true, true, true, true, true}}) {
    SCOPED_TRACE(testing::Message() << k.sixteenBit << k.signedData << k.compressed << k.it215 << k.stereo);
    ItSampleSpec spec{.sixteenBit = k.sixteenBit, .stereo = k.stereo, .signedData = k.signedData,
                      .compressed = k.compressed, .it215 = k.it215, .frames = frames};
    if (k.stereo) spec.frames.insert(spec.frames.end(), frames.rbegin(), frames.rend());
    ItBuilder b;
    b.sample(0, spec);
    const Loaded m = Load(b.bytes());
    ASSERT_EQ(m.status, 0);
    const Sample* s = m.song->samples[0];
    ASSERT_EQ(s->length, 2 * 3000) << "a stereo sample plays its left channel";
    for (int i = 0; i < 3000; i += 7)
      ASSERT_EQ(s->data[i], k.sixteenBit ? frames[i] : (frames[i] >> 8) * 256) << i;
  }
}

TEST(ItSamples, LoopsVolumePanningAndRate) {
  ItBuilder b;
  b.sample(0, {.volume = 32, .defaultPan = 64, .frames = Ramp(100, 500), .loop = true, .pingPong = true,
               .loopBegin = 10, .loopEnd = 500, .c5Speed = 96000});
  b.sample(1, {.globalVolume = 16, .frames = Ramp(100, 500), .loop = true, .loopBegin = 99, .loopEnd = 100,
               .sustainLoop = true, .sustainPingPong = true, .sustainBegin = 30, .sustainEnd = 60});
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  const Sample* s = m.song->samples[0];
  EXPECT_EQ(std::tuple(s->loopMode, s->loopStart, s->loopEnd), std::tuple(kLoopPingPong, 20, 200)) << "cut to the data";
  EXPECT_EQ(std::tuple(s->volume, s->panning), std::tuple(32 * 1024, 4096));
  EXPECT_EQ(std::tuple(s->rate >> 16, s->baseNote), std::tuple(48000u, 48 * 256)) << "96 kHz from an octave lower";
  EXPECT_EQ(m.song->samples[1]->loopMode, kLoopNone) << "a loop of one frame is dropped";
  const Sample* t = m.song->samples[1];
  EXPECT_EQ(std::tuple(t->sustainMode, t->sustainStart, t->sustainEnd), std::tuple(kLoopPingPong, 60, 120));
  EXPECT_EQ(s->sustainMode, kLoopNone);
  EXPECT_EQ(t->panning, kNoDefaultPanning) << "without a default panning the channel's stays";
  EXPECT_EQ(m.song->samples[1]->data[3], (Ramp(100, 500)[3] >> 8) * 256 * 16 / 64) << "its global volume is in the frames";
}

// The events of pattern slot `slot` at `time`, as (channel, code, param).
std::vector<std::tuple<int32_t, int32_t, int32_t>> EventsAt(const Soundtrack* song, int slot, int32_t time) {
  std::vector<std::tuple<int32_t, int32_t, int32_t>> out;
  for (const Event* e = song->patterns[slot]->next; e != nullptr; e = e->next)
    if (e->time == time) out.emplace_back(e->channel, e->code, e->param);
  return out;
}
bool Has(const std::vector<std::tuple<int32_t, int32_t, int32_t>>& events, int32_t channel, int32_t code, int32_t param) {
  return std::find(events.begin(), events.end(), std::tuple(channel, code, param)) != events.end();
}

TEST(ItPatterns, CellsBecomeTheEventsOfTheirNotesColumnsAndEffects) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64});
  b.cell(0, 0, 2, {60, 1, 32, 0, 0})              // C-5, volume 32
      .cell(0, 1, 2, {72, 1, 160, 'A', 3})        // C-6, panning 32 in the column, speed 3
      .cell(0, 2, 2, {-1, 0, -1, 'A', 0x40})      // speeds go past 31
      .cell(0, 3, 0, {-1, 0, -1, 'C', 0x10});     // break to row 16: the row is hex
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  const Soundtrack* song = m.song.get();
  EXPECT_TRUE(Has(EventsAt(song, 1, 0), 2, EventCode::SetPitch, 60 * 256));
  EXPECT_TRUE(Has(EventsAt(song, 1, 0), 2, EventCode::SetVolume, 32 * 1024));
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 2, EventCode::SetPitch, 72 * 256));
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 0, EventCode::SetSpeed, 3));
  EXPECT_TRUE(Has(EventsAt(song, 1, 2 * 256), 0, EventCode::SetSpeed, 0x40));
  ItBuilder tall;  // a break past row 99 in a pattern of 200 rows
  tall.sample(0, {.frames = Ramp(64, 900)}).rows(0, 200).rows(1, 200).orders({0, 1});
  tall.cell(0, 0, 0, {60, 1, -1, 'C', 150});
  const Loaded t = Load(tall.bytes());
  ASSERT_EQ(t.status, 0);
  EXPECT_TRUE(Has(EventsAt(t.song.get(), 1, 0), 0, EventCode::PatternBreak, static_cast<int32_t>(150 * 256 | kFlowResetBit)));
  EXPECT_TRUE(Has(EventsAt(song, 1, 3 * 256), 0, EventCode::PatternBreak, static_cast<int32_t>(16 * 256 | kFlowResetBit)));
  // A dense pattern (200 rows of 48 channels) takes more events than one scratch array holds.
  ItBuilder dense;
  dense.sample(0, {.frames = Ramp(64, 900)}).rows(0, 200);
  for (int row = 0; row < 200; ++row)
    for (int c = 0; c < 48; ++c) dense.cell(0, row, c, {36 + (row + c) % 60, 1, row % 64, 'H', 0x44});
  const Loaded big = Load(dense.bytes());
  ASSERT_EQ(big.status, 0);
  int32_t starts = 0;
  for (const Event* e = big.song->patterns[1]; e != nullptr; e = e->next) starts += e->code == EventCode::StartSample;
  EXPECT_EQ(starts, 200 * 48);
  // The song's channels are those its patterns use: three here, each with its panning set.
  int panned = 0;
  for (const Event* e = song->patterns[0]; e != nullptr; e = e->next) panned += e->code == EventCode::SetPanning;
  EXPECT_EQ(panned, 3);
}

TEST(ItInstruments, KeyboardEnvelopesAndFadeOut) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900)}).sample(1, {.frames = Ramp(64, 300)}).cmwt(0x214);
  ItInstrumentSpec first;
  first.keyboard = ItDefaultKeyboard();
  first.keyboard[70] = {70, 2};
  first.keyboard[71] = {59, 2};  // key 71 plays note 59
  first.fadeOut = 100;
  first.volume = {.on = true, .sustain = true, .sustainBegin = 1, .sustainEnd = 2, .nodes = {{0, 64}, {10, 32}, {20, 16}}};
  first.pitch = {.on = true, .nodes = {{0, -8}, {4, 8}}};
  first.newNoteAction = 3;
  first.duplicateCheckType = 1;
  first.duplicateCheckAction = 2;
  first.globalVolume = 64;
  first.randomVolume = 25;
  first.randomPan = 16;
  first.defaultPan = 48;
  first.pitchPanSeparation = -8;
  first.pitchPanCenter = 50;
  first.filterCutoff = 40;
  first.filterResonance = 100;
  ItInstrumentSpec filtered = first;
  filtered.pitch.filter = true;
  b.instrument(0, first).instrument(1, filtered);
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  const Instrument* i = m.song->instruments[0];
  EXPECT_EQ(std::tuple(i->noteMap[60].sampleSlot, i->noteMap[70].sampleSlot), std::tuple(0, 1));
  EXPECT_EQ(std::tuple(i->noteMap[70].pitchShift, i->noteMap[71].pitchShift), std::tuple(0, -12 * 256));
  EXPECT_EQ(i->fadeout, 100 * 64);
  ASSERT_TRUE(i->volumeEnvelope && i->pitchEnvelope);
  const Envelope& v = *i->volumeEnvelope;
  EXPECT_EQ(std::tuple(v.length, v.values[5], v.sustainStart, v.sustainEnd), std::tuple(21, 48 * 1024, 10, 20));
  EXPECT_EQ(std::tuple(i->pitchEnvelope->values[0], i->pitchEnvelope->values[2]), std::tuple(-8 * 128, 0));
  EXPECT_EQ(m.song->instruments[1]->pitchEnvelope, nullptr) << "a filter envelope is no pitch envelope";
  ASSERT_NE(m.song->instruments[1]->filterEnvelope, nullptr);
  EXPECT_EQ(std::tuple(m.song->instruments[1]->filterEnvelope->values[0], i->filterCutoff, i->filterResonance),
            std::tuple(24 * 1024, 40, 100));
  EXPECT_EQ(std::tuple(i->noteAction, i->duplicateCheck, i->duplicateAction),
            std::tuple(kNoteActionFade, kDuplicateNote, kNoteActionFade));
  EXPECT_EQ(std::tuple(i->volume, i->randomVolume, i->randomPanning), std::tuple(0x8000, 0x4000, 16 * 128));
  EXPECT_EQ(std::tuple(i->panning, i->pitchPanSeparation, i->pitchPanCentre, i->fadeAtEnvelopeEnd),
            std::tuple(2048, -8 * 16, 50, 1));

  // The layout before 2.00 holds the same keyboard, volume envelope and fade-out its own way.
  ItBuilder old;
  first.oldFormat = true;
  old.sample(0, {.frames = Ramp(64, 900)}).sample(1, {.frames = Ramp(64, 300)}).cmwt(0x100).cwtv(0x100).instrument(0, first);
  const Loaded o = Load(old.bytes());
  ASSERT_EQ(o.status, 0);
  const Instrument* j = o.song->instruments[0];
  EXPECT_EQ(std::tuple(j->noteMap[70].sampleSlot, j->fadeout), std::tuple(1, 100 * 64));
  ASSERT_TRUE(j->volumeEnvelope);
  EXPECT_EQ(std::vector<int32_t>(j->volumeEnvelope->values, j->volumeEnvelope->values + 21),
            std::vector<int32_t>(v.values, v.values + 21));
  EXPECT_EQ(std::tuple(j->volumeEnvelope->sustainStart, j->volumeEnvelope->sustainEnd), std::tuple(10, 20));
  EXPECT_EQ(std::tuple(j->noteAction, j->duplicateCheck, j->volume), std::tuple(kNoteActionFade, kDuplicateNote, 0x10000));
}

TEST(ItPatterns, NotesHandOffAndTheEffectsOfNoteActionsChannelVolumeAndHighOffsets) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900)}).channelVolume(1, 40);
  b.cell(0, 0, 1, {60, 1, -1, 'S', 0x75})  // note-off action for this note
      .cell(0, 1, 1, {62, 0, -1, 'S', 0x71})  // past notes released
      .cell(0, 2, 1, {-1, 0, -1, 'M', 0x20})
      .cell(0, 3, 1, {-1, 0, -1, 'N', 0x3F})  // fine up by 3
      .cell(0, 4, 1, {-1, 0, -1, 'N', 0x02})
      .cell(0, 5, 1, {-1, 0, -1, 'S', 0xA1})
      .cell(0, 6, 1, {64, 1, -1, 'O', 0x10});
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  const Soundtrack* song = m.song.get();
  EXPECT_TRUE(Has(EventsAt(song, 0, 0), 1, EventCode::SetChannelGain, 40 * 1024));
  EXPECT_TRUE(Has(EventsAt(song, 1, 0), 1, EventCode::HandOffVoice, 1 << 8 | 60));
  EXPECT_TRUE(Has(EventsAt(song, 1, 0), 1, EventCode::SetNoteAction, kNoteActionOff));
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 1, EventCode::HandOffVoice, 62));  // no instrument: the voice's own
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 1, EventCode::PastNoteAction, kNoteActionOff));
  // A note without an instrument takes the key again and restarts the envelopes, keeping the volume.
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 1, EventCode::SetVoiceFlags, 3));
  EXPECT_TRUE(Has(EventsAt(song, 1, 256), 1, EventCode::ResetModulators, 0));
  EXPECT_FALSE(Has(EventsAt(song, 1, 256), 1, EventCode::ResetVolume, 0));
  EXPECT_TRUE(Has(EventsAt(song, 1, 2 * 256), 1, EventCode::SetChannelGain, 32 * 1024));
  EXPECT_TRUE(Has(EventsAt(song, 1, 3 * 256), 1, EventCode::AddChannelGain, 3 * 1024));
  EXPECT_TRUE(Has(EventsAt(song, 1, 4 * 256), 1, EventCode::ChannelGainSlideTarget, 0));
  EXPECT_TRUE(Has(EventsAt(song, 1, 6 * 256), 1, EventCode::StartSample,
                  (65536 + 16 * 256) | kStartPastEndLoops | kStartPastEndRestarts));
  // The hand-off leads its channel's events of the tick.
  const auto first = EventsAt(song, 1, 0);
  const auto own = std::find_if(first.begin(), first.end(), [](const auto& e) { return std::get<0>(e) == 1; });
  ASSERT_NE(own, first.end());
  EXPECT_EQ(std::get<1>(*own), EventCode::HandOffVoice);
}

TEST(ItPatterns, TempoSlidesTickDelaysPanbrelloNoteFadesAndEnvelopeSwitches) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64});
  b.cell(0, 0, 0, {60, 1, -1, 'T', 0x05})        // slower by 5 a tick
      .cell(0, 1, 0, {-1, 0, -1, 'T', 0x00})     // the same again
      .cell(0, 2, 0, {-1, 0, -1, 'T', 0x13})     // faster by 3
      .cell(0, 4, 0, {-1, 0, -1, 'T', 0x90})     // tempo 144
      .cell(0, 4, 1, {-1, 0, -1, 'S', 0x63})     // 3 more ticks
      .cell(0, 5, 1, {-1, 0, -1, 'Y', 0x48})
      .cell(0, 6, 1, {-1, 0, -1, 'Y', 0x00})     // goes on as it was
      .cell(0, 7, 1, {-1, 0, -1, 'S', 0x52})     // square; the panbrello stops
      .cell(0, 8, 0, {kItNoteFade, 0, -1, 0, 0})
      .cell(0, 9, 1, {-1, 0, -1, 'S', 0x91})     // surround: the centre
      .cell(0, 10, 1, {62, 1, -1, 'S', 0x77})    // a note without its volume envelope
      .cell(0, 11, 1, {-1, 0, -1, 'S', 0x7C});   // the pitch and filter envelopes back on
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  const Soundtrack* song = m.song.get();
  auto at = [&](int row) { return EventsAt(song, 1, row * 256); };
  EXPECT_TRUE(Has(at(0), 0, EventCode::TempoSlide, -5));
  EXPECT_TRUE(Has(at(1), 0, EventCode::TempoSlide, -5));
  EXPECT_TRUE(Has(at(2), 0, EventCode::TempoSlide, 3));
  EXPECT_TRUE(Has(at(3), 0, EventCode::TempoSlide, 0));  // a row without a slide stops it
  EXPECT_TRUE(Has(at(4), 0, EventCode::SetTempo, 0x90));
  EXPECT_TRUE(Has(at(4), 1, EventCode::RowTickDelay, 3));
  EXPECT_TRUE(Has(at(5), 1, EventCode::PanbrelloSpeed, 4 * 4));
  EXPECT_TRUE(Has(at(5), 1, EventCode::PanbrelloDepth, 8 * 256));
  EXPECT_TRUE(Has(at(5), 1, EventCode::Panbrello, 1));
  EXPECT_TRUE(at(6).empty());
  EXPECT_TRUE(Has(at(7), 1, EventCode::PanbrelloWaveform, WaveformForNibble(2)));
  EXPECT_TRUE(Has(at(7), 1, EventCode::Panbrello, 0));
  EXPECT_TRUE(Has(at(8), 0, EventCode::SetVoiceFlags, 4));  // fading, the key still held
  EXPECT_FALSE(Has(at(8), 0, EventCode::ClearVoiceFlags, 2));
  EXPECT_TRUE(Has(at(9), 1, EventCode::SetPanning, 16));  // as X80 sets it
  // The switch follows the note's reset of its envelopes.
  const auto note = at(10);
  const auto reset = std::find(note.begin(), note.end(), std::tuple(1, EventCode::ResetModulators, 0));
  EXPECT_NE(std::find(reset, note.end(), std::tuple(1, EventCode::SwitchEnvelopes, kEnvelopeVolume)), note.end());
  EXPECT_TRUE(Has(at(11), 1, EventCode::SwitchEnvelopes, kEnvelopePitch | kEnvelopesOn));
}

TEST(ItPatterns, AZeroParameterRepeatsTheChannelsLastOneOfItsKind) {
  auto build = [](uint16_t flags) {
    ItBuilder b;
    b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64}).flags(flags);
    b.cell(0, 0, 0, {60, 1, -1, 'D', 0x2F})      // fine up by 2
        .cell(0, 1, 0, {-1, 0, -1, 'D', 0x00})   // again, fine
        .cell(0, 2, 1, {-1, 0, -1, 'E', 0x05})   // no note yet: what the slide goes to is unknown
        .cell(0, 3, 1, {-1, 0, -1, 'F', 0x00})   // up by E's 5
        .cell(0, 4, 1, {-1, 0, -1, 'G', 0x00})   // E's 5 unless G keeps its own
        .cell(0, 5, 0, {-1, 0, -1, 'J', 0x37})
        .cell(0, 6, 0, {-1, 0, -1, 'J', 0x00})
        .cell(0, 7, 0, {62, 1, -1, 0, 0})        // a plain note: nothing to slide to
        .cell(0, 8, 0, {-1, 0, -1, 'G', 0x08})
        .cell(0, 9, 0, {64, 0, -1, 'G', 0x00});  // a target again, at speed 8
    return Load(b.bytes());
  };
  const Loaded linked = build(kItStereo | kItLinear);
  ASSERT_EQ(linked.status, 0);
  auto at = [](const Loaded& m, int row) { return EventsAt(m.song.get(), 1, row * 256); };
  auto hasCode = [](const std::vector<std::tuple<int32_t, int32_t, int32_t>>& events, int32_t code) {
    return std::any_of(events.begin(), events.end(), [code](const auto& e) { return std::get<1>(e) == code; });
  };
  EXPECT_TRUE(Has(at(linked, 1), 0, EventCode::AddVolume, 2 * 1024));
  EXPECT_TRUE(Has(at(linked, 3), 1, EventCode::PitchRiseSpeed, 5 * 16));
  EXPECT_TRUE(Has(at(linked, 4), 1, EventCode::PitchSlideSpeed, 5 * 16));
  EXPECT_TRUE(Has(at(linked, 6), 0, EventCode::ArpeggioFirst, 3 * 256));
  EXPECT_TRUE(Has(at(linked, 6), 0, EventCode::ArpeggioSecond, 7 * 256));
  EXPECT_FALSE(hasCode(at(linked, 8), EventCode::PitchSlideSpeed));
  EXPECT_FALSE(Has(at(linked, 8), 0, EventCode::PitchSlide, 1));
  EXPECT_TRUE(Has(at(linked, 9), 0, EventCode::PitchSlideSpeed, 8 * 16));
  EXPECT_TRUE(Has(at(linked, 9), 0, EventCode::PitchSlideTarget, 64 * 256));
  const Loaded apart = build(kItStereo | kItLinear | kItCompatibleGxx);
  ASSERT_EQ(apart.status, 0);
  EXPECT_FALSE(hasCode(at(apart, 4), EventCode::PitchSlideSpeed));
}

TEST(ItPatterns, VibratosTremolosAndTremorsHaveTheirOwnUnitsAndTheOldEffectsTheirs) {
  for (const bool old : {false, true}) {
    ItBuilder b;
    b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64});
    b.flags(static_cast<uint16_t>(kItStereo | kItLinear | (old ? kItOldEffects : 0)));
    b.cell(0, 0, 0, {60, 1, -1, 'H', 0x48}).cell(0, 1, 0, {-1, 0, -1, 'U', 0x48}).cell(0, 2, 0, {-1, 0, 206, 0, 0});
    b.cell(0, 0, 1, {60, 1, -1, 'R', 0x48}).cell(0, 0, 2, {60, 1, -1, 'I', 0x30});
    const Loaded m = Load(b.bytes());
    ASSERT_EQ(m.status, 0);
    const int32_t unit = old ? 32 : 16;
    SCOPED_TRACE(old);
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 0), 0, EventCode::VibratoDepth, 8 * unit));
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 256), 0, EventCode::VibratoDepth, 8 * unit / 4));  // fine
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 512), 0, EventCode::VibratoDepth, 3 * unit));  // the volume column's
    // 64 ticks a cycle at speed 1; the old effects' 5 ticks of 6.
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 0), 0, EventCode::VibratoSpeed, 4 * (old ? 13 : 16)));
    // A tremolo swings by y/32 of full volume whatever the speed.
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 0), 1, EventCode::TremoloSwing, 8 * 2048));
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 0), 1, EventCode::Tremolo, 1));
    // Tremor: x ticks on and y off (0 counts as 1), the old effects one more of each.
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 0), 2, EventCode::Tremor, old ? (4 << 8 | 1) : (3 << 8 | 1)));
    EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 256), 2, EventCode::Tremor, 0));  // a row without it stops it
  }
}

// W counts in 1/128 of full volume and P in 1/64 of the width, each with fine steps of its own.
TEST(ItPatterns, GlobalVolumeAndPanningSlidesTakeTheirOwnStepsAndFineSteps) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64});
  b.cell(0, 0, 0, {60, 1, -1, 'W', 0x03}).cell(0, 1, 0, {-1, 0, -1, 'W', 0x2F});
  b.cell(0, 0, 1, {60, 1, -1, 'P', 0x20})          // left by 2 a tick
      .cell(0, 1, 1, {-1, 0, -1, 'P', 0xF3})       // fine right by 3
      .cell(0, 2, 1, {-1, 0, -1, 'P', 0x04});      // right by 4 a tick
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  auto at = [&](int row) { return EventsAt(m.song.get(), 1, row * 256); };
  EXPECT_TRUE(Has(at(0), 0, EventCode::GlobalVolumeSlideSpeed, 3 * 512));
  EXPECT_TRUE(Has(at(0), 0, EventCode::GlobalVolumeSlideTarget, 0));
  EXPECT_TRUE(Has(at(1), 0, EventCode::AddGlobalVolume, 2 * 512));
  EXPECT_TRUE(Has(at(0), 1, EventCode::PanningSlideSpeed, 2 * 128));
  EXPECT_TRUE(Has(at(0), 1, EventCode::PanningSlideTarget, -4080));
  // The fine step is a slide of one step; the slide after it switches on again.
  EXPECT_TRUE(Has(at(1), 1, EventCode::PanningSlideSpeed, 3 * 128));
  EXPECT_TRUE(Has(at(1), 1, EventCode::PanningSlideTarget, 4080));
  EXPECT_TRUE(Has(at(1), 1, EventCode::PanningSlide, 3));
  EXPECT_FALSE(Has(at(1), 1, EventCode::PanningSlide, 0));
  EXPECT_TRUE(Has(at(2), 1, EventCode::PanningSlide, 1));
}

// The volume column's effects play beside the cell's own effect, at their own values.
TEST(ItPatterns, TheVolumeColumnsEffectsPlayBesideTheEffectColumns) {
  ItBuilder b;
  b.sample(0, {.frames = Ramp(64, 900), .loop = true, .loopEnd = 64});
  b.cell(0, 0, 0, {60, 1, -1, 0, 0})
      .cell(0, 1, 0, {64, 0, 194, 'D', 0x02})    // portamento at speed 1 and a volume slide
      .cell(0, 2, 0, {-1, 0, 138, 'R', 0x44})    // panning 10 and a tremolo
      .cell(0, 3, 0, {-1, 0, 107, 'J', 0x37})    // pitch down by 2 x 4 and an arpeggio
      .cell(0, 4, 0, {-1, 0, 105, 'D', 0x01})    // e0: the last pitch slide again
      .cell(0, 5, 0, {kItNoteCut, 0, -1, 'D', 0x01})
      .cell(0, 6, 0, {60, 1, -1, 'S', 0xC0});     // cut on the row's second tick
  const Loaded m = Load(b.bytes());
  ASSERT_EQ(m.status, 0);
  auto at = [&](int row) { return EventsAt(m.song.get(), 1, row * 256); };
  EXPECT_TRUE(Has(at(1), 0, EventCode::PitchSlideSpeed, 1 * 16));
  EXPECT_TRUE(Has(at(1), 0, EventCode::PitchSlideTarget, 64 * 256));
  EXPECT_TRUE(Has(at(1), 0, EventCode::VolumeSlideSpeed, 2 * 1024));
  EXPECT_TRUE(Has(at(2), 0, EventCode::SetPanning, 40 * 32 - 4080));
  EXPECT_TRUE(Has(at(2), 0, EventCode::Tremolo, 1));
  EXPECT_TRUE(Has(at(3), 0, EventCode::PitchFallSpeed, 8 * 16));
  EXPECT_TRUE(Has(at(3), 0, EventCode::Arpeggio, 1));
  EXPECT_TRUE(Has(at(4), 0, EventCode::PitchFallSpeed, 8 * 16));
  EXPECT_TRUE(Has(at(5), 0, EventCode::SetVolume, 0));  // the cut
  EXPECT_TRUE(Has(at(5), 0, EventCode::VolumeSlideSpeed, 1 * 1024));
  EXPECT_TRUE(Has(EventsAt(m.song.get(), 1, 6 * 256 + 1), 0, EventCode::SetVolume, 0));
}

TEST(ItHostile, DamagedFilesFailCleanlyOrLoadWhatTheyHold) {
  ItBuilder b;
  b.orders({0, 0}).sample(0, {.frames = Ramp(400, 90)}).sample(1, {.sixteenBit = true, .compressed = true,
                                                                    .frames = Ramp(400, 700)});
  b.cell(0, 3, 2, {60, 1, 40, 'A', 3});
  const std::vector<uint8_t> whole = b.bytes();
  for (size_t cut = 0; cut < whole.size(); cut += 3) {
    const Loaded m = Load(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
    if (cut < 0xC0) {
      EXPECT_NE(m.status, 0) << cut;
    } else if (m.status == 0 && m.song->sampleCount > 0 && m.song->samples[0]) {
      EXPECT_LE(m.song->samples[0]->length, 800) << cut;
    }
  }

  ItBuilder lying;
  lying.sample(0, {.frames = Ramp(10, 1), .lengthField = 0x7FFFFFFF}).sample(1, {.frames = Ramp(10, 1), .pointerField = 0x7FFFFFF0});
  const Loaded m = Load(lying.bytes());
  ASSERT_EQ(m.status, 0);
  EXPECT_LE(m.song->samples[0]->length, 8 * 2 * static_cast<int32_t>(lying.bytes().size())) << "bounded by the file";
  EXPECT_EQ(m.song->samples[1]->length, 0) << "data beyond the file: a silent sample";

  std::vector<uint8_t> counts = ItBuilder().bytes();
  counts[0x20] = 0xFF, counts[0x21] = 0xFF;  // 65535 orders
  EXPECT_EQ(Load(counts).status, kStatusWrongFormat);
}

TEST(ItCorpus, TheRealFilesLoadEverySampleTheyDeclare) {
  const std::filesystem::path dir = std::filesystem::path(TVP_CORPUS_DIR) / "it";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no IT files at " << dir;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    ModuleFile* file = FileOpen(entry.path().string().c_str(), kFileRead);
    Soundtrack* song = nullptr;
    ItHeader header;
    char title[kTitleCapacity];
    EXPECT_EQ(LoadIT(file, title, &song, &header), 0);
    FileClose(file);
    Ptr owned(song, ReleaseSoundtrack);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->sampleCount, header.samples);
    int sounding = 0;
    for (int i = 0; i < song->sampleCount; ++i) sounding += song->samples[i] && song->samples[i]->length > 0;
    EXPECT_GT(sounding, 0);
  }
}

}  // namespace
}  // namespace tvp::test
