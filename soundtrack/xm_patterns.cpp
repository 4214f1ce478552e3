// XM pattern decoding. Each row is read in two passes: the first turns every channel's cell into
// a cell record (what the row asks for), so that effects can change what the note of the same
// cell does (a tone portamento takes the note as its target instead of playing it); the second
// emits the events of each record. Continuous effects become on/off switches that the engine
// carries on by itself, so each channel remembers which switches its events have left on.
#include <algorithm>

#include "soundtrack/byte_reader.h"
#include "soundtrack/event_codes.h"
#include "soundtrack/status.h"
#include "soundtrack/xm_loader_internal.h"
#include "soundtrack/zero_alloc.h"

namespace tvp::xm {
namespace {

namespace ec = EventCode;

constexpr int32_t kNoNote = 1;  // note field: no note; 0 is key off, anything above a pitch (8.8)
constexpr int32_t kKeyOff = 0;
constexpr int32_t kFadeOut = -1;  // extended layouts only
constexpr int32_t kUnset = -1;  // instrument, volume and global volume fields
constexpr int32_t kNoPanning = 0x7FFFFFFF;
constexpr int32_t kNoStart = -1;  // sample offset: the note does not start the sample
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);

// Slide requests of a cell.
enum : int32_t {
  kSpeedGiven = 1,
  kTargetGiven = 2,
  kSlideOn = 4,  // pitch: toward the target
  kRise = 8,
  kFall = 0x10,
  kRiseSpeedGiven = 0x20,
  kFallSpeedGiven = 0x40,
};

// Vibrato requests of a cell.
enum : int32_t { kVibratoOn = 1, kDepthGiven = 2, kRateGiven = 4 };

// Switches a channel's events have left on.
enum : uint32_t {
  kArpeggioSwitch = 2,
  kVibratoSwitch = 4,
  kTremoloSwitch = 8,
  kPitchSlideSwitch = 0x10,
  kVolumeSlideSwitch = 0x20,
  kPanningSlideSwitch = 0x40,
  kGlobalSlideSwitch = 0x80,
  kChannelGainSlideSwitch = 0x100,
  kPanbrelloSwitch = 0x200,
  kTremorSwitch = 0x400,
};

struct Slide {
  int32_t requests = 0;
  int32_t speed = 0;  // per tick, toward the target
  int32_t target = 0;
};

struct SlideCodes {
  int32_t speed;
  int32_t target;
  int32_t onOff;
  uint32_t flag;
};

constexpr SlideCodes kGlobalVolumeSlide{ec::GlobalVolumeSlideSpeed, ec::GlobalVolumeSlideTarget,
                                        ec::GlobalVolumeSlide, kGlobalSlideSwitch};
constexpr SlideCodes kVolumeSlide{ec::VolumeSlideSpeed, ec::VolumeSlideTarget, ec::VolumeSlide, kVolumeSlideSwitch};
constexpr SlideCodes kChannelGainSlide{ec::ChannelGainSlideSpeed, ec::ChannelGainSlideTarget, ec::ChannelGainSlide,
                                       kChannelGainSlideSwitch};
constexpr SlideCodes kPanningSlide{ec::PanningSlideSpeed, ec::PanningSlideTarget, ec::PanningSlide,
                                   kPanningSlideSwitch};

// A vibrato's, tremolo's or panbrello's requests.
struct Modulator {
  int32_t requests = 0;  // kVibratoOn, kDepthGiven, kRateGiven
  int32_t speed = 0;
  int32_t depth = 0;
};

// What one cell asks for, gathered from its note, instrument, volume column and effect.
struct Cell {
  int32_t note = kNoNote;
  int32_t instrument = kUnset;  // slot
  int32_t volume = kUnset;      // 16.16
  int32_t panning = kNoPanning;
  int32_t globalVolume = kUnset;  // 16.16
  bool arpeggio = false;
  int32_t arpeggioParam = 0;
  int32_t pitchRequests = 0;
  int32_t pitchSpeed = 0;  // 8.8 per tick
  int32_t pitchTarget = 0;
  int32_t riseSpeed = 0;
  int32_t fallSpeed = 0;
  int32_t pitchAdd = 0;  // fine slides, 8.8
  Slide volumeSlide;
  int32_t volumeAdd = 0;  // fine slides, 16.16
  Slide globalSlide;
  Slide panningSlide;
  Modulator vibrato;
  int32_t sampleOffset = 0;  // frames
  int32_t speed = 0;
  int32_t tempo = 0;
  int32_t noteDelay = 0;  // ticks
  // Extension effects.
  int32_t channelGain = kUnset;  // 16.16
  int32_t channelGainAdd = 0;
  int32_t globalVolumeAdd = 0;  // fine slides
  int32_t panningStep = 0;  // fine slides: one step of a slide
  Slide channelGainSlide;
  int32_t pastNotes = kUnset;
  int32_t noteAction = kUnset;
  int32_t tempoSlide = 0;  // per tick
  Modulator panbrello;
  Modulator tremolo;
  int32_t envelopeSwitch = kUnset;  // a SwitchEnvelopes param, after the cell's note
  int32_t tremor = 0;  // a Tremor param
};

// The last non-zero parameter of each effect that repeats it when given 0.
struct Memory {
  int32_t e1, e2, ea, eb, r, x1, x2;
};

int32_t Recall(int32_t* memory, int32_t value) {
  if (value != 0) *memory = value;
  return *memory;
}

// The volume change of Rxy by x: nothing, a step of 1024 (volume 1) per unit, or a factor.
struct VolumeChange {
  int32_t code;  // 0: none
  int32_t param;
};
constexpr VolumeChange kRetriggerVolume[16] = {
    {0, 0},
    {ec::AddVolume, -1 * 1024},
    {ec::AddVolume, -2 * 1024},
    {ec::AddVolume, -3 * 1024},
    {ec::AddVolume, -4 * 1024},
    {ec::AddVolume, -5 * 1024},
    {ec::ScaleVolume, 0xAAAB},  // 2/3
    {ec::ScaleVolume, 0x8000},  // 1/2
    {0, 0},
    {ec::AddVolume, 1 * 1024},
    {ec::AddVolume, 2 * 1024},
    {ec::AddVolume, 3 * 1024},
    {ec::AddVolume, 4 * 1024},
    {ec::AddVolume, 5 * 1024},
    {ec::ScaleVolume, 0x18000},  // 3/2
    {ec::ScaleVolume, 0x20000},  // 2
};

// The volume column value as the effect it stands for; 0x10 .. 0x50 (set volume) and unused
// values are not effects (letter 0).
struct ColumnEffect {
  int32_t letter;
  int32_t param;
};

ColumnEffect VolumeColumnEffect(int32_t v) {
  const int32_t x = v & 0x0F;
  switch (v >> 4) {
    case 0x6: return {'A', x};         // volume slide down
    case 0x7: return {'A', x << 4};    // volume slide up
    case 0x8: return {'E', 0xB0 | x};  // fine volume down
    case 0x9: return {'E', 0xA0 | x};  // fine volume up
    case 0xA: return {'4', x << 4};    // vibrato speed
    case 0xB: return {'4', x};         // vibrato depth
    case 0xC: return {'8', x * 17};    // panning, 0 .. 15 spread over 0 .. 255
    case 0xD: return {'P', x};         // panning slide left
    case 0xE: return {'P', x << 4};    // panning slide right
    case 0xF: return {'3', x * 16};    // tone portamento
    default: return {0, 0};
  }
}

// Axy, Hxy, Pxy: x slides up toward `high`, else y down toward `low`, `unit` per step of x or y;
// with both 0 the slide goes on as it was.
void RequestSlide(Slide* slide, int32_t x, int32_t y, int32_t unit, int32_t high, int32_t low) {
  slide->requests |= kSlideOn;
  if (x == 0 && y == 0) return;
  slide->requests |= kSpeedGiven | kTargetGiven;
  slide->speed = (x != 0 ? x : y) * unit;
  slide->target = x != 0 ? high : low;
}

// A vibrato, tremolo or panbrello on, at `speed` and `depth` (0 keeps the last of each).
void RequestModulator(Modulator* modulator, int32_t speed, int32_t depth) {
  modulator->requests |= kVibratoOn;
  if (speed != 0) {
    modulator->speed = speed;
    modulator->requests |= kRateGiven;
  }
  if (depth != 0) {
    modulator->depth = depth;
    modulator->requests |= kDepthGiven;
  }
}

// x0 slides toward `high`, 0y toward `low`, xF adds x steps at once, Fy takes y away; a negative
// `unit` turns the fine steps round along with the targets.
void RequestFineOrSlide(Slide* slide, int32_t* fine, int32_t x, int32_t y, int32_t unit, int32_t high, int32_t low) {
  if (x == 0xF && y != 0) {
    *fine = -y * unit;
  } else if (y == 0xF && x != 0) {
    *fine = x * unit;
  } else {
    RequestSlide(slide, x, y, std::abs(unit), high, low);
  }
}

// A tone portamento takes the cell's note as its target instead of playing it.
void TakeNoteAsTarget(Cell* cell) {
  if (cell->note <= kNoNote) return;
  cell->pitchTarget = cell->note;
  cell->pitchRequests |= kTargetGiven;
  cell->note = kNoNote;
}

class Decoder {
 public:
  Decoder(const PatternLayout& layout, Event* events)
      : events_(events),
        rows_(std::max(layout.rows, 0)),
        channels_(std::clamp(layout.channels, 0, kMaxChannels)),
        songLength_(layout.songLength),
        instrumentCount_(layout.instrumentCount),
        extended_(layout.extended),
        startFlags_(!layout.extended ? 0 : kStartPastEndLoops | (layout.offsetPastEndRestarts ? kStartPastEndRestarts : 0)),
        vibratoSpeedUnit_(std::clamp(layout.vibratoSpeedUnit, 1, 64)),
        vibratoDepthUnit_(std::clamp(layout.vibratoDepthUnit, 4, 256)) {}

