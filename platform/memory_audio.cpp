#include "platform/memory_audio.h"

#include <algorithm>

#include "soundtrack/status.h"

namespace tvp {

int32_t MemoryRingDevice::CreateRing(uint32_t sampleRate, int32_t ringBytes) {
  ++calls;
  ++creates;
  ReleaseRing();
  if (refuseCreate || ringBytes <= 0 || ringBytes % 4 != 0) return kStatusPlatformFailed;
  ring_.assign(static_cast<size_t>(ringBytes), 0);
  sampleRate_ = sampleRate;
  return kStatusOk;
}

void MemoryRingDevice::ReleaseRing() {
  ++calls;
  ring_.clear();
  playing_ = false;
  cursor_ = 0;
}

int32_t MemoryRingDevice::GetPlayCursor(int32_t* offset) {
  ++calls;
  if (ring_.empty()) return kStatusPlatformFailed;
  *offset = cursor_;
  return kStatusOk;
}

int32_t MemoryRingDevice::SetPlayCursor(int32_t offset) {
  ++calls;
  if (ring_.empty() || offset < 0 || offset >= ringBytes()) return kStatusPlatformFailed;
  cursor_ = offset;
  return kStatusOk;
}

int32_t MemoryRingDevice::Play() {
  ++calls;
  ++plays;
  if (ring_.empty()) return kStatusPlatformFailed;
  playing_ = true;
  return kStatusOk;
}

void MemoryRingDevice::Stop() {
  ++calls;
  playing_ = false;
}

int32_t MemoryRingDevice::Lock(int32_t offset, int32_t bytes, AudioRegions* regions) {
  ++calls;
  ++locks;
  if (ring_.empty() || offset < 0 || offset >= ringBytes() || bytes <= 0 || bytes > ringBytes()) {
    return kStatusPlatformFailed;
  }
  lockedOffset_ = offset;
  int32_t first = std::min(bytes, ringBytes() - offset);
  if (splitLocksAt > 0 && splitLocksAt < first) first = splitLocksAt;
  *regions = AudioRegions{&ring_[static_cast<size_t>(offset)], first, nullptr, 0};
  if (first < bytes) {
    staging_.assign(static_cast<size_t>(bytes - first), 0);
    regions->second = staging_.data();
    regions->secondBytes = bytes - first;
  }
  return kStatusOk;
}

void MemoryRingDevice::Unlock(const AudioRegions& regions) {
  ++calls;
  if (!regions.second || regions.second != staging_.data()) return;
  // The second region continues the first one in the ring, wrapping at its end.
  int32_t at = (lockedOffset_ + regions.firstBytes) % ringBytes();
  for (int32_t i = 0; i < regions.secondBytes; ++i) {
    ring_[static_cast<size_t>((at + i) % ringBytes())] = staging_[static_cast<size_t>(i)];
  }
}

void MemoryRingDevice::Advance(int32_t bytes) {
  if (!playing_ || ring_.empty()) return;
  for (int32_t i = 0; i < bytes; ++i) {
    played_.push_back(ring_[static_cast<size_t>(cursor_)]);
    cursor_ = (cursor_ + 1) % ringBytes();
  }
}

int32_t MemoryQueueDevice::Open(uint32_t sampleRate) {
  ++calls;
  ++opens;
  if (refuseOpen) return kStatusPlatformFailed;
  open_ = true;
  sampleRate_ = sampleRate;
  return kStatusOk;
}

void MemoryQueueDevice::Reset() {
  ++calls;
  consumedTotal_ = queuedTotal_;  // dropped bytes count as consumed: every buffer is done
  queue_.clear();
}

void MemoryQueueDevice::Close() {
  ++calls;
  Reset();
  open_ = false;
}

int32_t MemoryQueueDevice::Queue(int32_t index, const void* data, int32_t bytes) {
  ++calls;
  if (!open_ || index < 0 || index > 1 || !data || bytes < 0) return kStatusPlatformFailed;
  const auto* p = static_cast<const uint8_t*>(data);
  queue_.insert(queue_.end(), p, p + bytes);
  queuedTotal_ += bytes;
  bufferEnd_[index] = queuedTotal_;
  return kStatusOk;
}

bool MemoryQueueDevice::IsDone(int32_t index) {
  ++calls;
  return index >= 0 && index <= 1 && consumedTotal_ >= bufferEnd_[index];
}

void MemoryQueueDevice::Consume(int32_t bytes) {
  int32_t n = std::min(bytes, queuedBytes());
  if (n <= 0) return;
  played_.insert(played_.end(), queue_.begin(), queue_.begin() + n);
  queue_.erase(queue_.begin(), queue_.begin() + n);
  consumedTotal_ += n;
}

}  // namespace tvp
