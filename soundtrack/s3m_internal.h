#pragma once
// What the two halves of the S3M loader share: the header fields the loader reads and the
// decoder that turns one packed pattern into engine events.
#include <cstdint>
#include <cstring>

#include "soundtrack/byte_reader.h"
#include "soundtrack/soundtrack.h"

namespace tvp::s3m {

inline constexpr int32_t kHeaderSize = 96;  // also the lowest offset an item can have
inline constexpr int32_t kChannels = 32;
inline constexpr int32_t kRows = 64;
inline constexpr uint8_t kChannelDisabled = 0x80;
inline constexpr uint8_t kPanningTablePresent = 252;
inline constexpr uint16_t kAmigaLimits = 0x10;
inline constexpr int32_t kScratchRecords = 32768;

// Channel panning 0 (left) .. 15 (right) on the engine's -4096 .. 4096.
inline int32_t PanningOf(int32_t p) { return p * 8192 / 15 - 4096; }

struct Header {
  int32_t orders;  // the three counts are signed 16-bit fields
  int32_t instruments;
  int32_t patterns;
  bool amigaLimits;
  int32_t globalVolume;
  int32_t speed;
  int32_t tempo;
  bool stereo;  // master volume bit 7
  bool panningTable;
  uint8_t channels[kChannels];  // bit 7 disabled; 0..7 left, 8..15 right, 16 and above other kinds

  explicit Header(const uint8_t* b)
      : orders(ReadS16LE(b + 0x20)),
        instruments(ReadS16LE(b + 0x22)),
        patterns(ReadS16LE(b + 0x24)),
        amigaLimits((ReadU16LE(b + 0x26) & kAmigaLimits) != 0),
        globalVolume(b[0x30]),
        speed(b[0x31]),
        tempo(b[0x32]),
        stereo((b[0x33] & 0x80) != 0),
        panningTable(b[0x35] == kPanningTablePresent) {
    std::memcpy(channels, b + 0x40, kChannels);
  }

  // Where the order list's followers lie.
  int64_t instrumentPointers() const { return kHeaderSize + int64_t{orders}; }
  int64_t patternPointers() const { return instrumentPointers() + 2 * int64_t{instruments}; }
  int64_t panningBytes() const { return patternPointers() + 2 * int64_t{patterns}; }
};

struct Cell;
struct CellRequests;

// Decodes one pattern at a time into a scratch array of kScratchRecords events, then makes the
// sorted block. Switch flags, effect memory and the loop start begin afresh with each pattern.
class PatternDecoder {
 public:
  PatternDecoder(Event* scratch, const Header& header) : scratch_(scratch), header_(header) {}

  // Decodes `size` packed bytes. Every row takes at least one byte and there are at most 64
  // rows, so this ends on any input.
  void decode(const uint8_t* packed, int32_t size);
  // Records the block will take.
  int32_t events() const { return count_ + 2; }
  // The decoded pattern as one block, or null when memory is short.
  Event* finish();

 private:
  void emit(int32_t time, int32_t channel, int32_t code, int32_t param);
  void decodeRow(ByteCursor* cursor, int32_t row);
  void decodeCell(int32_t T, const Cell& cell);
  void volumeSlide(CellRequests* r, int32_t T, int32_t c, int32_t x, int32_t y);
  void periodSlide(CellRequests* r, int32_t T, int32_t c, int32_t xy, int32_t sign, int32_t mode, int32_t speedCode);
  void retrigger(int32_t T, int32_t c, int32_t x, int32_t y);
  void special(int32_t T, int32_t c, int32_t x, int32_t y);
  void emitRequests(int32_t T, int32_t time, const Cell& cell, const CellRequests& r, bool cut, int32_t period);
  void tremor(int32_t T, int32_t c, int32_t on, int32_t off);
  bool switchOff(int32_t c, uint8_t flag);
  void endRow(int32_t T);

  Event* scratch_;
  const Header& header_;
  int32_t count_ = 0;
  uint8_t flags_[kChannels] = {};
  uint8_t memory_[kChannels][26] = {};  // the last non-zero parameter of each letter
  int32_t loopStart_ = 0;
  int32_t lastRow_ = -1;
  int32_t rowFirstEvent_ = 1;
  int32_t speedRequest_ = -1;
  int32_t tempoRequest_ = -1;
  int32_t lastCellTime_ = 0;
};

}  // namespace tvp::s3m
