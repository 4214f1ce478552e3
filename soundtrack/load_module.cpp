// The loader chain: the XM, S3M, MOD and IT loaders are offered the file in that order and the
// first that accepts it builds the soundtrack. Each checks the file's own signature, so the
// content decides, never the file's name.
#include "soundtrack/loaders.h"

#include <algorithm>
#include <string>

#include "soundtrack/it_loader.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

int16_t LoadItFile(ModuleFile* file, char* title, Soundtrack** soundtrack) { return LoadIT(file, title, soundtrack); }

}  // namespace

ModuleFormat LoadModule(ModuleFile* file, char* title, Soundtrack** soundtrack, int16_t* status) {
  int16_t ignored = 0;
  if (status == nullptr) status = &ignored;
  if (soundtrack != nullptr) *soundtrack = nullptr;
  if (title != nullptr) title[0] = '\0';
  if (file == nullptr) {
    *status = static_cast<int16_t>(kStatusBadParam);
    return ModuleFormat::None;
  }

  struct Candidate {
    ModuleFormat format;
    int16_t (*load)(ModuleFile*, char*, Soundtrack**);
  };
  static constexpr Candidate kChain[] = {
      {ModuleFormat::XM, LoadXM}, {ModuleFormat::S3M, LoadS3M}, {ModuleFormat::MOD, LoadMOD}, {ModuleFormat::IT, LoadItFile}};

  // The XM loader reads from where the file stands; the others are given the same start, so a
  // loader that gave up half-way leaves nothing behind for the next one.
  const int32_t start = FilePosition(file);
  for (const Candidate& candidate : kChain) {
    if (FileSeek(file, kSeekFromStart, start) != 0) {
      *status = static_cast<int16_t>(kStatusDataEnded);
      break;
    }
    *status = candidate.load(file, title, soundtrack);
    // A status other than 0 (the S3M loader reports a short read as 1) is a refusal.
    if (*status == 0) return candidate.format;
    if (soundtrack != nullptr && *soundtrack != nullptr) {
      // A refusing loader releases what it built; never hand on a half-built song regardless.
      ReleaseSoundtrack(*soundtrack);
      *soundtrack = nullptr;
    }
  }
  if (title != nullptr) title[0] = '\0';
  return ModuleFormat::None;
}

Refusal DescribeRefusal(ModuleFile* file) {
  Refusal refusal;
  if (file == nullptr) return refusal;
  const int32_t start = FilePosition(file);
  uint8_t bytes[1084] = {};  // the longest header a signature lies in, the MOD's
  if (FileSeek(file, kSeekFromStart, start) != 0) return refusal;
  const int32_t size = std::max(FileRead(file, static_cast<int32_t>(sizeof bytes), bytes), 0);
  int32_t channels = 0;
  int16_t (*load)(ModuleFile*, char*, Soundtrack**) = nullptr;
  if ((channels = ProbeXM(bytes, size)) >= 0) {
    refusal.format = ModuleFormat::XM;
    load = LoadXM;
  } else if (ProbeS3M(bytes, size)) {
    refusal.format = ModuleFormat::S3M;
    load = LoadS3M;
    channels = 1;  // its channel settings are checked one by one
  } else if ((channels = ProbeMOD(bytes, size)) >= 0) {
    refusal.format = ModuleFormat::MOD;
    load = LoadMOD;
  } else if (ProbeIT(bytes, size)) {
    refusal.format = ModuleFormat::IT;
    load = LoadItFile;
    channels = 1;  // the patterns say how many it uses
  } else {
    return refusal;
  }
  if (channels < 1 || channels > kMaxModuleChannels) refusal.unsupportedChannels = channels;
  if (FileSeek(file, kSeekFromStart, start) == 0) {
    Soundtrack* soundtrack = nullptr;
    refusal.status = load(file, nullptr, &soundtrack);
    ReleaseSoundtrack(soundtrack);
  }
  FileSeek(file, kSeekFromStart, start);
  return refusal;
}

const char* FormatName(ModuleFormat format) {
  switch (format) {
    case ModuleFormat::XM: return "XM";
    case ModuleFormat::S3M: return "S3M";
    case ModuleFormat::MOD: return "MOD";
    case ModuleFormat::IT: return "IT";
    case ModuleFormat::None: break;
  }
  return "none";
}

std::string RefusalText(const Refusal& refusal) {
  const std::string name = FormatName(refusal.format);
  if (refusal.format == ModuleFormat::None) return "not a module this player can read (XM, S3M, MOD, IT)";
  if (refusal.unsupportedChannels != 0)
    return name + " with " + std::to_string(refusal.unsupportedChannels) + " channels is not supported";
  if (refusal.status == kStatusDataEnded || refusal.status == kStatusS3MShortRead) return name + " data ends early";
  if (refusal.status == kStatusOutOfMemory) return name + " needs more memory than there is";
  return name + " data is damaged (status " + std::to_string(refusal.status) + ")";
}

}  // namespace tvp
