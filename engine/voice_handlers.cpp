// Channel event handlers: each changes one field of the voice of the event's channel. The slides
// and modulators they switch on run in the per-tick voice updates.
#include <algorithm>
#include <type_traits>

#include "engine/events.h"
#include "soundtrack/event_codes.h"

namespace tvp {

namespace {

using Cursor = const Event*&;

constexpr int32_t kLowestPitch = 0x100;
constexpr int32_t kHighestPitch = 0x7F00;
constexpr int32_t kLowestPeriod = 1;
constexpr int32_t kHighestPeriod = kPeriodTableLength - 1;
constexpr int32_t kStartOffsetMask = 0x0FFFFFFF;  // below the flag bits

// x limited by a pair of bounds taken low first, as the voice's own limits are.
int32_t bound(int64_t x, int32_t low, int32_t high) {
  if (x < low) return low;
  if (x > high) return high;
  return static_cast<int32_t>(x);
}

// The voice limit of a volume: its bounds, and never negative.
int32_t voiceLimit(const Voice* voice, int64_t volume) {
  if (volume < voice->volumeMin) return voice->volumeMin;
  if (volume > voice->volumeMax) return voice->volumeMax;
  if (volume < 0) return 0;
  return static_cast<int32_t>(volume);
}

// The handlers that only keep their parameter in one field of the voice, for an update to use.
template <auto Field>
void store(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->*Field = static_cast<std::remove_reference_t<decltype(v->*Field)>>(p);
}

const Sample* sampleInSlot(const SoundEngine* engine, int32_t slot) {
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  if (!soundtrack || !soundtrack->samples || slot < 0 || slot >= soundtrack->sampleCount) return nullptr;
  return soundtrack->samples[slot];
}

void setWaveform(SoundEngine* engine, const int32_t*& waveform, int32_t param) {
  int32_t code = chooseWaveformCode(engine, param);
  if (code >= 0) waveform = engine->lfoTables[code];
}

// Selection and triggering.

// A struck note's random variation of volume and panning, as its instrument allows; random
// values are drawn only for instruments that vary.
void varyNote(SoundEngine* engine, Voice* voice) {
  voice->variationVolume = 0x10000;
  voice->variationPanning = 0;
  const Instrument* instrument = voice->instrument;
  if (!instrument) return;
  auto spread = [engine](int32_t range) {
    const int64_t width = 2 * int64_t{std::clamp(range, 0, 0x10000)} + 1;
    return static_cast<int32_t>(nextRandomValue(engine) % width - (width - 1) / 2);
  };
  if (instrument->randomVolume > 0) voice->variationVolume = 0x10000 + spread(instrument->randomVolume);
  if (instrument->randomPanning > 0) voice->variationPanning = spread(std::min(instrument->randomPanning, 8192));
  if (instrument->filterCutoff >= 0) voice->filterCutoff = instrument->filterCutoff;
  if (instrument->filterResonance >= 0) voice->filterResonance = instrument->filterResonance;
  if (instrument->pitchPanSeparation != 0) {
    const int64_t shift = int64_t{voice->note - instrument->pitchPanCentre} * instrument->pitchPanSeparation;
    voice->variationPanning = static_cast<int32_t>(std::clamp<int64_t>(voice->variationPanning + shift, -8192, 8192));
  }
}

void selectSample(SoundEngine* engine, Voice* voice, Cursor, int16_t&, int32_t param) {
  if (voice->sampleSlot != param) loadSample(voice, sampleInSlot(engine, param), param);
}

void selectSampleByNote(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t) {
  if (!voice->instrument) {
    loadSample(voice, nullptr, -1);
    return;
  }
  const NoteMapEntry& entry = voice->instrument->noteMap[(voice->channelPitch >> 8) & 0x7F];
  if (entry.sampleSlot != voice->sampleSlot) loadSample(voice, entry.sample, entry.sampleSlot);
  if (entry.pitchShift != 0) {
    voice->channelPitch = std::clamp(voice->channelPitch + std::clamp(entry.pitchShift, -0x8000, 0x8000), kLowestPitch,
                                     kHighestPitch);
    voice->pitchSlideTarget = voice->channelPitch;
  }
}

void selectInstrumentEvent(SoundEngine* engine, Voice* voice, Cursor, int16_t&, int32_t param) {
  if (param == voice->instrumentSlot) return;
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  Instrument* instrument = nullptr;
  if (soundtrack && soundtrack->instruments && param >= 0 && param < soundtrack->instrumentCount)
    instrument = soundtrack->instruments[param];
  selectInstrument(engine, voice, instrument, param);
}

void setVoiceFlags(SoundEngine* engine, Voice* voice, Cursor, int16_t&, int32_t param) {
  // A voice without data, or already past its end, cannot be started.
  if (param != 0 && (!voice->sampleData || voice->position >= voice->sampleEnd)) return;
  voice->active = static_cast<uint16_t>(voice->active | param);
  if (param & kVoiceKeyHeld) {
    voice->active &= ~kVoiceFading;
    voice->fadeoutLevel = 0x10000;
    holdSampleLoop(voice);
    varyNote(engine, voice);
  }
}

void clearVoiceFlags(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t param) {
  voice->active = static_cast<uint16_t>(voice->active & ~param);
  if (!(param & kVoiceKeyHeld)) return;
  releaseSampleLoop(voice);
  if (voice->instrument && voice->instrument->fadeAtEnvelopeEnd) {
    const Envelope* envelope = voice->volumeEnvelope;
    if (!envelope || (envelope->flags & kEnvelopeLoop)) voice->active |= kVoiceFading;
    return;
  }
  // A key-off without a volume envelope has no fade-out to run: the voice stops.
  if (!voice->volumeEnvelope) voice->active &= ~kVoiceSounding;
}

// The instrument's envelopes named in `which` (kEnvelope*, kEnvelopesOn) off or back on.
void setEnvelopes(Voice* voice, int32_t which) {
  const Instrument* instrument = voice->instrument;
  if (!instrument) return;
  const bool on = (which & kEnvelopesOn) != 0;
  if (which & kEnvelopeVolume) voice->volumeEnvelope = on ? instrument->volumeEnvelope : nullptr;
  if (which & kEnvelopePanning) voice->panningEnvelope = on ? instrument->panningEnvelope : nullptr;
  if (which & kEnvelopePitch) {
    voice->pitchEnvelope = on ? instrument->pitchEnvelope : nullptr;
    voice->filterEnvelope = on ? instrument->filterEnvelope : nullptr;
  }
}

void switchEnvelopes(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t param) { setEnvelopes(voice, param); }

void resetModulators(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t) {
  setEnvelopes(voice, kEnvelopeVolume | kEnvelopePanning | kEnvelopePitch | kEnvelopesOn);
  voice->volumeEnvelopeIndex = voice->pitchEnvelopeIndex = voice->panningEnvelopeIndex = 0;
  voice->filterEnvelopeIndex = 0;
  // The values too, which the next tick sets again unless a switch turns the envelope off: the
  // note then plays as one without it.
  if (voice->volumeEnvelope) voice->volumeEnvelopeValue = std::max(voice->fadeoutLevel, 0);
  if (voice->pitchEnvelope) voice->pitchEnvelopeValue = 0;
  if (voice->panningEnvelope) voice->panningEnvelopeValue = 0;
  voice->autoVibratoSweepLevel = 0;
  voice->vibratoPhase = voice->periodVibratoPhase = voice->tremoloPhase = 0;
}

void startSample(SoundEngine* engine, Voice* voice, Cursor cursor, int16_t& proceed, int32_t param) {
  voice->position = (param & kStartOffsetMask) * 2;
  voice->positionFraction = 0;
  voice->filterY1 = voice->filterY2 = 0;
  voice->loopFlags &= ~kVoiceMovingBackward;
  if (voice->position >= voice->sampleEnd) {
    if ((param & kStartPastEndLoops) && voice->loopFlags != 0) voice->position = voice->loopStart;
    if ((param & kStartPastEndRestarts) && voice->loopFlags == 0) voice->position = 0;
  }
  // The next voice tick takes the new volume and panning as they are, without a ramp.
  voice->rampVolume = kRampUnset;
  voice->rampPanning = kRampUnset;
  if (param & kStartResetsModulators) resetModulators(engine, voice, cursor, proceed, 0);
}

void addSampleOffset(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t param) {
  // Positions are bytes of 16-bit frames: an odd offset would split a frame, so it is taken
  // down to the frame it falls in.
  int64_t position = int64_t{voice->position} + param;
  voice->position = static_cast<int32_t>(std::clamp<int64_t>(position, INT32_MIN, INT32_MAX - 1) & ~int64_t{1});
  voice->positionFraction = 0;
}

// Volume.

void setVolume(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) { v->channelVolume = voiceLimit(v, p); }
void addVolume(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->channelVolume = voiceLimit(v, int64_t{v->channelVolume} + p);
}
void scaleVolume(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  uint32_t volume = static_cast<uint32_t>(std::max(v->channelVolume, 0));
  v->channelVolume = voiceLimit(v, clampedProduct(volume, static_cast<uint32_t>(std::max(p, 0))));
}
// The depth is per tick of the row it was set in.
void tremoloDepth(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) {
  v->tremoloDepth = static_cast<int32_t>(static_cast<uint32_t>(e->speed - 1) * static_cast<uint32_t>(p));
}
void tremoloWaveform(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) { setWaveform(e, v->tremoloWaveform, p); }
void panbrelloWaveform(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) { setWaveform(e, v->panbrelloWaveform, p); }
void tremor(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  const int32_t on = (p >> 8) & 0xFF, off = p & 0xFF;
  if (on + off == 0 || v->tremorOn + v->tremorOff == 0) v->tremorTick = 0;  // a new tremor starts sounding
  v->tremorOn = on;
  v->tremorOff = off;
  if (on + off > 0) v->tremorTick %= on + off;
}
void resetVolume(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t) { v->channelVolume = voiceLimit(v, v->sampleVolume); }

// Panning.

void addPanning(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->channelPanning = static_cast<int32_t>(static_cast<uint32_t>(v->channelPanning) + static_cast<uint32_t>(p));
  v->restorePanning = kNoDefaultPanning;
}
// The sample's panning, else the instrument's, holds for the note; a note with neither goes
// back to the panning the channel had before the last note that took one.
void resetPanning(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t) {
  int32_t panning = v->samplePanning;
  if (panning == kNoDefaultPanning && v->instrument) panning = v->instrument->panning;
  if (panning != kNoDefaultPanning) {
    if (v->restorePanning == kNoDefaultPanning) v->restorePanning = v->channelPanning;
    v->channelPanning = panning;
  } else if (v->restorePanning != kNoDefaultPanning) {
    v->channelPanning = v->restorePanning;
    v->restorePanning = kNoDefaultPanning;
  }
}
// A panning the song sets is the channel's own.
void setPanning(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->channelPanning = p;
  v->restorePanning = kNoDefaultPanning;
}

// Linear pitch. Set values ignore the voice's pitch bounds; added ones respect them.

void setPitch(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->channelPitch = std::clamp(p, kLowestPitch, kHighestPitch);
  v->note = v->channelPitch >> 8;
  v->pitchSlideTarget = v->channelPitch;
}
void addPitch(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  int32_t pitch = bound(int64_t{v->channelPitch} + p, v->pitchMin, v->pitchMax);
  v->channelPitch = std::clamp(pitch, kLowestPitch, kHighestPitch);
  v->pitchSlideTarget = v->channelPitch;
}
void vibratoWaveform(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) { setWaveform(e, v->vibratoWaveform, p); }

void setFilterCutoff(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) { v->filterCutoff = std::clamp(p, 0, 127); }
void setFilterResonance(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->filterResonance = std::clamp(p, 0, 127);
}

// Periods, turned into pitch through the period table.

void setPeriod(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) {
  v->period = std::clamp(p, kLowestPeriod, kHighestPeriod);
  v->periodSlideTarget = v->period;
  v->channelPitch = std::clamp(e->periodTable[v->period], kLowestPitch, kHighestPitch);
  v->pitchSlideTarget = v->channelPitch;
}
void addPeriod(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) {
  int32_t period = bound(int64_t{v->period} + p, v->periodMin, v->periodMax);
  v->period = std::clamp(period, kLowestPeriod, kHighestPeriod);
  v->periodSlideTarget = v->period;
  int32_t pitch = bound(e->periodTable[v->period], v->pitchMin, v->pitchMax);
  v->channelPitch = std::clamp(pitch, kLowestPitch, kHighestPitch);
  v->pitchSlideTarget = v->channelPitch;
}
void periodVibratoWaveform(SoundEngine* e, Voice* v, Cursor, int16_t&, int32_t p) {
  setWaveform(e, v->periodVibratoWaveform, p);
}

}  // namespace

void installVoiceHandlers(HandlerEntry* handlers) {
  struct Row {
    int32_t code;
    EventHandler run;
  };
  static constexpr Row kRows[] = {
      {EventCode::SelectSample, selectSample},
      {EventCode::SelectSampleByNote, selectSampleByNote},
      {EventCode::SelectInstrument, selectInstrumentEvent},
      {EventCode::SetVoiceFlags, setVoiceFlags},
      {EventCode::ClearVoiceFlags, clearVoiceFlags},
      {EventCode::StartSample, startSample},
      {EventCode::AddSampleOffset, addSampleOffset},
      {EventCode::SwitchEnvelopes, switchEnvelopes},
      {EventCode::ResetModulators, resetModulators},
      {EventCode::SetVolume, setVolume},
      {EventCode::AddVolume, addVolume},
      {EventCode::ScaleVolume, scaleVolume},
      {EventCode::SetVolumeMin, store<&Voice::volumeMin>},
      {EventCode::SetVolumeMax, store<&Voice::volumeMax>},
      {EventCode::VolumeSlideSpeed, store<&Voice::volumeSlideSpeed>},
      {EventCode::VolumeSlideTarget, store<&Voice::volumeSlideTarget>},
      {EventCode::VolumeSlide, store<&Voice::volumeSlideMode>},
      {EventCode::TremoloDepth, tremoloDepth},
      {EventCode::TremoloWaveform, tremoloWaveform},
      {EventCode::TremoloSpeed, store<&Voice::tremoloSpeed>},
      {EventCode::TremoloSwing, store<&Voice::tremoloDepth>},
      {EventCode::Tremor, tremor},
      {EventCode::Tremolo, store<&Voice::tremoloOn>},
      {EventCode::ResetVolume, resetVolume},
      {EventCode::SetPanning, setPanning},
      {EventCode::AddPanning, addPanning},
      {EventCode::SetPanningMin, store<&Voice::panningMin>},
      {EventCode::SetPanningMax, store<&Voice::panningMax>},
      {EventCode::PanningSlideSpeed, store<&Voice::panningSlideSpeed>},
      {EventCode::PanningSlideTarget, store<&Voice::panningSlideTarget>},
      {EventCode::PanningSlide, store<&Voice::panningSlideMode>},
      {EventCode::PanbrelloDepth, store<&Voice::panbrelloDepth>},
      {EventCode::PanbrelloWaveform, panbrelloWaveform},
      {EventCode::PanbrelloSpeed, store<&Voice::panbrelloSpeed>},
      {EventCode::Panbrello, store<&Voice::panbrelloOn>},
      {EventCode::ResetPanning, resetPanning},
      {EventCode::SetPitch, setPitch},
      {EventCode::AddPitch, addPitch},
      {EventCode::SetPitchMin, store<&Voice::pitchMin>},
      {EventCode::SetPitchMax, store<&Voice::pitchMax>},
      {EventCode::PitchSlideSpeed, store<&Voice::pitchSlideSpeed>},
      {EventCode::PitchRiseSpeed, store<&Voice::pitchSlideAdd>},
      {EventCode::PitchFallSpeed, store<&Voice::pitchSlideSubtract>},
      {EventCode::PitchSlideTarget, store<&Voice::pitchSlideTarget>},
      {EventCode::PitchSlide, store<&Voice::pitchSlideMode>},
      {EventCode::VibratoDepth, store<&Voice::vibratoDepth>},
      {EventCode::VibratoWaveform, vibratoWaveform},
      {EventCode::VibratoSpeed, store<&Voice::vibratoSpeed>},
      {EventCode::Vibrato, store<&Voice::vibratoOn>},
      {EventCode::ArpeggioFirst, store<&Voice::arpeggioOffset1>},
      {EventCode::ArpeggioSecond, store<&Voice::arpeggioOffset2>},
      {EventCode::SetArpeggioCounter, store<&Voice::arpeggioCounter>},
      {EventCode::Arpeggio, store<&Voice::arpeggioOn>},
      {EventCode::SetPeriod, setPeriod},
      {EventCode::AddPeriod, addPeriod},
      {EventCode::SetPeriodMin, store<&Voice::periodMin>},
      {EventCode::SetPeriodMax, store<&Voice::periodMax>},
      {EventCode::PeriodSlideSpeed, store<&Voice::periodSlideSpeed>},
      {EventCode::PeriodRiseSpeed, store<&Voice::periodSlideAdd>},
      {EventCode::PeriodFallSpeed, store<&Voice::periodSlideSubtract>},
      {EventCode::PeriodSlideTarget, store<&Voice::periodSlideTarget>},
      {EventCode::PeriodSlide, store<&Voice::periodSlideMode>},
      {EventCode::PeriodVibratoDepth, store<&Voice::periodVibratoDepth>},
      {EventCode::PeriodVibratoWaveform, periodVibratoWaveform},
      {EventCode::PeriodVibratoSpeed, store<&Voice::periodVibratoSpeed>},
      {EventCode::PeriodVibrato, store<&Voice::periodVibratoOn>},
      {EventCode::SetFilterCutoff, setFilterCutoff},
      {EventCode::SetFilterResonance, setFilterResonance},
  };
  for (const Row& row : kRows) handlers[row.code] = {row.run, true};
}

}  // namespace tvp
