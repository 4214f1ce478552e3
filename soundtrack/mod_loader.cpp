// The MOD loader: ProTracker-style modules with 31 samples and a 4-byte signature at 1080.
// Every cell is translated here, once, into engine events: pitch runs through the period group
// in units of the Amiga period x 4, and continuous effects become on/off switches that the
// engine carries from tick to tick. Multi-byte fields are big-endian.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "soundtrack/adpcm.h"
#include "soundtrack/byte_reader.h"
#include "soundtrack/event_codes.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {

namespace {

constexpr int32_t kHeaderSize = 1084;
constexpr int32_t kTitleLength = 20;
constexpr int32_t kSampleSlots = 31;
constexpr int32_t kSampleHeadersOffset = 20;
constexpr int32_t kSampleHeaderSize = 30;
constexpr int32_t kSongLengthOffset = 950;
constexpr int32_t kOrderOffset = 952;
constexpr int32_t kOrderEntries = 128;
constexpr int32_t kSignatureOffset = 1080;
constexpr int32_t kRows = 64;
constexpr int32_t kCellSize = 4;
// The decoder keeps per-channel state for kMaxModuleChannels channels; wider files are refused.
constexpr int32_t kMaxChannels = kMaxModuleChannels;
constexpr int32_t kScratchRecords = 16384;
// Pattern events a file may make: a base plus so many per byte of file. A cell of four bytes can
// ask for about 70 events (E91 retriggers on every tick), so narrow patterns full of them would
// otherwise take hundreds of times the file's size; honest files stay far inside it.
constexpr int64_t kEventBase = int64_t{1} << 20;
constexpr int64_t kEventsPerByte = 4;
constexpr int32_t kFlowReset = static_cast<int32_t>(kFlowResetBit);

// Per-channel switch flags: set while the engine has that continuous effect on.
constexpr uint8_t kArpeggioOn = 0x02;
constexpr uint8_t kVibratoOn = 0x04;
constexpr uint8_t kTremoloOn = 0x08;
constexpr uint8_t kPeriodSlideOn = 0x10;
constexpr uint8_t kVolumeSlideOn = 0x20;
constexpr uint8_t kAllSwitches = 0x3E;

// Period slide modes of PeriodSlide.
constexpr int32_t kSlideToTarget = 1;
constexpr int32_t kSlideRise = 8;
constexpr int32_t kSlideFall = 0x10;

// Sample rate (16.16 Hz at the base note) by fine-tune nibble: 8287.137 Hz x 2^(f/96) for the
// signed fine-tune f (nibbles 8..15 are -8..-1).
constexpr uint32_t kFineTuneRates[16] = {
    543105804, 547041373, 551005460, 554998273, 559020019, 563070909, 567151153, 571260964,
    512623618, 516338300, 520079900, 523848613, 527644636, 531468167, 535319404, 539198549,
};

// A loop must keep at least two frames (bytes of 16-bit data) once cut to the data.
constexpr int32_t kShortestLoop = 4;

const uint8_t* SampleHeader(const uint8_t* header, int32_t slot) {
  return header + kSampleHeadersOffset + slot * kSampleHeaderSize;
}
int32_t SampleWords(const uint8_t* header, int32_t slot) { return ReadU16BE(SampleHeader(header, slot) + 22); }

// The channel count a signature announces; 0 when the bytes are no MOD signature.
// The signatures trackers write, with the channels they announce. "FLT8" stores eight channels
// as pairs of four-channel patterns; it is read as four.
struct Signature {
  char text[5];
  int32_t channels;
};
constexpr Signature kSignatures[] = {
    {"M.K.", 4}, {"M!K!", 4}, {"M&K!", 4}, {"FLT4", 4}, {"FLT8", 4}, {"FEST", 4}, {"CD61", 6}, {"CD81", 8},
    {"OKTA", 8}, {"OCTA", 8}, {"TDZ1", 1}, {"TDZ2", 2}, {"TDZ3", 3}, {"FA04", 4}, {"FA06", 6}, {"FA08", 8}};

int32_t ChannelsOfSignature(const uint8_t* s) {
  for (const Signature& signature : kSignatures)
    if (std::memcmp(s, signature.text, 4) == 0) return signature.channels;
  if (s[1] == 'C' && s[2] == 'H' && s[3] == 'N') return s[0] - '0';
  if (s[2] == 'C' && s[3] == 'H') return (s[0] - '0') * 10 + (s[1] - '0');
  return 0;
}

// Where the patterns start: Digital Tracker ("FA0x") writes four bytes more after the signature.
int64_t PatternsStart(const uint8_t* header) {
  const uint8_t* s = header + kSignatureOffset;
  return kHeaderSize + (s[0] == 'F' && s[1] == 'A' && s[2] == '0' ? 4 : 0);
}

// What one cell asks for besides the events it emits at once; turned into events in a fixed
// order once the effect is read.
struct CellRequests {
  int32_t time = 0;  // T': the row's time, moved by EDx
  bool arpeggio = false;
  int32_t arpeggioFirst = 0;
  int32_t arpeggioSecond = 0;
  bool volumeSlide = false;
  bool volumeSlideGiven = false;
  int32_t volumeSlideSpeed = 0;
  int32_t volumeSlideTarget = 0;
  int32_t slideMode = 0;
  bool slideSpeedGiven = false;
  int32_t slideSpeed = 0;
  bool slideTargetGiven = false;
  int32_t slideTarget = 0;
  bool vibrato = false;
  int32_t vibratoSpeed = 0;  // 0: not given
  int32_t vibratoDepth = 0;
  bool tremolo = false;
  int32_t tremoloSpeed = 0;
  int32_t tremoloDepth = 0;
  int32_t sampleOffset = 0;  // frames
  int32_t fineTune = -1;     // E5x: the row's note takes this fine-tune nibble, -1 none
  bool volumeGiven = false;
  int32_t volume = 0;
};

// Decodes one pattern at a time into a scratch array of events, then makes the sorted block.
class PatternDecoder {
 public:
  // `fineTunes`: the 31 samples' fine-tune nibbles.
  PatternDecoder(Event* scratch, int32_t channels, const uint8_t* fineTunes)
      : scratch_(scratch), channels_(channels), fineTunes_(fineTunes) {}

