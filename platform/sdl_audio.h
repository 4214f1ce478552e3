#pragma once
// The sound devices on SDL's audio output, 16-bit stereo at the rate asked for (SDL converts when
// the hardware wants another format). SDL's `dummy` and `disk` drivers (SDL_AUDIODRIVER) serve
// machines without a sound card and tests.
#include <memory>

#include "platform/audio_device.h"

namespace tvp {

// The ring device, for SoundDeviceHolder: null when SDL has no usable audio output (the audio
// subsystem cannot start or the default device cannot be opened).
std::unique_ptr<RingAudioDevice> OpenSdlRingDevice();

// The queue device; it opens SDL's default output at Open.
std::unique_ptr<QueueAudioDevice> MakeSdlQueueDevice();

}  // namespace tvp
