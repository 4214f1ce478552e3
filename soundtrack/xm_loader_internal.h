#pragma once
// Shared between the XM loader (file layout, instruments, samples) and its pattern decoder
// (cells to engine events). Not part of the loaders' interface.
#include <cstdint>

#include "soundtrack/loaders.h"
#include "soundtrack/soundtrack.h"

namespace tvp::xm {

// The decoder keeps per-channel state in arrays of this size; headers asking for more channels
// (or none) are refused.
inline constexpr int32_t kMaxChannels = kMaxModuleChannels;

// Records of the scratch array a pattern is first decoded into, header included.
inline constexpr int32_t kScratchCapacity = 32768;

// Time of the NextPlayPosition that closes a generated empty pattern: 64 rows.
inline constexpr int32_t kEmptyPatternTime = 64 * 256;

struct PatternLayout {
  int32_t rows;             // from the pattern header, 0 .. 65535
  int32_t channels;         // 1 .. kMaxChannels
  int32_t songLength;       // F00 jumps to play position songLength + 2, the ending pattern
  int32_t instrumentCount;  // instrument numbers above it are no instrument
  // Every struck note first hands the channel's playing note off (its instrument's note action
  // decides what becomes of it), a note without an instrument number takes the key again and
  // restarts the envelopes (keeping the volume), and the extension effects below are decoded.
  bool extended = false;
  int32_t vibratoSpeedUnit = 12;  // phase (1024 a cycle) per tick per step of a vibrato's or tremolo's speed
  int32_t vibratoDepthUnit = 32;  // pitch (1/256 semitone) per step of a vibrato's depth
  // Extended layouts: a sample offset past the end of a looping sample starts at its loop, and
  // with this past the end of one without a loop at its beginning.
  bool offsetPastEndRestarts = false;
};

// In extended layouts note 98 fades the playing note out without releasing its key.
inline constexpr uint8_t kNoteFadeOut = 98;

// In extended layouts a cell has a second effect (type and parameter) after the first, applied
// before it as the volume column's is: a whole cell is 7 bytes, and a packed cell's bits 5 and 6
// say whether the second type and parameter follow.
inline constexpr int32_t kExtendedCellBytes = 7;

// Effect numbers past XM's own, for loaders whose effects XM has no number for; decoded only
// with PatternLayout::extended.
enum ExtensionEffect : uint8_t {
  kEffectPastNotes = 36,           // 0 cut, 1 off, 2 fade the notes the channel handed off
  kEffectNoteAction = 37,          // kNoteAction* for the playing note
  kEffectChannelVolume = 38,       // 0 .. 64
  kEffectChannelVolumeSlide = 39,  // x0 up, 0y down, xF fine up, Fy fine down
  kEffectHighOffset = 40,          // the sample offset's units of 65536 frames, kept per channel
  kEffectFilter = 41,              // 00 .. 7F the filter's cutoff, 80 .. 8F its resonance in steps of 8
  kEffectTempoSlide = 42,          // 0x slower, 1x faster by x on every tick after the first
  kEffectTickDelay = 43,           // the row lasts x more ticks
  kEffectPanbrello = 44,           // xy: speed x, depth y; 0 keeps the last
  kEffectPanbrelloWaveform = 45,   // as the vibrato's
  kEffectEnvelopeSwitch = 46,      // 0/1 the volume envelope off/on, 2/3 panning, 4/5 pitch and filter
  kEffectFineVibrato = 47,         // as 4xy with a quarter of the depth
  kEffectTremolo = 48,             // speed x as the vibrato's, depth y: y/32 of full volume
  kEffectTremor = 49,              // x + 1 ticks sounding, y + 1 silent, until a row without it
  kEffectGlobalVolumeSlide = 50,   // as the channel volume's, in steps of 1/128 of full volume
  kEffectPanningSlide = 51,        // x0 left, 0y right, xF fine left, Fy fine right; steps of 1/64 of the width
  kEffectSpeed = 52,               // ticks a row, 1 .. 255; 0 changes nothing
  kEffectBreak = 53,               // pattern break to row xy, 0 .. 255
};

// Decodes the packed cells of one pattern into `events`, whose record 0 is the scratch header
// (param = capacity, 0 = unchecked). Returns the number of records the pattern needs, header and
// closing NextPlayPosition included. When they all fit, records 1 .. n - 2 are sorted and all n
// linked; otherwise nothing past the capacity was written and the caller decodes again into an
// array of the returned size. The same input always gives the same records.
int32_t DecodePattern(const uint8_t* data, int32_t size, const PatternLayout& layout, Event* events);

// Decodes one pattern into `scratch` (kScratchCapacity records) and keeps it as one block in
// `*slot`. A pattern with more events than the scratch array holds is decoded a second time,
// straight into a block of the size the first pass counted. The events are drawn from
// `*eventAllowance` before any block is allocated for them: kStatusWrongFormat when too few are
// left, kStatusOutOfMemory when the block cannot be had.
int16_t DecodeIntoSlot(const uint8_t* data, int32_t size, const PatternLayout& layout, Event* scratch,
                       int64_t* eventAllowance, Event** slot);

}  // namespace tvp::xm
