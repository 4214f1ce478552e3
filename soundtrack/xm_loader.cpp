// The XM loader: reads an Extended Module from an open file into a new soundtrack. The file's
// patterns occupy slots 1 .. M, behind the initial settings pattern and followed by a restart
// and an ending pattern; instrument i owns sample slots 16i .. 16i + 15 and envelope slots 2i
// (volume) and 2i + 1 (panning). Every count, length and offset the file gives is checked
// against what the file holds before anything is allocated for it, so a broken or hostile file
// ends in a status, never in a read outside the file or an allocation it cannot back.
//
// Every part of the file is read once, in order, yet a few bytes can still ask for much: two
// bytes of a packed cell for 96 retrigger events, the 48 bytes of an envelope's points for 65536
// values, a 41-byte sample for a record with its 12 kB step table. Each of these draws on an
// allowance that has a base and grows with the module's length, so honest files stay far inside
// it; a file that would overdraw one is refused (kStatusWrongFormat) before the allocation.
#include <algorithm>
#include <cstring>
#include <memory>

#include "soundtrack/adpcm.h"
#include "soundtrack/byte_reader.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"
#include "soundtrack/xm_loader_internal.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

namespace ec = EventCode;

constexpr int32_t kHeaderBytes = 336;
constexpr char kSignature[] = "Extended Module: ";
constexpr int32_t kSignatureBytes = 17;
constexpr int32_t kTitleOffset = 17;
constexpr int32_t kTitleBytes = 20;
constexpr int32_t kMaxOrders = 256;
constexpr int32_t kPatternHeaderBytes = 9;
constexpr int32_t kMaxPackedBytes = 0xFFFF;  // the pattern header's 16-bit packed size
constexpr int32_t kInstrumentHeaderBytes = 29;
constexpr int32_t kInstrumentExtraBytes = 216;
constexpr int32_t kSampleHeaderBytes = 40;
constexpr int32_t kSamplesPerInstrument = 16;
constexpr int32_t kEnvelopePoints = 12;  // stored per envelope, used or not
constexpr int32_t kSongEndVariable = 32;  // counts how often the song reached its end
// The highest tempo an Fxx effect can set. The header's field is 16 bits wide, but a tempo above
// this would play a row in every few frames and turn a second of sound into thousands of rows.
constexpr int32_t kMaxTempo = 255;
constexpr uint32_t kXmSampleRate = 0x20AB0000;  // 8363 Hz, 16.16
constexpr int32_t kReset = static_cast<int32_t>(kFlowResetBit);

// The allowances: pattern events, envelope values and sample records, each a base plus so many
// per byte of the module.
constexpr int64_t kEventBase = int64_t{1} << 20;
constexpr int64_t kEventsPerByte = 4;
constexpr int64_t kEnvelopeValueBase = int64_t{1} << 20;
constexpr int64_t kEnvelopeValuesPerByte = 4;
constexpr int64_t kSampleRecordBase = 256;
constexpr int64_t kBytesPerSampleRecord = 1024;

struct Budget {
  int64_t events;
  int64_t envelopeValues;
  int64_t sampleRecords;

  explicit Budget(int64_t moduleBytes)
      : events(kEventBase + kEventsPerByte * moduleBytes),
        envelopeValues(kEnvelopeValueBase + kEnvelopeValuesPerByte * moduleBytes),
        sampleRecords(kSampleRecordBase + moduleBytes / kBytesPerSampleRecord) {}
};

// Draws `amount` from an allowance: false, leaving it as it was, when that much is not left.
bool Draw(int64_t* allowance, int64_t amount) {
  if (amount > *allowance) return false;
  *allowance -= amount;
  return true;
}

struct Header {
  int64_t headerSize;  // patterns start at base + 60 + headerSize
  int32_t songLength;
  int32_t restart;
  int32_t channels;
  int32_t patterns;
  int32_t instruments;
  int32_t speed;
  int32_t tempo;
  uint8_t orders[kMaxOrders];
};

struct ZeroFreer {
  void operator()(void* block) const { ZeroFree(block); }
};
template <typename T>
using Owned = std::unique_ptr<T[], ZeroFreer>;

