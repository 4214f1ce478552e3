// Voices: slides and products at their limits, vibrato, envelope sustain and loops, the limits of
// the channel events, and instruments choosing samples and waveforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <initializer_list>
#include <set>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

// A playing engine at speed 6 with one 100-frame sample; voice 0 reset, output gain 1.0.
class VoiceTest : public ::testing::Test {
 protected:
  VoiceTest() {
    e.sendPlayerSettings();
    song.addInitialSettings();
    sample = song.addSample(std::vector<int16_t>(100, 1000), 8363);
    song.setPlayPositions({0});
    e.play(song.inUse(), 44100);
    resetVoice(engine, voice);
    engine->outputGain = 0x10000;
  }

  void run(int32_t code, int32_t param) { runEvent(engine, voice, code, param); }
  void run(std::initializer_list<std::pair<int32_t, int32_t>> events) {
    for (auto [code, param] : events) run(code, param);
  }
  void start(int32_t frame) {
    run(EventCode::SelectSample, sample);
    run(EventCode::StartSample, frame);
    run(EventCode::SetVoiceFlags, 3);
  }

  // An envelope of the given values, owned by the fixture.
  Envelope* envelope(std::vector<int32_t> values, uint32_t flags = 0,
                     std::pair<int32_t, int32_t> sustain = {kNoEnvelopePoint, kNoEnvelopePoint},
                     std::pair<int32_t, int32_t> loop = {0, kNoEnvelopePoint}) {
    std::vector<int32_t>& owned = values_.emplace_back(std::move(values));
    return &envelopes_.emplace_back(Envelope{sustain.first, sustain.second, loop.first, loop.second, flags,
                                             static_cast<int32_t>(owned.size()), owned.data()});
  }

  // What `read` shows after each of `count` calls of `update` (voiceTick unless told).
  std::vector<int32_t> ticks(int count, std::function<int32_t()> read,
                             void (*update)(SoundEngine*, Voice*) = voiceTick) {
    std::vector<int32_t> seen;
    for (int i = 0; i < count; ++i) {
      update(engine, voice);
      seen.push_back(read());
    }
    return seen;
  }
  std::vector<int32_t> effectTicks(int count, std::function<int32_t()> read) {
    return ticks(count, read, voiceEffectTick);
  }

  OfflineEngine e;
  SongBuilder song;
  int32_t sample = 0;
  SoundEngine* engine = e.engine;
  Voice* voice = &e.engine->voices[0];
  std::deque<std::vector<int32_t>> values_;
  std::deque<Envelope> envelopes_;
};

TEST_F(VoiceTest, VibratoWinsOverAutoVibratoAndRepeatsEvery64Ticks) {
  using namespace EventCode;
  run({{VibratoSpeed, 0x10}, {VibratoDepth, 0x100}, {Vibrato, 1}});
  voice->autoVibratoOn = 1;
  voice->autoVibratoSpeed = 0x40;
  voice->autoVibratoSweepLevel = 0;
  voice->autoVibratoSweep = 0x1000;
  voiceTick(engine, voice);
  EXPECT_EQ(std::tuple(voice->vibratoPhase, voice->autoVibratoSweepLevel), std::tuple(0x10, 0));  // no auto-vibrato
  std::vector<int32_t> pitches = ticks(128, [&] { return voice->pitch - voice->channelPitch; });
  const auto [low, high] = std::minmax_element(pitches.begin(), pitches.end());
  EXPECT_EQ(std::tuple(*low, *high), std::tuple(-0x100, 0x100));
  EXPECT_TRUE(std::equal(pitches.begin(), pitches.begin() + 64, pitches.begin() + 64));
  EXPECT_NE(pitches[0], pitches[1]);

  run(Vibrato, 0);
  voice->autoVibratoSpeed = 256;  // a quarter period a tick: peak, zero, trough
  voice->autoVibratoDepth = 0x200;
  voice->vibratoPhase = voice->autoVibratoSweepLevel = 0;  // the phase is shared
  voice->autoVibratoSweep = 0x8000;  // half swept in at the peak, then fully
  EXPECT_EQ(ticks(3, [&] { return voice->pitch - voice->channelPitch; }), (std::vector<int32_t>{0x100, 0, -0x200}));
}

TEST_F(VoiceTest, PanbrelloSwingsThePanningWithinItsRangeUntilSwitchedOff) {
  using namespace EventCode;
  run({{SetPanning, 3000}, {PanbrelloSpeed, 256}, {PanbrelloDepth, 2048}, {Panbrello, 1}});
  // A quarter period a tick: peak (held at the right edge), centre, trough, centre.
  EXPECT_EQ(ticks(4, [&] { return voice->panning; }), (std::vector<int32_t>{4096, 3000, 952, 3000}));
  run({{PanbrelloWaveform, WaveformForNibble(2)}, {PanbrelloDepth, -1000}});  // a square wave; a negative depth inverts it
  const std::vector<int32_t> square = ticks(4, [&] { return voice->panning; });
  EXPECT_EQ(std::set<int32_t>(square.begin(), square.end()), (std::set<int32_t>{2000, 4000}));
  run(Panbrello, 0);
  EXPECT_EQ(ticks(2, [&] { return voice->panning; }), (std::vector<int32_t>{3000, 3000}));
}