  int32_t run(ByteCursor* cursor);

 private:
  // Counts every event, so that the caller learns the size a pattern needs even when the
  // scratch array is full (PutEvent writes nothing past its capacity).
  void put(int32_t time, int32_t channel, int32_t code, int32_t param) {
    PutEvent(events_, count_++, time, channel, code, param);
  }
  void switchOn(int32_t channel, uint32_t flag, int32_t time, int32_t code);
  void switchOff(int32_t channel, uint32_t flag, int32_t time, int32_t code);
  void switchTo(int32_t channel, bool on, uint32_t flag, int32_t time, int32_t code) {
    on ? switchOn(channel, flag, time, code) : switchOff(channel, flag, time, code);
  }
  bool anySwitchOn() const;

  void readCell(ByteCursor* cursor, int32_t channel, Cell* cell);
  void applyType(int32_t channel, int32_t type, int32_t param, Cell* cell);
  void applyEffect(int32_t channel, int32_t letter, int32_t xy, Cell* cell);
  void applyExtended(int32_t channel, int32_t x, int32_t y, Cell* cell);
  void applyExtension(int32_t channel, int32_t type, int32_t xy, Cell* cell);
  void retrigger(int32_t channel, int32_t xy);
  void patternBreak(int32_t row) {
    put(rowTime_, 0, ec::PatternBreak, (row * 256) | kReset);
    forceNext_ = true;
  }
  void emitCell(int32_t channel, const Cell& cell, int32_t time);
  void emitSlide(int32_t channel, const Slide& slide, const SlideCodes& codes, int32_t time);