int16_t ReadExact(ModuleFile* file, int32_t count, void* buffer) {
  return FileRead(file, count, buffer) == count ? kStatusOk : kStatusDataEnded;
}

int64_t Remaining(ModuleFile* file) { return std::max(FileLength(file) - FilePosition(file), 0); }

// Offsets from the file are unsigned 32-bit and added to positions: a target past the end stops
// at the end, where the next read comes up short.
int16_t SeekTo(ModuleFile* file, int64_t position) {
  const int64_t target = std::clamp<int64_t>(position, 0, FileLength(file));
  return FileSeek(file, kSeekFromStart, static_cast<int32_t>(target));
}

// The title ends at its first NUL or after 20 bytes, without trailing spaces.
void CopyTitle(const uint8_t* field, char* title) {
  int32_t length = 0;
  while (length < kTitleBytes && field[length] != 0) ++length;
  while (length > 0 && field[length - 1] == ' ') --length;
  std::memcpy(title, field, static_cast<size_t>(length));
  title[length] = '\0';
}

int16_t ReadHeader(ModuleFile* file, Header* header, char* title) {
  uint8_t bytes[kHeaderBytes];
  if (FileRead(file, kHeaderBytes, bytes) != kHeaderBytes) return kStatusDataEnded;
  if (bytes[37] != 0x1A || std::memcmp(bytes, kSignature, kSignatureBytes) != 0) return kStatusWrongFormat;
  header->headerSize = ReadU32LE(bytes + 60);
  header->songLength = ReadS16LE(bytes + 64);
  header->restart = ReadS16LE(bytes + 66);
  header->channels = ReadS16LE(bytes + 68);
  header->patterns = ReadS16LE(bytes + 70);
  header->instruments = ReadS16LE(bytes + 72);
  header->speed = ReadS16LE(bytes + 76);
  header->tempo = ReadS16LE(bytes + 78);
  std::memcpy(header->orders, bytes + 80, kMaxOrders);
  // The decoder keeps per-channel state for kMaxModuleChannels channels and the order table has
  // 256 entries; negative counts belong to no XM file.
  if (header->channels < 1 || header->channels > xm::kMaxChannels) return kStatusWrongFormat;
  if (header->songLength < 0 || header->songLength > kMaxOrders) return kStatusWrongFormat;
  if (header->patterns < 0 || header->instruments < 0) return kStatusWrongFormat;
  if (title != nullptr) CopyTitle(bytes + kTitleOffset, title);
  return kStatusOk;
}

// A pattern built one event at a time behind a head record. Records it could not get make the
// whole chain fail; what it holds is freed unless handed to a slot.
class Chain {
 public:
  Chain() : head_(NewEvent()), last_(head_) {}
  ~Chain() { FreePattern(head_); }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;

  void add(int32_t time, int32_t channel, int32_t code, int32_t param) {
    Event* event = last_ != nullptr ? AppendEvent(last_, time, channel, code, param) : nullptr;
    if (event == nullptr) {
      failed_ = true;
    } else {
      last_ = event;
    }
  }

  int16_t storeIn(Event** slot) {
    if (failed_ || head_ == nullptr) return kStatusOutOfMemory;
    *slot = head_;
    head_ = nullptr;
    return kStatusOk;
  }

 private:
  Event* head_;
  Event* last_;
  bool failed_ = false;
};

int16_t StoreEmptyPattern(Event** slot, int32_t time) {
  Chain chain;
  chain.add(time, 0, ec::NextPlayPosition, 0);
  return chain.storeIn(slot);
}

