// The IT loader: the header, the order list, the samples, the instruments and the patterns.
// Offsets in the file are absolute 32-bit values; multi-byte fields are little-endian. Every
// count and offset is checked against the file before anything is allocated for it, and what a
// file can make us allocate (sample frames, envelope values, pattern events) is bounded by its
// length.
#include "soundtrack/it_loader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "soundtrack/byte_reader.h"
#include "soundtrack/event_codes.h"
#include "soundtrack/it_patterns.h"
#include "soundtrack/it_samples.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "soundtrack/xm_loader_internal.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {

namespace {

constexpr int32_t kHeaderSize = 0xC0;
constexpr int32_t kTitleLength = 26;
constexpr int32_t kSampleHeaderSize = 0x50;
constexpr uint8_t kOrderSkip = 254;
constexpr uint8_t kOrderEnd = 255;
// Counts the format allows; a header with more is no IT file.
constexpr int32_t kMostOrders = 256;
constexpr int32_t kMostItems = 4000;

// Sample flags and conversion bits.
constexpr uint8_t kSamplePresent = 1;
constexpr uint8_t kSample16Bit = 2;
constexpr uint8_t kSampleCompressed = 8;
constexpr uint8_t kSampleLoop = 16;
constexpr uint8_t kSamplePingPong = 64;
constexpr uint8_t kSampleSustainLoop = 32;
constexpr uint8_t kSampleSustainPingPong = 128;
constexpr uint8_t kConvertSigned = 1;
constexpr uint8_t kConvertDelta = 4;  // compressed data integrated twice
constexpr uint8_t kDefaultPanOn = 128;

// Limits on what a file can make us allocate: frames per byte of file (compressed data packs
// at best about 8 frames a byte) and sample records.
constexpr int64_t kFramesPerByte = 8;
constexpr int32_t kMaxSampleFrames = 0x3FFFFFF0;
constexpr uint32_t kHighestRate = 0xFFFF;  // the 16.16 rate holds up to 65535 Hz
constexpr int32_t kBaseNote = 60 * 256;    // C-5 plays at the sample's C5 speed
constexpr int32_t kInstrumentSize = 554;
constexpr int32_t kKeyboardNotes = 120;
constexpr int32_t kEnvelopeNodes = 25;
constexpr int64_t kEnvelopeValueBase = 1 << 20;  // envelope values allowed, and 64 per byte of file
constexpr int32_t kMaxRows = 256;
constexpr int32_t kMaxPacked = 65536;
constexpr int64_t kEventBase = 1 << 20;  // pattern events allowed, and 4 per byte of file
constexpr int64_t kEventsPerByte = 4;

using Buffer = std::unique_ptr<uint8_t, decltype(&ZeroFree)>;
Buffer NewBuffer(int64_t size) {
  return Buffer(size > 0 && size <= INT32_MAX ? static_cast<uint8_t*>(ZeroAlloc(static_cast<int32_t>(size))) : nullptr,
                &ZeroFree);
}

int16_t ReadAt(ModuleFile* file, int64_t offset, int64_t count, uint8_t* buffer) {
  if (offset < 0 || offset > INT32_MAX || count < 0 || count > INT32_MAX) return kStatusDataEnded;
  const int16_t seek = FileSeek(file, kSeekFromStart, static_cast<int32_t>(offset));
  if (seek != 0) return seek;
  return FileRead(file, static_cast<int32_t>(count), buffer) == count ? kStatusOk : kStatusDataEnded;
}

ItHeader ParseHeader(const uint8_t* b) {
  ItHeader h;
  h.orders = ReadU16LE(b + 0x20);
  h.instruments = ReadU16LE(b + 0x22);
  h.samples = ReadU16LE(b + 0x24);
  h.patterns = ReadU16LE(b + 0x26);
  h.createdWith = ReadU16LE(b + 0x28);
  h.compatibleWith = ReadU16LE(b + 0x2A);
  h.flags = ReadU16LE(b + 0x2C);
  h.special = ReadU16LE(b + 0x2E);
  h.globalVolume = std::min<int32_t>(b[0x30], 128);
  h.mixVolume = std::min<int32_t>(b[0x31], 128);
  h.speed = b[0x32];
  h.tempo = b[0x33];
  h.separation = std::min<int32_t>(b[0x34], 128);
  std::memcpy(h.channelPan, b + 0x40, kItChannels);
  std::memcpy(h.channelVolume, b + 0x80, kItChannels);
  return h;
}

class ItLoad {
 public:
  ItLoad(ModuleFile* file, const ItHeader& header, Soundtrack* soundtrack)
      : file_(file), header_(header), soundtrack_(soundtrack), fileLength_(FileLength(file)) {}