  void begin() {
    scratch_[0] = {nullptr, 0, 0, EventCode::Nothing, kScratchRecords};
    count_ = 0;
    std::fill(std::begin(flags_), std::end(flags_), kAllSwitches);
    std::fill(std::begin(lastSample_), std::end(lastSample_), 0);
  }

  void decodeRow(int32_t row, const uint8_t* cells) {
    for (int32_t channel = 0; channel < channels_; ++channel) {
      decodeCell(row, channel, ReadU32BE(cells + channel * kCellSize));
    }
  }

  // Records the block will take.
  int32_t events() const { return count_ + 2; }

  // The pattern as one block, or null when memory is short.
  Event* finish() {
    // The last record is kept for this, so a full scratch array still leaves the pattern.
    scratch_[count_ + 1] = {nullptr, kRows * 256, 0, EventCode::NextPlayPosition, 0};
    SortEvents(scratch_, 1, count_);
    return NewPatternBlock(scratch_, count_ + 2);
  }

 private:
  // Events past the scratch array's room are dropped; one record stays for NextPlayPosition.
  void emit(int32_t time, int32_t channel, int32_t code, int32_t param) {
    if (count_ >= kScratchRecords - 2) return;
    ++count_;
    PutEvent(scratch_, count_, time, channel, code, param);
  }

  // A switch goes on in row 0 (the engine may still run it from the previous pattern with other
  // values) or when it is off; it goes off only when it is on.
  bool switchOn(int32_t channel, uint8_t flag, int32_t row) {
    bool wasOff = (flags_[channel] & flag) == 0;
    flags_[channel] |= flag;
    return row == 0 || wasOff;
  }
  bool switchOff(int32_t channel, uint8_t flag) {
    bool wasOn = (flags_[channel] & flag) != 0;
    flags_[channel] &= static_cast<uint8_t>(~flag);
    return wasOn;
  }