// Play positions: 0 (initial settings), the order entries, the restart and the ending pattern.
// M, the number of file pattern slots, covers every pattern an order entry names.
int16_t BuildPlayPositions(const Header& header, Soundtrack* soundtrack) {
  const int32_t length = header.songLength;
  int16_t status = ResizePlayPositionSlots(soundtrack, length + 3);
  if (status != kStatusOk) return status;
  int32_t m = header.patterns;
  soundtrack->playPositions[0] = 0;
  for (int32_t k = 0; k < length; ++k) {
    const int32_t pattern = header.orders[k];
    soundtrack->playPositions[k + 1] = pattern + 1;
    m = std::max(m, pattern + 1);
  }
  status = ResizePatternSlots(soundtrack, m + 3);
  if (status != kStatusOk) return status;
  soundtrack->playPositions[length + 1] = m + 1;
  soundtrack->playPositions[length + 2] = m + 2;

  Chain initial;
  initial.add(0, kSongEndVariable, ec::SetVariable, 0);
  initial.add(0, 0, ec::SetSongMode, 0);
  initial.add(0, 0, ec::SetSpeed, header.speed);
  initial.add(0, 0, ec::SetTempo, std::min(header.tempo, kMaxTempo));
  for (int32_t c = 0; c < header.channels; ++c) {
    initial.add(0, c, ec::SetPanning, 16);
    initial.add(0, c, ec::SetVolumeMax, 0x10000);
    initial.add(0, c, ec::SetPitchMin, 0xC00);
    initial.add(0, c, ec::SetPitchMax, 0x6BFF);
    initial.add(0, c, ec::PitchSlideSpeed, 0x7FFF);
  }
  initial.add(0, 0, ec::NextPlayPosition, 0);
  status = initial.storeIn(&soundtrack->patterns[0]);
  if (status != kStatusOk) return status;

  // A song that runs off its end continues at its restart position; one outside the song
  // starts it over from the initial settings.
  const bool restartInSong = header.restart >= 0 && header.restart < length;
  Chain restart;
  restart.add(0, 0, ec::GotoPlayPosition, (restartInSong ? header.restart + 1 : 0) | kReset);
  restart.add(0, 0, ec::NextPlayPosition, 0);
  status = restart.storeIn(&soundtrack->patterns[m + 1]);
  if (status != kStatusOk) return status;

  // F00 lands here: every key is released, the song end is counted, and after 64 rows of
  // fading play runs past the last position, which ends the song.
  Chain ending;
  for (int32_t c = 0; c < header.channels; ++c) ending.add(0, c, ec::ClearVoiceFlags, 2);
  ending.add(0, kSongEndVariable, ec::AddVariable, 1);
  ending.add(xm::kEmptyPatternTime, 0, ec::NextPlayPosition, 0);
  status = ending.storeIn(&soundtrack->patterns[m + 2]);
  if (status != kStatusOk) return status;

  for (int32_t p = header.patterns; p < m && status == kStatusOk; ++p) {
    status = StoreEmptyPattern(&soundtrack->patterns[p + 1], xm::kEmptyPatternTime);
  }
  return status;
}

int16_t ReadPatterns(ModuleFile* file, int32_t base, const Header& header, Budget* budget,
                     Soundtrack* soundtrack) {
  int16_t status = SeekTo(file, base + int64_t{60} + header.headerSize);
  if (status != kStatusOk) return status;
  // Each pattern has at least its header in the file.
  if (int64_t{header.patterns} * kPatternHeaderBytes > Remaining(file)) return kStatusDataEnded;
  if (header.patterns == 0) return kStatusOk;
  Owned<Event> scratch(static_cast<Event*>(ZeroAllocArray(xm::kScratchCapacity, static_cast<int32_t>(sizeof(Event)))));
  Owned<uint8_t> packed(static_cast<uint8_t*>(ZeroAlloc(kMaxPackedBytes)));
  if (!scratch || !packed) return kStatusOutOfMemory;

  xm::PatternLayout layout{0, header.channels, header.songLength, header.instruments};
  for (int32_t p = 0; p < header.patterns; ++p) {
    const int64_t start = FilePosition(file);
    uint8_t bytes[kPatternHeaderBytes];
    if (ReadExact(file, kPatternHeaderBytes, bytes) != kStatusOk) return kStatusDataEnded;
    // A longer header is skipped; the packing type (byte 4) is not looked at.
    status = SeekTo(file, start + ReadU32LE(bytes));
    if (status != kStatusOk) return status;
    layout.rows = ReadU16LE(bytes + 5);
    const int32_t size = ReadU16LE(bytes + 7);
    Event** slot = &soundtrack->patterns[p + 1];
    if (size < 1) {
      status = StoreEmptyPattern(slot, layout.rows * 256);
    } else if (ReadExact(file, size, packed.get()) != kStatusOk) {
      return kStatusDataEnded;
    } else {
      status = xm::DecodeIntoSlot(packed.get(), size, layout, scratch.get(), &budget->events, slot);
    }
    if (status != kStatusOk) return status;
  }
  return kStatusOk;
}

