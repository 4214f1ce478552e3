#pragma once
// Impulse Tracker modules ("IMPM"): the header, the order list, the samples, the instruments of
// the current layout and the patterns, whose cells reach the engine through the XM pattern
// decoder (soundtrack/it_patterns.h). The loader chain offers files to it after the others.
#include <cstdint>

#include "soundtrack/module_file.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

inline constexpr int32_t kItChannels = 64;

// What the header says, read field by field (little-endian).
struct ItHeader {
  int32_t orders = 0;
  int32_t instruments = 0;
  int32_t samples = 0;
  int32_t patterns = 0;
  uint16_t createdWith = 0;     // Cwt/v
  uint16_t compatibleWith = 0;  // Cmwt: below 0x200 instruments have the old layout
  uint16_t flags = 0;           // kItFlag...
  uint16_t special = 0;
  int32_t globalVolume = 128;   // 0 .. 128
  int32_t mixVolume = 48;
  int32_t speed = 6;
  int32_t tempo = 125;
  int32_t separation = 128;
  uint8_t channelPan[kItChannels] = {};     // 0 .. 64 (100 surround), +128 disabled
  uint8_t channelVolume[kItChannels] = {};  // 0 .. 64
};

inline constexpr uint16_t kItFlagStereo = 1;
inline constexpr uint16_t kItFlagInstruments = 4;
inline constexpr uint16_t kItFlagLinearSlides = 8;
inline constexpr uint16_t kItFlagOldEffects = 16;
inline constexpr uint16_t kItFlagCompatibleGxx = 32;

// The signature check on a file's first `size` bytes.
bool ProbeIT(const uint8_t* bytes, int32_t size);

// Reads the header (into `header` when given), the title and, with a soundtrack out, the play
// positions, the samples (8- and 16-bit, signed and unsigned, packed or not; of a stereo sample
// the left channel), the instruments (without instruments, one per sample) and the patterns.
// Status 0 or the reason the file was refused.
int16_t LoadIT(ModuleFile* file, char* title, Soundtrack** soundtrack, ItHeader* header = nullptr);

}  // namespace tvp
