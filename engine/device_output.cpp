// The engine's side of the two sound-device roads: setting the device up at prepare, the service
// call that keeps it fed, stop and close. Everything runs on the host's main thread inside the
// engine's commands; the device only plays what it was given and never calls back in here.
//
// Ring road: a looping ring of four sections of one buffer each. A start writes sections 0 and 1
// and plays from the start of the ring (after a stop without a prepare since, it plays on from
// where the device stopped, through what was written ahead then); later calls write the section after the last one written
// unless the device is playing it, so the engine stays up to three sections ahead.
// Queue road: two buffers queued in turn; a buffer is written again once the device is done with it.
#include <algorithm>

#include "engine/sound_engine.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr int32_t kRingSections = 4;

// Renders one region the device handed out, never more than a buffer's frames (the mix buffer's
// size), whatever the device returned.
void renderRegion(SoundEngine* engine, void* memory, int32_t bytes) {
  if (!memory || bytes <= 0) return;
  int32_t frames = std::min(bytes / 4, engine->framesPerBuffer);
  if (frames > 0) render(engine, static_cast<int16_t*>(memory), frames);
}

// A failed lock renders nothing: the section keeps its old audio and plays it again.
void renderSection(SoundEngine* engine, int32_t section) {
  RingAudioDevice* ring = engine->ringDevice;
  AudioRegions regions{};
  if (ring->Lock(engine->bytesPerBuffer * section, engine->bytesPerBuffer, &regions) != kStatusOk) return;
  renderRegion(engine, regions.first, regions.firstBytes);
  renderRegion(engine, regions.second, regions.secondBytes);
  ring->Unlock(regions);
}

// Queue failures are ignored: the device reports the buffer done and the next call refills it.
void queueBuffer(SoundEngine* engine, int32_t index) {
  render(engine, engine->waveBuffers[index], engine->framesPerBuffer);
  engine->queueDevice->Queue(index, engine->waveBuffers[index], engine->bytesPerBuffer);
}

// The host reads the move log after a service call, which may render several buffers (three at
// a start on the ring): the log of the call holds every buffer's moves, each buffer's frames
// counted after those of the buffers before it.
struct CallLog {
  FlowMove moves[kMoveLogLength];
  int32_t count = 0;
  int32_t endFrame = -1;
  int32_t buffers = 0;
};

// Renders one buffer through `renderOne` and adds its moves to the call's log.
template <typename RenderOne>
void renderLogged(SoundEngine* engine, CallLog& log, RenderOne renderOne) {
  const int32_t buffersBefore = engine->buffersRendered;
  renderOne();
  if (engine->buffersRendered == buffersBefore) return;  // nothing rendered: a failed lock
  const int32_t offset = log.buffers * engine->framesPerBuffer;
  const int32_t logged = std::min(engine->moveCount, kMoveLogLength);
  for (int32_t i = 0; i < logged && log.count + i < kMoveLogLength; ++i) {
    log.moves[log.count + i] = engine->moves[i];
    log.moves[log.count + i].frame += offset;
  }
  log.count = static_cast<int32_t>(std::min<int64_t>(int64_t{log.count} + engine->moveCount, INT32_MAX));
  if (log.endFrame < 0 && engine->endFrame >= 0) log.endFrame = engine->endFrame + offset;
  log.buffers += 1;
}

void publishLog(SoundEngine* engine, const CallLog& log) {
  if (log.buffers < 2) return;  // one buffer: its log stands as it is
  std::copy_n(log.moves, std::min(log.count, kMoveLogLength), engine->moves);
  engine->moveCount = log.count;
  engine->endFrame = log.endFrame;
}

bool hasDevice(const SoundEngine* engine) {
  switch (engine->outputMode) {
    case kOutputDirectSound:
      return engine->ringDevice != nullptr && engine->ringDevice->ringBytes() > 0;
    case kOutputWaveOut:
      return engine->queueDevice != nullptr && engine->queueDevice->isOpen();
    default:
      return false;
  }
}

}  // namespace