// Envelope fields of the instrument header: 12 points of (tick, value) as 16-bit pairs and the
// point count, sustain, loop and type bytes.
struct EnvelopeFields {
  const uint8_t* points;
  int32_t count;
  int32_t sustain;
  int32_t loopStart;
  int32_t loopEnd;
  int32_t type;  // bit 0 on, bit 1 sustain, bit 2 loop
};

int32_t VolumeValue(int32_t y) { return y * 1024; }        // 16.16 factor, 64 = 1.0
int32_t PanningValue(int32_t y) { return y * 128 - 4080; }  // 32 is the centre

// Expands the points into one value per tick. Only the stored points count, and a tick lower
// than the one before it is held at that one, so the values array has at least one entry and
// every segment between two points a width of at least one tick.
int16_t BuildEnvelope(const EnvelopeFields& fields, int32_t (*convert)(int32_t), Budget* budget, Envelope** slot) {
  if ((fields.type & 1) == 0) return kStatusOk;
  const int32_t count = std::clamp(fields.count, 0, kEnvelopePoints);
  const int32_t used = std::max(count, 1);  // without points, point 0 gives the one value
  int32_t ticks[kEnvelopePoints];
  int32_t values[kEnvelopePoints];
  for (int32_t p = 0; p < used; ++p) {
    ticks[p] = count == 0 ? 0 : ReadU16LE(fields.points + 4 * p);
    if (p > 0) ticks[p] = std::max(ticks[p], ticks[p - 1]);
    values[p] = convert(fields.points[4 * p + 2]);  // the value's low byte
  }
  if (!Draw(&budget->envelopeValues, ticks[used - 1] + 1)) return kStatusWrongFormat;

  Envelope* envelope = NewEnvelope();
  if (envelope == nullptr) return kStatusOutOfMemory;
  *slot = envelope;
  if (FillEnvelope(envelope, ticks, values, used) != kStatusOk) return kStatusOutOfMemory;

  envelope->sustainEnd = kNoEnvelopePoint;
  if ((fields.type & 2) != 0 && fields.sustain < count) {
    envelope->sustainStart = envelope->sustainEnd = ticks[fields.sustain];
    envelope->flags |= kEnvelopeSustain;
  }
  envelope->loopEnd = kNoEnvelopePoint;
  if ((fields.type & 4) != 0) {
    envelope->loopStart = ticks[std::min(fields.loopStart, used - 1)];
    envelope->loopEnd = ticks[std::min(fields.loopEnd, used - 1)];
    envelope->flags |= kEnvelopeLoop;
  }
  return kStatusOk;
}

// The last envelope slot holds a short rise from -256 to 0 without loop or sustain; no
// instrument refers to it.
int16_t StoreBuiltInEnvelope(Envelope** slot) {
  constexpr int32_t kValues[] = {-256, -128, -64, -32, -16, 0};
  constexpr int32_t kLength = 6;
  Envelope* envelope = NewEnvelope();
  if (envelope == nullptr) return kStatusOutOfMemory;
  *slot = envelope;
  envelope->values = static_cast<int32_t*>(ZeroAllocArray(kLength, static_cast<int32_t>(sizeof(int32_t))));
  if (envelope->values == nullptr) return kStatusOutOfMemory;
  std::copy(kValues, kValues + kLength, envelope->values);
  envelope->length = kLength;
  envelope->sustainEnd = kNoEnvelopePoint;
  envelope->loopEnd = kNoEnvelopePoint;
  return kStatusOk;
}

