#include "soundtrack/it_patterns.h"

#include <algorithm>

#include "soundtrack/xm_loader_internal.h"

namespace tvp::it {

namespace {

// Mask bits: what follows the channel byte, or what the channel's last cell gives again.
constexpr uint8_t kReadNote = 1, kReadInstrument = 2, kReadVolume = 4, kReadEffect = 8;
constexpr uint8_t kLastNote = 16, kLastInstrument = 32, kLastVolume = 64, kLastEffect = 128;

// XM effect numbers and volume-column bases.
enum : uint8_t {
  kXmArpeggio = 0x0, kXmUp = 0x1, kXmDown = 0x2, kXmTonePorta = 0x3, kXmVibrato = 0x4, kXmPortaSlide = 0x5,
  kXmVibratoSlide = 0x6, kXmPanning = 0x8, kXmOffset = 0x9, kXmVolumeSlide = 0xA,
  kXmJump = 0xB, kXmExtended = 0xE, kXmSpeed = 0xF, kXmGlobalVolume = 16,
  kXmRetrigger = 27, kXmExtraFine = 33,
};
enum : uint8_t {
  kXmVolume = 0x10, kXmSlideDown = 0x60, kXmSlideUp = 0x70, kXmFineDown = 0x80, kXmFineUp = 0x90,
  kXmVibratoDepth = 0xB0, kXmSetPanning = 0xC0, kXmPortaColumn = 0xF0,
};
constexpr uint8_t kXmKeyOff = 97;
constexpr int32_t kNoteCut = 254, kNoteOff = 255, kNoteFade = 253;
// Tone portamento speeds of the volume column's ten steps.
constexpr uint8_t kColumnPorta[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

struct XmCell {
  // An effect 0 with parameter 0 does nothing.
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0, second = 0, secondParam = 0;
  void set(uint8_t e, uint8_t p) {
    effect = e;
    param = p;
  }
  void setSecond(uint8_t e, uint8_t p) {
    second = e;
    secondParam = p;
  }
};

uint8_t Nibbles(int32_t x, int32_t y) { return static_cast<uint8_t>((x & 15) << 4 | (y & 15)); }

// Volume slides: D x0 up, D 0y down, D xF fine up, D Fy fine down.
void VolumeSlide(XmCell* out, int32_t xy, uint8_t slide) {
  const int32_t x = xy >> 4, y = xy & 15;
  if (x == 15 && y != 0) {
    out->set(kXmExtended, Nibbles(0xB, y));
  } else if (y == 15 && x != 0) {
    out->set(kXmExtended, Nibbles(0xA, x));
  } else {
    out->set(slide, static_cast<uint8_t>(xy));
  }
}

// Pitch slides: xx, Fx fine, Ex extra fine; `up` picks the direction.
void PitchSlide(XmCell* out, int32_t xx, bool up) {
  if ((xx >> 4) == 0xF) {
    out->set(kXmExtended, Nibbles(up ? 1 : 2, xx & 15));
  } else if ((xx >> 4) == 0xE) {
    out->set(kXmExtraFine, Nibbles(up ? 1 : 2, xx & 15));
  } else {
    out->set(up ? kXmUp : kXmDown, static_cast<uint8_t>(xx));
  }
}

void Special(XmCell* out, int32_t xy) {
  const int32_t x = xy >> 4, y = xy & 15;
  switch (x) {
    case 0x1: out->set(kXmExtended, Nibbles(0x3, y)); break;  // glissando
    case 0x3: out->set(kXmExtended, Nibbles(0x4, y)); break;  // vibrato waveform
    case 0x4: out->set(kXmExtended, Nibbles(0x7, y)); break;  // tremolo waveform
    case 0x5: out->set(xm::kEffectPanbrelloWaveform, static_cast<uint8_t>(y)); break;
    case 0x6: out->set(xm::kEffectTickDelay, static_cast<uint8_t>(y)); break;
    case 0x8: out->set(kXmExtended, Nibbles(0x8, y)); break;  // panning
    case 0x9: if (y == 1) out->set(kXmPanning, 0x80); break;  // surround plays in the centre
    case 0x7:  // past-note actions, the note's own action, the envelopes of the playing note
      if (y <= 2) {
        out->set(xm::kEffectPastNotes, static_cast<uint8_t>(y));
      } else if (y <= 6) {
        out->set(xm::kEffectNoteAction, static_cast<uint8_t>(y - 3));
      } else if (y <= 12) {
        out->set(xm::kEffectEnvelopeSwitch, static_cast<uint8_t>(y - 7));
      }
      break;
    case 0xA: out->set(xm::kEffectHighOffset, static_cast<uint8_t>(y)); break;
    case 0xB: out->set(kXmExtended, Nibbles(0x6, y)); break;  // pattern loop
    case 0xC: out->set(kXmExtended, Nibbles(0xC, std::max(y, 1))); break;  // note cut; SC0 cuts as SC1
    case 0xD: out->set(kXmExtended, Nibbles(0xD, y)); break;  // note delay
    case 0xE: out->set(kXmExtended, Nibbles(0xE, y)); break;  // row delay
    default: break;
  }
}

// A channel's last non-zero parameters, which a 0 parameter repeats as given (a fine slide stays
// fine). D, K and L share one, E and F another, which G joins unless the song keeps it apart.
// They last a pattern: a 0 on a pattern's first use leaves the effect going on as it was.
struct ChannelMemory {
  // A note played without a portamento leaves the channel nothing to slide to until the next
  // portamento with a note; unknown at a pattern's start, where the portamento goes on as it was.
  bool portamentoTarget = true;
  int32_t volumeSlide = 0, pitchSlide = 0, portamento = 0, tempo = 0;
  int32_t tremor = 0, arpeggio = 0, channelSlide = 0, offset = 0, panningSlide = 0, retrigger = 0;
  int32_t special = 0, globalSlide = 0;
  // A finished loop starts its next one on the row after its end: that row marks the start.
  bool loopStartNext = false;
};

int32_t Recall(int32_t* memory, int32_t xy) {
  if (xy != 0) *memory = xy;
  return *memory;
}

// The cell's parameter with the memory's rules applied.
int32_t Remembered(ChannelMemory* m, int32_t effect, int32_t xy, const EffectRules& rules) {
  switch (effect) {
    case 'D' - '@': case 'K' - '@': case 'L' - '@': return Recall(&m->volumeSlide, xy);
    case 'E' - '@': case 'F' - '@': return Recall(&m->pitchSlide, xy);
    case 'G' - '@': return Recall(rules.linkedPortamento ? &m->pitchSlide : &m->portamento, xy);
    case 'I' - '@': return Recall(&m->tremor, xy);
    case 'J' - '@': return Recall(&m->arpeggio, xy);
    case 'N' - '@': return Recall(&m->channelSlide, xy);
    case 'O' - '@': return Recall(&m->offset, xy);
    case 'P' - '@': return Recall(&m->panningSlide, xy);
    case 'Q' - '@': return Recall(&m->retrigger, xy);
    case 'S' - '@': return Recall(&m->special, xy);
    case 'T' - '@': return Recall(&m->tempo, xy);
    case 'W' - '@': return Recall(&m->globalSlide, xy);
    default: return xy;
  }
}

void Effect(XmCell* out, int32_t effect, int32_t xy, const EffectRules& rules) {
  switch (effect) {
    case 'A' - '@': out->set(xm::kEffectSpeed, static_cast<uint8_t>(xy)); break;
    case 'B' - '@': out->set(kXmJump, static_cast<uint8_t>(xy)); break;
    case 'C' - '@': out->set(xm::kEffectBreak, static_cast<uint8_t>(xy)); break;
    case 'D' - '@': VolumeSlide(out, xy, kXmVolumeSlide); break;
    case 'E' - '@': PitchSlide(out, xy, false); break;
    case 'F' - '@': PitchSlide(out, xy, true); break;
    case 'G' - '@': out->set(kXmTonePorta, static_cast<uint8_t>(xy)); break;
    case 'H' - '@': out->set(kXmVibrato, static_cast<uint8_t>(xy)); break;
    case 'I' - '@':  // the decoder's tremor counts one tick more of each
      out->set(xm::kEffectTremor, rules.oldEffects ? static_cast<uint8_t>(xy)
                                                   : Nibbles(std::max(xy >> 4, 1) - 1, std::max(xy & 15, 1) - 1));
      break;
    case 'J' - '@': out->set(kXmArpeggio, static_cast<uint8_t>(xy)); break;
    case 'K' - '@': VolumeSlide(out, xy, kXmVibratoSlide); break;
    case 'L' - '@': VolumeSlide(out, xy, kXmPortaSlide); break;
    case 'M' - '@': if (xy <= 64) out->set(xm::kEffectChannelVolume, static_cast<uint8_t>(xy)); break;
    case 'N' - '@': out->set(xm::kEffectChannelVolumeSlide, static_cast<uint8_t>(xy)); break;
    case 'O' - '@': out->set(kXmOffset, static_cast<uint8_t>(xy)); break;
    case 'P' - '@': out->set(xm::kEffectPanningSlide, static_cast<uint8_t>(xy)); break;
    case 'Q' - '@': out->set(kXmRetrigger, static_cast<uint8_t>(xy)); break;
    case 'R' - '@': out->set(xm::kEffectTremolo, static_cast<uint8_t>(xy)); break;
    case 'S' - '@': Special(out, xy); break;
    case 'T' - '@':  // T0x slower, T1x faster on each later tick
      out->set(xy >= 0x20 ? uint8_t{kXmSpeed} : uint8_t{xm::kEffectTempoSlide}, static_cast<uint8_t>(xy));
      break;
    case 'U' - '@': out->set(xm::kEffectFineVibrato, static_cast<uint8_t>(xy)); break;
    case 'V' - '@': out->set(kXmGlobalVolume, static_cast<uint8_t>(std::min(xy, 128) / 2)); break;
    case 'W' - '@': out->set(xm::kEffectGlobalVolumeSlide, static_cast<uint8_t>(xy)); break;
    case 'X' - '@': out->set(kXmPanning, static_cast<uint8_t>(xy)); break;
    // The filter as the default macros set it; a song's own macros are not read.
    case 'Y' - '@': out->set(xm::kEffectPanbrello, static_cast<uint8_t>(xy)); break;
    case 'Z' - '@': out->set(xm::kEffectFilter, static_cast<uint8_t>(xy)); break;
    default: break;
  }
}

// The volume column; what the XM column cannot say goes to the effect when that is free.
// The volume column: volumes and volume slides in the XM column, the rest as the cell's second
// effect. A 0 speed or step repeats the channel's last of the effect it stands for.
void VolumeColumn(XmCell* out, int32_t v, ChannelMemory* memory, const EffectRules& rules) {
  if (v < 0) return;
  if (v <= 64) {
    out->volume = static_cast<uint8_t>(kXmVolume + v);
  } else if (v <= 74) {
    out->volume = static_cast<uint8_t>(kXmFineUp + v - 65);
  } else if (v <= 84) {
    out->volume = static_cast<uint8_t>(kXmFineDown + v - 75);
  } else if (v <= 94) {
    out->volume = static_cast<uint8_t>(kXmSlideUp + v - 85);
  } else if (v <= 104) {
    out->volume = static_cast<uint8_t>(kXmSlideDown + v - 95);
  } else if (v <= 124) {  // pitch slides as E and F, four steps to one
    const bool up = v >= 115;
    out->setSecond(up ? kXmUp : kXmDown, static_cast<uint8_t>(Recall(&memory->pitchSlide, (v - (up ? 115 : 105)) * 4)));
  } else if (v >= 128 && v <= 192) {
    out->setSecond(kXmPanning, static_cast<uint8_t>(std::min((v - 128) * 4, 255)));
  } else if (v >= 193 && v <= 202) {
    int32_t* slot = rules.linkedPortamento ? &memory->pitchSlide : &memory->portamento;
    out->setSecond(kXmTonePorta, static_cast<uint8_t>(Recall(slot, kColumnPorta[v - 193])));
  } else if (v >= 203 && v <= 212) {
    out->setSecond(kXmVibrato, static_cast<uint8_t>(v - 203));
  }
}

XmCell Translate(const Cell& cell, ChannelMemory* memory, const EffectRules& rules) {
  XmCell out;
  if (cell.instrument > 0 && cell.instrument < 256) out.instrument = static_cast<uint8_t>(cell.instrument);
  const bool pitched = cell.note >= 12 && cell.note <= 107;
  const bool columnPortamento = cell.volume >= 193 && cell.volume <= 202;
  const bool portamento = cell.effect == 'G' - '@' || columnPortamento;
  if (pitched) memory->portamentoTarget = portamento;
  const bool idle = portamento && !memory->portamentoTarget;  // nothing to slide to
  const int32_t param = Remembered(memory, cell.effect, cell.param, rules);
  if (!(idle && cell.effect == 'G' - '@')) Effect(&out, cell.effect, param, rules);
  if (!(idle && columnPortamento)) VolumeColumn(&out, cell.volume, memory, rules);
  if (memory->loopStartNext) {
    if (out.second == 0 && out.secondParam == 0) {
      out.setSecond(kXmExtended, Nibbles(0x6, 0));
    } else if (out.effect == 0 && out.param == 0) {
      out.set(kXmExtended, Nibbles(0x6, 0));
    }
  }
  memory->loopStartNext = cell.effect == 'S' - '@' && param > 0xB0 && param <= 0xBF;
  if (pitched) {
    out.note = static_cast<uint8_t>(cell.note - 11);  // XM note 49 plays at the C-5 speed
  } else if (cell.note == kNoteOff) {
    out.note = kXmKeyOff;
  } else if (cell.note == kNoteFade) {
    out.note = xm::kNoteFadeOut;
  } else if (cell.note == kNoteCut) {
    out.setSecond(kXmExtended, Nibbles(0xC, 0));
  }
  return out;
}

}  // namespace

int32_t UnpackPattern(const uint8_t* packed, int32_t size, int32_t rows, Cell* cells) {
  uint8_t lastMask[kChannels] = {};
  Cell last[kChannels];
  int32_t highest = 0;
  int32_t at = 0;
  auto next = [&](int32_t* value) {
    if (at >= size) return false;
    *value = packed[at++];
    return true;
  };
  for (int32_t row = 0; row < rows; ++row) {
    for (;;) {
      int32_t channelByte = 0;
      if (!next(&channelByte)) return highest;
      if (channelByte == 0) break;  // the row ends
      const int32_t c = (channelByte - 1) & 63;
      int32_t mask = lastMask[c];
      if ((channelByte & 0x80) && !next(&mask)) return highest;
      lastMask[c] = static_cast<uint8_t>(mask);
      Cell& cell = cells[row * kChannels + c];
      Cell& memory = last[c];
      bool ok = true;
      if (mask & kReadNote) ok = ok && next(&memory.note);
      if (mask & kReadInstrument) ok = ok && next(&memory.instrument);
      if (mask & kReadVolume) ok = ok && next(&memory.volume);
      if (mask & kReadEffect) ok = ok && next(&memory.effect) && next(&memory.param);
      if (!ok) return highest;
      if (mask & (kReadNote | kLastNote)) cell.note = memory.note;
      if (mask & (kReadInstrument | kLastInstrument)) cell.instrument = memory.instrument;
      if (mask & (kReadVolume | kLastVolume)) cell.volume = memory.volume;
      if (mask & (kReadEffect | kLastEffect)) {
        cell.effect = memory.effect;
        cell.param = memory.param;
      }
      highest = std::max(highest, c + 1);
    }
  }
  return highest;
}

void ToXmCells(const Cell* cells, int32_t rows, int32_t channels, const EffectRules& rules, uint8_t* out) {
  channels = std::min(channels, kChannels);
  ChannelMemory memory[kChannels];
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t c = 0; c < channels; ++c) {
      const XmCell x = Translate(cells[row * kChannels + c], &memory[c], rules);
      const uint8_t bytes[xm::kExtendedCellBytes] = {x.note,   x.instrument, x.volume,       x.effect,
                                                     x.param, x.second,     x.secondParam};
      std::copy(std::begin(bytes), std::end(bytes), out);
      out += xm::kExtendedCellBytes;
    }
  }
}

}  // namespace tvp::it