  static void requestVolumeSlide(CellRequests* r, int32_t x, int32_t y) {
    r->volumeSlide = true;
    if (x == 0 && y == 0) return;  // A00 goes on with the last slide
    r->volumeSlideGiven = true;
    r->volumeSlideSpeed = (x != 0 ? x : y) * 1024;
    r->volumeSlideTarget = x != 0 ? 0x10000 : 0;
  }

  static void requestSlideToTarget(CellRequests* r, int32_t period) {
    r->slideMode = kSlideToTarget;
    if (period != 0) {
      r->slideTargetGiven = true;
      r->slideTarget = period * 4;
    }
  }

  void decodeCell(int32_t row, int32_t channel, uint32_t w) {
    const int32_t period = static_cast<int32_t>((w >> 16) & 0xFFF);
    const int32_t sample = static_cast<int32_t>(((w >> 24) & 0xF0) + ((w >> 12) & 0x0F));
    const int32_t effect = static_cast<int32_t>((w >> 8) & 0x0F);
    const int32_t xy = static_cast<int32_t>(w & 0xFF);
    const int32_t x = xy >> 4;
    const int32_t y = xy & 0x0F;
    const int32_t T = row * 256;
    CellRequests r;
    r.time = T;
    const int32_t c = channel;

    switch (effect) {
      case 0x0:  // arpeggio: offsets in semitones
        if (xy != 0) {
          r.arpeggio = true;
          r.arpeggioFirst = x * 256;
          r.arpeggioSecond = y * 256;
        }
        break;
      case 0x1:  // portamento up: the period falls
        r.slideMode = kSlideFall;
        if (xy != 0) emit(T, c, EventCode::PeriodFallSpeed, xy * 4);
        break;
      case 0x2:  // portamento down: the period rises
        r.slideMode = kSlideRise;
        if (xy != 0) emit(T, c, EventCode::PeriodRiseSpeed, xy * 4);
        break;
      case 0x3:  // tone portamento: a period in the cell is the target, not a note
        requestSlideToTarget(&r, period);
        if (xy != 0) {
          r.slideSpeedGiven = true;
          r.slideSpeed = xy * 4;
        }
        break;
      case 0x5:  // tone portamento going on, plus a volume slide
        requestSlideToTarget(&r, period);
        requestVolumeSlide(&r, x, y);
        break;
      case 0x4:  // vibrato
        r.vibrato = true;
        r.vibratoSpeed = x * 16;
        r.vibratoDepth = y * 8;
        break;
      case 0x6:  // vibrato going on, plus a volume slide
        r.vibrato = true;
        requestVolumeSlide(&r, x, y);
        break;
      case 0x7:  // tremolo
        r.tremolo = true;
        r.tremoloSpeed = x * 16;
        r.tremoloDepth = y * 1024;
        break;
      case 0x8:  // panning 0..0x80 from left to right; above 0x80 stays right
        emit(T, c, EventCode::SetPanning, std::min(xy * 64 - 4096, 4096));
        break;
      case 0x9:  // sample offset in units of 256 frames
        r.sampleOffset = xy * 256;
        break;
      case 0xA:  // volume slide
        requestVolumeSlide(&r, x, y);
        break;
      case 0xB:  // position jump: file positions are play positions minus 1
        emit(T, 0, EventCode::PositionJump, (xy + 1) | kFlowReset);
        break;
      case 0xC:  // volume 0..64
        r.volumeGiven = true;
        r.volume = xy * 1024;
        break;
      case 0xD: {  // pattern break: the row is written in decimal digits
        int32_t target = x * 10 + y;
        if (target > kRows - 1) target = 0;
        emit(T, 0, EventCode::PatternBreak, (target * 256) | kFlowReset);
        break;
      }
      case 0xE:
        decodeExtended(&r, c, x, y);
        break;
      case 0xF:  // F00 gives speed 0, which the engine ignores
        emit(T, 0, xy < 0x20 ? EventCode::SetSpeed : EventCode::SetTempo, xy);
        break;
    }

    emitRequests(r, row, c, period, sample);
  }