  int16_t run() {
    int16_t status = playPositions();
    if (status == kStatusOk) status = samples();
    if (status == kStatusOk) status = instruments();
    if (status == kStatusOk) status = patterns();
    if (status == kStatusOk) status = initialSettings();
    return status;
  }

 private:
  // The order bytes follow the header; then the offsets of instruments, samples and patterns.
  int64_t instrumentOffsets() const { return kHeaderSize + int64_t{header_.orders}; }
  int64_t sampleOffsets() const { return instrumentOffsets() + 4 * int64_t{header_.instruments}; }
  int64_t patternOffsets() const { return sampleOffsets() + 4 * int64_t{header_.samples}; }
  bool instrumentMode() const { return (header_.flags & kItFlagInstruments) != 0 && header_.instruments > 0; }
  bool oldEffects() const { return (header_.flags & kItFlagOldEffects) != 0; }

  // Reads `count` 32-bit offsets from `at`.
  int16_t readOffsets(int64_t at, int32_t count, Buffer* table) {
    if (count == 0) return kStatusOk;
    *table = NewBuffer(4 * int64_t{count});
    if (!*table) return kStatusOutOfMemory;
    return ReadAt(file_, at, 4 * int64_t{count}, table->get());
  }

  // Each instrument plays the samples its keyboard names, with its volume, panning and pitch
  // envelopes; without instruments, instrument i is sample i on every note. Instruments of the
  // layout before 2.00 are not read yet.
  int16_t instruments() {
    const int32_t count = instrumentMode() ? header_.instruments : header_.samples;
    if (ResizeInstrumentSlots(soundtrack_, count) != kStatusOk) return kStatusOutOfMemory;
    Buffer offsets(nullptr, &ZeroFree);
    if (instrumentMode()) {
      const int16_t status = readOffsets(instrumentOffsets(), count, &offsets);
      if (status != kStatusOk) return status;
    }
    for (int32_t i = 0; i < count; ++i) {
      Instrument* instrument = NewInstrument();
      if (instrument == nullptr) return kStatusOutOfMemory;
      instrument->fadeAtEnvelopeEnd = 1;
      soundtrack_->instruments[i] = instrument;
      uint8_t keyboard[2 * kNoteMapSize] = {};
      if (!instrumentMode()) {
        for (int32_t n = 0; n < kNoteMapSize; ++n) {
          keyboard[2 * n] = static_cast<uint8_t>(n);
          keyboard[2 * n + 1] = static_cast<uint8_t>(i + 1);
        }
      } else {
        uint8_t h[kInstrumentSize];
        const int64_t offset = ReadU32LE(offsets.get() + 4 * i);
        if (offset < kHeaderSize || offset + kInstrumentSize > fileLength_ ||
            ReadAt(file_, offset, kInstrumentSize, h) != kStatusOk || std::memcmp(h, "IMPI", 4) != 0)
          continue;  // no instrument there: its notes play nothing
        std::memcpy(keyboard, h + 0x40, 2 * kKeyboardNotes);
        if (header_.compatibleWith < 0x200) {
          const int16_t status = oldInstrument(h, instrument);
          if (status != kStatusOk) return status;
          mapKeyboard(instrument, keyboard);
          continue;
        }
        instrument->fadeout = ReadU16LE(h + 0x14) * 64;
        noteActions(instrument, h[0x11], h[0x12], h[0x13]);
        instrument->volume = std::min<int32_t>(h[0x18], 128) * 512;
        instrument->randomVolume = std::min<int32_t>(h[0x1A], 100) * 0x10000 / 100;
        instrument->randomPanning = std::min<int32_t>(h[0x1B], 64) * 128;
        if (!(h[0x19] & 0x80)) instrument->panning = std::min<int32_t>(h[0x19], 64) * 128 - 4096;
        instrument->pitchPanSeparation = std::clamp<int32_t>(static_cast<int8_t>(h[0x16]), -32, 32) * 16;
        instrument->pitchPanCentre = std::min<int32_t>(h[0x17], 119);
        const int16_t status = envelope(h + 0x130, &instrument->volumeEnvelope, VolumeValue);
        if (status != kStatusOk) return status;
        const int16_t pan = envelope(h + 0x182, &instrument->panningEnvelope, PanningValue);
        if (pan != kStatusOk) return pan;
        // With bit 7 set the third envelope drives the filter's cutoff instead of the pitch.
        const bool filter = (h[0x1D4] & 0x80) != 0;
        const int16_t pitch = filter ? envelope(h + 0x1D4, &instrument->filterEnvelope, CutoffFactor)
                                     : envelope(h + 0x1D4, &instrument->pitchEnvelope, PitchValue);
        if (pitch != kStatusOk) return pitch;
        if (h[0x3A] & 0x80) instrument->filterCutoff = h[0x3A] & 0x7F;
        if (h[0x3B] & 0x80) instrument->filterResonance = h[0x3B] & 0x7F;
      }
      mapKeyboard(instrument, keyboard);
    }
    return kStatusOk;
  }

