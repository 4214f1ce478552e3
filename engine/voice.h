#pragma once
// One voice record per channel: it receives the channel's events and is the playing voice the
// mixing loops read. Units: volumes 16.16 (0x10000 = full); panning -4096 .. 4096; pitch linear,
// 3072 per octave, 0x3C00 a sample's reference note; periods 1..16383; modulator phases 0..1023;
// positions and lengths in bytes of 16-bit frames.
#include <cstdint>

#include "soundtrack/soundtrack.h"

namespace tvp {

struct SoundEngine;

inline constexpr uint16_t kVoiceSounding = 1;
inline constexpr uint16_t kVoiceKeyHeld = 2;
inline constexpr uint16_t kVoiceFading = 4;  // the fade-out runs, key held or not
inline constexpr uint16_t kVoiceEnabled = 1;

inline constexpr uint32_t kVoiceLoopForward = 1;
inline constexpr uint32_t kVoiceLoopPingPong = 2;
inline constexpr uint32_t kVoiceMovingBackward = 0x100;

inline constexpr int32_t kVoiceNoLoopEnd = 0x7FFFFFFF;
inline constexpr int32_t kRampUnset = -32768;  // take the next value without ramping

struct Voice {
  uint16_t active;   // kVoiceSounding, kVoiceKeyHeld
  uint16_t enabled;  // kVoiceEnabled: the host's channel switch
  uint32_t level;    // read and cleared by the channel-level command

  int32_t instrumentSlot;  // -1 none
  Instrument* instrument;
  int32_t instrumentVolume;  // 16.16, the instrument's
  int32_t noteAction;        // kNoteAction*: what the playing note does when a new one comes
  int32_t note;              // the last note set, in whole semitones
  int32_t ownerChannel;      // the channel a background voice took its note from; -1 for a channel's own
  int32_t variationVolume;   // 16.16 factor: the note's random volume variation
  int32_t variationPanning;  // added to the panning: the note's random panning variation

  // Copied from the Sample by loadSample.
  const Sample* sample;
  int32_t sampleSlot;  // -1 none
  const int16_t* sampleData;
  int32_t sampleEnd;
  uint32_t loopFlags;  // kVoiceLoopForward, kVoiceLoopPingPong, kVoiceMovingBackward
  int32_t loopStart;
  int32_t loopEnd;  // kVoiceNoLoopEnd without loop
  int32_t loopLength;
  int32_t sampleVolume;
  int32_t samplePanning;
  int32_t pitchOrigin;  // the sample's base note
  const uint32_t* stepTable;

  const Envelope* volumeEnvelope;
  int32_t volumeEnvelopeIndex;
  int32_t volumeEnvelopeValue;  // 16.16, includes the fade-out
  const Envelope* pitchEnvelope;
  int32_t pitchEnvelopeIndex;
  int32_t pitchEnvelopeValue;
  const Envelope* panningEnvelope;
  int32_t panningEnvelopeIndex;
  int32_t panningEnvelopeValue;

  int32_t channelVolume;
  int32_t channelGain;  // 16.16, kept across notes
  int32_t channelGainSlideMode;
  int32_t channelGainSlideSpeed;
  int32_t channelGainSlideTarget;
  int32_t volumeMin;
  int32_t volumeMax;

  int32_t fadeoutLevel;  // 16.16
  int32_t fadeoutStep;   // per tick, from the instrument

  int32_t channelPanning;
  int32_t restorePanning;  // the channel's panning under a note's default one; kNoDefaultPanning none
  int32_t panningMin;  // stored, never consulted
  int32_t panningMax;

  int32_t period;
  int32_t periodMin;
  int32_t periodMax;

  int32_t channelPitch;
  int32_t pitchMin;
  int32_t pitchMax;

  // Final values for the mixer.
  int32_t volume;  // 0..0x10000
  int32_t rampVolume;
  int32_t panning;
  int32_t rampPanning;
  int32_t pitch;

  int32_t position;          // bytes
  int32_t positionFraction;  // 0..65535
  int32_t stepWhole;         // bytes per output frame
  int32_t stepFraction;      // 0..65535

