#include "tests/fuzz/fuzz_targets.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/engine_api.h"
#include "engine/offline_output.h"
#include "screen/pixel_image.h"
#include "screen/screen_font.h"
#include "soundtrack/it_loader.h"
#include "soundtrack/loaders.h"
#include "soundtrack/status.h"

namespace tvp::fuzz {
namespace {

constexpr int32_t kFramesPerBuffer = 4096;
constexpr uint32_t kRate = 22050;
constexpr int32_t kBuffers = 2 * kRate / kFramesPerBuffer + 1;  // about two seconds

// A file over the input; a buffer larger than 2 GB is no module of interest.
ModuleFile* openInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return nullptr;
  return FileOpenMemory(data, static_cast<int32_t>(size));
}

EngineResult command(SoundEngine** engine, uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0,
                     intptr_t p3 = 0) {
  ParamBlock params{{p0, p1, p2, p3}};
  return engineCommand(engine, code, &params);
}

}  // namespace

void LoadWithOneLoader(Target loader, const uint8_t* data, size_t size) {
  ModuleFile* file = openInput(data, size);
  if (!file) return;
  char title[kTitleCapacity];
  std::memset(title, 'x', sizeof title);  // the loader must terminate it
  Soundtrack* soundtrack = nullptr;
  int16_t status = kStatusWrongFormat;
  switch (loader) {
    case Target::XM: status = LoadXM(file, title, &soundtrack); break;
    case Target::S3M: status = LoadS3M(file, title, &soundtrack); break;
    case Target::MOD: status = LoadMOD(file, title, &soundtrack); break;
    case Target::IT: status = LoadIT(file, title, &soundtrack); break;
    case Target::Pipeline:
    case Target::Picture: break;
  }
  // A loader hands out a soundtrack exactly when it reports success, and its title is always
  // terminated.
  if ((status == kStatusOk) != (soundtrack != nullptr)) std::abort();
  if (std::memchr(title, '\0', sizeof title) == nullptr) std::abort();
  if (soundtrack) {
    int32_t seconds = 0, total = 0;
    EstimatePlayTime(soundtrack, &seconds, &total);
    SubSong songs[kMaxSubSongs];
    const int32_t count = FindSubSongs(soundtrack, songs, kMaxSubSongs);
    if (count < 1 || count > kMaxSubSongs || songs[0].total != total) std::abort();
    ReleaseSoundtrack(soundtrack);
  }
  FileClose(file);
}

void LoadAndPlay(const uint8_t* data, size_t size) {
  ModuleFile* file = openInput(data, size);
  if (!file) return;
  char title[kTitleCapacity];
  Soundtrack* soundtrack = nullptr;
  int16_t status = 0;
  LoadModule(file, title, &soundtrack, &status);
  FileClose(file);
  if (!soundtrack) return;
  soundtrack->flags |= kSoundtrackInUse;

  static const int16_t kModes[] = {0, 1, 2, 3, 7};
  const int16_t mode = kModes[size > 0 ? data[size - 1] % 5 : 0];
  SoundEngine* engine = nullptr;
  if (command(&engine, ENG_OPEN, 0, kOfflineRoad, 256, kFramesPerBuffer) == 0) {
    command(&engine, ENG_RESET);
    command(&engine, ENG_SET_MASTER_VOLUME, 0x10000);
    command(&engine, ENG_SET_A4_FREQUENCY, 440 << 16);
    command(&engine, ENG_SET_SPEED, 100 << 16);
    command(&engine, ENG_SET_INTERPOLATION, mode);
    command(&engine, ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(soundtrack));
    if (command(&engine, ENG_PREPARE, 16, 1, static_cast<intptr_t>(kRate) << 16) == 0 &&
        command(&engine, ENG_START) == 0) {
      std::vector<int16_t> out(2 * kFramesPerBuffer);
      for (int32_t i = 0; i < kBuffers; ++i) renderOfflineBuffer(&engine, out.data());
    }
    command(&engine, ENG_UNBIND_SOUNDTRACK);
    command(&engine, ENG_CLOSE);
  }
  int32_t seconds = 0, total = 0;
  EstimatePlayTime(soundtrack, &seconds, &total);
  ReleaseSoundtrack(soundtrack);
}

void ReadPicture(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return;
  Pixmap* picture = nullptr;
  if (DecodePixelImage(&picture, data, static_cast<int32_t>(size)) != kStatusOk) {
    if (picture) std::abort();  // a failed read hands out nothing
    return;
  }
  Pixmap* frame = nullptr;
  ScreenFont font;
  if (font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted) == kStatusOk &&
      PixmapCreate(&frame, 64, 16) == kStatusOk) {
    font.DrawTextShadowedInColour("Tonvale \xFE\xC1", frame, -3, 4, 70);
  }
  PixmapDispose(frame);
  PixmapDispose(picture);
}

void RunTarget(Target target, const uint8_t* data, size_t size) {
  switch (target) {
    case Target::Pipeline: LoadAndPlay(data, size); break;
    case Target::Picture: ReadPicture(data, size); break;
    default: LoadWithOneLoader(target, data, size); break;
  }
}

bool TargetByName(const char* name, Target* target) {
  static const struct {
    const char* name;
    Target target;
  } kNames[] = {{"xm", Target::XM}, {"s3m", Target::S3M}, {"mod", Target::MOD}, {"it", Target::IT}, {"pipeline", Target::Pipeline},
                {"picture", Target::Picture}};
  for (const auto& entry : kNames) {
    if (std::strcmp(entry.name, name) == 0) {
      *target = entry.target;
      return true;
    }
  }
  return false;
}

}  // namespace tvp::fuzz
