#pragma once
// Engine event codes. A code is the index of the engine handler that runs the event. Codes come
// in blocks of eight by the value they act on; channel codes are grouped by the quantity they
// control (0x11xx volume, 0x12xx panning, 0x13xx pitch, 0x14xx period), and inside each group the
// same offsets play the same roles: +0x01 the value, +0x05 its lower limit, +0x09 its upper
// limit, +0x11..+0x19 the slide, +0x41..+0x49 the oscillator, +0x81 reset to the sample default.
#include <cstdint>

namespace tvp {

inline constexpr int32_t kHandlerCount = 0x1600;  // codes at or above this are skipped

namespace EventCode {
enum : int32_t {
  Nothing = 0x000,  // the head record of every pattern chain

  // Flow, song level. Position and time arguments carry a voice-effect reset request in bit 31.
  GotoPlayPosition = 0x111,
  PositionJump = 0x119,
  PatternDelay = 0x131,
  // The row lasts this many ticks longer; the ticks of every such event on a row add up.
  RowTickDelay = 0x135,
  LoopCount = 0x141,
  // Marks the event's row as where the channel's next LoopBack in this play position returns,
  // instead of the row its param names; entering another play position forgets the mark.
  LoopStart = 0x144,
  LoopBack = 0x148,
  BreakNow = 0x180,
  PatternBreak = 0x188,
  NextPlayPosition = 0x1F0,

  // Tempo and global volume, song level.
  SetSpeed = 0x211,
  SetTempo = 0x221,
  // On every later tick the tempo changes by the param (negative: slower), within 32 .. 255, until
  // an event sets 0 or play moves to another position or a loop's start.
  TempoSlide = 0x229,
  SetGlobalVolume = 0x401,
  AddGlobalVolume = 0x402,
  SetGlobalVolumeMin = 0x405,
  SetGlobalVolumeMax = 0x409,
  GlobalVolumeSlideSpeed = 0x411,
  GlobalVolumeSlideTarget = 0x415,
  GlobalVolumeSlide = 0x419,

  // The variable bank; the channel field is the variable number.
  SetVariable = 0x601,
  AddVariable = 0x602,
  MultiplyVariable = 0x603,

  // Voice selection and triggering.
  SelectSample = 0x801,
  SelectSampleByNote = 0x811,
  SelectInstrument = 0x821,

  // Note actions. A channel's voice can hand its note over to a background voice (one that no
  // channel addresses) when a new note comes, so the old note goes on under the new one.
  // HandOffVoice comes before the new note's other events; its param names the coming note:
  // instrument slot + 1 in bits 8..23 (0: the voice's own) and the note number in bits 0..7.
  HandOffVoice = 0x901,
  SetNoteAction = 0x911,   // the action for the current note: kNoteAction*
  PastNoteAction = 0x921,  // kNoteActionCut, Off or Fade on the channel's background voices
  SetVoiceFlags = 0xA01,
  ClearVoiceFlags = 0xA11,
  SetSongMode = 0xA21,  // song level despite its block
  StartSample = 0xC01,
  AddSampleOffset = 0xC02,
  // Turns envelopes of the playing note off (bit 8 clear) or back on (bit 8 set): bit 0 the
  // volume envelope, bit 1 the panning envelope, bit 2 the pitch and filter envelopes. The next
  // ResetModulators brings back the instrument's envelopes.
  SwitchEnvelopes = 0xC11,
  ResetModulators = 0xCFF,

  // Channel gain: a factor on the channel's voice apart from its note volume, which notes and
  // instruments do not reset. A handed-off note keeps the gain it had.
  SetChannelGain = 0x1001,
  AddChannelGain = 0x1002,  // kept in 0 .. 0x10000
  ChannelGainSlideSpeed = 0x1011,
  ChannelGainSlideTarget = 0x1015,
  ChannelGainSlide = 0x1019,

  // Volume.
  SetVolume = 0x1101,
  AddVolume = 0x1102,
  ScaleVolume = 0x1103,
  SetVolumeMin = 0x1105,
  SetVolumeMax = 0x1109,
  VolumeSlideSpeed = 0x1111,
  VolumeSlideTarget = 0x1115,
  VolumeSlide = 0x1119,
  TremoloDepth = 0x1141,
  TremoloWaveform = 0x1143,
  TremoloSpeed = 0x1145,
  TremoloSwing = 0x1147,  // the depth as it is: the volume swings this far (16.16) around the note's
  // (on ticks << 8) | off ticks, each 0 .. 255: the note sounds for `on` ticks and is silent for
  // `off`, over and over, going on from where the last tremor left off; 0 stops it.
  Tremor = 0x114B,
  Tremolo = 0x1149,
  ResetVolume = 0x1181,