  void decodeExtended(CellRequests* r, int32_t c, int32_t x, int32_t y) {
    const int32_t T = r->time;
    switch (x) {
      case 0x1:  // fine portamento up
        emit(T, c, EventCode::AddPeriod, -y * 4);
        break;
      case 0x2:  // fine portamento down
        emit(T, c, EventCode::AddPeriod, y * 4);
        break;
      case 0x4:
        emit(T, c, EventCode::PeriodVibratoWaveform, WaveformForNibble(y));
        break;
      case 0x6:  // pattern loop: E60 marks the start as it plays, E6y repeats y times
        if (y == 0) {
          emit(T, c, EventCode::LoopStart, 0);
        } else {
          // Each channel loops on its own count, so loops in two channels both run out. Until
          // the channel plays an E60 in this pattern, the loop goes back to its first row; a
          // break into the middle of a loop passes its E60 by.
          if (y != 1) emit(T, c, EventCode::LoopCount, y);
          emit(T, c, EventCode::LoopBack, 0 | kFlowReset);
        }
        break;
      case 0x7:
        emit(T, c, EventCode::TremoloWaveform, WaveformForNibble(y));
        break;
      case 0x8:  // panning in sixteen steps
        emit(T, c, EventCode::SetPanning, y * 8192 / 15 - 4096);
        break;
      case 0x9:  // retrigger every y ticks, as far as the 32 ticks a row can hold
        if (y != 0) {
          for (int32_t t = 0; t < 32; t += y) {
            emit(T + t, c, EventCode::StartSample, 0);
            emit(T + t, c, EventCode::SetVoiceFlags, 1);
          }
        }
        break;
      case 0xA:  // fine volume up
        emit(T, c, EventCode::AddVolume, y * 1024);
        break;
      case 0xB:  // fine volume down
        emit(T, c, EventCode::AddVolume, -y * 1024);
        break;
      case 0xC:  // note cut after y ticks
        emit(T + y, c, EventCode::SetVolume, 0);
        break;
      case 0xD:  // note delay: everything of this cell moves y ticks
        r->time = T + y;
        break;
      case 0xE:  // pattern delay in rows
        emit(T, c, EventCode::PatternDelay, y * 256);
        break;
      case 0x5:  // fine-tune for the note on this row
        r->fineTune = y;
        break;
      default:  // filter, glissando, funk repeat: no engine counterpart
        break;
    }
  }

  void emitRequests(const CellRequests& r, int32_t row, int32_t c, int32_t period, int32_t sample) {
    const int32_t t = r.time;
    if (r.arpeggio) {
      if (switchOn(c, kArpeggioOn, row)) emit(t, c, EventCode::Arpeggio, 1);
      emit(t, c, EventCode::ArpeggioFirst, r.arpeggioFirst);
      emit(t, c, EventCode::ArpeggioSecond, r.arpeggioSecond);
    } else if (switchOff(c, kArpeggioOn)) {
      emit(t, c, EventCode::Arpeggio, 0);
    }

    if (r.volumeSlide) {
      if (r.volumeSlideGiven) {
        emit(t, c, EventCode::VolumeSlideSpeed, r.volumeSlideSpeed);
        emit(t, c, EventCode::VolumeSlideTarget, r.volumeSlideTarget);
      }
      if (switchOn(c, kVolumeSlideOn, row)) emit(t, c, EventCode::VolumeSlide, 1);
    } else if (switchOff(c, kVolumeSlideOn)) {
      emit(t, c, EventCode::VolumeSlide, 0);
    }

    // The slide's mode changes from cell to cell (rise, fall, toward a target), so it is sent
    // every time rather than only when the switch turns on.
    if (r.slideSpeedGiven) emit(t, c, EventCode::PeriodSlideSpeed, r.slideSpeed);
    if (r.slideTargetGiven) emit(t, c, EventCode::PeriodSlideTarget, r.slideTarget);
    if (r.slideMode != 0) {
      flags_[c] |= kPeriodSlideOn;
      emit(t, c, EventCode::PeriodSlide, r.slideMode);
    } else if (switchOff(c, kPeriodSlideOn)) {
      emit(t, c, EventCode::PeriodSlide, 0);
    }

    if (r.vibrato) {
      if (switchOn(c, kVibratoOn, row)) emit(t, c, EventCode::PeriodVibrato, 1);
      if (r.vibratoSpeed != 0) emit(t, c, EventCode::PeriodVibratoSpeed, r.vibratoSpeed);
      if (r.vibratoDepth != 0) emit(t, c, EventCode::PeriodVibratoDepth, r.vibratoDepth);
    } else if (switchOff(c, kVibratoOn)) {
      emit(t, c, EventCode::PeriodVibrato, 0);
    }

    if (r.tremolo) {
      if (switchOn(c, kTremoloOn, row)) emit(t, c, EventCode::Tremolo, 1);
      if (r.tremoloSpeed != 0) emit(t, c, EventCode::TremoloSpeed, r.tremoloSpeed);
      if (r.tremoloDepth != 0) emit(t, c, EventCode::TremoloDepth, r.tremoloDepth);
    } else if (switchOff(c, kTremoloOn)) {
      emit(t, c, EventCode::Tremolo, 0);
    }

    // A period taken as the slide's target is no note.
    if (period != 0 && !r.slideTargetGiven) {
      emit(t, c, EventCode::SetPeriod, FineTunedPeriod(period, sample >= 1 ? sample : lastSample_[c], r.fineTune));
      // An offset past the end of a looping sample plays its loop, as ProTracker does.
      emit(t, c, EventCode::StartSample, r.sampleOffset | kStartResetsModulators | kStartPastEndLoops);
      emit(t, c, EventCode::SetVoiceFlags, 1);
    }
    if (sample >= 1 && sample <= kSampleSlots) {
      lastSample_[c] = sample;
      emit(t, c, EventCode::SelectSample, sample - 1);
      if (!r.volumeGiven) emit(t, c, EventCode::ResetVolume, 0);
    }
    if (r.volumeGiven) emit(t, c, EventCode::SetVolume, r.volume);
  }