  int32_t volumeSlideMode;
  int32_t volumeSlideSpeed;
  int32_t volumeSlideTarget;

  int32_t periodSlideMode;
  int32_t periodSlideAdd;
  int32_t periodSlideSubtract;
  int32_t periodSlideSpeed;
  int32_t periodSlideTarget;

  int32_t pitchSlideMode;
  int32_t pitchSlideAdd;
  int32_t pitchSlideSubtract;
  int32_t pitchSlideSpeed;
  int32_t pitchSlideTarget;

  int32_t panningSlideMode;
  int32_t panningSlideSpeed;
  int32_t panningSlideTarget;

  int16_t arpeggioOn;
  int32_t arpeggioCounter;  // output frames since the last switch
  int32_t arpeggioPhase;    // 0, 1, 2
  int32_t arpeggioOffset1;
  int32_t arpeggioOffset2;

  int16_t autoVibratoOn;
  int32_t autoVibratoSweep;
  int32_t autoVibratoSweepLevel;  // 16.16
  int32_t autoVibratoSpeed;
  int32_t autoVibratoDepth;

  int16_t autoTremoloOn;
  int32_t autoTremoloSweep;
  int32_t autoTremoloSweepLevel;
  int32_t autoTremoloSpeed;
  int32_t autoTremoloDepth;

  int16_t vibratoOn;
  const int32_t* vibratoWaveform;  // one of the engine's lfoTables
  int32_t vibratoPhase;
  int32_t vibratoSpeed;
  int32_t vibratoDepth;

  int16_t periodVibratoOn;
  const int32_t* periodVibratoWaveform;
  int32_t periodVibratoPhase;
  int32_t periodVibratoSpeed;
  int32_t periodVibratoDepth;

  // The resonant low-pass filter after resampling: y = a0 x + b1 y1 + b2 y2, coefficients 8.24.
  // Only a voice with filterOn goes through the filtering loop.
  int16_t filterOn;
  int32_t filterCutoff;     // 0 .. 127
  int32_t filterResonance;  // 0 .. 127
  const Envelope* filterEnvelope;
  int32_t filterEnvelopeIndex;
  int32_t filterMadeFor;  // the cutoff and resonance the coefficients were made for; -1 none
  int32_t filterA0, filterB1, filterB2;
  int32_t filterY1, filterY2;  // the last two outputs, in 1/256 of a sample step

  int16_t tremoloOn;
  const int32_t* tremoloWaveform;
  int32_t tremoloPhase;
  int32_t tremoloSpeed;
  int32_t tremoloDepth;

  // Tremor: sounding for tremorOn ticks, then silent for tremorOff, over and over; both 0 none.
  int32_t tremorOn;
  int32_t tremorOff;
  int32_t tremorTick;  // where in its cycle the next tick is

  int16_t panbrelloOn;
  const int32_t* panbrelloWaveform;
  int32_t panbrelloPhase;
  int32_t panbrelloSpeed;
  int32_t panbrelloDepth;
};

// Voice operations used by the render loop, the event handlers and prepare.
// The voices past `channelVoices` no channel addresses: notes handed off play there.
void handOffNote(SoundEngine* engine, Voice* voice, int32_t comingInstrument, int32_t comingNote);
void applyNoteAction(Voice* voice, int32_t action);
void resetVoice(SoundEngine* engine, Voice* voice);
void loadSample(Voice* voice, const Sample* sample, int32_t slot);
// The sample's sustain loop while the key is held, its loop after the release; nothing changes
// for samples without a sustain loop.
void holdSampleLoop(Voice* voice);
void releaseSampleLoop(Voice* voice);
// Takes the instrument (null for an empty slot) into the voice: envelopes, fade-out and the
// automatic modulators, resolving a random waveform once and writing it back to the instrument.
void selectInstrument(SoundEngine* engine, Voice* voice, Instrument* instrument, int32_t slot);
void stopAllVoiceEffects(SoundEngine* engine);
// Slides: every tick of a row except the first.
void voiceEffectTick(SoundEngine* engine, Voice* voice);
// Modulators, envelopes, fade-out and the final values: every tick.
void voiceTick(SoundEngine* engine, Voice* voice);

}  // namespace tvp
