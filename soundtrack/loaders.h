#pragma once
// The module loaders. Each reads from an open file and, on success (status 0), hands a new
// soundtrack to `*soundtrack`; on failure it releases whatever it built and leaves the out null.
// `title` (kTitleCapacity bytes, or null) receives the module's title, always terminated. With a
// null `soundtrack` only the header is read and checked: a title query.
//
// The XM loader starts at the file's current position; the S3M and MOD loaders seek to 0. The
// application offers a file to them in the order of LoadModule, and the first 0 wins.
#include <cstdint>
#include <string>

#include "soundtrack/module_file.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

inline constexpr int32_t kTitleCapacity = 128;

int16_t LoadXM(ModuleFile* file, char* title, Soundtrack** soundtrack);
int16_t LoadS3M(ModuleFile* file, char* title, Soundtrack** soundtrack);
int16_t LoadMOD(ModuleFile* file, char* title, Soundtrack** soundtrack);
// soundtrack/it_loader.h: LoadIT, which the chain offers files last.

enum class ModuleFormat { None, XM, S3M, MOD, IT };

// Loaders keep per-channel state for this many channels and refuse files that declare more.
inline constexpr int32_t kMaxModuleChannels = 64;

// Offers the file to the XM, S3M, MOD and IT loaders in that order (the content decides, not the
// name). Returns the format that accepted it, or None with the last loader's status in `*status`.
ModuleFormat LoadModule(ModuleFile* file, char* title, Soundtrack** soundtrack, int16_t* status);

// The signature checks of the loaders, on a file's first `size` bytes: the channel count the
// header declares (which the loader may refuse), or -1 when the bytes carry no such signature.
int32_t ProbeXM(const uint8_t* bytes, int32_t size);
int32_t ProbeMOD(const uint8_t* bytes, int32_t size);
bool ProbeS3M(const uint8_t* bytes, int32_t size);

// Why the loader chain refused a file, for messages: the format whose signature the file carries
// (None when it carries none), the status that format's loader gave, and the channel count its
// header declares when that is one the loader cannot play (else 0). Like LoadModule, it reads
// from the file's current position and leaves the file there.
struct Refusal {
  ModuleFormat format = ModuleFormat::None;
  int16_t status = 0;
  int32_t unsupportedChannels = 0;
};
Refusal DescribeRefusal(ModuleFile* file);

// "XM", "S3M", "MOD", "IT" or "none".
const char* FormatName(ModuleFormat format);
// One line on why a file was refused, e.g. "XM data ends early" or "XM with 40 channels is not
// supported"; "not a module this player can read (XM, S3M, MOD, IT)" without a known signature.
std::string RefusalText(const Refusal& refusal);

}  // namespace tvp