  Event* scratch_;
  int32_t channels_;
  int32_t count_ = 0;
  // The engine period (x4) of a note, played with fine-tune nibble `fineTune` (E5x) instead of
  // its sample's: the period scales by the ratio of the two rates. The sample is the cell's, else
  // the last one this pattern gave the channel; -1 asks for none.
  int32_t FineTunedPeriod(int32_t period, int32_t sample, int32_t fineTune) const {
    if (fineTune < 0) return period * 4;
    const int32_t own = sample >= 1 && sample <= kSampleSlots ? fineTunes_[sample - 1] : 0;
    return static_cast<int32_t>(int64_t{period} * 4 * kFineTuneRates[own] / kFineTuneRates[fineTune & 15]);
  }

  uint8_t flags_[kMaxChannels] = {};
  int32_t lastSample_[kMaxChannels] = {};
  const uint8_t* fineTunes_;
};

// One sample record per header whose length is above one word. Loops are checked against the
// data once it is read.
void BuildSamples(const uint8_t* header, Soundtrack* soundtrack) {
  for (int32_t slot = 0; slot < kSampleSlots; ++slot) {
    const uint8_t* h = SampleHeader(header, slot);
    int32_t words = ReadU16BE(h + 22);
    if (words <= 1) continue;
    Sample* sample = NewSample();
    if (sample == nullptr) continue;  // the slot stays empty and the load goes on
    int32_t repeatStart = ReadU16BE(h + 26);
    int32_t repeatLength = ReadU16BE(h + 28);
    sample->length = words * 4;  // bytes of 16-bit frames: two frames per word
    if (repeatLength > 1) {
      sample->loopMode = kLoopForward;
      sample->loopStart = repeatStart * 4;
      sample->loopEnd = (repeatStart + repeatLength) * 4;
      sample->loopLength = repeatLength * 4;
    } else {
      sample->loopEnd = kNoLoopEnd;
    }
    sample->volume = h[25] * 1024;
    sample->rate = kFineTuneRates[h[24] & 0x0F];
    sample->baseNote = 0x3C00;
    soundtrack->samples[slot] = sample;
  }
}

// Cuts a loop that reaches past the sample's data to it; a loop left without two whole frames
// is dropped, so the sample plays once.
void FitLoopToData(Sample* sample) {
  if (sample->loopMode == kLoopNone) return;
  if (sample->loopEnd > sample->length) sample->loopEnd = sample->length;
  if (sample->loopEnd - sample->loopStart < kShortestLoop) {
    sample->loopMode = kLoopNone;
    sample->loopStart = 0;
    sample->loopEnd = kNoLoopEnd;
    sample->loopLength = 0;
    return;
  }
  sample->loopLength = sample->loopEnd - sample->loopStart;
}

// The initial settings pattern of slot 0, built event by event.
int16_t BuildInitialSettings(Soundtrack* soundtrack, int32_t channels) {
  Event* head = NewEvent();
  if (head == nullptr) return kStatusOutOfMemory;
  soundtrack->patterns[0] = head;
  Event* last = head;
  auto append = [&last](int32_t channel, int32_t code, int32_t param) {
    if (last != nullptr) last = AppendEvent(last, 0, channel, code, param);
  };
  append(0, EventCode::SetSongMode, 0);
  append(0, EventCode::SetGlobalVolume, 0xE000);
  for (int32_t c = 0; c < channels; ++c) {
    append(c, EventCode::SetPanning, ((c + 1) & 2) != 0 ? 0x800 : -0x800);  // left, right, right, left
    append(c, EventCode::SetVolumeMax, 0x10000);
    append(c, EventCode::SetPeriodMin, 113 * 4);
    append(c, EventCode::SetPeriodMax, 856 * 4);
    append(c, EventCode::SetPitchMin, 0x3000);
    append(c, EventCode::SetPitchMax, 0x5300);
    append(c, EventCode::PeriodSlideSpeed, 0x7FFF);
  }
  append(0, EventCode::NextPlayPosition, 0);
  return last != nullptr ? kStatusOk : kStatusOutOfMemory;
}

int16_t BuildPatterns(ModuleFile* file, Soundtrack* soundtrack, int32_t channels, int64_t start,
                      const uint8_t* fineTunes) {
  int16_t status = FileSeek(file, kSeekFromStart, static_cast<int32_t>(start));
  if (status != 0) return status;
  Event* scratch = static_cast<Event*>(ZeroAllocArray(kScratchRecords, static_cast<int32_t>(sizeof(Event))));
  if (scratch == nullptr) return kStatusOutOfMemory;
  PatternDecoder decoder(scratch, channels, fineTunes);
  const int32_t rowSize = channels * kCellSize;
  uint8_t bytes[kRows * kMaxChannels * kCellSize];
  const int64_t eventBudget = kEventBase + kEventsPerByte * int64_t{FileLength(file)};
  int64_t events = 0;
  status = kStatusOk;
  for (int32_t slot = 1; slot < soundtrack->patternCount; ++slot) {
    if (FileRead(file, rowSize * kRows, bytes) < rowSize * kRows) {
      status = kStatusDataEnded;
      break;
    }
    decoder.begin();
    for (int32_t row = 0; row < kRows; ++row) decoder.decodeRow(row, bytes + row * rowSize);
    events += decoder.events();
    if (events > eventBudget) {
      status = kStatusWrongFormat;
      break;
    }
    soundtrack->patterns[slot] = decoder.finish();
    if (soundtrack->patterns[slot] == nullptr) {
      status = kStatusOutOfMemory;
      break;
    }
  }
  ZeroFree(scratch);
  return status;
}

// Reads up to `frames` signed 8-bit frames into `data` as 16-bit frames; the number read.
int32_t ReadFrames(ModuleFile* file, int16_t* data, int32_t frames) {
  uint8_t chunk[4096];
  int32_t done = 0;
  while (done < frames) {
    int32_t want = std::min<int32_t>(frames - done, sizeof chunk);
    int32_t got = FileRead(file, want, chunk);
    for (int32_t i = 0; i < got; ++i) data[done + i] = static_cast<int16_t>(ReadS8(chunk + i) * 256);
    done += got;
    if (got < want) break;
  }
  return done;
}

// Some trackers pack a sample in 4-bit ADPCM and mark it with "ADPCM" before its data.
constexpr int32_t kAdpcmMarkBytes = 5;

bool HoldsAdpcm(ModuleFile* file, int64_t offset) {
  uint8_t mark[kAdpcmMarkBytes];
  if (offset + kAdpcmMarkBytes > FileLength(file)) return false;
  if (FileSeek(file, kSeekFromStart, static_cast<int32_t>(offset)) != 0) return false;
  return FileRead(file, kAdpcmMarkBytes, mark) == kAdpcmMarkBytes && std::memcmp(mark, "ADPCM", kAdpcmMarkBytes) == 0;
}

// The bytes a sample of `words` words takes in the file.
int64_t StoredBytes(int32_t words, bool adpcm) {
  return adpcm ? kAdpcmMarkBytes + AdpcmBytes(int64_t{words} * 2) : int64_t{words} * 2;
}

// `frames` frames of ADPCM data from the file's position; a failed read leaves them silent.
void ReadAdpcm(ModuleFile* file, int16_t* data, int32_t frames) {
  const int32_t bytes = static_cast<int32_t>(AdpcmBytes(frames));
  auto* packed = static_cast<uint8_t*>(ZeroAlloc(bytes));
  if (packed != nullptr && FileRead(file, bytes, packed) == bytes) DecodeAdpcm(packed, bytes, frames, data);
  ZeroFree(packed);
}

// Sample data follows the patterns, one sample after another in slot order, one signed byte
// per frame (or ADPCM, marked). A sample is never allocated beyond the bytes the file still holds: what the end
// of the file cuts off is no part of the sample.
int16_t ReadSampleData(ModuleFile* file, const uint8_t* header, Soundtrack* soundtrack, int64_t offset) {
  const int64_t fileLength = FileLength(file);
  int16_t status = kStatusOk;
  for (int32_t slot = 0; slot < kSampleSlots; ++slot) {
    const int32_t words = SampleWords(header, slot);
    const bool adpcm = HoldsAdpcm(file, offset);
    const int64_t start = offset + (adpcm ? kAdpcmMarkBytes : 0);
    // A one-word sample has no record, but its two bytes are there: skipping them keeps the
    // samples after it in place.
    offset += StoredBytes(words, adpcm);
    Sample* sample = soundtrack->samples[slot];
    if (sample == nullptr || sample->length < 2) continue;
    const int64_t present = std::max<int64_t>(fileLength - start, 0);
    const int32_t frames =
        static_cast<int32_t>(std::clamp<int64_t>(adpcm ? AdpcmFrames(present) : present, 0, sample->length / 2));
    int16_t* data = frames > 0 ? static_cast<int16_t*>(ZeroAllocArray(frames, 2)) : nullptr;
    if (data != nullptr && FileSeek(file, kSeekFromStart, static_cast<int32_t>(start)) == 0) {
      if (adpcm) {
        ReadAdpcm(file, data, frames);
      } else {
        ReadFrames(file, data, frames);  // a short read leaves the rest silent
      }
    }
    sample->data = data;
    sample->length = data != nullptr ? frames * 2 : 0;
    FitLoopToData(sample);
    status = PrepareSampleData(sample);
    if (status != kStatusOk) {
      // Without its guard frames the data could not be played safely: the sample goes silent.
      ZeroFree(sample->data);
      sample->data = nullptr;
      sample->length = 0;
      FitLoopToData(sample);
    }
  }
  return status;
}

// The sample data follows every stored pattern. Files may store patterns that no order entry
// names; the file's size shows them: whole patterns in the room left beside the samples.
int64_t SampleDataStart(ModuleFile* file, const uint8_t* header, int32_t channels, int32_t highestPattern) {
  const int64_t patternBytes = int64_t{channels} * kRows * kCellSize;
  const int64_t named = PatternsStart(header) + (highestPattern + 1) * patternBytes;
  int64_t sampleBytes = 0;
  for (int32_t slot = 0; slot < kSampleSlots; ++slot)
    sampleBytes += StoredBytes(SampleWords(header, slot), HoldsAdpcm(file, named + sampleBytes));
  const int64_t room = FileLength(file) - named - sampleBytes;
  return named + std::max<int64_t>(room / patternBytes, 0) * patternBytes;
}

// Some trackers wrote eight-channel songs under the four-channel "M.K." signature. Such a file is
// exactly as long as its patterns at eight channels and its samples; read at four channels, its
// named patterns would end halfway and the rest would pass for patterns no order names.
int32_t ChannelsOfFile(ModuleFile* file, const uint8_t* header, int32_t channels, int32_t highestPattern) {
  if (std::memcmp(header + kSignatureOffset, "M.K.", 4) != 0) return channels;
  int64_t sampleBytes = 0;
  for (int32_t slot = 0; slot < kSampleSlots; ++slot) sampleBytes += StoredBytes(SampleWords(header, slot), false);
  const int64_t eightChannelPatterns = int64_t{highestPattern + 1} * 8 * kRows * kCellSize;
  const int64_t eightChannels = PatternsStart(header) + eightChannelPatterns + sampleBytes;
  return FileLength(file) == eightChannels ? 8 : channels;
}

int16_t BuildSoundtrack(ModuleFile* file, const uint8_t* header, int32_t channels, int32_t highestPattern,
                        Soundtrack* soundtrack) {
  if (ResizeSampleSlots(soundtrack, kSampleSlots) != kStatusOk) return kStatusOutOfMemory;
  BuildSamples(header, soundtrack);

  const int32_t songLength = header[kSongLengthOffset];
  if (ResizePlayPositionSlots(soundtrack, songLength + 1) != kStatusOk) return kStatusOutOfMemory;
  if (ResizePatternSlots(soundtrack, highestPattern + 2) != kStatusOk) return kStatusOutOfMemory;
  // Position 0 plays the initial settings; positions past the 128th order entry stay there too.
  for (int32_t i = 0; i < std::min(songLength, kOrderEntries); ++i) {
    soundtrack->playPositions[i + 1] = header[kOrderOffset + i] + 1;
  }
  int16_t status = BuildInitialSettings(soundtrack, channels);
  if (status != kStatusOk) return status;

  uint8_t fineTunes[kSampleSlots];
  for (int32_t slot = 0; slot < kSampleSlots; ++slot) fineTunes[slot] = SampleHeader(header, slot)[24] & 0x0F;
  status = BuildPatterns(file, soundtrack, channels, PatternsStart(header), fineTunes);
  if (status != kStatusOk) return status;

  return ReadSampleData(file, header, soundtrack, SampleDataStart(file, header, channels, highestPattern));
}

}  // namespace