TEST(EngineArithmetic, SlidesStopAtTheirTargetsAndProductsAtFullScale) {
  EXPECT_EQ(std::tuple(slideToward(0, 0x300, 0x200), slideToward(0x500, 0x400, 0x200), slideToward(7, 1, 7)), std::tuple(0x200, 0x200, 7));
  EXPECT_EQ(std::tuple(clampedProduct(0x8000, 0x8000), clampedProduct(0x20000, 0x20000)), std::tuple(0x4000u, 0x10000u));
}

// Indices after each tick; the sustain and loop ends are exclusive.
TEST_F(VoiceTest, SustainHoldsWhileTheKeyIsHeldAndLoopsWrapAfterwards) {
  const std::vector<int32_t> values = {10, 20, 30, 40, 50, 60};
  voice->volumeEnvelope = envelope(values, kEnvelopeSustain | kEnvelopeLoop, {2, 2}, {3, 5});
  voice->fadeoutLevel = 0x10000;
  voice->active = kVoiceSounding | kVoiceKeyHeld;
  auto index = [&] { return voice->volumeEnvelopeIndex; };
  EXPECT_EQ(ticks(5, index), (std::vector<int32_t>{1, 2, 2, 2, 2}));
  voice->active = kVoiceSounding;
  EXPECT_EQ(ticks(5, index), (std::vector<int32_t>{3, 4, 3, 4, 3}));
  voice->volumeEnvelope = envelope(values, kEnvelopeSustain, {1, 3});  // a sustain range loops while held
  voice->volumeEnvelopeIndex = 0;
  voice->active = kVoiceSounding | kVoiceKeyHeld;
  EXPECT_EQ(ticks(5, index), (std::vector<int32_t>{1, 2, 1, 2, 1}));
}

// A switched-off envelope holds its value and place; a switch back on goes on from there, and
// the next note brings back the instrument's envelopes from their start.
TEST_F(VoiceTest, EnvelopesSwitchOffAndOnForThePlayingNote) {
  using namespace EventCode;
  Instrument instrument{};
  instrument.volumeEnvelope = envelope({0x10000, 0xC000, 0x8000, 0x4000, 0});
  instrument.panningEnvelope = envelope({0, 1000, 2000, 3000});
  voice->instrument = &instrument;
  voice->volumeEnvelope = instrument.volumeEnvelope;
  voice->panningEnvelope = instrument.panningEnvelope;
  voice->fadeoutLevel = 0x10000;
  voice->active = kVoiceSounding | kVoiceKeyHeld;
  auto volume = [&] { return voice->volumeEnvelopeValue; };
  EXPECT_EQ(ticks(2, volume), (std::vector<int32_t>{0x10000, 0xC000}));
  run(SwitchEnvelopes, kEnvelopeVolume);
  EXPECT_EQ(ticks(2, volume), (std::vector<int32_t>{0xC000, 0xC000}));
  EXPECT_EQ(voice->panningEnvelopeIndex, 3);  // the panning envelope went on
  run(SwitchEnvelopes, kEnvelopeVolume | kEnvelopesOn);
  EXPECT_EQ(ticks(1, volume), (std::vector<int32_t>{0x8000}));
  run({{SwitchEnvelopes, kEnvelopeVolume | kEnvelopePanning}, {ResetModulators, 0}});
  EXPECT_EQ(std::tuple(voice->volumeEnvelope, voice->panningEnvelope), std::tuple(instrument.volumeEnvelope, instrument.panningEnvelope));
  run(SwitchEnvelopes, kEnvelopeVolume);  // a new note without its volume envelope plays at full volume
  EXPECT_EQ(ticks(2, volume), (std::vector<int32_t>{0x10000, 0x10000}));
  voice->instrument = nullptr;
}

// A tremor silences the note on its off ticks and goes on from where it was when renewed.
TEST_F(VoiceTest, TremorSoundsAndSilencesTheNoteInTurn) {
  using namespace EventCode;
  auto sounding = [&] { return voice->volume > 0 ? 1 : 0; };
  run(Tremor, 2 << 8 | 1);
  EXPECT_EQ(ticks(4, sounding), (std::vector<int32_t>{1, 1, 0, 1}));
  run(Tremor, 2 << 8 | 1);  // the same again: the cycle goes on
  EXPECT_EQ(ticks(3, sounding), (std::vector<int32_t>{1, 0, 1}));
  run(Tremor, 1 << 8 | 2);  // a shorter cycle keeps its place within it
  EXPECT_EQ(ticks(3, sounding), (std::vector<int32_t>{0, 0, 1}));
  run(Tremor, 0);
  EXPECT_EQ(ticks(3, sounding), (std::vector<int32_t>{1, 1, 1}));
  run(Tremor, 0 << 8 | 5);  // never on: silent
  EXPECT_EQ(ticks(2, sounding), (std::vector<int32_t>{0, 0}));
}

