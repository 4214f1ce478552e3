// Channel events: what each handler does to its voice, and the edge cases of their limits.
#include <gtest/gtest.h>

#include <set>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

class VoiceEvents : public ::testing::Test {
 protected:
  VoiceEvents() {
    e.sendPlayerSettings();
    song.addInitialSettings();
    sample = song.addSample(std::vector<int16_t>(100, 1000), 8363);
    song.setPlayPositions({0});
    e.play(song.inUse(), 44100);
    voice = &e.engine->voices[0];
  }

  void run(int32_t code, int32_t param) {
    Event event{nullptr, 0, 0, code, param};
    const Event* cursor = &event;
    int16_t proceed = 1;
    e.engine->handlers[code].run(e.engine, voice, cursor, proceed, param);
  }

  OfflineEngine e;
  SongBuilder song;
  int32_t sample = 0;
  Voice* voice = nullptr;
};

TEST_F(VoiceEvents, PitchAndPeriodAreLimitedToTheirRanges) {
  run(EventCode::SetPitch, 0x50);
  EXPECT_EQ(voice->channelPitch, 0x100);
  run(EventCode::SetPitch, 0x8000);
  EXPECT_EQ(voice->channelPitch, 0x7F00);
  EXPECT_EQ(voice->pitchSlideTarget, 0x7F00);

  run(EventCode::SetPitchMax, 0x4000);
  run(EventCode::AddPitch, -0x100);  // voice bounds first, then the absolute range
  EXPECT_EQ(voice->channelPitch, 0x4000);

  run(EventCode::SetPeriod, 0);
  EXPECT_EQ(voice->period, 1);
  EXPECT_EQ(voice->channelPitch, 0x7F00);  // period 1 is far above the highest pitch
  run(EventCode::SetPeriod, 20000);
  EXPECT_EQ(voice->period, 16383);
  EXPECT_EQ(voice->channelPitch, 5346);
  EXPECT_EQ(voice->periodSlideTarget, 16383);

  run(EventCode::SetPeriod, 1712);
  run(EventCode::SetPeriodMin, 1000);
  run(EventCode::AddPeriod, -1000);
  EXPECT_EQ(voice->period, 1000);
  ASSERT_GT(e.engine->periodTable[1000], 0x4000);
  EXPECT_EQ(voice->channelPitch, 0x4000);  // the pitch limits hold for a period's pitch too
  run(EventCode::SetPitchMax, 0x7F00);
  run(EventCode::AddPeriod, 0);
  EXPECT_EQ(voice->channelPitch, e.engine->periodTable[1000]);
}

TEST_F(VoiceEvents, VolumesKeepTheVoiceLimits) {
  run(EventCode::SetVolumeMax, 0xC000);
  run(EventCode::SetVolume, 0x10000);
  EXPECT_EQ(voice->channelVolume, 0xC000);
  run(EventCode::AddVolume, -0x20000);
  EXPECT_EQ(voice->channelVolume, 0);
  run(EventCode::SetVolume, 0x8000);
  run(EventCode::ScaleVolume, 0x8000);
  EXPECT_EQ(voice->channelVolume, 0x4000);
  run(EventCode::SetVolumeMin, 0x1000);
  run(EventCode::SetVolume, -5);
  EXPECT_EQ(voice->channelVolume, 0x1000);
}

TEST_F(VoiceEvents, TremoloDepthScalesWithTheTicksOfARow) {
  run(EventCode::TremoloDepth, 0x100);
  EXPECT_EQ(voice->tremoloDepth, 0x500);  // speed 6
}

TEST_F(VoiceEvents, WaveformParamsChooseTablesAndIgnoreTheRestartBit) {
  run(EventCode::VibratoWaveform, 0x8003);
  EXPECT_EQ(voice->vibratoWaveform, e.engine->lfoTables[3]);
  run(EventCode::VibratoWaveform, 9);  // no such waveform: unchanged
  EXPECT_EQ(voice->vibratoWaveform, e.engine->lfoTables[3]);
  run(EventCode::TremoloWaveform, 6);
  EXPECT_EQ(voice->tremoloWaveform, e.engine->lfoTables[6]);
}

TEST_F(VoiceEvents, RandomWaveformsComeFromTheirSetsAndVary) {
  std::set<const int32_t*> four, three, all;
  for (int i = 0; i < 200; ++i) {
    run(EventCode::PeriodVibratoWaveform, 0x7FFD);
    four.insert(voice->periodVibratoWaveform);
    run(EventCode::PeriodVibratoWaveform, 0x7FFE);
    three.insert(voice->periodVibratoWaveform);
    run(EventCode::PeriodVibratoWaveform, 0x7FFF);
    all.insert(voice->periodVibratoWaveform);
  }
  const auto& t = e.engine->lfoTables;
  EXPECT_EQ(four, (std::set<const int32_t*>{t[0], t[2], t[3], t[4]}));
  EXPECT_EQ(three, (std::set<const int32_t*>{t[0], t[3], t[4]}));
  EXPECT_EQ(all.size(), 7u);
}

TEST_F(VoiceEvents, AVoiceStartsOnlyWithDataBeforeItsEnd) {
  run(EventCode::SetVoiceFlags, 1);
  EXPECT_EQ(voice->active, 0);  // no sample selected yet
  run(EventCode::SelectSample, sample);
  run(EventCode::StartSample, 100);  // frame 100: the end of the sample
  run(EventCode::SetVoiceFlags, 1);
  EXPECT_EQ(voice->active, 0);
  run(EventCode::StartSample, 99);
  voice->fadeoutLevel = 5;
  run(EventCode::SetVoiceFlags, 3);
  EXPECT_EQ(voice->active, 3);
  EXPECT_EQ(voice->fadeoutLevel, 0x10000);  // a held key restarts the fade-out
}