int32_t ProbeMOD(const uint8_t* bytes, int32_t size) {
  if (size < kHeaderSize) return -1;
  const int32_t channels = ChannelsOfSignature(bytes + kSignatureOffset);
  return channels >= 1 ? channels : -1;
}

int16_t LoadMOD(ModuleFile* file, char* title, Soundtrack** soundtrack) {
  if (title != nullptr) title[0] = '\0';
  if (soundtrack != nullptr) *soundtrack = nullptr;
  if (file == nullptr) return kStatusBadParam;
  int16_t status = FileSeek(file, kSeekFromStart, 0);
  if (status != 0) return status;

  uint8_t header[kHeaderSize];
  if (FileRead(file, kHeaderSize, header) < kHeaderSize) return kStatusDataEnded;
  // No signature, no MOD: the 15-sample layout has none and is not read.
  const int32_t announced = ChannelsOfSignature(header + kSignatureOffset);
  if (announced < 1 || announced > kMaxChannels) return kStatusWrongFormat;
  if (title != nullptr) {
    std::memcpy(title, header, kTitleLength);
    title[kTitleLength] = '\0';
  }
  if (soundtrack == nullptr) return kStatusOk;

  // Every order entry counts, used or not: all patterns up to the highest are stored. They must
  // all be in the file before anything is allocated for them.
  const uint8_t* orders = header + kOrderOffset;
  const int32_t highestPattern = *std::max_element(orders, orders + kOrderEntries);
  const int32_t channels = ChannelsOfFile(file, header, announced, highestPattern);
  const int64_t patternBytes = int64_t{highestPattern + 1} * channels * kRows * kCellSize;
  if (PatternsStart(header) + patternBytes > FileLength(file)) return kStatusDataEnded;

  Soundtrack* built = NewSoundtrack();
  if (built == nullptr) return kStatusOutOfMemory;
  status = BuildSoundtrack(file, header, channels, highestPattern, built);
  if (status != kStatusOk) {
    ReleaseSoundtrack(built);
    return status;
  }
  *soundtrack = built;
  return kStatusOk;
}

}  // namespace tvp
