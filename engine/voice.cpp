// Voice set-up and the two per-tick updates that turn a voice's base values into the final
// volume, panning and pitch the mixing loops use.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/events.h"
#include "engine/sound_engine.h"
#include "mixer/mix_routines.h"

namespace tvp {

void resetVoice(SoundEngine* engine, Voice* voice) {
  const int32_t* sine = engine->lfoTables[0];
  voice->active = 0;
  voice->level = 0;
  voice->instrumentSlot = -1;
  voice->instrument = nullptr;
  voice->instrumentVolume = 0x10000;
  voice->noteAction = kNoteActionCut;
  voice->note = 0;
  voice->ownerChannel = -1;
  voice->variationVolume = 0x10000;
  voice->variationPanning = 0;
  voice->sample = nullptr;
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
  voice->channelGain = 0x10000;
  voice->channelGainSlideMode = voice->channelGainSlideSpeed = voice->channelGainSlideTarget = 0;
  voice->volumeMin = 0;
  voice->volumeMax = 0x10000;
  voice->fadeoutLevel = 0;
  voice->fadeoutStep = 0;
  voice->channelPanning = 0;
  voice->restorePanning = kNoDefaultPanning;
  voice->panningMin = -4096;
  voice->panningMax = 4096;
  voice->period = 0x6B0;
  voice->periodMin = 1;
  voice->periodMax = 16383;
  voice->channelPitch = 0x3C00;
  voice->pitchMin = 0x100;
  voice->pitchMax = 0x7F00;

  voice->volume = 0;  // silent until its first tick
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
  voice->panbrelloOn = 0;
  voice->panbrelloWaveform = sine;
  voice->panbrelloPhase = voice->panbrelloSpeed = voice->panbrelloDepth = 0;
  voice->tremorOn = voice->tremorOff = voice->tremorTick = 0;

  voice->filterOn = 0;
  voice->filterCutoff = 127;
  voice->filterResonance = 0;
  voice->filterEnvelope = nullptr;
  voice->filterEnvelopeIndex = 0;
  voice->filterMadeFor = -1;
  voice->filterA0 = 1 << 24;
  voice->filterB1 = voice->filterB2 = 0;
  voice->filterY1 = voice->filterY2 = 0;
}

namespace {

void takeLoop(Voice* voice, int32_t mode, int32_t start, int32_t end) {
  if (mode == kLoopNone) {
    voice->loopFlags = 0;
    voice->loopEnd = kVoiceNoLoopEnd;
    return;
  }
  // A direction left from a ping-pong loop means nothing to another loop.
  if (mode != kLoopPingPong) voice->loopFlags &= ~kVoiceMovingBackward;
  voice->loopFlags = static_cast<uint32_t>(mode) | (voice->loopFlags & kVoiceMovingBackward);
  voice->loopStart = start;
  voice->loopEnd = end;
  voice->loopLength = end - start;
}

}  // namespace

void holdSampleLoop(Voice* voice) {
  const Sample* sample = voice->sample;
  if (sample && sample->sustainMode != kLoopNone) takeLoop(voice, sample->sustainMode, sample->sustainStart, sample->sustainEnd);
}

void releaseSampleLoop(Voice* voice) {
  const Sample* sample = voice->sample;
  if (sample && sample->sustainMode != kLoopNone) takeLoop(voice, sample->loopMode, sample->loopStart, sample->loopEnd);
}

void loadSample(Voice* voice, const Sample* sample, int32_t slot) {
  voice->sampleSlot = slot;
  voice->sample = sample;
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
  holdSampleLoop(voice);
  voice->sampleVolume = sample->volume;
  voice->samplePanning = sample->panning;
  voice->pitchOrigin = sample->baseNote;
  voice->stepTable = sample->stepTable;
  voice->position = voice->positionFraction = voice->stepWhole = voice->stepFraction = 0;
}

void selectInstrument(SoundEngine* engine, Voice* voice, Instrument* instrument, int32_t slot) {
  voice->instrumentSlot = slot;
  voice->instrument = instrument;
  if (!instrument) return;
  voice->instrumentVolume = instrument->volume;
  voice->fadeoutStep = instrument->fadeout;
  voice->volumeEnvelope = instrument->volumeEnvelope;
  voice->volumeEnvelopeIndex = 0;
  voice->volumeEnvelopeValue = 0x10000;
  voice->pitchEnvelope = instrument->pitchEnvelope;
  voice->pitchEnvelopeIndex = 0;
  voice->pitchEnvelopeValue = 0;
  voice->panningEnvelope = instrument->panningEnvelope;
  voice->panningEnvelopeIndex = 0;
  voice->panningEnvelopeValue = 0;
  voice->filterEnvelope = instrument->filterEnvelope;
  voice->filterEnvelopeIndex = 0;
  voice->vibratoPhase = 0;

  voice->autoVibratoOn = static_cast<int16_t>(instrument->autoVibratoOn);
  voice->autoVibratoDepth = instrument->autoVibratoDepth;
  voice->autoVibratoSpeed = instrument->autoVibratoRate;
  voice->autoVibratoSweep = instrument->autoVibratoSweep;
  int32_t code = resolveInstrumentWaveform(engine, &instrument->autoVibratoWaveform);
  if (code >= 0 && code < kWaveformCount) voice->vibratoWaveform = engine->lfoTables[code];

  voice->autoTremoloOn = static_cast<int16_t>(instrument->secondModulatorOn);
  voice->autoTremoloDepth = instrument->secondModulatorDepth;
  voice->autoTremoloSpeed = instrument->secondModulatorRate;
  voice->autoTremoloSweep = instrument->secondModulatorSweep;
  code = resolveInstrumentWaveform(engine, &instrument->secondModulatorWaveform);
  if (code >= 0 && code < kWaveformCount) voice->tremoloWaveform = engine->lfoTables[code];
}

void stopAllVoiceEffects(SoundEngine* engine) {
  for (int32_t i = 0; i < engine->voiceCount; ++i) {
    Voice* voice = &engine->voices[i];
    voice->volumeSlideMode = voice->panningSlideMode = 0;
    voice->periodSlideMode = voice->pitchSlideMode = 0;
    voice->arpeggioOn = voice->vibratoOn = voice->periodVibratoOn = voice->tremoloOn = 0;
    voice->panbrelloOn = 0;
    voice->tremorOn = voice->tremorOff = 0;
  }
}

namespace {

constexpr int32_t kPhaseMask = kWaveformLength - 1;

int32_t limit(int64_t value, int32_t low, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
}

// Bounds taken low first: a value below the minimum becomes the minimum even when the bounds
// cross, as the voice's own limits are applied.
int32_t bound(int64_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return static_cast<int32_t>(value);
}

// (waveform x depth) >> 16 with the product in 64 bits: depths from a file can be anything.
int32_t modulation(int32_t wave, int32_t depth) {
  return static_cast<int32_t>((int64_t{wave} * depth) >> 16);
}

int32_t rampSweep(int32_t level, int32_t sweep) {
  if (level >= 0x10000) return level;
  return limit(int64_t{level} + sweep, INT32_MIN, 0x10000);
}

// Depth scaled by a sweep level still rising toward 0x10000.
int32_t sweptDepth(int32_t depth, int32_t level) {
  return level < 0x10000 ? static_cast<int32_t>((int64_t{depth} * level) >> 16) : depth;
}

uint32_t nonNegative(int32_t value) { return static_cast<uint32_t>(std::max(value, 0)); }

int32_t envelopeValue(const Envelope* envelope, int32_t index) {
  if (!envelope->values || index < 0 || index >= envelope->length) return 0;
  return envelope->values[index];
}

// One tick along an envelope: a held key wraps at the sustain point, otherwise the loop wraps;
// the index stops on the last value.
int32_t stepEnvelope(const Envelope* envelope, int32_t index, bool keyHeld) {
  int32_t next = index + 1;
  if ((envelope->flags & kEnvelopeSustain) && keyHeld) {
    if (next >= envelope->sustainEnd) next = envelope->sustainStart;
  } else if (envelope->flags & kEnvelopeLoop) {
    if (next >= envelope->loopEnd) next = envelope->loopStart;
  }
  return next >= 0 && next < envelope->length ? next : index;
}

int32_t slidePeriod(const SoundEngine* engine, Voice* voice) {
  int32_t mode = voice->periodSlideMode;
  if (mode & 8) {
    voice->period = std::min<int64_t>(int64_t{voice->period} + voice->periodSlideAdd, voice->periodMax);
  } else if (mode & 0x10) {
    voice->period = std::max<int64_t>(int64_t{voice->period} - voice->periodSlideSubtract, voice->periodMin);
  } else if (mode & 1) {
    voice->period = slideToward(voice->period, voice->periodSlideSpeed, voice->periodSlideTarget);
  }
  if (mode & 2) voice->periodSlideMode = 0;
  voice->period = limit(voice->period, 1, kPeriodTableLength - 1);
  return engine->periodTable[voice->period];
}

int32_t slidePitch(Voice* voice) {
  int32_t mode = voice->pitchSlideMode;
  int64_t pitch = voice->channelPitch;
  if (mode & 8) {
    pitch = std::min<int64_t>(pitch + voice->pitchSlideAdd, voice->pitchMax);
  } else if (mode & 0x10) {
    pitch = std::max<int64_t>(pitch - voice->pitchSlideSubtract, voice->pitchMin);
  } else if (mode & 1) {
    pitch = slideToward(voice->channelPitch, voice->pitchSlideSpeed, voice->pitchSlideTarget);
  }
  if (mode & 2) voice->pitchSlideMode = 0;
  return limit(pitch, 0, 32767);
}

int32_t modulatedPitch(const SoundEngine* engine, Voice* voice) {
  int32_t pitch = voice->channelPitch;
  if (voice->vibratoOn) {
    voice->vibratoPhase = (voice->vibratoPhase + voice->vibratoSpeed) & kPhaseMask;
    pitch += modulation(voice->vibratoWaveform[voice->vibratoPhase], voice->vibratoDepth);
  } else if (voice->autoVibratoOn) {
    int32_t phase = (voice->vibratoPhase + voice->autoVibratoSpeed) & kPhaseMask;
    voice->autoVibratoSweepLevel = rampSweep(voice->autoVibratoSweepLevel, voice->autoVibratoSweep);
    if (voice->autoVibratoSweepLevel != 0) {
      int32_t depth = sweptDepth(voice->autoVibratoDepth, voice->autoVibratoSweepLevel);
      pitch += modulation(voice->vibratoWaveform[phase], depth);
    }
    voice->vibratoPhase = phase;
  } else if (voice->periodVibratoOn) {
    voice->periodVibratoPhase = (voice->periodVibratoPhase + voice->periodVibratoSpeed) & kPhaseMask;
    int64_t period = int64_t{modulation(voice->periodVibratoWaveform[voice->periodVibratoPhase],
                                        voice->periodVibratoDepth)} + voice->period;
    pitch = engine->periodTable[limit(period, 1, kPeriodTableLength - 1)];
  }
  return pitch;
}

int32_t modulatedVolume(Voice* voice) {
  int64_t volume;
  if (voice->tremoloOn) {
    voice->tremoloPhase = (voice->tremoloPhase + voice->tremoloSpeed) & kPhaseMask;
    volume = int64_t{voice->channelVolume} +
             signedClampedProduct(voice->tremoloWaveform[voice->tremoloPhase], voice->tremoloDepth);
  } else if (voice->autoTremoloOn) {
    int32_t phase = (voice->tremoloPhase + voice->autoTremoloSpeed) & kPhaseMask;
    voice->autoTremoloSweepLevel = rampSweep(voice->autoTremoloSweepLevel, voice->autoTremoloSweep);
    uint32_t factor = 0x10000;
    if (voice->autoTremoloSweepLevel != 0) {
      int32_t depth = sweptDepth(voice->autoTremoloDepth, voice->autoTremoloSweepLevel);
      uint32_t dip = static_cast<uint32_t>((0x10000 - int64_t{voice->tremoloWaveform[phase]}) >> 1);
      factor = 0x10000 - clampedProduct(dip, nonNegative(depth));
    }
    volume = clampedProduct(nonNegative(voice->channelVolume), factor);
    voice->tremoloPhase = phase;
  } else {
    return voice->channelVolume;
  }
  if (volume < 0) return 0;
  return bound(volume, voice->volumeMin, voice->volumeMax);
}

// Coefficients of a two-pole low-pass: the analogue 1 / (s^2 / w^2 + 2 z s / w + 1) taken to
// frames with s = (1 - 1/z) x rate, which stays stable at any cutoff. The cutoff runs over
// 110 x 2^(0.25 + c / 24) Hz, the damping z from 1 down by 24 dB over the resonance's range.
// The backward difference damps by about one more step than the analogue; that step, scaled
// to the damping asked for, is taken off again (never below none).
void makeFilter(const SoundEngine* engine, Voice* voice, int32_t cutoff, int32_t resonance) {
  const double rate = std::max(1.0, engine->sampleRate / 65536.0);
  const double hertz = std::min(110.0 * std::exp2(0.25 + cutoff / 24.0), rate / 2);
  const double k = rate / (2 * 3.14159265358979 * hertz);
  const double damping = std::pow(10.0, -resonance * 24.0 / (128.0 * 20.0));
  const double d = std::max(0.0, 2 * damping * k + 2 * damping - 1), e = k * k, norm = 1 + d + e;
  constexpr double kOne = 1 << 24;
  voice->filterA0 = static_cast<int32_t>(kOne / norm);
  voice->filterB1 = static_cast<int32_t>(kOne * (d + 2 * e) / norm);
  voice->filterB2 = static_cast<int32_t>(-kOne * e / norm);
}

// The cutoff the envelope leaves this tick. The filter runs while the cutoff is below the top,
// there is resonance or a filter envelope, and keeps its coefficients while both values stay.
void filterTick(const SoundEngine* engine, Voice* voice) {
  int32_t cutoff = std::clamp(voice->filterCutoff, 0, 127);
  const int32_t resonance = std::clamp(voice->filterResonance, 0, 127);
  if (const Envelope* envelope = voice->filterEnvelope) {
    const int64_t factor = std::max(envelopeValue(envelope, voice->filterEnvelopeIndex), 0);
    voice->filterEnvelopeIndex = stepEnvelope(envelope, voice->filterEnvelopeIndex, (voice->active & kVoiceKeyHeld) != 0);
    cutoff = static_cast<int32_t>(std::min<int64_t>(127, (cutoff * factor) >> 16));
  }
  voice->filterOn = cutoff < 127 || resonance > 0 || voice->filterEnvelope;
  if (!voice->filterOn) return;
  const int32_t key = cutoff << 8 | resonance;
  if (key == voice->filterMadeFor) return;
  makeFilter(engine, voice, cutoff, resonance);
  voice->filterMadeFor = key;
}

}  // namespace

void voiceEffectTick(SoundEngine* engine, Voice* voice) {
  if (voice->channelGainSlideMode) {
    voice->channelGain = slideToward(voice->channelGain, voice->channelGainSlideSpeed, voice->channelGainSlideTarget);
    if (voice->channelGainSlideMode & 2) voice->channelGainSlideMode = 0;
  }
  if (voice->volumeSlideMode) {
    voice->channelVolume = slideToward(voice->channelVolume, voice->volumeSlideSpeed, voice->volumeSlideTarget);
    if (voice->volumeSlideMode & 2) voice->volumeSlideMode = 0;
  }
  if (voice->panningSlideMode) {
    voice->channelPanning = slideToward(voice->channelPanning, voice->panningSlideSpeed, voice->panningSlideTarget);
    if (voice->panningSlideMode & 2) voice->panningSlideMode = 0;
  }
  if (voice->periodSlideMode) voice->channelPitch = slidePeriod(engine, voice);
  if (voice->pitchSlideMode) voice->channelPitch = slidePitch(voice);
}

void voiceTick(SoundEngine* engine, Voice* voice) {
  bool keyHeld = (voice->active & kVoiceKeyHeld) != 0;

  int32_t pitch = bound(modulatedPitch(engine, voice), voice->pitchMin, voice->pitchMax);
  if (const Envelope* envelope = voice->pitchEnvelope) {
    voice->pitchEnvelopeValue = envelopeValue(envelope, voice->pitchEnvelopeIndex);
    voice->pitchEnvelopeIndex = stepEnvelope(envelope, voice->pitchEnvelopeIndex, keyHeld);
    pitch = limit(int64_t{pitch} + voice->pitchEnvelopeValue, INT32_MIN, INT32_MAX);
  }
  voice->pitch = pitch;

  voice->volume = modulatedVolume(voice);
  if (voice->tremorOn + voice->tremorOff > 0) {
    if (voice->tremorTick >= voice->tremorOn) voice->volume = 0;
    voice->tremorTick = (voice->tremorTick + 1) % (voice->tremorOn + voice->tremorOff);
  }
  filterTick(engine, voice);

  // The fade-out runs after the key is released when there is a volume envelope, and whenever
  // a note action or a release without one has set the voice fading.
  const bool fading = (voice->active & kVoiceFading) != 0;
  bool envelopeDone = false;
  if (const Envelope* envelope = voice->volumeEnvelope) {
    voice->volumeEnvelopeValue = static_cast<int32_t>(
        clampedProduct(nonNegative(envelopeValue(envelope, voice->volumeEnvelopeIndex)), nonNegative(voice->fadeoutLevel)));
    const int32_t index = voice->volumeEnvelopeIndex;
    voice->volumeEnvelopeIndex = stepEnvelope(envelope, index, keyHeld);
    envelopeDone = index == envelope->length - 1 && voice->volumeEnvelopeIndex == index && voice->volumeEnvelopeValue == 0;
  } else if (fading) {
    voice->volumeEnvelopeValue = std::max(voice->fadeoutLevel, 0);
  }
  const bool atEnvelopeEnd = voice->instrument && voice->instrument->fadeAtEnvelopeEnd;
  if (atEnvelopeEnd && voice->volumeEnvelope && voice->volumeEnvelopeIndex == voice->volumeEnvelope->length - 1 &&
      !(voice->volumeEnvelope->flags & kEnvelopeLoop))
    voice->active |= kVoiceFading;
  if ((voice->volumeEnvelope && !keyHeld && !atEnvelopeEnd) || fading)
    voice->fadeoutLevel = limit(int64_t{voice->fadeoutLevel} - voice->fadeoutStep, 0, INT32_MAX);
  // A handed-off note that can no longer be heard gives its voice back.
  if (voice->ownerChannel >= 0 && (envelopeDone || (fading && voice->volumeEnvelopeValue == 0))) voice->active = 0;

  if (const Envelope* envelope = voice->panningEnvelope) {
    voice->panningEnvelopeValue = envelopeValue(envelope, voice->panningEnvelopeIndex);
    voice->panningEnvelopeIndex = stepEnvelope(envelope, voice->panningEnvelopeIndex, keyHeld);
    int64_t room = 4096 - std::abs(int64_t{voice->channelPanning});
    voice->panning = limit(voice->channelPanning + int64_t{voice->panningEnvelopeValue} * room / 4096, INT32_MIN, INT32_MAX);
  } else {
    voice->panning = voice->channelPanning;
  }
  if (voice->variationPanning != 0)
    voice->panning = limit(int64_t{voice->panning} + voice->variationPanning, -4096, 4096);
  if (voice->panbrelloOn) {
    voice->panbrelloPhase = (voice->panbrelloPhase + voice->panbrelloSpeed) & kPhaseMask;
    const int32_t swing = modulation(voice->panbrelloWaveform[voice->panbrelloPhase], voice->panbrelloDepth);
    voice->panning = limit(int64_t{voice->panning} + swing, -4096, 4096);
  }

  // The note's volume, then the instrument's, the channel's and the note's random factors.
  uint32_t volume = nonNegative(voice->volume);
  if (voice->instrumentVolume != 0x10000) volume = clampedProduct(volume, nonNegative(voice->instrumentVolume));
  if (voice->channelGain != 0x10000) volume = clampedProduct(volume, nonNegative(voice->channelGain));
  if (voice->variationVolume != 0x10000) volume = clampedProduct(volume, nonNegative(voice->variationVolume));
  voice->volume = static_cast<int32_t>(
      clampedTripleProduct(engine->outputGain, volume, nonNegative(voice->volumeEnvelopeValue)));
  if (voice->rampVolume == kRampUnset) voice->rampVolume = voice->volume;
  if (voice->rampPanning == kRampUnset) voice->rampPanning = voice->panning;
  UpdateVoiceStep(voice);
}

}  // namespace tvp
