// The S3M loader: Scream Tracker 3 modules. One sample per instrument (unsigned 8-bit mono data),
// an initial settings pattern from the header's speed, tempo, global volume and channel panning,
// and every packed pattern a play position refers to translated once into engine events. Pitch
// runs through the period group in units of the Amiga period x 4. Offsets in the file are
// absolute; a parapointer is an offset divided by 16. Multi-byte fields are little-endian.
#include <algorithm>
#include <cstring>
#include <memory>

#include "soundtrack/adpcm.h"
#include "soundtrack/loaders.h"
#include "soundtrack/s3m_internal.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {

namespace {

using s3m::Header;
using s3m::kChannels;
using s3m::kHeaderSize;

constexpr int32_t kPackAdpcm = 4;  // the sample header's pack byte for 4-bit ADPCM data
constexpr int16_t kShortRead = kStatusS3MShortRead;  // this loader's status for data that ends early

constexpr int32_t kTitleLength = 28;
constexpr int32_t kSignatureOffset = 0x2C;
constexpr uint8_t kOrderSkip = 254;
constexpr uint8_t kOrderEnd = 255;
constexpr int32_t kInstrumentHeaderSize = 80;
constexpr int32_t kPackedCapacity = 65536;

// Limits on what a file can make us allocate. A hostile file can point many instruments at one
// header or one sample's data, and many patterns at one packed pattern; an honest file stores
// each once, so budgets tied to its length leave it untouched.
constexpr int32_t kSampleSharing = 4;             // sample frames loaded, per byte of file
constexpr int64_t kSampleRecordBase = 256;        // sample records (each with a 12 kB step table)
constexpr int64_t kBytesPerSampleRecord = 1024;   // allowed whatever the length, and one per kB
constexpr int64_t kEventBase = 1 << 20;           // pattern events allowed whatever the length,
constexpr int32_t kEventsPerByte = 4;             // and per byte of file
constexpr int32_t kMaxSampleFrames = 0x3FFFFFF0;  // 2 bytes a frame must fit the 32-bit length
constexpr uint32_t kHighestRate = 0xFFFF;         // the 16.16 rate holds up to 65535 Hz

using Buffer = std::unique_ptr<uint8_t, decltype(&ZeroFree)>;
Buffer NewBuffer(int32_t size) { return Buffer(static_cast<uint8_t*>(ZeroAlloc(size)), &ZeroFree); }

// Seeks to `offset` and reads `count` bytes: 0, kShortRead, or the file reader's seek error.
int16_t ReadAt(ModuleFile* file, int64_t offset, int32_t count, uint8_t* buffer) {
  if (offset > INT32_MAX) return kShortRead;
  int16_t seek = FileSeek(file, kSeekFromStart, static_cast<int32_t>(offset));
  if (seek != 0) return seek;
  return FileRead(file, count, buffer) == count ? kStatusOk : kShortRead;
}

// One load: the steps after the header, in the order the file is laid out.
class S3MLoad {
 public:
  S3MLoad(ModuleFile* file, const Header& header, Soundtrack* soundtrack)
      : file_(file), header_(header), soundtrack_(soundtrack), fileLength_(FileLength(file)) {}

  int16_t run() {
    int16_t status = playPositions();
    if (status == kStatusOk) status = samples();
    if (status == kStatusOk) status = initialSettings();
    if (status == kStatusOk) status = patterns();
    return status;
  }

 private:
  // Play position 0 is the initial settings pattern; order bytes below P follow as slots p + 1,
  // 254 is skipped and 255 ends the list.
  int16_t playPositions() {
    const int32_t orders = header_.orders;
    if (ResizePlayPositionSlots(soundtrack_, orders + 1) != kStatusOk) return kStatusOutOfMemory;
    if (ResizePatternSlots(soundtrack_, header_.patterns + 1) != kStatusOk) return kStatusOutOfMemory;
    Buffer bytes = NewBuffer(orders + 1);
    if (!bytes) return kStatusOutOfMemory;
    int16_t status = ReadAt(file_, kHeaderSize, orders + 1, bytes.get());
    if (status != kStatusOk) return status;
    int32_t used = 1;
    soundtrack_->playPositions[0] = 0;
    for (int32_t i = 0; i < orders; ++i) {
      uint8_t order = bytes.get()[i];
      if (order == kOrderEnd) break;
      if (order == kOrderSkip || order >= header_.patterns) continue;
      soundtrack_->playPositions[used++] = order + 1;
      highestPattern_ = std::max<int32_t>(highestPattern_, order);
    }
    return ResizePlayPositionSlots(soundtrack_, used) == kStatusOk ? kStatusOk : kStatusOutOfMemory;
  }