  Event* events_;
  const int32_t rows_;
  const int32_t channels_;
  const int32_t songLength_;
  const int32_t instrumentCount_;
  const bool extended_;
  const int32_t startFlags_;  // added to every StartSample
  const int32_t vibratoSpeedUnit_;
  const int32_t vibratoDepthUnit_;
  int32_t count_ = 1;  // record 0 is the header
  int32_t rowTime_ = 0;
  int32_t loopStart_[kMaxChannels] = {};  // time of the channel's last E60
  bool forced_ = false;    // this row sends its switches on even when they are on already
  bool forceNext_ = false;
  uint32_t switches_[kMaxChannels] = {};
  Memory memory_[kMaxChannels] = {};
  int32_t highOffset_[kMaxChannels] = {};  // frames
  bool tempoSliding_ = false;
};

// A row that may be reached by a jump (after a pattern break, at a loop start) cannot rely on
// the switches left by the rows before it, so it sends them again.
void Decoder::switchOn(int32_t channel, uint32_t flag, int32_t time, int32_t code) {
  if (forced_ || (switches_[channel] & flag) == 0) put(time, channel, code, 1);
  switches_[channel] |= flag;
}

void Decoder::switchOff(int32_t channel, uint32_t flag, int32_t time, int32_t code) {
  if ((switches_[channel] & flag) == 0) return;
  put(time, channel, code, 0);
  switches_[channel] &= ~flag;
}

bool Decoder::anySwitchOn() const {
  return std::any_of(switches_, switches_ + channels_, [](uint32_t s) { return s != 0; });
}

int32_t Decoder::run(ByteCursor* cursor) {
  Cell cells[kMaxChannels];
  for (int32_t row = 0; row < rows_; ++row) {
    // Past the packed data every cell is empty, and once its switches are off an empty row
    // emits nothing: stop there, so a header claiming 65535 rows costs only the rows that exist.
    if (cursor->atEnd() && !anySwitchOn()) break;
    rowTime_ = row * 256;
    forced_ = forceNext_;
    forceNext_ = false;
    for (int32_t c = 0; c < channels_; ++c) {
      cells[c] = Cell{};
      readCell(cursor, c, &cells[c]);
    }
    // The last channel asking for a speed or a tempo wins; both go out at the time of the
    // last channel's (possibly delayed) events.
    int32_t speed = 0;
    int32_t tempo = 0;
    int32_t tempoSlide = 0;
    int32_t time = rowTime_;
    for (int32_t c = 0; c < channels_; ++c) {
      time = rowTime_ + cells[c].noteDelay;
      emitCell(c, cells[c], time);
      if (cells[c].speed != 0) speed = cells[c].speed;
      if (cells[c].tempo != 0) tempo = cells[c].tempo;
      if (cells[c].tempoSlide != 0) tempoSlide = cells[c].tempoSlide;
    }
    if (speed != 0) put(time, 0, ec::SetSpeed, speed);
    if (tempo != 0) put(time, 0, ec::SetTempo, tempo);
    // A tempo slide lasts its row: the next row without one stops it.
    if (tempoSlide != 0 || tempoSliding_) put(rowTime_, 0, ec::TempoSlide, tempoSlide);
    tempoSliding_ = tempoSlide != 0;
  }
  if (tempoSliding_) put(rows_ * 256, 0, ec::TempoSlide, 0);

  // Nothing continuous carries over into the next pattern.
  constexpr struct {
    uint32_t flag;
    int32_t code;
  } kOffAtEnd[] = {{kArpeggioSwitch, ec::Arpeggio},         {kVibratoSwitch, ec::Vibrato},
                   {kTremoloSwitch, ec::Tremolo},           {kPitchSlideSwitch, ec::PitchSlide},
                   {kVolumeSlideSwitch, ec::VolumeSlide},   {kPanningSlideSwitch, ec::PanningSlide},
                   {kGlobalSlideSwitch, ec::GlobalVolumeSlide},
                   {kChannelGainSlideSwitch, ec::ChannelGainSlide}, {kPanbrelloSwitch, ec::Panbrello},
                   {kTremorSwitch, ec::Tremor}};
  const int32_t end = rows_ * 256;
  for (int32_t c = 0; c < channels_; ++c) {
    for (const auto& off : kOffAtEnd) switchOff(c, off.flag, end, off.code);
  }
  put(end, 0, ec::NextPlayPosition, 0);

  const int32_t capacity = events_[0].param;
  if (capacity == 0 || count_ <= capacity) {
    // The closing NextPlayPosition stays last: events of the same time sorted after it would
    // never run.
    SortEvents(events_, 1, count_ - 2);
    LinkEvents(events_, count_);
  }
  return count_;
}

void Decoder::readCell(ByteCursor* cursor, int32_t channel, Cell* cell) {
  // A first byte with bit 7 set says which fields follow (bits 0 .. 4: note, instrument,
  // volume, effect type, parameter); otherwise it is the note and all four others follow.
  uint8_t note = cursor->u8();
  uint8_t present = extended_ ? 0x7F : 0x1F;
  if ((note & 0x80) != 0) {
    present = note;
    note = (present & 1) != 0 ? cursor->u8() : 0;
  }
  const int32_t instrument = (present & 2) != 0 ? cursor->u8() : 0;
  const int32_t volume = (present & 4) != 0 ? cursor->u8() : 0;
  const int32_t type = (present & 8) != 0 ? cursor->u8() : -1;
  const int32_t param = (present & 0x10) != 0 ? cursor->u8() : 0;
  const int32_t secondType = extended_ && (present & 0x20) != 0 ? cursor->u8() : -1;
  const int32_t secondParam = extended_ && (present & 0x40) != 0 ? cursor->u8() : 0;

  // Note 1 is pitch 12.0, note 49 pitch 60.0 (an untuned sample's base note); 97 and above
  // release the key.
  if (note == kNoteFadeOut && extended_) {
    cell->note = kFadeOut;
  } else if (note >= 97) {
    cell->note = kKeyOff;
  } else if (note > 0) {
    cell->note = (note + 11) * 256;
  }
  // Instrument numbers count from 1; one the song does not have is none.
  if (instrument > 0 && instrument <= instrumentCount_) cell->instrument = instrument - 1;

  if (volume >= 0x10 && volume <= 0x50) {
    cell->volume = (volume - 0x10) * 1024;
  } else {
    const ColumnEffect effect = VolumeColumnEffect(volume);
    if (effect.letter != 0) applyEffect(channel, effect.letter, effect.param, cell);
  }
  applyType(channel, secondType, secondParam, cell);
  applyType(channel, type, param, cell);
}

// Without an effect type the cell has effect 0 with parameter 0, which does nothing.
void Decoder::applyType(int32_t channel, int32_t type, int32_t param, Cell* cell) {
  if (type >= kEffectPastNotes) {
    if (extended_) applyExtension(channel, type, param, cell);
  } else if (type >= 0) {
    applyEffect(channel, type < 10 ? '0' + type : 'A' + type - 10, param, cell);
  }
}

void Decoder::applyEffect(int32_t channel, int32_t letter, int32_t xy, Cell* cell) {
  const int32_t x = xy >> 4;
  const int32_t y = xy & 0x0F;
  switch (letter) {
    case '0':  // arpeggio
      if (xy != 0) {
        cell->arpeggio = true;
        cell->arpeggioParam = xy;
      }
      break;
    case '1':  // portamento up
    case '2':  // portamento down
      // A slide from the volume column gives way; a note it took as its target becomes the
      // cell's note again, changing the pitch without restarting the sample.
      if (cell->pitchRequests != 0) {
        if ((cell->pitchRequests & kTargetGiven) != 0) cell->note = cell->pitchTarget;
        cell->pitchRequests = 0;
        cell->sampleOffset = kNoStart;
      }
      if (letter == '1') {
        cell->pitchRequests |= kRise;
        if (xy != 0) {
          cell->riseSpeed = xy * 16;
          cell->pitchRequests |= kRiseSpeedGiven;
        }
      } else {
        cell->pitchRequests |= kFall;
        if (xy != 0) {
          cell->fallSpeed = xy * 16;
          cell->pitchRequests |= kFallSpeedGiven;
        }
      }
      break;
    case '3':  // tone portamento
      cell->pitchRequests |= kSlideOn;
      if (xy != 0) {
        cell->pitchSpeed = xy * 16;
        cell->pitchRequests |= kSpeedGiven;
      }
      TakeNoteAsTarget(cell);
      break;
    case '4':  // vibrato
      RequestModulator(&cell->vibrato, x * vibratoSpeedUnit_, y * vibratoDepthUnit_);
      break;
    case '5':  // tone portamento going on, plus a volume slide
      cell->pitchRequests |= kSlideOn;
      TakeNoteAsTarget(cell);
      RequestSlide(&cell->volumeSlide, x, y, 1024, 0x10000, 0);
      break;
    case '6':  // vibrato going on, plus a volume slide
      cell->vibrato.requests |= kVibratoOn;
      RequestSlide(&cell->volumeSlide, x, y, 1024, 0x10000, 0);
      break;
    case '8':  // panning 0 .. 255
      cell->panning = xy * 32 - 4080;
      break;
    case '9':  // sample offset in units of 256 frames
      cell->sampleOffset = highOffset_[channel] + xy * 256;
      break;
    case 'A':  // volume slide
      RequestSlide(&cell->volumeSlide, x, y, 1024, 0x10000, 0);
      break;
    case 'B':  // position jump
      put(rowTime_, 0, ec::PositionJump, (xy + 1) | kReset);
      break;
    case 'C':  // volume 0 .. 64
      cell->volume = std::min(xy, 64) * 1024;
      break;
    case 'D':  // pattern break to a row given in decimal digits
      patternBreak(x * 10 + y);
      break;
    case 'E':
      applyExtended(channel, x, y, cell);
      break;
    case 'F':  // F00 ends the song through the ending pattern; below 0x20 speed, else tempo
      if (xy == 0) {
        put(rowTime_, channel, ec::GotoPlayPosition, (songLength_ + 2) | kReset);
      } else if (xy < 0x20) {
        cell->speed = xy;
      } else {
        cell->tempo = xy;
      }
      break;
    case 'G':  // global volume
      cell->globalVolume = xy * 1024;
      break;
    case 'H':  // global volume slide
      RequestSlide(&cell->globalSlide, x, y, 1024, 0x10000, 0);
      break;
    case 'K':  // key off
      cell->note = kKeyOff;
      break;
    case 'P':  // panning slide
      RequestSlide(&cell->panningSlide, x, y, 32, 4080, -4080);
      break;
    case 'R':  // retrigger with a volume change
      retrigger(channel, Recall(&memory_[channel].r, xy));
      break;
    case 'X':  // extra fine portamento, a quarter of E1x/E2x
      if (x == 1) cell->pitchAdd = Recall(&memory_[channel].x1, y) * 4;
      if (x == 2) cell->pitchAdd = -Recall(&memory_[channel].x2, y) * 4;
      break;
    default:  // 7 (tremolo) and the letters the player does not use
      break;
  }
}

void Decoder::applyExtended(int32_t channel, int32_t x, int32_t y, Cell* cell) {
  Memory& memory = memory_[channel];
  switch (x) {
    case 0x1:  // fine portamento up
      cell->pitchAdd = Recall(&memory.e1, y) * 16;
      break;
    case 0x2:  // fine portamento down
      cell->pitchAdd = -Recall(&memory.e2, y) * 16;
      break;
    case 0x4:
      put(rowTime_, channel, ec::VibratoWaveform, WaveformForNibble(y));
      break;
    case 0x6:  // pattern loop: E60 marks the start, E6x plays the rows up to here x more times
      if (y == 0) {
        loopStart_[channel] = rowTime_;
        forced_ = true;
      } else {
        // Each channel loops on its own count, so loops in two channels both run out.
        if (y != 1) put(rowTime_, channel, ec::LoopCount, y);  // the engine repeats once by default
        put(rowTime_, channel, ec::LoopBack, loopStart_[channel] | kReset);
      }
      break;
    case 0x7:
      put(rowTime_, channel, ec::TremoloWaveform, WaveformForNibble(y));
      break;
    case 0x9:  // retrigger every y ticks
      for (int32_t t = 0; y != 0 && t < 32; t += y) {
        put(rowTime_ + t, channel, ec::StartSample, 0);
        put(rowTime_ + t, channel, ec::SetVoiceFlags, 3);
      }
      break;
    case 0xA:  // fine volume up
      cell->volumeAdd = Recall(&memory.ea, y) * 1024;
      break;
    case 0xB:  // fine volume down
      cell->volumeAdd = -Recall(&memory.eb, y) * 1024;
      break;
    case 0xC:  // note cut after y ticks
      put(rowTime_ + y, channel, ec::SetVolume, 0);
      break;
    case 0xD:  // note delay
      cell->noteDelay = y;
      break;
    case 0xE:  // pattern delay by y rows
      put(rowTime_, channel, ec::PatternDelay, y * 256);
      break;
    default:
      break;
  }
}

void Decoder::applyExtension(int32_t channel, int32_t type, int32_t xy, Cell* cell) {
  const int32_t x = xy >> 4, y = xy & 0x0F;
  switch (type) {
    case kEffectPastNotes: {
      constexpr int32_t kActions[3] = {kNoteActionCut, kNoteActionOff, kNoteActionFade};
      if (xy < 3) cell->pastNotes = kActions[xy];
      break;
    }
    case kEffectNoteAction:
      if (xy <= kNoteActionFade) cell->noteAction = xy;
      break;
    case kEffectChannelVolume:
      cell->channelGain = std::min(xy, 64) * 1024;
      break;
    case kEffectChannelVolumeSlide:
      RequestFineOrSlide(&cell->channelGainSlide, &cell->channelGainAdd, x, y, 1024, 0x10000, 0);
      break;
    case kEffectGlobalVolumeSlide:
      RequestFineOrSlide(&cell->globalSlide, &cell->globalVolumeAdd, x, y, 512, 0x10000, 0);
      break;
    case kEffectPanningSlide:  // x goes left, y right
      RequestFineOrSlide(&cell->panningSlide, &cell->panningStep, x, y, -128, -4080, 4080);
      break;
    case kEffectHighOffset:
      highOffset_[channel] = y * 65536;
      break;
    case kEffectFilter:
      if (xy < 0x80) put(rowTime_, channel, ec::SetFilterCutoff, xy);
      if (x == 8) put(rowTime_, channel, ec::SetFilterResonance, y * 8);
      break;
    case kEffectTempoSlide:
      if (x <= 1) cell->tempoSlide = x == 1 ? y : -y;
      break;
    case kEffectTickDelay:
      if (y != 0) put(rowTime_, channel, ec::RowTickDelay, y);
      break;
    case kEffectPanbrello:  // a cycle of 256 steps of x; depth y swings by y/32 of the full width
      RequestModulator(&cell->panbrello, x * 4, y * 256);
      break;
    case kEffectTremolo:  // depth y swings by y/32 of full volume
      RequestModulator(&cell->tremolo, x * vibratoSpeedUnit_, y * 2048);
      break;
    case kEffectPanbrelloWaveform:
      put(rowTime_, channel, ec::PanbrelloWaveform, WaveformForNibble(y));
      break;
    case kEffectBreak:
      patternBreak(xy);
      break;
    case kEffectSpeed:
      if (xy != 0) cell->speed = xy;
      break;
    case kEffectTremor:
      cell->tremor = (x + 1) << 8 | (y + 1);
      break;
    case kEffectFineVibrato:
      RequestModulator(&cell->vibrato, x * vibratoSpeedUnit_, y * vibratoDepthUnit_ / 4);
      break;
    case kEffectEnvelopeSwitch:
      if (xy <= 5) cell->envelopeSwitch = (1 << (xy / 2)) | (xy % 2 == 1 ? kEnvelopesOn : 0);
      break;
    default:
      break;
  }
}

void Decoder::retrigger(int32_t channel, int32_t xy) {
  const VolumeChange change = kRetriggerVolume[(xy >> 4) & 0x0F];
  const int32_t interval = (xy & 0x0F) != 0 ? (xy & 0x0F) : 1;
  for (int32_t t = 0; t < 32; t += interval) {
    if (change.code != 0) put(rowTime_ + t, channel, change.code, change.param);
    put(rowTime_ + t, channel, ec::StartSample, 0);
    put(rowTime_ + t, channel, ec::SetVoiceFlags, 3);
  }
}

void Decoder::emitSlide(int32_t channel, const Slide& slide, const SlideCodes& codes, int32_t time) {
  if ((slide.requests & kSpeedGiven) != 0) put(time, channel, codes.speed, slide.speed);
  if ((slide.requests & kTargetGiven) != 0) put(time, channel, codes.target, slide.target);
  switchTo(channel, (slide.requests & kSlideOn) != 0, codes.flag, time, codes.onOff);
}

void Decoder::emitCell(int32_t channel, const Cell& cell, int32_t time) {
  const int32_t c = channel;
  if (cell.arpeggio) {
    put(time, c, ec::ArpeggioFirst, (cell.arpeggioParam >> 4) * 256);
    put(time, c, ec::ArpeggioSecond, (cell.arpeggioParam & 0x0F) * 256);
  }
  switchTo(c, cell.arpeggio, kArpeggioSwitch, time, ec::Arpeggio);

  // The pitch slide's mode goes out on every row that has one: rows differ in direction.
  const int32_t requests = cell.pitchRequests;
  if ((requests & kSpeedGiven) != 0) put(time, c, ec::PitchSlideSpeed, cell.pitchSpeed);
  if ((requests & kTargetGiven) != 0) put(time, c, ec::PitchSlideTarget, cell.pitchTarget);
  if ((requests & kRiseSpeedGiven) != 0) put(time, c, ec::PitchRiseSpeed, cell.riseSpeed);
  if ((requests & kFallSpeedGiven) != 0) put(time, c, ec::PitchFallSpeed, cell.fallSpeed);
  const int32_t mode = ((requests & kSlideOn) != 0 ? 1 : 0) | (requests & (kRise | kFall));
  if (mode == 0) {
    switchOff(c, kPitchSlideSwitch, time, ec::PitchSlide);
  } else {
    put(time, c, ec::PitchSlide, mode);
    switches_[c] |= kPitchSlideSwitch;
  }

  emitSlide(c, cell.globalSlide, kGlobalVolumeSlide, time);
  emitSlide(c, cell.volumeSlide, kVolumeSlide, time);
  if (cell.panningStep != 0) {
    // A fine panning slide is a slide of one step, which ends by itself: AddPanning would take
    // the panning past its edges.
    put(time, c, ec::PanningSlideSpeed, std::abs(cell.panningStep));
    put(time, c, ec::PanningSlideTarget, cell.panningStep < 0 ? -4080 : 4080);
    put(time, c, ec::PanningSlide, 3);
    switches_[c] &= ~kPanningSlideSwitch;
  } else {
    emitSlide(c, cell.panningSlide, kPanningSlide, time);
  }

  constexpr struct {
    Modulator Cell::*field;
    uint32_t flag;
    int32_t depth, speed, onOff;
  } kModulators[] = {{&Cell::vibrato, kVibratoSwitch, ec::VibratoDepth, ec::VibratoSpeed, ec::Vibrato},
                     {&Cell::panbrello, kPanbrelloSwitch, ec::PanbrelloDepth, ec::PanbrelloSpeed, ec::Panbrello},
                     {&Cell::tremolo, kTremoloSwitch, ec::TremoloSwing, ec::TremoloSpeed, ec::Tremolo}};
  for (const auto& m : kModulators) {
    const Modulator& modulator = cell.*m.field;
    if ((modulator.requests & kDepthGiven) != 0) put(time, c, m.depth, modulator.depth);
    if ((modulator.requests & kRateGiven) != 0) put(time, c, m.speed, modulator.speed);
    switchTo(c, (modulator.requests & kVibratoOn) != 0, m.flag, time, m.onOff);
  }

  if (cell.tremor != 0) {
    put(time, c, ec::Tremor, cell.tremor);
    switches_[c] |= kTremorSwitch;
  } else {
    switchOff(c, kTremorSwitch, time, ec::Tremor);
  }

  emitSlide(c, cell.channelGainSlide, kChannelGainSlide, time);
  if (cell.channelGain != kUnset) put(time, c, ec::SetChannelGain, cell.channelGain);
  if (cell.channelGainAdd != 0) put(time, c, ec::AddChannelGain, cell.channelGainAdd);
  if (cell.globalVolumeAdd != 0) put(time, c, ec::AddGlobalVolume, cell.globalVolumeAdd);
  if (cell.pastNotes != kUnset) put(time, c, ec::PastNoteAction, cell.pastNotes);

  const bool instrument = cell.instrument != kUnset;
  const bool note = cell.note > kNoNote;
  if (note && extended_) {
    const int32_t coming = instrument ? cell.instrument + 1 : 0;
    put(time, c, ec::HandOffVoice, (coming << 8) | ((cell.note >> 8) & 0x7F));
  }
  if (instrument) {
    put(time, c, ec::SelectInstrument, cell.instrument);
    if (note) put(time, c, ec::SelectSampleByNote, 0);
  }
  if (cell.note == kKeyOff) {
    put(time, c, ec::ClearVoiceFlags, 2);
  } else if (cell.note == kFadeOut) {
    put(time, c, ec::SetVoiceFlags, 4);  // the fade-out runs, the key stays held
  } else {
    // An instrument number alone takes the key again and brings back the sample's volume and
    // panning, unless the cell sets them.
    if (instrument) {
      put(time, c, ec::SetVoiceFlags, 3);
      put(time, c, ec::ResetModulators, 0);
      if (cell.volume == kUnset) put(time, c, ec::ResetVolume, 0);
      if (cell.panning == kNoPanning) put(time, c, ec::ResetPanning, 0);
    }
    if (note) {
      put(time, c, ec::SetPitch, cell.note);
      if (cell.sampleOffset != kNoStart) put(time, c, ec::StartSample, cell.sampleOffset | startFlags_);
      if (!instrument) {
        put(time, c, ec::SelectSampleByNote, 0);
        put(time, c, ec::SetVoiceFlags, extended_ ? 3 : 1);
        if (extended_) put(time, c, ec::ResetModulators, 0);
      }
    }
  }

  if (cell.globalVolume != kUnset) put(time, c, ec::SetGlobalVolume, cell.globalVolume);
  if (cell.volume != kUnset) put(time, c, ec::SetVolume, cell.volume);
  if (cell.volumeAdd != 0) put(time, c, ec::AddVolume, cell.volumeAdd);
  if (cell.pitchAdd != 0) put(time, c, ec::AddPitch, cell.pitchAdd);
  if (cell.panning != kNoPanning) put(time, c, ec::SetPanning, cell.panning);
  if (cell.noteAction != kUnset) put(time, c, ec::SetNoteAction, cell.noteAction);
  if (cell.envelopeSwitch != kUnset) put(time, c, ec::SwitchEnvelopes, cell.envelopeSwitch);
}

}  // namespace