  void mapKeyboard(Instrument* instrument, const uint8_t* keyboard) const {
    for (int32_t n = 0; n < kKeyboardNotes; ++n) {
      const int32_t slot = keyboard[2 * n + 1] - 1;
      if (slot < 0 || slot >= soundtrack_->sampleCount) continue;
      // The keyboard's note column: the note this key plays.
      const int32_t played = keyboard[2 * n] < kKeyboardNotes ? keyboard[2 * n] : n;
      instrument->noteMap[n] = {slot, soundtrack_->samples[slot], (played - n) * 256};
    }
  }

  // The layout before 2.00: fade-out in steps twice as large, and only a volume envelope, its
  // nodes as (tick, value) byte pairs ending at tick 255. They are put in the later layout's form.
  int16_t oldInstrument(const uint8_t* h, Instrument* instrument) {
    instrument->fadeout = ReadU16LE(h + 0x18) * 128;
    noteActions(instrument, h[0x1A], h[0x1B] != 0 ? 1 : 0, 0);
    uint8_t e[6 + 3 * kEnvelopeNodes] = {};
    int32_t count = 0;
    while (count < kEnvelopeNodes && h[0x1F8 + 2 * count] != 0xFF) {
      e[6 + 3 * count] = h[0x1F9 + 2 * count];
      e[7 + 3 * count] = h[0x1F8 + 2 * count];
      ++count;
    }
    e[0] = static_cast<uint8_t>((count > 0 ? h[0x11] & 1 : 0) | (h[0x11] & 6));
    e[1] = static_cast<uint8_t>(count);
    std::memcpy(e + 2, h + 0x12, 4);  // loop start and end, sustain start and end
    return envelope(e, &instrument->volumeEnvelope, VolumeValue);
  }