  // Reads a table of `count` 16-bit parapointers into `table` (2 x count bytes).
  int16_t readPointers(int64_t offset, int32_t count, const Buffer& table) {
    if (!table) return kStatusOutOfMemory;
    return ReadAt(file_, offset, 2 * count, table.get());
  }

  int16_t samples() {
    const int32_t count = header_.instruments;
    Buffer pointers = NewBuffer(2 * count);
    int16_t status = readPointers(header_.instrumentPointers(), count, pointers);
    if (status != kStatusOk) return status;
    if (ResizeSampleSlots(soundtrack_, count) != kStatusOk) return kStatusOutOfMemory;
    for (int32_t i = 0; i < count; ++i) {
      int64_t offset = int64_t{ReadU16LE(pointers.get() + 2 * i)} * 16;
      if (offset < kHeaderSize) continue;
      status = sample(i, offset);
      if (status != kStatusOk) return status;
    }
    return kStatusOk;
  }

  int16_t sample(int32_t slot, int64_t offset) {
    uint8_t h[kInstrumentHeaderSize];
    int16_t status = ReadAt(file_, offset, kInstrumentHeaderSize, h);
    if (status != kStatusOk) return status;
    const uint32_t claimed = ReadU32LE(h + 0x10);
    if (claimed == 0) return kStatusOk;
    // Honest files give every instrument a header of its own, and have at most 99 of them.
    if (sampleRecords_ >= fileLength_ / kInstrumentHeaderSize) return kStatusOk;
    if (sampleRecords_ >= kSampleRecordBase + fileLength_ / kBytesPerSampleRecord) return kStatusOk;
    int16_t made = kStatusOk;
    Sample* sample = NewSample(&made);
    if (sample == nullptr) return kStatusOutOfMemory;
    soundtrack_->samples[slot] = sample;
    ++sampleRecords_;
    if (made != kStatusOk) return kStatusOutOfMemory;
    if (std::memcmp(h + 0x4C, "SCRS", 4) != 0) return kStatusOk;  // no sample: stays empty

    // The data is taken as far as the file holds it; without data in the file (an offset below
    // the header) the sample is empty and plays nothing. Frames beyond the sharing budget are
    // refused as a whole.
    const int64_t dataOffset = int64_t{ReadU16LE(h + 0x0E)} * 16;
    const int64_t present = dataOffset >= kHeaderSize ? std::max<int64_t>(0, fileLength_ - dataOffset) : 0;
    const bool adpcm = h[0x1E] == kPackAdpcm;
    int64_t frames = std::min<int64_t>({claimed, adpcm ? AdpcmFrames(present) : present, kMaxSampleFrames});
    if (frames > int64_t{kSampleSharing} * fileLength_ - framesLoaded_) frames = 0;
    framesLoaded_ += frames;

    sample->length = static_cast<int32_t>(frames * 2);
    sample->volume = h[0x1C] * 1024;
    sample->baseNote = 0x3C00;
    sample->rate = std::min(ReadU32LE(h + 0x20), kHighestRate) << 16;
    fitLoop(sample, h);
    if (frames > 0) {
      sample->data = static_cast<int16_t*>(ZeroAllocArray(static_cast<int32_t>(frames), 2));
      if (sample->data == nullptr) return kStatusOutOfMemory;
      if (adpcm) {
        readAdpcm(sample->data, static_cast<int32_t>(frames), dataOffset);
      } else {
        readFrames(sample->data, static_cast<int32_t>(frames), dataOffset);
      }
    }
    return PrepareSampleData(sample) == kStatusOk ? kStatusOk : kStatusOutOfMemory;
  }

