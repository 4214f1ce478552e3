// The ring is read by SDL's audio callback on SDL's audio thread, the "hardware": it only copies
// bytes from the ring at the play cursor and moves the cursor on, wrapping at the end, and never
// waits on the engine. The engine writes sections on the main thread between Lock and Unlock;
// each Unlock publishes what was written (release), each callback picks it up (acquire).
#include "platform/sdl_audio.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "soundtrack/status.h"

namespace tvp {

namespace {

// Frames SDL asks the callback for at a time: short enough against a ring section (4096 frames
// by default) that the play cursor moves on smoothly, long enough not to wake the thread often.
constexpr int32_t kCallbackFrames = 1024;

SDL_AudioSpec StereoSpec(uint32_t sampleRate, int32_t frames, SDL_AudioCallback callback, void* user) {
  SDL_AudioSpec spec{};
  spec.freq = static_cast<int>(sampleRate);
  spec.format = AUDIO_S16LSB;
  spec.channels = 2;
  spec.samples = static_cast<Uint16>(frames);
  spec.callback = callback;
  spec.userdata = user;
  return spec;
}

class SdlRingDevice : public RingAudioDevice {
 public:
  ~SdlRingDevice() override {
    ReleaseRing();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  int32_t CreateRing(uint32_t sampleRate, int32_t ringBytes) override {
    ReleaseRing();
    if (ringBytes <= 0 || ringBytes % 4 != 0 || sampleRate == 0) return kStatusPlatformFailed;
    ring_ = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(ringBytes), 1));
    if (!ring_) return kStatusPlatformFailed;
    ringBytes_ = ringBytes;
    cursor_.store(0);
    // Never ask for more per callback than a quarter of the ring (a power of two, as devices like).
    int32_t frames = kCallbackFrames;
    while (frames > 64 && frames * 4 * 4 > ringBytes) frames /= 2;
    SDL_AudioSpec want = StereoSpec(sampleRate, frames, &SdlRingDevice::Callback, this);
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // starts paused
    if (device_ == 0) {
      ReleaseRing();
      return kStatusPlatformFailed;
    }
    return kStatusOk;
  }

  void ReleaseRing() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for the callback to return
    device_ = 0;
    std::free(ring_);
    ring_ = nullptr;
    ringBytes_ = 0;
  }

  int32_t ringBytes() const override { return ringBytes_; }

  int32_t GetPlayCursor(int32_t* offset) override {
    if (device_ == 0) return kStatusPlatformFailed;
    *offset = cursor_.load(std::memory_order_acquire);
    return kStatusOk;
  }

  int32_t SetPlayCursor(int32_t offset) override {
    if (device_ == 0 || offset < 0 || offset >= ringBytes_) return kStatusPlatformFailed;
    cursor_.store(offset, std::memory_order_release);
    return kStatusOk;
  }

  int32_t Play() override {
    if (device_ == 0) return kStatusPlatformFailed;
    SDL_PauseAudioDevice(device_, 0);
    return kStatusOk;
  }

  // Pausing takes the device's lock, so no callback runs once this returns.
  void Stop() override {
    if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
  }

  int32_t Lock(int32_t offset, int32_t bytes, AudioRegions* regions) override {
    if (!ring_ || offset < 0 || offset >= ringBytes_ || bytes <= 0 || bytes > ringBytes_) {
      return kStatusPlatformFailed;
    }
    int32_t first = std::min(bytes, ringBytes_ - offset);
    *regions = AudioRegions{ring_ + offset, first, first < bytes ? ring_ : nullptr, bytes - first};
    return kStatusOk;
  }

  void Unlock(const AudioRegions&) override { published_.fetch_add(1, std::memory_order_release); }

 private:
  static void SDLCALL Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlRingDevice*>(user);
    self->published_.load(std::memory_order_acquire);
    int32_t cursor = self->cursor_.load(std::memory_order_relaxed);
    while (len > 0) {
      int32_t n = std::min(len, self->ringBytes_ - cursor);
      std::memcpy(stream, self->ring_ + cursor, static_cast<size_t>(n));
      stream += n;
      len -= n;
      cursor = (cursor + n) % self->ringBytes_;
    }
    self->cursor_.store(cursor, std::memory_order_release);
  }

  uint8_t* ring_ = nullptr;
  int32_t ringBytes_ = 0;
  SDL_AudioDeviceID device_ = 0;
  std::atomic<int32_t> cursor_{0};     // the callback's read offset: the play cursor
  std::atomic<uint32_t> published_{0};  // counts unlocks
};

class SdlQueueDevice : public QueueAudioDevice {
 public:
  ~SdlQueueDevice() override { Close(); }

  int32_t Open(uint32_t sampleRate) override {
    Close();
    if (sampleRate == 0 || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return kStatusPlatformFailed;
    SDL_AudioSpec want = StereoSpec(sampleRate, kCallbackFrames, nullptr, nullptr);
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return kStatusPlatformFailed;
    }
    rate_ = sampleRate;
    queuedTotal_ = 0;
    bufferEnd_[0] = bufferEnd_[1] = 0;
    SDL_PauseAudioDevice(device_, 0);  // plays whatever is queued, silence in between
    return kStatusOk;
  }

  bool isOpen() const override { return device_ != 0; }
  uint32_t openRate() const override { return device_ != 0 ? rate_ : 0; }

  void Reset() override {
    if (device_ != 0) SDL_ClearQueuedAudio(device_);
  }

  void Close() override {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device_ = 0;
  }

  int32_t Queue(int32_t index, const void* data, int32_t bytes) override {
    if (device_ == 0 || index < 0 || index > 1 || !data || bytes < 0) return kStatusPlatformFailed;
    if (SDL_QueueAudio(device_, data, static_cast<Uint32>(bytes)) != 0) {
      bufferEnd_[index] = 0;  // nothing of it is waiting: done
      return kStatusPlatformFailed;
    }
    queuedTotal_ += bytes;
    bufferEnd_[index] = queuedTotal_;
    return kStatusOk;
  }

  // Every byte queued before the buffer's end has left SDL's queue.
  bool IsDone(int32_t index) override {
    if (device_ == 0 || index < 0 || index > 1) return true;
    int64_t consumed = queuedTotal_ - SDL_GetQueuedAudioSize(device_);
    return consumed >= bufferEnd_[index];
  }

 private:
  SDL_AudioDeviceID device_ = 0;
  uint32_t rate_ = 0;
  int64_t queuedTotal_ = 0;
  int64_t bufferEnd_[2] = {0, 0};
};

}  // namespace

std::unique_ptr<RingAudioDevice> OpenSdlRingDevice() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  // Make sure the default output can really be opened, so that a machine without one fails at
  // start-up rather than at the first song.
  SDL_AudioSpec want = StereoSpec(44100, kCallbackFrames, nullptr, nullptr);
  SDL_AudioSpec have{};
  SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (probe == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  SDL_CloseAudioDevice(probe);
  return std::make_unique<SdlRingDevice>();
}

std::unique_ptr<QueueAudioDevice> MakeSdlQueueDevice() { return std::make_unique<SdlQueueDevice>(); }

}  // namespace tvp