  // New-note action 0 cut, 1 continue, 2 off, 3 fade; duplicate check 0 off, 1 note, 2 sample,
  // 3 instrument; duplicate action 0 cut, 1 off, 2 fade. Unknown values are the first of each.
  static void noteActions(Instrument* instrument, uint8_t action, uint8_t check, uint8_t duplicate) {
    constexpr int32_t kActions[4] = {kNoteActionCut, kNoteActionContinue, kNoteActionOff, kNoteActionFade};
    constexpr int32_t kDuplicateActions[3] = {kNoteActionCut, kNoteActionOff, kNoteActionFade};
    instrument->noteAction = action < 4 ? kActions[action] : kNoteActionCut;
    instrument->duplicateCheck = check <= kDuplicateInstrument ? check : kDuplicateNone;
    instrument->duplicateAction = duplicate < 3 ? kDuplicateActions[duplicate] : kNoteActionCut;
  }

  static int32_t VolumeValue(int32_t y) { return std::clamp(y, 0, 64) * 1024; }
  static int32_t SignedNode(int32_t y) { return std::clamp<int32_t>(static_cast<int8_t>(y), -32, 32); }
  static int32_t PanningValue(int32_t y) { return SignedNode(y) * 128; }
  // -32 .. 32 takes the cutoff from nothing to its whole value.
  static int32_t CutoffFactor(int32_t y) { return (SignedNode(y) + 32) * 1024; }
  // Half semitones, as 8.8 semitones: +-32 is +-16 semitones.
  static int32_t PitchValue(int32_t y) { return SignedNode(y) * 128; }

  // An envelope of up to 25 nodes (value, 16-bit tick) expanded into one value per tick, with
  // its loop and sustain loop; kept in the soundtrack's envelope table.
  int16_t envelope(const uint8_t* e, Envelope** slot, int32_t (*convert)(int32_t)) {
    const uint8_t flags = e[0];
    if (!(flags & 1)) return kStatusOk;
    const int32_t count = std::clamp<int32_t>(e[1], 1, kEnvelopeNodes);
    int32_t ticks[kEnvelopeNodes], values[kEnvelopeNodes];
    for (int32_t p = 0; p < count; ++p) {
      values[p] = convert(e[6 + 3 * p]);
      ticks[p] = ReadU16LE(e + 7 + 3 * p);
      if (p > 0) ticks[p] = std::max(ticks[p], ticks[p - 1]);
    }
    envelopeValues_ += ticks[count - 1] + 1;
    if (envelopeValues_ > kEnvelopeValueBase + 64 * fileLength_) return kStatusWrongFormat;
    Envelope* made = NewEnvelope();
    if (made == nullptr) return kStatusOutOfMemory;
    const int32_t table = soundtrack_->envelopeCount;
    if (ResizeEnvelopeSlots(soundtrack_, table + 1) != kStatusOk) {
      FreeEnvelope(made);
      return kStatusOutOfMemory;
    }
    soundtrack_->envelopes[table] = made;
    *slot = made;
    if (FillEnvelope(made, ticks, values, count) != kStatusOk) return kStatusOutOfMemory;
    auto tickOf = [&](int32_t node) { return ticks[std::clamp(node, 0, count - 1)]; };
    made->loopEnd = made->sustainEnd = kNoEnvelopePoint;
    if ((flags & 2) && e[2] <= e[3]) {
      made->loopStart = tickOf(e[2]);
      made->loopEnd = tickOf(e[3]);
      made->flags |= kEnvelopeLoop;
    }
    if ((flags & 4) && e[4] <= e[5]) {
      made->sustainStart = tickOf(e[4]);
      made->sustainEnd = tickOf(e[5]);
      made->flags |= kEnvelopeSustain;
    }
    return kStatusOk;
  }