  // A loop reaching past the data is cut to it, and dropped when that leaves less than two
  // frames; a loop ending before it starts is dropped.
  static void fitLoop(Sample* sample, const uint8_t* h) {
    sample->loopMode = kLoopNone;
    sample->loopStart = 0;
    sample->loopEnd = kNoLoopEnd;
    sample->loopLength = 0;
    if (!(h[0x1F] & 1)) return;
    int64_t start = 2 * int64_t{ReadU32LE(h + 0x14)};
    int64_t end = 2 * int64_t{ReadU32LE(h + 0x18)};
    if (end <= start) return;
    if (end > sample->length) {
      end = sample->length;
      if (end - start < 4) return;
    }
    sample->loopMode = kLoopForward;
    sample->loopStart = static_cast<int32_t>(start);
    sample->loopEnd = static_cast<int32_t>(end);
    sample->loopLength = static_cast<int32_t>(end - start);
  }

  // Unsigned 8-bit frames become signed 16-bit in place: the bytes are read into the upper half
  // of the buffer and frame i is written only after byte i has been taken. A failed seek or a
  // short read leaves the sample silent.
  void readFrames(int16_t* data, int32_t frames, int64_t offset) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(data) + frames;
    if (ReadAt(file_, offset, frames, bytes) != kStatusOk) {
      std::memset(data, 0, static_cast<size_t>(frames) * 2);
      return;
    }
    for (int32_t i = 0; i < frames; ++i) data[i] = static_cast<int16_t>((bytes[i] - 128) * 256);
  }

  // ADPCM frames are signed; a failed allocation, seek or read leaves the sample silent.
  void readAdpcm(int16_t* data, int32_t frames, int64_t offset) {
    const int32_t bytes = static_cast<int32_t>(AdpcmBytes(frames));
    Buffer packed = NewBuffer(bytes);
    if (packed && ReadAt(file_, offset, bytes, packed.get()) == kStatusOk) {
      DecodeAdpcm(packed.get(), bytes, frames, data);
    }
  }

  int16_t initialSettings() {
    uint8_t table[kChannels] = {};
    if (header_.panningTable) {
      int16_t status = ReadAt(file_, header_.panningBytes(), kChannels, table);
      if (status != kStatusOk) return status;
    }
    Event* last = NewEvent();
    if (last == nullptr) return kStatusOutOfMemory;
    soundtrack_->patterns[0] = last;
    auto add = [&last](int32_t channel, int32_t code, int32_t param) {
      last = AppendEvent(last, 0, channel, code, param);
      return last != nullptr;
    };
    bool ok = add(0, EventCode::SetSongMode, 0) && add(0, EventCode::SetSpeed, header_.speed) &&
              add(0, EventCode::SetTempo, header_.tempo) &&
              add(0, EventCode::SetGlobalVolume, header_.globalVolume * 1024);
    const bool amiga = header_.amigaLimits;
    for (int32_t c = 0; ok && c < kChannels; ++c) {
      const int32_t setting = header_.channels[c];
      if (setting >= 16) continue;  // disabled, or not a sample channel
      int32_t p = table[c];
      if (p & 0x20) p &= 0x0F;
      else if ((setting & 63) >= 8) p = header_.stereo ? 12 : 7;
      else p = header_.stereo ? 3 : 7;
      ok = add(c, EventCode::SetPanning, s3m::PanningOf(p)) && add(c, EventCode::SetVolumeMax, 0x10000) &&
           add(c, EventCode::SetPitchMin, amiga ? 0x3000 : 0xC00) &&
           add(c, EventCode::SetPitchMax, amiga ? 0x5300 : 0x6BFF) &&
           add(c, EventCode::SetPeriodMin, amiga ? 452 : 106) &&
           add(c, EventCode::SetPeriodMax, amiga ? 3424 : 32767) && add(c, EventCode::PeriodSlideSpeed, 32767);
    }
    ok = ok && add(0, EventCode::NextPlayPosition, 0);
    return ok ? kStatusOk : kStatusOutOfMemory;
  }