// 8-bit deltas, each adding d x 256 to a running 16-bit value. The bytes are read into the upper
// half of the frame buffer and decoded upward: frame i ends at byte 2i + 1, never past byte
// n + i, which is already read.
int16_t ReadDeltas8(ModuleFile* file, int32_t count, int16_t* frames) {
  auto* raw = reinterpret_cast<uint8_t*>(frames);
  if (ReadExact(file, count, raw + count) != kStatusOk) return kStatusDataEnded;
  int16_t value = 0;
  for (int32_t i = 0; i < count; ++i) {
    value = static_cast<int16_t>(value + static_cast<int8_t>(raw[count + i]) * 256);
    frames[i] = value;
  }
  return kStatusOk;
}

// 16-bit little-endian deltas, decoded in place; an odd last byte is skipped.
int16_t ReadDeltas16(ModuleFile* file, int32_t fileBytes, int16_t* frames) {
  const int32_t count = fileBytes / 2;
  auto* raw = reinterpret_cast<uint8_t*>(frames);
  if (ReadExact(file, count * 2, raw) != kStatusOk) return kStatusDataEnded;
  int16_t value = 0;
  for (int32_t i = 0; i < count; ++i) {
    value = static_cast<int16_t>(value + ReadS16LE(raw + 2 * i));
    frames[i] = value;
  }
  return (fileBytes & 1) != 0 ? FileSeek(file, kSeekFromCurrent, 1) : kStatusOk;
}

// An 8-bit sample whose header's reserved byte is 0xAD holds its frames in ADPCM.
bool IsAdpcm(const uint8_t* header) { return header[17] == 0xAD && (header[14] & 0x10) == 0; }

// The bytes a sample's data takes in the file.
int64_t StoredBytes(const uint8_t* header) {
  const int64_t length = ReadU32LE(header);
  return IsAdpcm(header) ? AdpcmBytes(length) : length;
}

// `bytes` bytes of ADPCM data giving `frames` frames.
int16_t ReadAdpcm(ModuleFile* file, int32_t bytes, int32_t frames, int16_t* data) {
  Owned<uint8_t> packed(static_cast<uint8_t*>(ZeroAlloc(bytes)));
  if (!packed) return kStatusOutOfMemory;
  if (ReadExact(file, bytes, packed.get()) != kStatusOk) return kStatusDataEnded;
  DecodeAdpcm(packed.get(), bytes, frames, data);
  return kStatusOk;
}

// One sample from its 40-byte header, with its data from the file's current position.
int16_t ReadSample(ModuleFile* file, const uint8_t* header, Sample** slot) {
  int16_t status = kStatusOk;
  Sample* sample = NewSample(&status);
  if (sample == nullptr) return kStatusOutOfMemory;
  *slot = sample;
  if (status != kStatusOk) return status;

  const uint8_t type = header[14];
  const bool sixteenBit = (type & 0x10) != 0;
  const bool adpcm = IsAdpcm(header);
  const int64_t scale = sixteenBit ? 1 : 2;  // bytes in memory per file byte
  // The data is never taken to be longer than what the file holds: data cut short by the end of
  // the file plays as far as it goes.
  const int64_t stored = std::min<int64_t>(StoredBytes(header), Remaining(file));
  const int64_t frameBytes = adpcm ? std::min<int64_t>(ReadU32LE(header), AdpcmFrames(stored)) : stored;
  const int64_t length = (frameBytes * scale) & ~int64_t{1};
  if (length > INT32_MAX - 8) return kStatusOutOfMemory;  // the guard frames must fit as well

  // The loop in bytes of 16-bit frames. One reaching past the data is cut to it; a loop left
  // shorter than two frames plays as none.
  const int64_t loopStart = (ReadU32LE(header + 4) * scale) & ~int64_t{1};
  const int64_t loopEnd = std::min(loopStart + ((ReadU32LE(header + 8) * scale) & ~int64_t{1}), length);
  if ((type & 3) != 0 && loopEnd - loopStart >= 4) {
    sample->loopMode = (type & 3) == 1 ? kLoopForward : kLoopPingPong;
    sample->loopStart = static_cast<int32_t>(loopStart);
    sample->loopEnd = static_cast<int32_t>(loopEnd);
    sample->loopLength = static_cast<int32_t>(loopEnd - loopStart);
  }
  sample->length = static_cast<int32_t>(length);
  sample->volume = header[12] * 1024;
  sample->panning = header[15] * 32 - 4080;
  sample->rate = kXmSampleRate;
  // Relative note in semitones, fine-tune in 1/128 semitone.
  sample->baseNote = 0x3C00 - 256 * ReadS8(header + 16) - 2 * ReadS8(header + 13);

  if (length > 0) {
    sample->data = static_cast<int16_t*>(ZeroAlloc(static_cast<int32_t>(length)));
    if (sample->data == nullptr) return kStatusOutOfMemory;
    if (adpcm) {
      status = ReadAdpcm(file, static_cast<int32_t>(stored), static_cast<int32_t>(length / 2), sample->data);
    } else {
      status = sixteenBit ? ReadDeltas16(file, static_cast<int32_t>(stored), sample->data)
                          : ReadDeltas8(file, static_cast<int32_t>(stored), sample->data);
    }
  } else {
    status = SeekTo(file, FilePosition(file) + stored);  // an odd byte of 16-bit data
  }
  if (status != kStatusOk) return status;
  return PrepareSampleData(sample);
}


