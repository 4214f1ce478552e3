#include "soundtrack/event_dump.h"

#include <algorithm>
#include <iterator>

#include "soundtrack/event_codes.h"

namespace tvp {

namespace {

struct NamedCode {
  int32_t code;
  const char* name;
};

// Sorted by code, so that a name is found by binary search.
constexpr NamedCode kNames[] = {
    {EventCode::GotoPlayPosition, "GotoPlayPosition"},
    {EventCode::PositionJump, "PositionJump"},
    {EventCode::PatternDelay, "PatternDelay"},
    {EventCode::RowTickDelay, "RowTickDelay"},
    {EventCode::LoopCount, "LoopCount"},
    {EventCode::LoopStart, "LoopStart"},
    {EventCode::LoopBack, "LoopBack"},
    {EventCode::BreakNow, "BreakNow"},
    {EventCode::PatternBreak, "PatternBreak"},
    {EventCode::NextPlayPosition, "NextPlayPosition"},
    {EventCode::SetSpeed, "SetSpeed"},
    {EventCode::SetTempo, "SetTempo"},
    {EventCode::TempoSlide, "TempoSlide"},
    {EventCode::SetGlobalVolume, "SetGlobalVolume"},
    {EventCode::AddGlobalVolume, "AddGlobalVolume"},
    {EventCode::SetGlobalVolumeMin, "SetGlobalVolumeMin"},
    {EventCode::SetGlobalVolumeMax, "SetGlobalVolumeMax"},
    {EventCode::GlobalVolumeSlideSpeed, "GlobalVolumeSlideSpeed"},
    {EventCode::GlobalVolumeSlideTarget, "GlobalVolumeSlideTarget"},
    {EventCode::GlobalVolumeSlide, "GlobalVolumeSlide"},
    {EventCode::SetVariable, "SetVariable"},
    {EventCode::AddVariable, "AddVariable"},
    {EventCode::MultiplyVariable, "MultiplyVariable"},
    {EventCode::SelectSample, "SelectSample"},
    {EventCode::SelectSampleByNote, "SelectSampleByNote"},
    {EventCode::SelectInstrument, "SelectInstrument"},
    {EventCode::HandOffVoice, "HandOffVoice"},
    {EventCode::SetNoteAction, "SetNoteAction"},
    {EventCode::PastNoteAction, "PastNoteAction"},
    {EventCode::SetVoiceFlags, "SetVoiceFlags"},
    {EventCode::ClearVoiceFlags, "ClearVoiceFlags"},
    {EventCode::SetSongMode, "SetSongMode"},
    {EventCode::StartSample, "StartSample"},
    {EventCode::AddSampleOffset, "AddSampleOffset"},
    {EventCode::SwitchEnvelopes, "SwitchEnvelopes"},
    {EventCode::ResetModulators, "ResetModulators"},
    {EventCode::SetChannelGain, "SetChannelGain"},
    {EventCode::AddChannelGain, "AddChannelGain"},
    {EventCode::ChannelGainSlideSpeed, "ChannelGainSlideSpeed"},
    {EventCode::ChannelGainSlideTarget, "ChannelGainSlideTarget"},
    {EventCode::ChannelGainSlide, "ChannelGainSlide"},
    {EventCode::SetVolume, "SetVolume"},
    {EventCode::AddVolume, "AddVolume"},
    {EventCode::ScaleVolume, "ScaleVolume"},
    {EventCode::SetVolumeMin, "SetVolumeMin"},
    {EventCode::SetVolumeMax, "SetVolumeMax"},
    {EventCode::VolumeSlideSpeed, "VolumeSlideSpeed"},
    {EventCode::VolumeSlideTarget, "VolumeSlideTarget"},
    {EventCode::VolumeSlide, "VolumeSlide"},
    {EventCode::TremoloDepth, "TremoloDepth"},
    {EventCode::TremoloWaveform, "TremoloWaveform"},
    {EventCode::TremoloSpeed, "TremoloSpeed"},
    {EventCode::TremoloSwing, "TremoloSwing"},
    {EventCode::Tremolo, "Tremolo"},
    {EventCode::Tremor, "Tremor"},
    {EventCode::ResetVolume, "ResetVolume"},
    {EventCode::SetPanning, "SetPanning"},
    {EventCode::AddPanning, "AddPanning"},
    {EventCode::SetPanningMin, "SetPanningMin"},
    {EventCode::SetPanningMax, "SetPanningMax"},
    {EventCode::PanningSlideSpeed, "PanningSlideSpeed"},
    {EventCode::PanningSlideTarget, "PanningSlideTarget"},
    {EventCode::PanningSlide, "PanningSlide"},
    {EventCode::PanbrelloDepth, "PanbrelloDepth"},
    {EventCode::PanbrelloWaveform, "PanbrelloWaveform"},
    {EventCode::PanbrelloSpeed, "PanbrelloSpeed"},
    {EventCode::Panbrello, "Panbrello"},
    {EventCode::ResetPanning, "ResetPanning"},
    {EventCode::SetPitch, "SetPitch"},
    {EventCode::AddPitch, "AddPitch"},
    {EventCode::SetPitchMin, "SetPitchMin"},
    {EventCode::SetPitchMax, "SetPitchMax"},
    {EventCode::PitchSlideSpeed, "PitchSlideSpeed"},
    {EventCode::PitchRiseSpeed, "PitchRiseSpeed"},
    {EventCode::PitchFallSpeed, "PitchFallSpeed"},
    {EventCode::PitchSlideTarget, "PitchSlideTarget"},
    {EventCode::PitchSlide, "PitchSlide"},
    {EventCode::VibratoDepth, "VibratoDepth"},
    {EventCode::VibratoWaveform, "VibratoWaveform"},
    {EventCode::VibratoSpeed, "VibratoSpeed"},
    {EventCode::Vibrato, "Vibrato"},
    {EventCode::ArpeggioFirst, "ArpeggioFirst"},
    {EventCode::ArpeggioSecond, "ArpeggioSecond"},
    {EventCode::SetArpeggioCounter, "SetArpeggioCounter"},
    {EventCode::Arpeggio, "Arpeggio"},
    {EventCode::SetPeriod, "SetPeriod"},
    {EventCode::AddPeriod, "AddPeriod"},
    {EventCode::SetPeriodMin, "SetPeriodMin"},
    {EventCode::SetPeriodMax, "SetPeriodMax"},
    {EventCode::PeriodSlideSpeed, "PeriodSlideSpeed"},
    {EventCode::PeriodRiseSpeed, "PeriodRiseSpeed"},
    {EventCode::PeriodFallSpeed, "PeriodFallSpeed"},
    {EventCode::PeriodSlideTarget, "PeriodSlideTarget"},
    {EventCode::PeriodSlide, "PeriodSlide"},
    {EventCode::PeriodVibratoDepth, "PeriodVibratoDepth"},
    {EventCode::PeriodVibratoWaveform, "PeriodVibratoWaveform"},
    {EventCode::PeriodVibratoSpeed, "PeriodVibratoSpeed"},
    {EventCode::PeriodVibrato, "PeriodVibrato"},
    {EventCode::SetFilterCutoff, "SetFilterCutoff"},
    {EventCode::SetFilterResonance, "SetFilterResonance"},
};

constexpr bool SortedByCode() {
  for (size_t i = 1; i < std::size(kNames); ++i)
    if (kNames[i - 1].code >= kNames[i].code) return false;
  return true;
}
static_assert(SortedByCode(), "kNames must stay sorted by code");

// The first code of the voice selection block; the variable bank and the song level lie below.
constexpr int32_t kFirstChannelCode = 0x800;

}  // namespace

const char* EventName(int32_t code) {
  const NamedCode* end = std::end(kNames);
  const NamedCode* found =
      std::lower_bound(std::begin(kNames), end, code, [](const NamedCode& n, int32_t c) { return n.code < c; });
  return found != end && found->code == code ? found->name : nullptr;
}

bool IsChannelEvent(int32_t code) {
  // SetSongMode sits in the voice-flag block but acts on the song.
  return code >= kFirstChannelCode && code < kHandlerCount && code != EventCode::SetSongMode;
}

int32_t CountChannels(const Soundtrack* soundtrack) {
  if (soundtrack == nullptr || soundtrack->patterns == nullptr) return 0;
  int32_t highest = -1;
  for (int32_t slot = 0; slot < soundtrack->patternCount; ++slot) {
    int32_t seen = 0;
    for (const Event* e = soundtrack->patterns[slot]; e != nullptr && seen < kMaxDumpedEvents; e = e->next, ++seen)
      if (IsChannelEvent(e->code)) highest = std::max(highest, e->channel);
  }
  return highest + 1;
}

int32_t WritePatternEvents(std::FILE* out, int32_t slot, const Event* first) {
  const Event* e = first;
  if (e != nullptr && e->code == EventCode::Nothing) e = e->next;  // the chain's head record
  int32_t lines = 0;
  for (; e != nullptr && lines < kMaxDumpedEvents; e = e->next, ++lines) {
    char unknown[16];
    const char* name = EventName(e->code);
    if (name == nullptr) {
      std::snprintf(unknown, sizeof unknown, "?0x%04X", static_cast<unsigned>(e->code));
      name = unknown;
    }
    // Times are row x 256 + tick; the arithmetic shift keeps a hostile negative time readable.
    std::fprintf(out, "%3d %4d.%02d %3d %-24s %08X\n", slot, e->time >> 8, e->time & 0xFF, e->channel, name,
                 static_cast<unsigned>(e->param));
  }
  return lines;
}

void WriteSoundtrackEvents(std::FILE* out, const Soundtrack* soundtrack) {
  if (soundtrack == nullptr) return;
  std::fprintf(out, "play positions (%d):", soundtrack->playPositionCount);
  for (int32_t i = 0; soundtrack->playPositions != nullptr && i < soundtrack->playPositionCount; ++i)
    std::fprintf(out, " %d", soundtrack->playPositions[i]);
  std::fputc('\n', out);
  for (int32_t slot = 0; soundtrack->patterns != nullptr && slot < soundtrack->patternCount; ++slot) {
    const Event* first = soundtrack->patterns[slot];
    if (first == nullptr) continue;
    std::fprintf(out, "pattern %d\n", slot);
    WritePatternEvents(out, slot, first);
  }
}

}  // namespace tvp