  // Every pattern a play position names, unpacked and turned into events as the XM pattern
  // decoder turns its cells; an offset of 0 is an empty pattern of 64 rows. The song has as many
  // channels as its patterns use.
  int16_t patterns() {
    Buffer offsets(nullptr, &ZeroFree);
    int16_t status = readOffsets(patternOffsets(), header_.patterns, &offsets);
    if (status != kStatusOk) return status;
    std::unique_ptr<it::Cell[]> cells(new (std::nothrow) it::Cell[kMaxRows * it::kChannels]);
    Buffer packed = NewBuffer(kMaxPacked);
    Buffer xmCells = NewBuffer(int64_t{kMaxRows} * xm::kMaxChannels * xm::kExtendedCellBytes);
    std::unique_ptr<Event, decltype(&ZeroFree)> scratch(
        static_cast<Event*>(ZeroAllocArray(xm::kScratchCapacity, static_cast<int32_t>(sizeof(Event)))), &ZeroFree);
    if (!cells || !packed || !xmCells || !scratch) return kStatusOutOfMemory;
    scratch_ = scratch.get();

    // First the channels the song uses, then the events.
    const it::EffectRules rules{(header_.flags & kItFlagCompatibleGxx) == 0, oldEffects()};
    for (int32_t pass = 0; pass < 2; ++pass) {
      for (int32_t p = 0; p < header_.patterns; ++p) {
        const int64_t offset = ReadU32LE(offsets.get() + 4 * p);
        int32_t rows = 64;
        int32_t used = 0;  // the channels this pattern's cells reach
        uint8_t h[8];
        if (offset >= kHeaderSize && ReadAt(file_, offset, 8, h) == kStatusOk) {
          const int32_t size = ReadU16LE(h);
          rows = std::clamp<int32_t>(ReadU16LE(h + 2), 1, kMaxRows);
          const int32_t readable = static_cast<int32_t>(std::clamp<int64_t>(fileLength_ - offset - 8, 0, size));
          std::fill(cells.get(), cells.get() + rows * it::kChannels, it::Cell{});
          if (ReadAt(file_, offset + 8, readable, packed.get()) == kStatusOk)
            used = it::UnpackPattern(packed.get(), readable, rows, cells.get());
        }
        channels_ = std::max(channels_, used);
        if (pass == 0) continue;
        // Each pattern is decoded over the channels it uses (a channel without cells has no
        // events); one without cells costs only its closing event.
        if (used > 0) it::ToXmCells(cells.get(), rows, used, rules, xmCells.get());
        status = decodeInto(xmCells.get(), rows, used, p);
        if (status != kStatusOk) return status;
      }
      if (channels_ > xm::kMaxChannels) return kStatusWrongFormat;
      channels_ = std::max(channels_, 1);
    }
    return kStatusOk;
  }

  int16_t decodeInto(const uint8_t* xmCells, int32_t rows, int32_t channels, int32_t pattern) {
    // A vibrato's cycle is 64 ticks at speed 1, and it is half as deep as XM's, unless the song
    // asks for the old effects, which leave out the row's first tick (13 stands for 16 x 5/6 at
    // the usual speed 6).
    const bool old = oldEffects();
    const xm::PatternLayout layout{rows, std::max(channels, 1), soundtrack_->playPositionCount,
                                   soundtrack_->instrumentCount, true, old ? 13 : 16, old ? 32 : 16, !old};
    return xm::DecodeIntoSlot(xmCells, rows * channels * xm::kExtendedCellBytes, layout, scratch_, &eventAllowance_,
                              &soundtrack_->patterns[pattern + 1]);
  }


  // Play position 0 is kept for the initial settings; order bytes naming a pattern follow as
  // slots p + 1, 254 is passed over and 255 ends the list.
  int16_t playPositions() {
    uint8_t orders[kMostOrders] = {};
    int16_t status = ReadAt(file_, kHeaderSize, header_.orders, orders);
    if (status != kStatusOk) return status;
    if (ResizePlayPositionSlots(soundtrack_, header_.orders + 1) != kStatusOk) return kStatusOutOfMemory;
    if (ResizePatternSlots(soundtrack_, header_.patterns + 1) != kStatusOk) return kStatusOutOfMemory;
    int32_t used = 1;
    soundtrack_->playPositions[0] = 0;
    for (int32_t i = 0; i < header_.orders; ++i) {
      const uint8_t order = orders[i];
      if (order == kOrderEnd) break;
      if (order == kOrderSkip || order >= header_.patterns) continue;
      soundtrack_->playPositions[used++] = order + 1;
    }
    return ResizePlayPositionSlots(soundtrack_, used) == kStatusOk ? kStatusOk : kStatusOutOfMemory;
  }