// An instrument with more samples than its 16 slots stays empty. Its sample headers and data are
// passed over, so the instruments after it are read from their own bytes.
int16_t SkipSamples(ModuleFile* file, int32_t count, int64_t headerSkip) {
  int64_t dataBytes = 0;
  for (int32_t j = 0; j < count; ++j) {
    uint8_t header[kSampleHeaderBytes];
    if (ReadExact(file, kSampleHeaderBytes, header) != kStatusOk) return kStatusDataEnded;
    const int16_t status = SeekTo(file, FilePosition(file) + headerSkip);
    if (status != kStatusOk) return status;
    dataBytes += StoredBytes(header);
  }
  return SeekTo(file, FilePosition(file) + dataBytes);
}

int32_t AutoVibratoWaveform(int32_t type) {
  switch (type) {
    case 1: return 0x8004;  // square
    case 2: return 0x8003;  // ramp down
    case 3: return 0x8002;  // ramp up
    default: return 0x8000;  // sine
  }
}

int16_t ReadInstrument(ModuleFile* file, int32_t index, Budget* budget, Soundtrack* soundtrack) {
  const int64_t start = FilePosition(file);
  uint8_t head[kInstrumentHeaderBytes];
  if (ReadExact(file, kInstrumentHeaderBytes, head) != kStatusOk) return kStatusDataEnded;
  // The next part never starts inside these 29 bytes: a smaller size would read them again,
  // and every further instrument with them.
  const int64_t next = start + std::max<int64_t>(ReadU32LE(head), kInstrumentHeaderBytes);
  const int32_t sampleCount = ReadS16LE(head + 27);
  if (sampleCount < 1) return SeekTo(file, next);

  uint8_t extra[kInstrumentExtraBytes];
  if (ReadExact(file, kInstrumentExtraBytes, extra) != kStatusOk) return kStatusDataEnded;
  int16_t status = SeekTo(file, next);
  if (status != kStatusOk) return status;
  // Sample headers read as 40 bytes each; a larger declared size is skipped, a smaller one
  // still takes the 40.
  const int64_t skip = std::max<int64_t>(int64_t{ReadU32LE(extra)} - kSampleHeaderBytes, 0);
  if (sampleCount > kSamplesPerInstrument) return SkipSamples(file, sampleCount, skip);

  uint8_t headers[kSamplesPerInstrument][kSampleHeaderBytes];
  for (int32_t j = 0; j < sampleCount; ++j) {
    if (ReadExact(file, kSampleHeaderBytes, headers[j]) != kStatusOk) return kStatusDataEnded;
    if (skip > 0) status = SeekTo(file, FilePosition(file) + skip);
    if (status != kStatusOk) return status;
  }
  Instrument* instrument = NewInstrument();
  if (instrument == nullptr) return kStatusOutOfMemory;
  soundtrack->instruments[index] = instrument;
  Sample** samples = soundtrack->samples + kSamplesPerInstrument * index;
  for (int32_t j = 0; j < sampleCount; ++j) {
    if (ReadU32LE(headers[j]) == 0) continue;
    if (!Draw(&budget->sampleRecords, 1)) return kStatusWrongFormat;
    status = ReadSample(file, headers[j], &samples[j]);
    if (status != kStatusOk) return status;
  }

  // Notes 0 .. 95 of the map are pitches 12 .. 107; a sample number past the instrument's 16
  // names a slot but no sample.
  for (int32_t note = 0; note < 96; ++note) {
    const int32_t m = extra[4 + note];
    instrument->noteMap[note + 12] = {kSamplesPerInstrument * index + m,
                                      m < kSamplesPerInstrument ? samples[m] : nullptr, 0};
  }
  instrument->fadeout = ReadU16LE(extra + 210) * 2;
  const int32_t depth = extra[208] & 0x0F;
  const int32_t rate = extra[209];
  if (depth != 0 && rate != 0) {
    instrument->autoVibratoOn = 1;
    instrument->autoVibratoWaveform = AutoVibratoWaveform(extra[206]);
    instrument->autoVibratoDepth = depth * 4;
    instrument->autoVibratoRate = rate * 4;
    instrument->autoVibratoSweep = 0x10000 / (extra[207] + 1);
  }

  Envelope** envelopes = soundtrack->envelopes + 2 * index;
  const EnvelopeFields volume{extra + 100, extra[196], extra[198], extra[199], extra[200], extra[204]};
  const EnvelopeFields panning{extra + 148, extra[197], extra[201], extra[202], extra[203], extra[205]};
  status = BuildEnvelope(volume, VolumeValue, budget, &envelopes[0]);
  if (status == kStatusOk) status = BuildEnvelope(panning, PanningValue, budget, &envelopes[1]);
  instrument->volumeEnvelope = envelopes[0];
  instrument->panningEnvelope = envelopes[1];
  return status;
}

