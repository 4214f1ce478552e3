// The per-tick voice updates: slides, modulators, envelopes, fade-out and the final values.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

class VoiceUpdate : public ::testing::Test {
 protected:
  VoiceUpdate() {
    engine = e.engine;
    voice = &engine->voices[0];
    resetVoice(engine, voice);
    engine->outputGain = 0x10000;
  }

  // An envelope of the given values; owned by the fixture.
  Envelope* envelope(std::vector<int32_t> values, uint32_t flags = 0, int32_t sustain = kNoEnvelopePoint,
                     int32_t loopStart = 0, int32_t loopEnd = kNoEnvelopePoint) {
    auto& owned = envelopes.emplace_back(std::move(values));
    auto* env = new Envelope{sustain, sustain, loopStart, loopEnd, flags, static_cast<int32_t>(owned.size()), owned.data()};
    records.emplace_back(env);
    return env;
  }

  OfflineEngine e;
  SoundEngine* engine;
  Voice* voice;
  std::vector<std::vector<int32_t>> envelopes;
  std::vector<std::unique_ptr<Envelope>> records;
};

TEST_F(VoiceUpdate, VibratoWinsOverAutoVibrato) {
  voice->vibratoOn = voice->autoVibratoOn = 1;
  voice->vibratoSpeed = 0x10;
  voice->vibratoDepth = 0x100;
  voice->autoVibratoSpeed = 0x40;
  voice->autoVibratoSweepLevel = 0;
  voice->autoVibratoSweep = 0x1000;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->vibratoPhase, 0x10);
  EXPECT_EQ(voice->autoVibratoSweepLevel, 0);  // the auto-vibrato did not run
}

TEST_F(VoiceUpdate, SineVibratoStaysWithinItsDepthAndRepeatsEvery64Ticks) {
  voice->vibratoOn = 1;
  voice->vibratoSpeed = 0x10;
  voice->vibratoDepth = 0x100;
  std::vector<int32_t> pitches;
  for (int tick = 0; tick < 128; ++tick) {
    voiceTick(engine, voice);
    pitches.push_back(voice->pitch - voice->channelPitch);
  }
  EXPECT_EQ(*std::max_element(pitches.begin(), pitches.end()), 0x100);
  EXPECT_EQ(*std::min_element(pitches.begin(), pitches.end()), -0x100);
  EXPECT_TRUE(std::equal(pitches.begin(), pitches.begin() + 64, pitches.begin() + 64));
  EXPECT_NE(pitches[0], pitches[1]);
}

TEST_F(VoiceUpdate, AutoVibratoDepthFollowsItsSweep) {
  voice->autoVibratoOn = 1;
  voice->autoVibratoSpeed = 256;  // a quarter period: phase 256, the sine's peak
  voice->autoVibratoDepth = 0x200;
  voice->autoVibratoSweepLevel = 0;
  voice->autoVibratoSweep = 0x8000;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->pitch - voice->channelPitch, 0x100);  // half swept in
  voiceTick(engine, voice);                             // phase 512: zero crossing, fully swept
  voiceTick(engine, voice);                             // phase 768: the trough
  EXPECT_EQ(voice->pitch - voice->channelPitch, -0x200);
}

TEST_F(VoiceUpdate, VolumeSlideTowardZeroStopsThere) {
  voice->channelVolume = 0x2800;
  voice->volumeSlideMode = 1;
  voice->volumeSlideSpeed = 0x1000;
  voice->volumeSlideTarget = 0;
  std::vector<int32_t> seen;
  for (int i = 0; i < 4; ++i) {
    voiceEffectTick(engine, voice);
    seen.push_back(voice->channelVolume);
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{0x1800, 0x0800, 0, 0}));
}

TEST_F(VoiceUpdate, SingleStepSlidesSwitchThemselvesOff) {
  voice->channelPanning = 0;
  voice->panningSlideMode = 3;
  voice->panningSlideSpeed = 100;
  voice->panningSlideTarget = 4096;
  voiceEffectTick(engine, voice);
  voiceEffectTick(engine, voice);
  EXPECT_EQ(voice->channelPanning, 100);
  EXPECT_EQ(voice->panningSlideMode, 0);
}

TEST_F(VoiceUpdate, PeriodSlidesStopAtTheirLimitsAndSetThePitch) {
  voice->period = 1700;
  voice->periodMax = 1712;
  voice->periodMin = 1690;
  voice->periodSlideMode = 8;
  voice->periodSlideAdd = 16;
  voiceEffectTick(engine, voice);
  voiceEffectTick(engine, voice);
  EXPECT_EQ(voice->period, 1712);
  EXPECT_EQ(voice->channelPitch, 15355);  // the table's pitch for period 1712
  voice->periodSlideMode = 0x10;
  voice->periodSlideSubtract = 16;
  for (int i = 0; i < 3; ++i) voiceEffectTick(engine, voice);
  EXPECT_EQ(voice->period, 1690);
  EXPECT_EQ(voice->channelPitch, engine->periodTable[1690]);
}