TEST_F(VoiceEvents, KeyOffSilencesOnlyAVoiceWithoutVolumeEnvelope) {
  run(EventCode::SelectSample, sample);
  run(EventCode::StartSample, 0);
  run(EventCode::SetVoiceFlags, 3);
  run(EventCode::ClearVoiceFlags, 2);
  EXPECT_EQ(voice->active, 0);

  Envelope env{kNoEnvelopePoint, kNoEnvelopePoint, 0, kNoEnvelopePoint, 0, 0, nullptr};
  run(EventCode::SetVoiceFlags, 3);
  voice->volumeEnvelope = &env;
  run(EventCode::ClearVoiceFlags, 2);
  EXPECT_EQ(voice->active, kVoiceSounding);
  voice->volumeEnvelope = nullptr;
}

TEST_F(VoiceEvents, StartSampleSetsThePositionAndCanResetTheModulators) {
  run(EventCode::SelectSample, sample);
  voice->loopFlags |= kVoiceMovingBackward;
  voice->vibratoPhase = voice->volumeEnvelopeIndex = 9;
  run(EventCode::StartSample, 10);
  EXPECT_EQ(voice->position, 20);
  EXPECT_EQ(voice->rampVolume, kRampUnset);
  EXPECT_FALSE(voice->loopFlags & kVoiceMovingBackward);
  EXPECT_EQ(voice->vibratoPhase, 9);
  run(EventCode::StartSample, 0x40000000 | 4);
  EXPECT_EQ(voice->position, 8);
  EXPECT_EQ(voice->vibratoPhase, 0);
  EXPECT_EQ(voice->volumeEnvelopeIndex, 0);
  run(EventCode::AddSampleOffset, 7);  // an odd byte offset stays on a frame
  EXPECT_EQ(voice->position, 14);
}

TEST_F(VoiceEvents, SampleSelectionCopiesTheSampleAndSkipsTheSameSlot) {
  run(EventCode::SelectSample, sample);
  EXPECT_EQ(voice->sampleSlot, sample);
  EXPECT_EQ(voice->sampleEnd, 200);
  EXPECT_EQ(voice->loopEnd, kVoiceNoLoopEnd);
  EXPECT_NE(voice->stepTable, nullptr);
  voice->position = 50;
  run(EventCode::SelectSample, sample);
  EXPECT_EQ(voice->position, 50);  // the same slot again loads nothing
  run(EventCode::SelectSample, 77);  // no such slot: no sample
  EXPECT_EQ(voice->sampleData, nullptr);
  EXPECT_EQ(voice->sampleSlot, 77);
}

TEST_F(VoiceEvents, InstrumentsChooseSamplesByNoteAndResolveRandomWaveformsOnce) {
  Soundtrack* st = song.get();
  // A second sample, so that the mapped slot differs from the empty entries' slot 0.
  const int32_t mapped = song.addSample(std::vector<int16_t>(50, -1000), 8363);
  ResizeInstrumentSlots(st, 2);
  Instrument* instrument = st->instruments[1] = NewInstrument();
  instrument->noteMap[0x3C].sampleSlot = mapped;
  instrument->noteMap[0x3C].sample = st->samples[mapped];
  instrument->autoVibratoOn = 1;
  instrument->autoVibratoWaveform = 0x8000 | 0x7FFE;
  instrument->fadeout = 0x400;

  run(EventCode::SelectSampleByNote, 0);
  EXPECT_EQ(voice->sampleSlot, -1);  // no instrument: no sample
  run(EventCode::SelectInstrument, 1);
  EXPECT_EQ(voice->instrument, instrument);
  EXPECT_EQ(voice->fadeoutStep, 0x400);
  EXPECT_EQ(voice->autoVibratoOn, 1);
  int32_t chosen = instrument->autoVibratoWaveform;
  EXPECT_TRUE(chosen == 0 || chosen == 3 || chosen == 4) << chosen;
  EXPECT_EQ(voice->vibratoWaveform, e.engine->lfoTables[chosen]);

  run(EventCode::SetPitch, 0x3C80);
  run(EventCode::SelectSampleByNote, 0);
  EXPECT_EQ(voice->sampleSlot, mapped);
  EXPECT_EQ(voice->sampleData, st->samples[mapped]->data);
  run(EventCode::SetPitch, 0x3D00);
  run(EventCode::SelectSampleByNote, 0);  // an uncovered note: slot 0, no sample
  EXPECT_EQ(voice->sampleSlot, 0);
  EXPECT_EQ(voice->sampleData, nullptr);

  run(EventCode::SelectInstrument, 0);  // an empty slot: no instrument
  EXPECT_EQ(voice->instrument, nullptr);
  EXPECT_EQ(voice->instrumentSlot, 0);
}

TEST_F(VoiceEvents, EventsForFarChannelsNeverReachAVoice) {
  OfflineEngine small(2, 16);
  small.sendPlayerSettings();
  SongBuilder other;
  other.addInitialSettings();
  int32_t a = other.addPattern({{0, 5, EventCode::SetVolume, 0x100}, {0, 1, EventCode::SetVolume, 0x200}}, 2);
  other.setPlayPositions({0, a});
  small.play(other.inUse(), 800);
  small.renderBuffer();
  EXPECT_EQ(small.engine->voices[1].channelVolume, 0x200);
  EXPECT_EQ(small.engine->voices[0].channelVolume, 0x10000);
}

}  // namespace
}  // namespace tvp::test