int16_t ReadInstruments(ModuleFile* file, const Header& header, Budget* budget, Soundtrack* soundtrack) {
  const int32_t count = header.instruments;
  int16_t status = ResizeInstrumentSlots(soundtrack, count);
  if (status == kStatusOk) status = ResizeSampleSlots(soundtrack, count * kSamplesPerInstrument);
  if (status == kStatusOk) status = ResizeEnvelopeSlots(soundtrack, 2 * count + 1);
  if (status == kStatusOk) status = StoreBuiltInEnvelope(&soundtrack->envelopes[2 * count]);
  for (int32_t i = 0; i < count && status == kStatusOk; ++i) {
    status = ReadInstrument(file, i, budget, soundtrack);
    // Trackers leave out trailing empty instruments: an instrument whose headers the file ends
    // in, and every one after it, stays an empty slot.
    if (status == kStatusDataEnded) return kStatusOk;
  }
  return status;
}

}  // namespace

int32_t ProbeXM(const uint8_t* bytes, int32_t size) {
  if (size < 38 || bytes[37] != 0x1A || std::memcmp(bytes, kSignature, kSignatureBytes) != 0) return -1;
  return size >= 70 ? ReadS16LE(bytes + 68) : 0;
}

int16_t LoadXM(ModuleFile* file, char* title, Soundtrack** soundtrack) {
  if (title != nullptr) title[0] = '\0';
  if (soundtrack != nullptr) *soundtrack = nullptr;
  // The module starts at the current position; later seeks are relative to it.
  const int32_t base = FilePosition(file);
  Header header;
  int16_t status = ReadHeader(file, &header, title);
  if (status != kStatusOk || soundtrack == nullptr) return status;

  Soundtrack* built = NewSoundtrack();
  if (built == nullptr) return kStatusOutOfMemory;
  Budget budget(int64_t{FileLength(file)} - base);
  status = BuildPlayPositions(header, built);
  if (status == kStatusOk) status = ReadPatterns(file, base, header, &budget, built);
  if (status == kStatusOk) status = ReadInstruments(file, header, &budget, built);
  if (status != kStatusOk) {
    ReleaseSoundtrack(built);
    return status;
  }
  *soundtrack = built;
  return kStatusOk;
}

}  // namespace tvp