  // File patterns 0 .. the highest one a play position refers to; a pattern without data stays
  // null (reaching it ends the song).
  int16_t patterns() {
    const int32_t count = header_.patterns;
    Buffer pointers = NewBuffer(2 * count);
    int16_t status = readPointers(header_.patternPointers(), count, pointers);
    if (status != kStatusOk) return status;
    const int32_t decoded = std::min(highestPattern_ + 1, count);
    if (decoded < 1) return kStatusOk;

    Buffer packed = NewBuffer(kPackedCapacity);
    auto* scratch = static_cast<Event*>(ZeroAllocArray(s3m::kScratchRecords, sizeof(Event)));
    std::unique_ptr<Event, decltype(&ZeroFree)> scratchOwner(scratch, &ZeroFree);
    if (!packed || !scratch) return kStatusOutOfMemory;
    s3m::PatternDecoder decoder(scratch, header_);
    const int64_t eventBudget = kEventBase + int64_t{kEventsPerByte} * fileLength_;
    int64_t events = 0;
    for (int32_t p = 0; p < decoded; ++p) {
      int64_t offset = int64_t{ReadU16LE(pointers.get() + 2 * p)} * 16;
      if (offset < kHeaderSize) continue;
      uint8_t field[2];
      status = ReadAt(file_, offset, 2, field);
      if (status != kStatusOk) return status;
      // The packed length counts its own two bytes.
      int32_t size = std::max(0, ReadU16LE(field) - 2);
      if (FileRead(file_, size, packed.get()) != size) return kShortRead;
      decoder.decode(packed.get(), size);
      events += decoder.events();
      if (events > eventBudget) return kStatusWrongFormat;
      Event* block = decoder.finish();
      if (block == nullptr) return kStatusOutOfMemory;
      soundtrack_->patterns[p + 1] = block;
    }
    return kStatusOk;
  }

  ModuleFile* file_;
  const Header& header_;
  Soundtrack* soundtrack_;
  const int64_t fileLength_;
  int32_t highestPattern_ = 0;
  int32_t sampleRecords_ = 0;
  int64_t framesLoaded_ = 0;
};

}  // namespace

bool ProbeS3M(const uint8_t* bytes, int32_t size) {
  return size >= kSignatureOffset + 4 && std::memcmp(bytes + kSignatureOffset, "SCRM", 4) == 0;
}

int16_t LoadS3M(ModuleFile* file, char* title, Soundtrack** soundtrack) {
  if (soundtrack != nullptr) *soundtrack = nullptr;
  if (title != nullptr) title[0] = '\0';
  if (file == nullptr) return kStatusBadParam;
  uint8_t bytes[kHeaderSize];
  int16_t status = ReadAt(file, 0, kHeaderSize, bytes);
  if (status != kStatusOk) return status;
  if (std::memcmp(bytes + kSignatureOffset, "SCRM", 4) != 0) return kStatusWrongFormat;
  if (title != nullptr) {
    std::memcpy(title, bytes, kTitleLength);
    title[kTitleLength] = '\0';
  }
  if (soundtrack == nullptr) return kStatusOk;

  const Header header(bytes);
  if (header.orders < 0 || header.instruments < 0 || header.patterns < 0) return kStatusWrongFormat;
  // The order list and the parapointer tables must be in the file before anything is sized by
  // their counts (the order list is read with one byte more).
  int64_t tablesEnd = header.panningBytes() + (header.panningTable ? kChannels : 0);
  if (std::max(tablesEnd, header.instrumentPointers() + 1) > FileLength(file)) return kShortRead;

  Soundtrack* loaded = NewSoundtrack();
  if (loaded == nullptr) return kStatusOutOfMemory;
  status = S3MLoad(file, header, loaded).run();
  if (status != kStatusOk) {
    ReleaseSoundtrack(loaded);
    return status;
  }
  *soundtrack = loaded;
  return kStatusOk;
}

}  // namespace tvp
