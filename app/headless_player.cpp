#include "app/headless_player.h"

#include "app/main_loop.h"

namespace tvp {

namespace {

std::unique_ptr<RingAudioDevice> MakeMemoryRing() { return std::make_unique<MemoryRingDevice>(); }

}  // namespace

HeadlessPlayer::HeadlessPlayer() : sound(MakeMemoryRing), player(std::make_unique<Player>()) {}

HeadlessPlayer::~HeadlessPlayer() { ShutDownPlayer(*player); }

int32_t HeadlessPlayer::Start(const StartOptions& options, std::string* error) {
  return StartPlayer(*player, {&display, &input, &sound, &clock, openMediaControls}, options, error);
}

void HeadlessPlayer::Frame(int count) {
  PlayerState& s = state();
  const int32_t bytesPerFrame = s.settings.sampleRate / kFramesPerSecond * 4;
  for (int i = 0; i < count; ++i) {
    RunMainLoopIteration(s);
    if (MemoryRingDevice* device = ring()) device->Advance(bytesPerFrame);
    clock.Advance(1000 / kFramesPerSecond);
  }
}

}  // namespace tvp