  int16_t samples() {
    const int32_t count = header_.samples;
    Buffer offsets(nullptr, &ZeroFree);
    const int16_t read = readOffsets(sampleOffsets(), count, &offsets);
    if (read != kStatusOk) return read;
    if (ResizeSampleSlots(soundtrack_, count) != kStatusOk) return kStatusOutOfMemory;
    for (int32_t i = 0; i < count; ++i) {
      const int16_t status = sample(i, ReadU32LE(offsets.get() + 4 * i));
      if (status != kStatusOk) return status;
    }
    return kStatusOk;
  }

  // A header that lies outside the file, or is no sample header, leaves its slot empty.
  int16_t sample(int32_t slot, int64_t offset) {
    uint8_t h[kSampleHeaderSize];
    if (offset < kHeaderSize || offset + kSampleHeaderSize > fileLength_) return kStatusOk;
    int16_t status = ReadAt(file_, offset, kSampleHeaderSize, h);
    if (status != kStatusOk) return status;
    if (std::memcmp(h, "IMPS", 4) != 0) return kStatusOk;
    int16_t made = kStatusOk;
    Sample* sample = NewSample(&made);
    if (sample == nullptr) return kStatusOutOfMemory;
    soundtrack_->samples[slot] = sample;
    if (made != kStatusOk) return kStatusOutOfMemory;

    const uint8_t flags = h[0x12];
    sample->volume = std::min<int32_t>(h[0x13], 64) * 1024;
    sample->panning = (h[0x2F] & kDefaultPanOn) ? std::min<int32_t>(h[0x2F] & 0x7F, 64) * 128 - 4096 : kNoDefaultPanning;
    setRate(sample, ReadU32LE(h + 0x3C));
    if (flags & kSamplePresent) {
      status = readData(sample, h);
      if (status != kStatusOk) return status;
      scaleFrames(sample, std::min<int32_t>(h[0x11], 64));
    }
    fitLoop(sample, flags, ReadU32LE(h + 0x34), ReadU32LE(h + 0x38));
    if (flags & kSampleSustainLoop) {
      // Frames as the file counts them; the soundtrack's own check fits them to the data.
      sample->sustainMode = (flags & kSampleSustainPingPong) ? kLoopPingPong : kLoopForward;
      sample->sustainStart = static_cast<int32_t>(std::min<uint32_t>(ReadU32LE(h + 0x40), 0x3FFFFFFF) * 2);
      sample->sustainEnd = static_cast<int32_t>(std::min<uint32_t>(ReadU32LE(h + 0x44), 0x3FFFFFFF) * 2);
    }
    return PrepareSampleData(sample) == kStatusOk ? kStatusOk : kStatusOutOfMemory;
  }

  // C5 speeds above what the 16.16 rate holds play from a base note octaves lower.
  static void setRate(Sample* sample, uint32_t c5Speed) {
    int32_t baseNote = kBaseNote;
    while (c5Speed > kHighestRate) {
      c5Speed >>= 1;
      baseNote -= 12 * 256;
    }
    sample->rate = std::max<uint32_t>(c5Speed, 1) << 16;
    sample->baseNote = baseNote;
  }