int32_t setUpOutput(SoundEngine* engine, uint32_t hertz) {
  engine->ringHeld = false;
  switch (engine->outputMode) {
    case kOutputDirectSound:
      if (!engine->ringDevice) return kStatusPlatformFailed;
      return engine->ringDevice->CreateRing(hertz, kRingSections * engine->bytesPerBuffer) == kStatusOk
                 ? kStatusOk
                 : kStatusPlatformFailed;
    case kOutputWaveOut: {
      QueueAudioDevice* queue = engine->queueDevice;
      if (!queue) return kStatusPlatformFailed;
      // The device stays open across prepares. A prepare at another rate opens it again at that
      // rate: left at the old one, every later song would play at the wrong pitch and speed.
      if (queue->isOpen() && queue->openRate() != hertz) queue->Close();
      if (!queue->isOpen() && queue->Open(hertz) != kStatusOk) return kStatusPlatformFailed;
      queue->Reset();
      return kStatusOk;
    }
    default:
      return kStatusOk;
  }
}

namespace {

int32_t serviceDevice(SoundEngine* engine, CallLog& log) {
  int32_t count = 0;
  const int32_t playing = engine->playing & 1;
  if (playing != engine->lastPlayingSeen) {
    if (playing && engine->ringHeld && hasDevice(engine) && engine->outputMode == kOutputDirectSound) {
      // A pause ends: the audio written before it plays first, so none of the song is lost.
      engine->ringDevice->SetPlayCursor(engine->heldCursor);
      engine->ringDevice->Play();
    } else if (playing && hasDevice(engine)) {
      for (int32_t i = 0; i < 2; ++i) {
        if (engine->outputMode == kOutputDirectSound)
          renderLogged(engine, log, [engine, i] { renderSection(engine, i); });
        else
          renderLogged(engine, log, [engine, i] { queueBuffer(engine, i); });
      }
      engine->lastWritten = 1;
      count = 1;
      if (engine->outputMode == kOutputDirectSound) {
        engine->ringDevice->SetPlayCursor(0);
        engine->ringDevice->Play();
      }
    }
    engine->lastPlayingSeen = playing;
    engine->ringHeld = false;
  }
  if (!playing || !hasDevice(engine)) return count;

  if (engine->outputMode == kOutputWaveOut) {
    int32_t index = engine->lastWritten == 0 ? 1 : 0;
    if (engine->queueDevice->IsDone(index)) {
      engine->lastWritten = index;
      renderLogged(engine, log, [engine, index] { queueBuffer(engine, index); });
      ++count;
    }
  } else {
    int32_t cursor = 0;
    if (engine->ringDevice->GetPlayCursor(&cursor) != kStatusOk) return count;
    int32_t playingSection = cursor / engine->bytesPerBuffer;
    int32_t next = (engine->lastWritten + 1) % kRingSections;
    if (next != playingSection) {
      renderLogged(engine, log, [engine, next] { renderSection(engine, next); });
      engine->lastWritten = next;
      ++count;
    }
  }
  return count;
}

}  // namespace

int32_t serviceOutput(SoundEngine* engine) {
  CallLog log;
  const int32_t count = serviceDevice(engine, log);
  publishLog(engine, log);
  return count;
}

void stopOutput(SoundEngine* engine) {
  if (engine->outputMode == kOutputDirectSound && engine->ringDevice) {
    engine->ringDevice->Stop();
    engine->ringHeld = engine->ringDevice->GetPlayCursor(&engine->heldCursor) == kStatusOk;
  }
  if (engine->outputMode == kOutputWaveOut && engine->queueDevice && engine->queueDevice->isOpen()) {
    engine->queueDevice->Reset();
  }
}

void closeOutput(SoundEngine* engine) {
  if (engine->outputMode == kOutputDirectSound && engine->ringDevice) engine->ringDevice->ReleaseRing();
  if (engine->outputMode == kOutputWaveOut && engine->queueDevice && engine->queueDevice->isOpen()) {
    engine->queueDevice->Reset();
    engine->queueDevice->Close();
  }
}

}  // namespace tvp
