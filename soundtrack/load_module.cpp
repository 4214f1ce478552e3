// The loader chain: the XM, S3M and MOD loaders are offered the file in that order and the first
// that accepts it builds the soundtrack. Each checks the file's own signature, so the content
// decides, never the file's name.
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"

namespace tvp {

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
      {ModuleFormat::XM, LoadXM}, {ModuleFormat::S3M, LoadS3M}, {ModuleFormat::MOD, LoadMOD}};

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

}  // namespace tvp
