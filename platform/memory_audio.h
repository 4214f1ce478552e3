#pragma once
// Sound devices in memory: nothing plays until the owner says so. The owner advances the play
// position and collects what was "played", so tests and headless runs see exactly the bytes a
// device would have sent to the speakers.
#include <cstdint>
#include <vector>

#include "platform/audio_device.h"

namespace tvp {

class MemoryRingDevice : public RingAudioDevice {
 public:
  int32_t CreateRing(uint32_t sampleRate, int32_t ringBytes) override;
  void ReleaseRing() override;
  int32_t ringBytes() const override { return static_cast<int32_t>(ring_.size()); }
  int32_t GetPlayCursor(int32_t* offset) override;
  int32_t SetPlayCursor(int32_t offset) override;
  int32_t Play() override;
  void Stop() override;
  int32_t Lock(int32_t offset, int32_t bytes, AudioRegions* regions) override;
  void Unlock(const AudioRegions& regions) override;

  // Plays `bytes` bytes from the cursor on when playing (appending them to played()), wrapping
  // at the end of the ring; does nothing when stopped.
  void Advance(int32_t bytes);
  // Moves the cursor without playing anything, as a device that skipped ahead would.
  void MoveCursor(int32_t offset) { cursor_ = offset; }

  const std::vector<uint8_t>& ring() const { return ring_; }
  const std::vector<uint8_t>& played() const { return played_; }
  bool playing() const { return playing_; }
  uint32_t sampleRate() const { return sampleRate_; }

  // Every call the engine made (queries of ringBytes excepted), and how many were of each kind.
  int32_t calls = 0;
  int32_t creates = 0;
  int32_t locks = 0;
  int32_t plays = 0;
  // Test knobs: refuse CreateRing; hand out each lock in two regions, the first `splitLocksAt`
  // bytes long (0: one region), as a device with its own staging memory may.
  bool refuseCreate = false;
  int32_t splitLocksAt = 0;

 private:
  std::vector<uint8_t> ring_;
  std::vector<uint8_t> staging_;  // the second region of a split lock
  std::vector<uint8_t> played_;
  int32_t cursor_ = 0;
  int32_t lockedOffset_ = 0;
  bool playing_ = false;
  uint32_t sampleRate_ = 0;
};

class MemoryQueueDevice : public QueueAudioDevice {
 public:
  int32_t Open(uint32_t sampleRate) override;
  bool isOpen() const override { return open_; }
  uint32_t openRate() const override { return open_ ? sampleRate_ : 0; }
  void Reset() override;
  void Close() override;
  int32_t Queue(int32_t index, const void* data, int32_t bytes) override;
  bool IsDone(int32_t index) override;

  // Consumes up to `bytes` queued bytes in order, appending them to played().
  void Consume(int32_t bytes);
  int32_t queuedBytes() const { return static_cast<int32_t>(queue_.size()); }
  const std::vector<uint8_t>& played() const { return played_; }

  int32_t opens = 0;
  int32_t calls = 0;
  bool refuseOpen = false;

 private:
  std::vector<uint8_t> queue_;
  std::vector<uint8_t> played_;
  int64_t queuedTotal_ = 0;    // bytes ever queued
  int64_t consumedTotal_ = 0;  // bytes ever consumed or dropped
  int64_t bufferEnd_[2] = {0, 0};
  bool open_ = false;
  uint32_t sampleRate_ = 0;
};

}  // namespace tvp