  // The frames the file holds, as far as it holds them; frames beyond the budget are refused as a
  // whole, and data that cannot be read leaves the sample silent.
  int16_t readData(Sample* sample, const uint8_t* h) {
    const uint8_t flags = h[0x12];
    const bool wide = (flags & kSample16Bit) != 0;
    const bool compressed = (flags & kSampleCompressed) != 0;
    const int64_t dataOffset = ReadU32LE(h + 0x48);
    const int64_t present = dataOffset >= kHeaderSize ? std::max<int64_t>(0, fileLength_ - dataOffset) : 0;
    int64_t frames = std::min<int64_t>(ReadU32LE(h + 0x30), kMaxSampleFrames);
    if (!compressed) frames = std::min(frames, present / (wide ? 2 : 1));
    if (frames > kFramesPerByte * fileLength_ - framesLoaded_) frames = 0;
    if (frames <= 0) return kStatusOk;
    framesLoaded_ += frames;
    sample->data = static_cast<int16_t*>(ZeroAllocArray(static_cast<int32_t>(frames), 2));
    if (sample->data == nullptr) return kStatusOutOfMemory;
    sample->length = static_cast<int32_t>(frames * 2);
    const int32_t count = static_cast<int32_t>(frames);
    if (compressed) {
      // The left channel's blocks come first; a block holds at most 2.125 bytes a frame.
      Buffer packed = NewBuffer(std::min<int64_t>(present, frames * 3 + 64));
      if (packed && ReadAt(file_, dataOffset, std::min<int64_t>(present, frames * 3 + 64), packed.get()) == kStatusOk) {
        int64_t consumed = 0;
        DecodeItCompressed(packed.get(), std::min<int64_t>(present, frames * 3 + 64), wide,
                           (h[0x2E] & kConvertDelta) != 0, count, sample->data, &consumed);
      }
      return kStatusOk;
    }
    readPlain(sample->data, count, dataOffset, wide, (h[0x2E] & kConvertSigned) != 0);
    return kStatusOk;
  }

  // 8-bit data is read into the upper half of the buffer and widened in place, frame i written
  // only after byte i has been taken; 16-bit data is read whole and turned in place.
  void readPlain(int16_t* data, int32_t frames, int64_t offset, bool wide, bool isSigned) {
    auto* bytes = reinterpret_cast<uint8_t*>(data);
    if (!wide) {
      bytes += frames;
      if (ReadAt(file_, offset, frames, bytes) != kStatusOk) {
        std::memset(data, 0, static_cast<size_t>(frames) * 2);
        return;
      }
      for (int32_t i = 0; i < frames; ++i) {
        const int32_t v = isSigned ? static_cast<int8_t>(bytes[i]) : bytes[i] - 128;
        data[i] = static_cast<int16_t>(v * 256);
      }
      return;
    }
    if (ReadAt(file_, offset, int64_t{frames} * 2, bytes) != kStatusOk) {
      std::memset(data, 0, static_cast<size_t>(frames) * 2);
      return;
    }
    for (int32_t i = 0; i < frames; ++i) {
      const uint16_t u = ReadU16LE(bytes + 2 * i);
      data[i] = static_cast<int16_t>(isSigned ? u : u ^ 0x8000);
    }
  }

  // The sample's own global volume scales everything it plays, whatever the channel's volume:
  // it is taken into the frames once.
  static void scaleFrames(Sample* sample, int32_t globalVolume) {
    if (globalVolume >= 64 || !sample->data) return;
    for (int32_t i = 0; i < sample->length / 2; ++i)
      sample->data[i] = static_cast<int16_t>(sample->data[i] * globalVolume / 64);
  }

  // A loop past the data is cut to it, and dropped when less than two frames are left.
  static void fitLoop(Sample* sample, uint8_t flags, int64_t begin, int64_t end) {
    sample->loopMode = kLoopNone;
    sample->loopStart = 0;
    sample->loopEnd = kNoLoopEnd;
    sample->loopLength = 0;
    if (!(flags & kSampleLoop)) return;
    begin *= 2;
    end = std::min<int64_t>(end * 2, sample->length);
    if (end - begin < 4) return;
    sample->loopMode = (flags & kSamplePingPong) ? kLoopPingPong : kLoopForward;
    sample->loopStart = static_cast<int32_t>(begin);
    sample->loopEnd = static_cast<int32_t>(end);
    sample->loopLength = static_cast<int32_t>(end - begin);
  }