  // Panning.
  SetPanning = 0x1201,
  AddPanning = 0x1202,
  SetPanningMin = 0x1205,
  SetPanningMax = 0x1209,
  PanningSlideSpeed = 0x1211,
  PanningSlideTarget = 0x1215,
  PanningSlide = 0x1219,
  PanbrelloDepth = 0x1241,  // the panning swings this far around the channel's, -4096 .. 4096 scale
  PanbrelloWaveform = 0x1243,
  PanbrelloSpeed = 0x1245,
  Panbrello = 0x1249,
  ResetPanning = 0x1281,

  // Linear pitch.
  SetPitch = 0x1301,
  AddPitch = 0x1302,
  SetPitchMin = 0x1305,
  SetPitchMax = 0x1309,
  PitchSlideSpeed = 0x1311,
  PitchRiseSpeed = 0x1312,
  PitchFallSpeed = 0x1313,
  PitchSlideTarget = 0x1315,
  PitchSlide = 0x1319,
  VibratoDepth = 0x1341,
  VibratoWaveform = 0x1343,
  VibratoSpeed = 0x1345,
  Vibrato = 0x1349,
  ArpeggioFirst = 0x13C2,
  ArpeggioSecond = 0x13C3,
  SetArpeggioCounter = 0x13C5,
  Arpeggio = 0x13C9,

  // Amiga periods.
  SetPeriod = 0x1401,
  AddPeriod = 0x1402,
  SetPeriodMin = 0x1405,
  SetPeriodMax = 0x1409,
  PeriodSlideSpeed = 0x1411,
  PeriodRiseSpeed = 0x1412,
  PeriodFallSpeed = 0x1413,
  PeriodSlideTarget = 0x1415,
  PeriodSlide = 0x1419,
  PeriodVibratoDepth = 0x1441,
  PeriodVibratoWaveform = 0x1443,
  PeriodVibratoSpeed = 0x1445,
  PeriodVibrato = 0x1449,

  // The voice's resonant low-pass filter, 0 .. 127 each: cutoff from about 260 Hz to 10 kHz,
  // resonance from none to a peak of about 18 dB. A voice filters while its cutoff is below 127,
  // it has resonance or a filter envelope.
  SetFilterCutoff = 0x1501,
  SetFilterResonance = 0x1511,
};
}  // namespace EventCode

// What happens to a note when a new one comes in its channel (an instrument's and a voice's
// noteAction), or to the notes a channel handed off (PastNoteAction).
inline constexpr int32_t kNoteActionCut = 0;       // the new note replaces it
inline constexpr int32_t kNoteActionContinue = 1;  // it plays on in a background voice
inline constexpr int32_t kNoteActionOff = 2;       // ... with its key released
inline constexpr int32_t kNoteActionFade = 3;      // ... fading out

// Flow arguments: the value sits in the low 28 bits, bit 31 asks for a voice-effect reset.
inline constexpr int32_t kFlowValueMask = 0x0FFFFFFF;
inline constexpr uint32_t kFlowResetBit = 0x80000000u;

// The tempo after one tick of a TempoSlide by `step`: within 32 .. 255, and a tempo already
// outside that range is not pulled into it by a slide away from it.
constexpr int32_t TempoAfterSlide(int32_t tempo, int32_t step) {
  constexpr int32_t kLowest = 32, kHighest = 255;
  const int64_t slid = int64_t{tempo} + step;
  if (step > 0) return slid > kHighest ? (tempo > kHighest ? tempo : kHighest) : static_cast<int32_t>(slid);
  return slid < kLowest ? (tempo < kLowest ? tempo : kLowest) : static_cast<int32_t>(slid);
}

// The waveform argument for a tracker's waveform nibble (vibrato and tremolo control): bits 0..1
// choose sine, ramp down, square or a random one of the three (0x7FFE); without bit 2 the phase
// restarts with each note (0x8000).
constexpr int32_t WaveformForNibble(int32_t x) {
  constexpr int32_t kShapes[4] = {0, 3, 4, 0x7FFE};
  return kShapes[x & 3] | ((x & 4) == 0 ? 0x8000 : 0);
}

// StartSample's argument: the byte offset, with bit 30 asking for the modulators to restart too,
// bit 29 for an offset past the end of a looping sample to start at its loop instead, and bit 28
// for one past the end of a sample without a loop to start at its beginning.
inline constexpr int32_t kStartResetsModulators = 0x40000000;
inline constexpr int32_t kStartPastEndLoops = 0x20000000;
inline constexpr int32_t kStartPastEndRestarts = 0x10000000;

// SwitchEnvelopes' argument.
inline constexpr int32_t kEnvelopeVolume = 1, kEnvelopePanning = 2, kEnvelopePitch = 4, kEnvelopesOn = 0x100;

}  // namespace tvp