TEST_F(VoiceUpdate, PitchSlideTowardTargetStopsAtIt) {
  voice->channelPitch = 0x3C00;
  voice->pitchSlideMode = 1;
  voice->pitchSlideSpeed = 0x300;
  voice->pitchSlideTarget = 0x3800;
  voiceEffectTick(engine, voice);
  EXPECT_EQ(voice->channelPitch, 0x3900);
  voiceEffectTick(engine, voice);
  EXPECT_EQ(voice->channelPitch, 0x3800);
}

TEST_F(VoiceUpdate, ReleasedKeyFadesOutThroughTheVolumeEnvelope) {
  voice->volumeEnvelope = envelope({0x10000, 0x10000, 0x8000, 0x8000});
  voice->fadeoutLevel = 0x10000;
  voice->fadeoutStep = 0x6000;
  voice->active = kVoiceSounding;  // key released
  std::vector<int32_t> fade, envelopeValue;
  for (int i = 0; i < 4; ++i) {
    voiceTick(engine, voice);
    fade.push_back(voice->fadeoutLevel);
    envelopeValue.push_back(voice->volumeEnvelopeValue);
  }
  EXPECT_EQ(fade, (std::vector<int32_t>{0xA000, 0x4000, 0, 0}));
  EXPECT_EQ(envelopeValue, (std::vector<int32_t>{0x10000, 0xA000, 0x2000, 0}));
  EXPECT_EQ(voice->active, kVoiceSounding);  // still sounding, at volume 0
  EXPECT_EQ(voice->volume, 0);
}

TEST_F(VoiceUpdate, SustainHoldsWhileTheKeyIsHeldAndLoopsWrapAfterwards) {
  Envelope* env = envelope({10, 20, 30, 40, 50, 60}, kEnvelopeSustain | kEnvelopeLoop, 2, 3, 5);
  voice->volumeEnvelope = env;
  voice->fadeoutLevel = 0x10000;
  voice->active = kVoiceSounding | kVoiceKeyHeld;
  std::vector<int32_t> indices;
  for (int i = 0; i < 5; ++i) {
    voiceTick(engine, voice);
    indices.push_back(voice->volumeEnvelopeIndex);
  }
  EXPECT_EQ(indices, (std::vector<int32_t>{1, 2, 2, 2, 2}));
  voice->active = kVoiceSounding;
  indices.clear();
  for (int i = 0; i < 5; ++i) {
    voiceTick(engine, voice);
    indices.push_back(voice->volumeEnvelopeIndex);
  }
  EXPECT_EQ(indices, (std::vector<int32_t>{3, 4, 3, 4, 3}));  // index 5 is the loop end
}

TEST_F(VoiceUpdate, AnEnvelopeStopsOnItsLastValue) {
  voice->panningEnvelope = envelope({100, 200, 300});
  for (int i = 0; i < 5; ++i) voiceTick(engine, voice);
  EXPECT_EQ(voice->panningEnvelopeIndex, 2);
  EXPECT_EQ(voice->panningEnvelopeValue, 300);
}

TEST_F(VoiceUpdate, PanningEnvelopeScalesIntoTheRoomLeftBesideThePanning) {
  voice->panningEnvelope = envelope({2048});
  voice->channelPanning = 0;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->panning, 2048);
  voice->channelPanning = 4096;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->panning, 4096);
  voice->channelPanning = -2048;  // -2048 + 2048 x 2048 / 4096
  voiceTick(engine, voice);
  EXPECT_EQ(voice->panning, -1024);
}

TEST_F(VoiceUpdate, FinalVolumeIsTheProductOfGainVolumeAndEnvelope) {
  engine->outputGain = 0x8000;
  voice->channelVolume = 0x8000;
  voice->volumeEnvelope = envelope({0x8000});
  voice->fadeoutLevel = 0x10000;
  voice->active = kVoiceSounding | kVoiceKeyHeld;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volume, 0x2000);
}

TEST_F(VoiceUpdate, TremoloIsLimitedByTheVoiceBounds) {
  voice->tremoloOn = 1;
  voice->tremoloSpeed = 256;  // to the sine's peak
  voice->tremoloDepth = 0x8000;
  voice->channelVolume = 0xC000;
  voice->volumeMax = 0xF000;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volume, 0xF000);
  voice->tremoloSpeed = 512;  // to the trough: 0xC000 - 0x8000
  voiceTick(engine, voice);
  EXPECT_EQ(voice->volume, 0x4000);
}

TEST_F(VoiceUpdate, UnsetRampsTakeTheNewValuesAtTheNextTick) {
  voice->channelVolume = 0x9000;
  voice->channelPanning = -300;
  voice->rampVolume = voice->rampPanning = kRampUnset;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->rampVolume, 0x9000);
  EXPECT_EQ(voice->rampPanning, -300);
  voice->channelVolume = 0x1000;
  voiceTick(engine, voice);
  EXPECT_EQ(voice->rampVolume, 0x9000);  // set ramps are left to the mixer
}

}  // namespace
}  // namespace tvp::test
