// Voice set-up and the per-tick hooks of the render loop.
#include "engine/sound_engine.h"

namespace tvp {

void resetVoice(SoundEngine* engine, Voice* voice) {
  const int32_t* sine = engine->lfoTables[0];
  voice->active = 0;
  voice->level = 0;
  voice->instrumentSlot = -1;
  voice->instrument = nullptr;
  voice->sampleSlot = -1;
  voice->sampleData = nullptr;
  voice->sampleEnd = voice->loopStart = voice->loopEnd = voice->loopLength = 0;
  voice->loopFlags = 0;
  voice->sampleVolume = 0x10000;
  voice->samplePanning = 0;
  voice->pitchOrigin = 0x3C00;
  voice->stepTable = nullptr;

  voice->volumeEnvelope = nullptr;
  voice->volumeEnvelopeIndex = 0;
  voice->volumeEnvelopeValue = 0x10000;
  voice->pitchEnvelope = nullptr;
  voice->panningEnvelope = nullptr;
  voice->panningEnvelopeIndex = 0;
  voice->panningEnvelopeValue = 0;

  voice->channelVolume = 0x10000;
  voice->volumeMin = 0;
  voice->volumeMax = 0x10000;
  voice->fadeoutLevel = 0;
  voice->fadeoutStep = 0;
  voice->channelPanning = 0;
  voice->panningMin = -4096;
  voice->panningMax = 4096;
  voice->period = 0x6B0;
  voice->periodMin = 1;
  voice->periodMax = 16383;
  voice->channelPitch = 0x3C00;
  voice->pitchMin = 0x100;
  voice->pitchMax = 0x7F00;

  voice->volume = 0x10000;
  voice->rampVolume = 0;
  voice->panning = 0;
  voice->rampPanning = 0;
  voice->pitch = 0x3C00;
  voice->position = voice->positionFraction = voice->stepWhole = voice->stepFraction = 0;

  voice->volumeSlideMode = voice->volumeSlideSpeed = voice->volumeSlideTarget = 0;
  voice->periodSlideMode = voice->periodSlideAdd = voice->periodSlideSubtract = 0;
  voice->periodSlideSpeed = 0;
  voice->periodSlideTarget = 0x6B0;
  voice->pitchSlideMode = voice->pitchSlideAdd = voice->pitchSlideSubtract = 0;
  voice->pitchSlideSpeed = 0;
  voice->pitchSlideTarget = 0x3C00;
  voice->panningSlideMode = voice->panningSlideSpeed = voice->panningSlideTarget = 0;

  voice->arpeggioOn = 0;
  voice->arpeggioCounter = voice->arpeggioPhase = 0;
  voice->arpeggioOffset1 = voice->arpeggioOffset2 = 0;

  // The other auto-vibrato fields and the auto-tremolo keep what the last instrument gave them.
  voice->autoVibratoOn = 0;
  voice->autoVibratoSweep = 0x10000;
  voice->autoVibratoSweepLevel = 0x10000;

  voice->vibratoOn = voice->periodVibratoOn = voice->tremoloOn = 0;
  voice->vibratoWaveform = voice->periodVibratoWaveform = voice->tremoloWaveform = sine;
  voice->vibratoPhase = voice->vibratoSpeed = voice->vibratoDepth = 0;
  voice->periodVibratoPhase = voice->periodVibratoSpeed = voice->periodVibratoDepth = 0;
  voice->tremoloPhase = voice->tremoloSpeed = voice->tremoloDepth = 0;
}

void loadSample(Voice* voice, const Sample* sample, int32_t slot) {
  voice->sampleSlot = slot;
  if (!sample) {
    voice->sampleData = nullptr;
    voice->sampleEnd = 0;
    voice->stepTable = nullptr;
    return;
  }
  voice->sampleData = sample->data;
  voice->sampleEnd = sample->length;
  if (sample->loopMode == kLoopNone) {
    voice->loopFlags = 0;
    voice->loopEnd = kVoiceNoLoopEnd;
  } else {
    voice->loopFlags = static_cast<uint32_t>(sample->loopMode);
    voice->loopStart = sample->loopStart;
    voice->loopEnd = sample->loopEnd;
    voice->loopLength = sample->loopLength;
  }
  voice->sampleVolume = sample->volume;
  voice->samplePanning = sample->panning;
  voice->pitchOrigin = sample->baseNote;
  voice->stepTable = sample->stepTable;
  voice->position = voice->positionFraction = voice->stepWhole = voice->stepFraction = 0;
}

void stopAllVoiceEffects(SoundEngine* engine) {
  for (int32_t i = 0; i < engine->voiceCount; ++i) {
    Voice* voice = &engine->voices[i];
    voice->volumeSlideMode = voice->panningSlideMode = 0;
    voice->periodSlideMode = voice->pitchSlideMode = 0;
    voice->arpeggioOn = voice->vibratoOn = voice->periodVibratoOn = voice->tremoloOn = 0;
  }
}

// Slides of volume, panning, period and pitch belong here; the voice effects are not applied
// yet, so a voice keeps the values its events set.
void voiceEffectTick(SoundEngine*, Voice*) {}

// Modulators, envelopes, fade-out and the final volume, panning and step belong here; until the
// voice effects are applied a voice plays at the values its events set.
void voiceTick(SoundEngine*, Voice*) {}

}  // namespace tvp
