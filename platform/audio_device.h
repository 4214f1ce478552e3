#pragma once
// The two sound-device roads the engine can write to, as small interfaces the engine calls from
// the host's main thread inside its commands. The SDL implementations are in
// platform/sdl_audio.h, the in-memory ones (a device whose play position a test advances) in
// platform/memory_audio.h.
//
// Audio is always signed 16-bit stereo, left first, 4 bytes a frame, at the rate the device was
// set up with. Status results are 0 or kStatusPlatformFailed.
#include <cstdint>
#include <memory>

#include "soundtrack/status.h"

namespace tvp {

// One or two pieces of device memory handed out by RingAudioDevice::Lock. A range that runs past
// the end of the ring comes back as two regions: the part at the offset, then the wrapped part.
struct AudioRegions {
  void* first;
  int32_t firstBytes;
  void* second;  // null when the range came back in one piece
  int32_t secondBytes;
};

// A looping ring of bytes that the device plays on its own: the engine writes the parts the play
// cursor is not in. The ring is made stopped, silent, with the cursor at 0.
class RingAudioDevice {
 public:
  virtual ~RingAudioDevice() = default;

  // Releases any previous ring and makes a new one of `ringBytes` bytes (a multiple of 4) for
  // `sampleRate` Hz. 0, or kStatusPlatformFailed when the device refuses.
  virtual int32_t CreateRing(uint32_t sampleRate, int32_t ringBytes) = 0;
  // Stops and releases the ring, if any.
  virtual void ReleaseRing() = 0;
  virtual int32_t ringBytes() const = 0;  // 0 without a ring

  // The byte offset the device plays next, 0 <= offset < ringBytes.
  virtual int32_t GetPlayCursor(int32_t* offset) = 0;
  virtual int32_t SetPlayCursor(int32_t offset) = 0;  // while stopped
  virtual int32_t Play() = 0;                         // plays the ring over and over
  virtual void Stop() = 0;

  // Hands out `bytes` bytes of the ring from `offset` on for writing; Unlock gives them back.
  virtual int32_t Lock(int32_t offset, int32_t bytes, AudioRegions* regions) = 0;
  virtual void Unlock(const AudioRegions& regions) = 0;
};

// A device fed with whole buffers, played in order. Buffers are known by a small index (0 or 1);
// a buffer is done once the device has consumed every byte of it.
class QueueAudioDevice {
 public:
  virtual ~QueueAudioDevice() = default;

  // Opens the device for `sampleRate` Hz and starts it; 0 or kStatusPlatformFailed.
  virtual int32_t Open(uint32_t sampleRate) = 0;
  virtual bool isOpen() const = 0;
  virtual uint32_t openRate() const = 0;  // the rate it was opened with, 0 when closed
  // Drops everything queued; every buffer is done afterwards.
  virtual void Reset() = 0;
  virtual void Close() = 0;

  // Queues `bytes` bytes as buffer `index`; the device copies them, so the caller may reuse the
  // memory at once. Failures are reported and leave the buffer done.
  virtual int32_t Queue(int32_t index, const void* data, int32_t bytes) = 0;
  virtual bool IsDone(int32_t index) = 0;
};

// The player's sound device holder: makes the ring device once and keeps it until destroyed. The
// factory gives null when there is no usable sound device.
class SoundDeviceHolder {
 public:
  using Factory = std::unique_ptr<RingAudioDevice> (*)();
  explicit SoundDeviceHolder(Factory factory) : factory_(factory) {}

  // 0 when the device exists (made now or before), kStatusPlatformFailed when it cannot be made.
  int32_t Create() {
    if (!device_ && factory_) device_ = factory_();
    return device_ ? kStatusOk : kStatusPlatformFailed;
  }
  void Destroy() { device_.reset(); }
  RingAudioDevice* device() const { return device_.get(); }

 private:
  Factory factory_;
  std::unique_ptr<RingAudioDevice> device_;
};

}  // namespace tvp
