#include "app/snapshot.h"

#include "app/headless_player.h"
#include "screen/png_file.h"

namespace tvp {

bool SnapshotFrame(const PlayerOptions& options, std::vector<uint8_t>* pixels, std::string* error) {
  HeadlessPlayer headless;
  StartOptions start;
  start.settingsPath = "";  // every setting at its default: a snapshot looks the same everywhere
  start.window = 1;
  start.files = options.files;
  start.recursive = options.recursive;
  if (headless.Start(start, error) != 0) return false;

  PlayerState& state = headless.state();
  if (options.snapshotDisplay != 0) state.displayMode = options.snapshotDisplay;
  for (uint32_t key : options.snapshotKeys) headless.display.PushKey(key);
  const long frames = static_cast<long>(options.snapshotSeconds * HeadlessPlayer::kFramesPerSecond) + 1;
  for (long f = 0; f < frames && state.running; ++f) headless.Frame();
  const Pixmap* frame = state.frameBitmap;
  pixels->clear();
  for (int y = 0; y < frame->height; ++y) {
    const uint8_t* row = frame->pixels + size_t{frame->rowBytes} * y;
    pixels->insert(pixels->end(), row, row + frame->width);
  }
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