int32_t DecodePattern(const uint8_t* data, int32_t size, const PatternLayout& layout, Event* events) {
  if (events == nullptr) return 0;
  ByteCursor cursor{data, data != nullptr ? std::max(size, 0) : 0};
  Decoder decoder(layout, events);
  return decoder.run(&cursor);
}

int16_t DecodeIntoSlot(const uint8_t* data, int32_t size, const PatternLayout& layout, Event* scratch,
                       int64_t* eventAllowance, Event** slot) {
  constexpr int32_t kBlockMarker = static_cast<int32_t>(0x80000000u);  // first record of a block pattern
  scratch[0] = Event{nullptr, 0, 0, 0, kScratchCapacity};
  const int32_t count = DecodePattern(data, size, layout, scratch);
  if (count > *eventAllowance) return kStatusWrongFormat;
  *eventAllowance -= count;
  Event* block = nullptr;
  if (count <= kScratchCapacity) {
    scratch[0].param = 0;  // the header becomes the pattern's head record
    block = NewPatternBlock(scratch, count);
    if (block == nullptr) return kStatusOutOfMemory;
  } else {
    block = static_cast<Event*>(ZeroAllocArray(count, static_cast<int32_t>(sizeof(Event))));
    if (block == nullptr) return kStatusOutOfMemory;
    block[0].param = count;
    DecodePattern(data, size, layout, block);
    block[0].param = kBlockMarker;
  }
  *slot = block;
  return kStatusOk;
}

}  // namespace tvp::xm
