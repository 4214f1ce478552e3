// The S3M pattern decoder: packed rows of cells become engine events, one short run per note,
// instrument, volume and effect, with the continuous effects turned into switches that the
// engine carries from tick to tick. Periods are Amiga periods x 4.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>

#include "soundtrack/s3m_internal.h"

namespace tvp::s3m {

namespace {

constexpr int32_t kPeriodEntries = 128;
constexpr uint8_t kNoteCut = 254;
constexpr uint8_t kNoNote = 255;
constexpr int32_t kFlowReset = static_cast<int32_t>(kFlowResetBit);

// Per-channel switch flags: set while the engine has that continuous effect on for the
// channel, so that it is switched off in the first row that does not use it.
constexpr uint8_t kHadCell = 0x01;
constexpr uint8_t kArpeggioOn = 0x02;
constexpr uint8_t kVibratoOn = 0x04;
constexpr uint8_t kPeriodSlideOn = 0x10;
constexpr uint8_t kVolumeSlideOn = 0x20;
constexpr uint8_t kTremorGate = 0x40;   // a tremor's muting gate may still be shut
constexpr uint8_t kAllSwitches = 0x3E;  // a pattern starts with these; only a tremor shuts a gate

constexpr int32_t kSlideToTarget = 1;
constexpr int32_t kSlideRise = 8;
constexpr int32_t kSlideFall = 0x10;

// Tremor mutes a voice through its tremolo unit, which nothing else in an S3M song switches on
// (R is not translated): the positive half-square read at phase 0 (the phase never moves, as no
// S3M event sets a tremolo speed) times a depth of at least -1.0 takes the whole volume away,
// while the channel volume, its limits and the sample's position stay as they are.
constexpr int32_t kPositiveHalfSquare = 5;
constexpr int32_t kMutingDepth = -0x10000;  // per tick of the row; the engine multiplies by speed - 1

// The Amiga period of entry i: 6841 x 2^((12 - i) / 12), rounded to nearest with halves to even
// (entry 12 is 6841, entry 24 is 3420); entry 0 is 0.
const std::array<uint16_t, kPeriodEntries>& PeriodTable() {
  static const std::array<uint16_t, kPeriodEntries> table = [] {
    std::array<uint16_t, kPeriodEntries> t{};
    for (int32_t i = 1; i < kPeriodEntries; ++i) {
      double v = 6841.0 * std::exp2((12 - i) / 12.0);
      double whole = std::floor(v);
      double part = v - whole;
      if (part > 0.5 || (part == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
      t[i] = static_cast<uint16_t>(whole);
    }
    return t;
  }();
  return table;
}

}  // namespace

// One cell's bytes; -1 where the cell has none.
struct Cell {
  int32_t channel = 0;
  int32_t note = -1;        // note byte
  int32_t instrument = -1;  // instrument byte
  int32_t volume = -1;
  int32_t effect = -1;  // effect byte
  int32_t param = 0;
};

// What one cell asks for besides the events it emits at once; turned into events in a fixed
// order once the effect is read.
struct CellRequests {
  bool arpeggio = false;
  int32_t arpeggioFirst = 0;
  int32_t arpeggioSecond = 0;
  bool volumeSlide = false;
  bool volumeSlideGiven = false;
  int32_t volumeSlideSpeed = 0;
  int32_t volumeSlideTarget = 0;
  int32_t slideMode = 0;
  int32_t slideSpeed = 0;  // 0: not given
  bool slideTargetGiven = false;
  int32_t slideTarget = 0;
  bool noteIsTarget = false;
  bool vibrato = false;
  int32_t vibratoSpeed = 0;  // 0: not given
  int32_t vibratoDepth = 0;
  int32_t tremorOn = 0;  // ticks; both non-zero for a tremor
  int32_t tremorOff = 0;
  int32_t sampleOffset = 0;  // frames
};

namespace {

// The letter of an effect byte, or 0 for none.
char LetterOf(int32_t effect) {
  int32_t letter = effect + 0x40;
  return effect >= 0 && letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter) : 0;
}

void SlideToTarget(CellRequests* r, int32_t period) {
  r->slideMode = kSlideToTarget;
  if (period != 0) {
    r->slideTargetGiven = true;
    r->slideTarget = period;
    r->noteIsTarget = true;
  }
}

}  // namespace

void PatternDecoder::decode(const uint8_t* packed, int32_t size) {
  scratch_[0] = {nullptr, 0, 0, EventCode::Nothing, kScratchRecords};
  count_ = 0;
  std::fill(std::begin(flags_), std::end(flags_), kAllSwitches);
  std::memset(memory_, 0, sizeof memory_);
  loopStart_ = 0;
  lastRow_ = -1;
  ByteCursor cursor{packed, size};
  for (int32_t row = 0; row < kRows && !cursor.atEnd(); ++row) {
    decodeRow(&cursor, row);
    lastRow_ = row;
  }
}

Event* PatternDecoder::finish() {
  // A tremor gate left shut at the last decoded row opens at the next row, or, past the
  // last row, through the voice-effect reset of the closing NextPlayPosition.
  bool gateLeftShut = false;
  for (int32_t c = 0; c < kChannels; ++c) {
    if (!(flags_[c] & kTremorGate)) continue;
    if (lastRow_ + 1 < kRows) emit((lastRow_ + 1) * 256, c, EventCode::Tremolo, 0);
    else gateLeftShut = true;
  }
  scratch_[count_ + 1] = {nullptr, kRows * 256, 0, EventCode::NextPlayPosition, gateLeftShut ? kFlowReset : 0};
  SortEvents(scratch_, 1, count_);
  return NewPatternBlock(scratch_, count_ + 2);
}

// Events past the scratch array's room are dropped; one record stays for NextPlayPosition.
void PatternDecoder::emit(int32_t time, int32_t channel, int32_t code, int32_t param) {
  if (count_ >= kScratchRecords - 2) return;
  ++count_;
  PutEvent(scratch_, count_, time, channel, code, param);
}

void PatternDecoder::decodeRow(ByteCursor* cursor, int32_t row) {
  const int32_t T = row * 256;
  rowFirstEvent_ = count_ + 1;
  speedRequest_ = tempoRequest_ = -1;
  lastCellTime_ = T;
  while (!cursor->atEnd()) {
    uint8_t b = cursor->u8();
    if (b == 0) break;
    Cell cell;
    cell.channel = b & 0x1F;
    if (b & 0x20) {
      cell.note = cursor->u8();
      cell.instrument = cursor->u8();
    }
    if (b & 0x40) cell.volume = cursor->u8() & 0x7F;
    if (b & 0x80) {
      cell.effect = cursor->u8();
      cell.param = cursor->u8();
    }
    if (cursor->overrun) break;  // a cell cut off by the end of the data is dropped
    decodeCell(T, cell);
  }
  endRow(T);
}

void PatternDecoder::decodeCell(int32_t T, const Cell& cell) {
  const int32_t c = cell.channel;
  const char letter = LetterOf(cell.effect);
  int32_t xy = cell.param;
  if (letter != 0) {
    uint8_t& remembered = memory_[c][letter - 'A'];
    if (xy == 0 && std::strchr("DEFGOQ", letter) != nullptr) xy = remembered;
    else if (xy != 0) remembered = static_cast<uint8_t>(xy);
  }
  if (header_.channels[c] & kChannelDisabled) return;

  const int32_t x = xy >> 4;
  const int32_t y = xy & 0x0F;
  const int32_t time = letter == 'S' && x == 0xD ? T + y : T;  // SDx delays the cell
  lastCellTime_ = time;

  // The period of the note, 0 for none. Note bytes outside the table are no note.
  bool cut = cell.note == kNoteCut;
  int32_t period = 0;
  if (cell.note >= 0 && !cut && cell.note != kNoNote) {
    int32_t index = (cell.note >> 4) * 12 + 12 + (cell.note & 0x0F);
    if (index < kPeriodEntries) period = PeriodTable()[index] * 4;
  }

  CellRequests r;
  switch (letter) {
    case 'A':  // speed, set at the end of the row
      speedRequest_ = xy;
      break;
    case 'B':  // position jump: file positions are play positions minus 1
      emit(T, 0, EventCode::PositionJump, xy + 1);
      break;
    case 'C':  // pattern break to the row written in decimal digits
      emit(T, 0, EventCode::PatternBreak, ((x * 10 + y) * 256) | kFlowReset);
      break;
    case 'D':  // volume slide, fine volume slides
      volumeSlide(&r, T, c, x, y);
      break;
    case 'E':  // portamento down: the period rises
      periodSlide(&r, T, c, xy, 1, kSlideRise, EventCode::PeriodRiseSpeed);
      break;
    case 'F':  // portamento up: the period falls
      periodSlide(&r, T, c, xy, -1, kSlideFall, EventCode::PeriodFallSpeed);
      break;
    case 'G':  // tone portamento: a note in the cell is the target, not played
      SlideToTarget(&r, period);
      r.slideSpeed = xy * 8;
      break;
    case 'H':  // vibrato
      r.vibrato = true;
      r.vibratoSpeed = x * 16;
      r.vibratoDepth = y * 8;
      break;
    case 'I':  // tremor: x ticks on, y ticks off
      r.tremorOn = x;
      r.tremorOff = y;
      break;
    case 'J':  // arpeggio, also J00
      r.arpeggio = true;
      r.arpeggioFirst = x * 256;
      r.arpeggioSecond = y * 256;
      break;
    case 'K':  // vibrato going on, plus a volume slide
      r.vibrato = true;
      volumeSlide(&r, T, c, x, y);
      break;
    case 'L':  // tone portamento going on, plus a volume slide
      SlideToTarget(&r, period);
      volumeSlide(&r, T, c, x, y);
      break;
    case 'O':  // sample offset in units of 256 frames
      r.sampleOffset = xy * 256;
      break;
    case 'Q':  // retrigger every y ticks with a volume change
      retrigger(T, c, x, y);
      break;
    case 'S':
      special(T, c, x, y);
      break;
    case 'T':  // tempo, set at the end of the row
      tempoRequest_ = xy;
      break;
    case 'U':  // fine vibrato
      r.vibrato = true;
      r.vibratoSpeed = x * 16;
      r.vibratoDepth = y * 2;
      break;
    case 'X':  // panning 0..0x80 from left to right (stereo songs only); above 0x80 stays right
      if (header_.stereo) emit(T, c, EventCode::SetPanning, std::min(xy * 64 - 4096, 4096));
      break;
    default:  // no effect, and the letters not translated (R tremolo, V global volume, ...)
      break;
  }

  emitRequests(T, time, cell, r, cut, period);
}

// Dxy, and the volume slide half of K and L: fine slides change the volume once, at the row's
// first tick; D00 goes on with the slide the engine ran last.
void PatternDecoder::volumeSlide(CellRequests* r, int32_t T, int32_t c, int32_t x, int32_t y) {
  if (x == 0 && y == 0) {
    r->volumeSlide = true;
  } else if (x == 0xF && y == 0xF) {
    emit(T, c, EventCode::AddVolume, 15 * 1024);
  } else if (y == 0xF && x != 0) {
    emit(T, c, EventCode::AddVolume, x * 1024);
  } else if (x == 0xF && y != 0) {
    emit(T, c, EventCode::AddVolume, -y * 1024);
  } else {
    r->volumeSlide = true;
    r->volumeSlideGiven = true;
    r->volumeSlideSpeed = (x != 0 ? x : y) * 1024;
    r->volumeSlideTarget = x != 0 ? 0x10000 : 0;
  }
}

// Exx and Fxx: Fx a fine slide by x x 4 periods, Ex an extra fine one by x; otherwise a
// slide at xx x 4 periods a tick; 00 goes on at the last speed.
void PatternDecoder::periodSlide(CellRequests* r, int32_t T, int32_t c, int32_t xy, int32_t sign, int32_t mode, int32_t speedCode) {
  const int32_t x = xy >> 4;
  const int32_t y = xy & 0x0F;
  if (xy != 0 && x == 0xF) {
    emit(T, c, EventCode::AddPeriod, sign * y * 8);
  } else if (xy != 0 && x == 0xE) {
    emit(T, c, EventCode::AddPeriod, sign * y * 2);
  } else {
    if (xy != 0) emit(T, c, speedCode, xy * 8);
    r->slideMode = mode;
  }
}

void PatternDecoder::retrigger(int32_t T, int32_t c, int32_t x, int32_t y) {
  if (y == 0) return;
  for (int32_t t = y; t < 32; t += y) {
    emit(T + t, c, EventCode::StartSample, 0);
    emit(T + t, c, EventCode::SetVoiceFlags, 1);
    if (x >= 1 && x <= 5) emit(T + t, c, EventCode::AddVolume, -x * 1024);
    else if (x == 6) emit(T + t, c, EventCode::ScaleVolume, 0xAAAB);
    else if (x == 7) emit(T + t, c, EventCode::ScaleVolume, 0x8000);
    else if (x >= 9 && x <= 0xD) emit(T + t, c, EventCode::AddVolume, (x - 8) * 1024);
    else if (x == 0xE) emit(T + t, c, EventCode::ScaleVolume, 0x18000);
    else if (x == 0xF) emit(T + t, c, EventCode::ScaleVolume, 0x20000);
  }
}

void PatternDecoder::special(int32_t T, int32_t c, int32_t x, int32_t y) {
  switch (x) {
    case 0x3:  // vibrato waveform
      emit(T, c, EventCode::PeriodVibratoWaveform, WaveformForNibble(y));
      break;
    case 0x4:  // tremolo waveform
      emit(T, c, EventCode::TremoloWaveform, WaveformForNibble(y));
      break;
    case 0x8:  // panning 0..15 (stereo songs only)
      if (header_.stereo) emit(T, c, EventCode::SetPanning, PanningOf(y));
      break;
    case 0xB:  // pattern loop: SB0 marks the start, SBx repeats x times
      if (y == 0) {
        loopStart_ = T;
      } else {
        if (y != 1) emit(T, 0, EventCode::LoopCount, y);
        emit(T, 0, EventCode::LoopBack, loopStart_ | kFlowReset);
      }
      break;
    case 0xC:  // note cut after y ticks
      emit(T + y, c, EventCode::SetVolume, 0);
      break;
    case 0xE:  // pattern delay by y rows
      emit(T, 0, EventCode::PatternDelay, y * 256);
      break;
    default:  // SDx moves the cell's time; the others are not translated
      break;
  }
}

// The switch events, the note, the instrument and the volume of one cell, at its time.
void PatternDecoder::emitRequests(int32_t T, int32_t time, const Cell& cell, const CellRequests& r, bool cut, int32_t period) {
  const int32_t c = cell.channel;
  uint8_t& flags = flags_[c];
  if (r.arpeggio) {
    emit(time, c, EventCode::Arpeggio, 1);
    emit(time, c, EventCode::ArpeggioFirst, r.arpeggioFirst);
    emit(time, c, EventCode::ArpeggioSecond, r.arpeggioSecond);
    flags |= kArpeggioOn;
  } else if (switchOff(c, kArpeggioOn)) {
    emit(time, c, EventCode::Arpeggio, 0);
  }
  if (r.volumeSlide) {
    if (r.volumeSlideGiven) {
      emit(time, c, EventCode::VolumeSlideSpeed, r.volumeSlideSpeed);
      emit(time, c, EventCode::VolumeSlideTarget, r.volumeSlideTarget);
    }
    emit(time, c, EventCode::VolumeSlide, 1);
    flags |= kVolumeSlideOn;
  } else if (switchOff(c, kVolumeSlideOn)) {
    emit(time, c, EventCode::VolumeSlide, 0);
  }
  if (r.slideMode != 0) {
    if (r.slideSpeed != 0) emit(time, c, EventCode::PeriodSlideSpeed, r.slideSpeed);
    if (r.slideTargetGiven) emit(time, c, EventCode::PeriodSlideTarget, r.slideTarget);
    emit(time, c, EventCode::PeriodSlide, r.slideMode);
    flags |= kPeriodSlideOn;
  } else if (switchOff(c, kPeriodSlideOn)) {
    emit(time, c, EventCode::PeriodSlide, 0);
  }
  if (r.vibrato) {
    emit(time, c, EventCode::PeriodVibrato, 1);
    if (r.vibratoSpeed != 0) emit(time, c, EventCode::PeriodVibratoSpeed, r.vibratoSpeed);
    if (r.vibratoDepth != 0) emit(time, c, EventCode::PeriodVibratoDepth, r.vibratoDepth);
    flags |= kVibratoOn;
  } else if (switchOff(c, kVibratoOn)) {
    emit(time, c, EventCode::PeriodVibrato, 0);
  }

  if (cut) {
    // A note cut stops the voice; only a new note starts it again.
    emit(time, c, EventCode::ClearVoiceFlags, 1);
  } else if (period != 0 && !r.noteIsTarget) {
    emit(time, c, EventCode::SetPeriod, period);
    emit(time, c, EventCode::StartSample, r.sampleOffset | kStartResetsModulators);
    emit(time, c, EventCode::SetVoiceFlags, 1);
  }
  const int32_t slot = cell.instrument - 1;
  if (!cut && slot >= 0 && slot < header_.instruments) {
    emit(time, c, EventCode::SelectSample, slot);
    if (cell.volume < 0) emit(time, c, EventCode::ResetVolume, 0);
  }
  if (cell.volume >= 0) emit(time, c, EventCode::SetVolume, cell.volume * 1024);

  tremor(T, c, r.tremorOn, r.tremorOff);
  flags |= kHadCell;
}

// The tremor's gate opens at the row's first tick and then shuts after x ticks and opens
// again after y more, over and over. A gate left shut when its row ends (its step past the
// row's last tick) opens in the next row.
void PatternDecoder::tremor(int32_t T, int32_t c, int32_t on, int32_t off) {
  if (switchOff(c, kTremorGate)) emit(T, c, EventCode::Tremolo, 0);
  if (on == 0 || off == 0) return;
  // The depth is taken per tick of the row, so it is set at the first shut step, once the
  // row's speed holds.
  emit(T + on, c, EventCode::TremoloWaveform, kPositiveHalfSquare);
  emit(T + on, c, EventCode::TremoloDepth, kMutingDepth);
  for (int32_t t = on; t < 32;) {
    emit(T + t, c, EventCode::Tremolo, 1);
    flags_[c] |= kTremorGate;
    t += off;
    if (t >= 32) break;
    emit(T + t, c, EventCode::Tremolo, 0);
    t += on;
  }
}

bool PatternDecoder::switchOff(int32_t c, uint8_t flag) {
  bool wasOn = (flags_[c] & flag) != 0;
  flags_[c] &= static_cast<uint8_t>(~flag);
  return wasOn;
}

void PatternDecoder::endRow(int32_t T) {
  if (speedRequest_ >= 0) emit(lastCellTime_, 0, EventCode::SetSpeed, speedRequest_);
  if (tempoRequest_ >= 0) emit(lastCellTime_, 0, EventCode::SetTempo, tempoRequest_);
  bool gateShut = false;
  for (int32_t c = 0; c < kChannels; ++c) {
    if (header_.channels[c] & kChannelDisabled) continue;
    if (flags_[c] & kHadCell) {
      flags_[c] &= static_cast<uint8_t>(~kHadCell);
      gateShut |= (flags_[c] & kTremorGate) != 0;
      continue;
    }
    if (flags_[c] & kArpeggioOn) emit(T, c, EventCode::Arpeggio, 0);
    if (flags_[c] & kVolumeSlideOn) emit(T, c, EventCode::VolumeSlide, 0);
    if (flags_[c] & kPeriodSlideOn) emit(T, c, EventCode::PeriodSlide, 0);
    if (flags_[c] & kVibratoOn) emit(T, c, EventCode::PeriodVibrato, 0);
    if (flags_[c] & kTremorGate) emit(T, c, EventCode::Tremolo, 0);
    flags_[c] = 0;
  }
  // A position jump leaves the pattern before the next row could open a shut gate: it resets
  // the voices' effects instead, which the next pattern's first row would switch anyway.
  if (gateShut) {
    for (int32_t i = rowFirstEvent_; i <= count_; ++i) {
      if (scratch_[i].code == EventCode::PositionJump) scratch_[i].param |= kFlowReset;
    }
  }
}

}  // namespace tvp::s3m