// An offset past the end of a sample without a loop leaves it silent, or starts it over when asked.
TEST_F(VoiceTest, AnOffsetPastTheEndRestartsTheSampleOnlyWhenAsked) {
  start(0);
  run(EventCode::StartSample, 500);
  EXPECT_GE(voice->position, voice->sampleEnd);
  run(EventCode::StartSample, 500 | kStartPastEndRestarts);
  EXPECT_EQ(voice->position, 0);
  run(EventCode::StartSample, 40 | kStartPastEndRestarts);  // inside the sample: as given
  EXPECT_EQ(voice->position, 80);
}

TEST_F(VoiceTest, PitchPeriodAndVolumeEventsAreLimitedToTheirRanges) {
  using namespace EventCode;
  struct Step {
    int32_t code, param;
    int32_t Voice::*field;  // null: not checked
    int32_t value;
  } steps[] = {
      {SetPitch, 0x50, &Voice::channelPitch, 0x100},
      {SetPitch, 0x8000, &Voice::channelPitch, 0x7F00},
      {SetPitch, 0x8000, &Voice::pitchSlideTarget, 0x7F00},
      {SetPitchMax, 0x4000, nullptr, 0},
      {AddPitch, -0x100, &Voice::channelPitch, 0x4000},  // voice bounds first, then the absolute range
      {SetPeriod, 0, &Voice::period, 1},
      {SetPeriod, 0, &Voice::channelPitch, 0x7F00},  // period 1 is far above the highest pitch
      {SetPeriod, 20000, &Voice::period, 16383},
      {SetPeriod, 20000, &Voice::channelPitch, 5346},
      {SetPeriod, 20000, &Voice::periodSlideTarget, 16383},
      {SetPeriod, 1712, &Voice::period, 1712},
      {SetPeriodMin, 1000, &Voice::period, 1712},
      {AddPeriod, -1000, &Voice::period, 1000},
      {AddPeriod, 0, &Voice::channelPitch, 0x4000},  // the pitch limits hold for a period's pitch
      {SetPitchMax, 0x7F00, nullptr, 0},
      {AddPeriod, 0, &Voice::channelPitch, engine->periodTable[1000]},
      {SetVolumeMax, 0xC000, nullptr, 0},
      {SetVolume, 0x10000, &Voice::channelVolume, 0xC000},
      {AddVolume, -0x20000, &Voice::channelVolume, 0},
      {SetVolume, 0x8000, &Voice::channelVolume, 0x8000},
      {ScaleVolume, 0x8000, &Voice::channelVolume, 0x4000},
      {SetVolumeMin, 0x1000, nullptr, 0},
      {SetVolume, -5, &Voice::channelVolume, 0x1000},
      {TremoloDepth, 0x100, &Voice::tremoloDepth, 0x500},  // scaled by the ticks of a row at speed 6
  };
  ASSERT_GT(engine->periodTable[1000], 0x4000);
  for (const Step& s : steps) {
    run(s.code, s.param);
    EXPECT_EQ(s.field ? voice->*s.field : 0, s.value) << std::hex << s.code << " " << s.param;
  }
}

TEST_F(VoiceTest, InstrumentsChooseSamplesByNoteAndResolveRandomWaveformsOnce) {
  Soundtrack* st = song.get();
  // A second sample, so that the mapped slot differs from the empty entries' slot 0.
  const int32_t mapped = song.addSample(std::vector<int16_t>(50, -1000), 8363);
  ResizeInstrumentSlots(st, 2);
  Instrument* instrument = st->instruments[1] = NewInstrument();
  instrument->noteMap[0x3C] = {mapped, st->samples[mapped], 0};
  instrument->autoVibratoOn = 1;
  instrument->autoVibratoWaveform = 0x8000 | 0x7FFE;
  instrument->fadeout = 0x400;
  run(EventCode::SelectSampleByNote, 0);
  EXPECT_EQ(voice->sampleSlot, -1);  // no instrument: no sample
  run(EventCode::SelectInstrument, 1);
  EXPECT_EQ(std::tuple(voice->instrument, voice->fadeoutStep, voice->autoVibratoOn), std::tuple(instrument, 0x400, 1));
  const int32_t chosen = instrument->autoVibratoWaveform;
  EXPECT_TRUE(chosen == 0 || chosen == 3 || chosen == 4) << chosen;
  EXPECT_EQ(voice->vibratoWaveform, engine->lfoTables[chosen]);
  run(EventCode::SetPitch, 0x3C80);
  run(EventCode::SelectSampleByNote, 0);
  EXPECT_EQ(std::tuple(voice->sampleSlot, voice->sampleData), std::tuple(mapped, st->samples[mapped]->data));
  run(EventCode::SetPitch, 0x3D00);
  run(EventCode::SelectSampleByNote, 0);  // an uncovered note: slot 0, no sample
  EXPECT_EQ(std::tuple(voice->sampleSlot, voice->sampleData), std::tuple(0, nullptr));
  run(EventCode::SelectInstrument, 0);  // an empty slot: no instrument
  EXPECT_EQ(std::tuple(voice->instrument, voice->instrumentSlot), std::tuple(nullptr, 0));
}

}  // namespace
}  // namespace tvp::test
