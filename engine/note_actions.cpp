// Note actions: a channel's voice hands its playing note to a background voice when a new note
// comes, the duplicate check ends older notes of the same kind, and a channel can act on the
// notes it handed off. Background voices receive no events; they play on, are ticked and mixed
// as any voice, and give themselves back once they can no longer be heard.
#include <algorithm>

#include "engine/events.h"
#include "engine/sound_engine.h"

namespace tvp {

namespace {

using Cursor = const Event*&;

int32_t channelOf(const SoundEngine* engine, const Voice* voice) { return static_cast<int32_t>(voice - engine->voices); }

// A voice no channel addresses that is silent, else the quietest background voice; null when
// every voice belongs to a channel.
Voice* backgroundVoice(SoundEngine* engine) {
  Voice* quietest = nullptr;
  for (int32_t i = engine->voiceCount - 1; i >= engine->channelVoices; --i) {
    Voice* voice = &engine->voices[i];
    if (!(voice->active & kVoiceSounding)) return voice;
    if (!quietest || voice->volume < quietest->volume) quietest = voice;
  }
  return quietest;
}

const Instrument* instrumentInSlot(const SoundEngine* engine, int32_t slot) {
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  if (!soundtrack || !soundtrack->instruments || slot < 0 || slot >= soundtrack->instrumentCount) return nullptr;
  return soundtrack->instruments[slot];
}

// Whether the playing `voice` is what a new note of `instrument` at `note` duplicates.
bool duplicates(const Voice* voice, const Instrument* instrument, int32_t note) {
  if (!(voice->active & kVoiceSounding) || voice->instrument != instrument) return false;
  switch (instrument->duplicateCheck) {
    case kDuplicateNote: return voice->note == note;
    case kDuplicateSample: return voice->sampleSlot == instrument->noteMap[note & 0x7F].sampleSlot;
    case kDuplicateInstrument: return true;
    default: return false;
  }
}

void handOffVoice(SoundEngine* engine, Voice* voice, Cursor, int16_t&, int32_t param) {
  const int32_t slot = ((param >> 8) & 0xFFFF) - 1;
  handOffNote(engine, voice, slot, param & 0x7F);
}

void setNoteAction(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t param) {
  if (param >= kNoteActionCut && param <= kNoteActionFade) voice->noteAction = param;
}

void pastNoteAction(SoundEngine* engine, Voice* voice, Cursor, int16_t&, int32_t param) {
  const int32_t channel = channelOf(engine, voice);
  for (int32_t i = engine->channelVoices; i < engine->voiceCount; ++i) {
    Voice* past = &engine->voices[i];
    if (past->ownerChannel == channel && (past->active & kVoiceSounding)) applyNoteAction(past, param);
  }
}

void addChannelGain(SoundEngine*, Voice* voice, Cursor, int16_t&, int32_t param) {
  voice->channelGain = static_cast<int32_t>(std::clamp<int64_t>(int64_t{voice->channelGain} + param, 0, 0x10000));
}

template <auto Field>
void store(SoundEngine*, Voice* v, Cursor, int16_t&, int32_t p) {
  v->*Field = p;
}

}  // namespace

void applyNoteAction(Voice* voice, int32_t action) {
  switch (action) {
    case kNoteActionCut:
      voice->active = 0;
      break;
    case kNoteActionOff:
      // Without a volume envelope nothing would follow the release: the note fades out.
      voice->active = static_cast<uint16_t>(voice->active & ~kVoiceKeyHeld);
      releaseSampleLoop(voice);
      if (!voice->volumeEnvelope) voice->active |= kVoiceFading;
      break;
    case kNoteActionFade:
      voice->active |= kVoiceFading;
      break;
    default:
      break;
  }
}

void handOffNote(SoundEngine* engine, Voice* voice, int32_t comingInstrument, int32_t comingNote) {
  const Instrument* coming = comingInstrument >= 0 ? instrumentInSlot(engine, comingInstrument) : voice->instrument;
  const int32_t channel = channelOf(engine, voice);
  int32_t action = voice->noteAction;
  if (coming && coming->duplicateCheck != kDuplicateNone) {
    for (int32_t i = engine->channelVoices; i < engine->voiceCount; ++i) {
      Voice* past = &engine->voices[i];
      if (past->ownerChannel == channel && duplicates(past, coming, comingNote)) applyNoteAction(past, coming->duplicateAction);
    }
    if (duplicates(voice, coming, comingNote)) action = coming->duplicateAction;
  }
  if ((voice->active & kVoiceSounding) && action != kNoteActionCut) {
    if (Voice* background = backgroundVoice(engine)) {
      *background = *voice;
      background->ownerChannel = channel;
      // The mixer ramps from where the voice stood: the note goes on without a click.
      applyNoteAction(background, action);
      voice->active = 0;
    }
  }
  voice->noteAction = coming ? coming->noteAction : kNoteActionCut;
}

void installNoteActionHandlers(HandlerEntry* handlers) {
  handlers[EventCode::HandOffVoice] = {handOffVoice, true};
  handlers[EventCode::SetNoteAction] = {setNoteAction, true};
  handlers[EventCode::PastNoteAction] = {pastNoteAction, true};
  handlers[EventCode::SetChannelGain] = {store<&Voice::channelGain>, true};
  handlers[EventCode::AddChannelGain] = {addChannelGain, true};
  handlers[EventCode::ChannelGainSlideSpeed] = {store<&Voice::channelGainSlideSpeed>, true};
  handlers[EventCode::ChannelGainSlideTarget] = {store<&Voice::channelGainSlideTarget>, true};
  handlers[EventCode::ChannelGainSlide] = {store<&Voice::channelGainSlideMode>, true};
}

}  // namespace tvp