  // Position 0: speed, tempo, global volume and each channel's panning; then the first order.
  int16_t initialSettings() {
    Event* last = NewEvent();
    if (last == nullptr) return kStatusOutOfMemory;
    soundtrack_->patterns[0] = last;
    auto add = [&last](int32_t channel, int32_t code, int32_t param) {
      last = last ? AppendEvent(last, 0, channel, code, param) : nullptr;
    };
    add(0, EventCode::SetSongMode, 0);
    if (header_.speed > 0) add(0, EventCode::SetSpeed, header_.speed);
    if (header_.tempo >= 32) add(0, EventCode::SetTempo, header_.tempo);
    add(0, EventCode::SetGlobalVolume, header_.globalVolume * 512);
    for (int32_t c = 0; c < channels_; ++c) {
      const int32_t pan = header_.channelPan[c] & 0x7F;
      add(c, EventCode::SetPanning, pan <= 64 ? pan * 128 - 4096 : 0);  // surround plays in the centre
      add(c, EventCode::SetVolumeMax, 0x10000);
      add(c, EventCode::SetChannelGain, std::min<int32_t>(header_.channelVolume[c], 64) * 1024);
      add(c, EventCode::SetPitchMin, 0);
      add(c, EventCode::SetPitchMax, 0x77FF);
      add(c, EventCode::PitchSlideSpeed, 0x7FFF);
    }
    add(0, EventCode::NextPlayPosition, 0);
    return last ? kStatusOk : kStatusOutOfMemory;
  }

  ModuleFile* file_;
  const ItHeader& header_;
  Soundtrack* soundtrack_;
  int64_t fileLength_;
  int64_t framesLoaded_ = 0;
  int64_t envelopeValues_ = 0;
  int64_t eventAllowance_ = kEventBase + kEventsPerByte * fileLength_;
  int32_t channels_ = 0;
  Event* scratch_ = nullptr;
};

}  // namespace

bool ProbeIT(const uint8_t* bytes, int32_t size) { return size >= 4 && std::memcmp(bytes, "IMPM", 4) == 0; }

int16_t LoadIT(ModuleFile* file, char* title, Soundtrack** soundtrack, ItHeader* out) {
  if (title != nullptr) title[0] = '\0';
  if (soundtrack != nullptr) *soundtrack = nullptr;
  if (file == nullptr) return kStatusBadParam;
  uint8_t bytes[kHeaderSize];
  if (FileSeek(file, kSeekFromStart, 0) != 0 || FileRead(file, kHeaderSize, bytes) < kHeaderSize)
    return kStatusDataEnded;
  if (!ProbeIT(bytes, kHeaderSize)) return kStatusWrongFormat;
  const ItHeader header = ParseHeader(bytes);
  if (header.orders > kMostOrders || header.instruments > kMostItems || header.samples > kMostItems ||
      header.patterns > kMostItems)
    return kStatusWrongFormat;
  if (out != nullptr) *out = header;
  if (title != nullptr) {
    int32_t length = 0;
    while (length < kTitleLength && bytes[4 + length] != 0) ++length;
    std::memcpy(title, bytes + 4, static_cast<size_t>(length));
    title[length] = '\0';
  }
  if (soundtrack == nullptr) return kStatusOk;

  Soundtrack* built = NewSoundtrack();
  if (built == nullptr) return kStatusOutOfMemory;
  const int16_t status = ItLoad(file, header, built).run();
  if (status != kStatusOk) {
    ReleaseSoundtrack(built);
    return status;
  }
  *soundtrack = built;
  return kStatusOk;
}

}  // namespace tvp
