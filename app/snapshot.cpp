#include "app/snapshot.h"

#include <memory>

#include "app/main_loop.h"
#include "app/startup.h"
#include "platform/memory_audio.h"
#include "platform/memory_display.h"
#include "platform/memory_input.h"
#include "screen/png_file.h"

namespace tvp {

namespace {

constexpr int kFramesPerSecond = 60;

std::unique_ptr<RingAudioDevice> MakeMemoryRing() { return std::make_unique<MemoryRingDevice>(); }

}  // namespace

bool SnapshotFrame(const PlayerOptions& options, std::vector<uint8_t>* pixels, std::string* error) {
  MemoryDisplay display;
  MemoryInputSource input;
  SoundDeviceHolder sound(MakeMemoryRing);
  ManualClock clock;
  auto player = std::make_unique<Player>();
  StartOptions start;
  start.settingsPath = "";  // every setting at its default: a snapshot looks the same everywhere
  start.window = 1;
  start.file = options.file;
  if (StartPlayer(*player, {&display, &input, &sound, &clock}, start, error) != 0) return false;

  PlayerState& state = player->state;
  if (options.snapshotDisplay != 0) state.displayMode = options.snapshotDisplay;
  for (uint32_t key : options.snapshotKeys) display.PushKey(key);
  auto* ring = static_cast<MemoryRingDevice*>(sound.device());
  const int32_t bytesPerFrame = state.settings.sampleRate / kFramesPerSecond * 4;
  const long frames = static_cast<long>(options.snapshotSeconds * kFramesPerSecond) + 1;
  for (long f = 0; f < frames && state.running; ++f) {
    RunMainLoopIteration(state);
    ring->Advance(bytesPerFrame);
    clock.Advance(1000 / kFramesPerSecond);
  }
  const Pixmap* frame = state.frameBitmap;
  pixels->clear();
  for (int y = 0; y < frame->height; ++y) {
    const uint8_t* row = frame->pixels + size_t{frame->rowBytes} * y;
    pixels->insert(pixels->end(), row, row + frame->width);
  }
  ShutDownPlayer(*player);
  return true;
}

int RunSnapshot(const PlayerOptions& options, std::string* error) {
  std::vector<uint8_t> pixels;
  if (!SnapshotFrame(options, &pixels, error)) return 1;
  Pixmap frame{FRAME_WIDTH, FRAME_HEIGHT, FRAME_WIDTH, FRAME_HEIGHT, pixels.data(), pixels.data()};
  if (!WritePixmapPng(&frame, options.snapshotPath, 2)) {
    *error = "cannot write " + options.snapshotPath;
    return 1;
  }
  return 0;
}

}  // namespace tvp
