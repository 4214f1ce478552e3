// The IT loader, as far as it goes: the header, the order list and the samples. Offsets in the
// file are absolute 32-bit values; multi-byte fields are little-endian. Every count and offset
// is checked against the file before anything is allocated for it.
#include "soundtrack/it_loader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "soundtrack/byte_reader.h"
#include "soundtrack/it_samples.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
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
constexpr uint8_t kSampleStereo = 4;
constexpr uint8_t kSampleCompressed = 8;
constexpr uint8_t kSampleLoop = 16;
constexpr uint8_t kSamplePingPong = 64;
constexpr uint8_t kConvertSigned = 1;
constexpr uint8_t kConvertDelta = 4;  // compressed data integrated twice
constexpr uint8_t kDefaultPanOn = 128;

// Limits on what a file can make us allocate: frames per byte of file (compressed data packs
// at best about 8 frames a byte) and sample records.
constexpr int64_t kFramesPerByte = 8;
constexpr int32_t kMaxSampleFrames = 0x3FFFFFF0;
constexpr uint32_t kHighestRate = 0xFFFF;  // the 16.16 rate holds up to 65535 Hz
constexpr int32_t kBaseNote = 60 * 256;    // C-5 plays at the sample's C5 speed

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
    return status;
  }

 private:
  // The order bytes follow the header; then the offsets of instruments, samples and patterns.
  int64_t sampleOffsets() const { return kHeaderSize + int64_t{header_.orders} + 4 * int64_t{header_.instruments}; }

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
    Buffer offsets = NewBuffer(4 * int64_t{count});
    if (count > 0) {
      if (!offsets) return kStatusOutOfMemory;
      const int16_t status = ReadAt(file_, sampleOffsets(), 4 * int64_t{count}, offsets.get());
      if (status != kStatusOk) return status;
    }
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
    sample->panning = (h[0x2F] & kDefaultPanOn) ? std::min<int32_t>(h[0x2F] & 0x7F, 64) * 128 - 4096 : 0;
    setRate(sample, ReadU32LE(h + 0x3C));
    if (flags & kSamplePresent) {
      status = readData(sample, h);
      if (status != kStatusOk) return status;
    }
    fitLoop(sample, flags, ReadU32LE(h + 0x34), ReadU32LE(h + 0x38));
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

  ModuleFile* file_;
  const ItHeader& header_;
  Soundtrack* soundtrack_;
  int64_t fileLength_;
  int64_t framesLoaded_ = 0;
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
