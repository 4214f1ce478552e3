// Engine creation and disposal, binding, preparing, starting and stopping, and the
// recalculations that follow a change of rate, speed, tempo, tuning or volume.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/sound_engine.h"
#include "mixer/const_tables.h"
#include "mixer/mix_routines.h"
#include "resources/resources.h"
#include "soundtrack/event_dump.h"
#include "soundtrack/status.h"

namespace tvp {

uint32_t clampedProduct(uint32_t a, uint32_t b) {
  uint64_t p = (uint64_t{a} * b) >> 16;
  return p > 0x10000 ? 0x10000u : static_cast<uint32_t>(p);
}

uint32_t clampedTripleProduct(uint32_t a, uint32_t b, uint32_t c) {
  uint32_t ab = clampedProduct(a, b);
  return ab == 0 ? 0 : clampedProduct(ab, c);
}

int32_t signedClampedProduct(int32_t a, int32_t b) {
  int64_t p = int64_t{a} * b / 65536;  // truncates toward zero
  return static_cast<int32_t>(std::clamp<int64_t>(p, -65536, 65536));
}

int32_t slideToward(int32_t value, int32_t step, int32_t target) {
  int64_t v = value;
  if (v < target) v = std::min<int64_t>(v + step, target);
  else if (v > target) v = std::max<int64_t>(v - step, target);
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

namespace {

void freeEngine(SoundEngine* engine) {
  if (!engine) return;
  freeConstTables(engine);
  std::free(engine->voices);
  std::free(engine->scopeBuffer);
  std::free(engine->mixBuffer);
  std::free(engine->waveBuffers[0]);
  std::free(engine->waveBuffers[1]);
  std::free(engine);
}

}  // namespace

int32_t openEngine(SoundEngine** handle, RingAudioDevice* ringDevice, QueueAudioDevice* queueDevice,
                   int32_t voiceCount, int32_t framesPerBuffer, int32_t outputMode) {
  if (voiceCount > kMaxVoices) return kStatusTooManyVoices;
  if (voiceCount < 1 || framesPerBuffer < 1 || framesPerBuffer % 16 != 0) return kStatusBadParam;
  // The scope buffer takes 8 bytes a frame; a buffer whose byte sizes leave 32 bits cannot be had.
  if (framesPerBuffer > INT32_MAX / 8) return kStatusOutOfMemory;

  auto* engine = static_cast<SoundEngine*>(std::calloc(1, sizeof(SoundEngine)));
  if (!engine) return kStatusOutOfMemory;
  engine->framesPerBuffer = framesPerBuffer;
  engine->bytesPerBuffer = framesPerBuffer * 4;

  engine->outputMode = outputMode;
  if (outputMode == kOutputWaveOut) {
    engine->bufferCount = 2;
    engine->queueDevice = queueDevice;
    for (int16_t*& buffer : engine->waveBuffers) {
      buffer = static_cast<int16_t*>(std::calloc(static_cast<size_t>(framesPerBuffer), 4));
      if (!buffer) {
        freeEngine(engine);
        return kStatusOutOfMemory;
      }
    }
  } else if (outputMode == kOutputDirectSound) {
    engine->bufferCount = 4;
    engine->ringDevice = ringDevice;
  } else {
    engine->bufferCount = 1;
  }

  engine->mixBuffer = static_cast<int32_t*>(std::calloc(static_cast<size_t>(framesPerBuffer), 8));
  engine->scopeBuffer = static_cast<int16_t*>(std::calloc(static_cast<size_t>(framesPerBuffer), 8));
  engine->voices = static_cast<Voice*>(std::calloc(static_cast<size_t>(voiceCount), sizeof(Voice)));
  if (!engine->mixBuffer || !engine->scopeBuffer || !engine->voices) {
    freeEngine(engine);
    return kStatusOutOfMemory;
  }
  engine->voiceCount = voiceCount;

  ResourceBytes tables{};
  bool found = FindResource(kConstTablesResource, &tables);
  int32_t status = loadConstTables(engine, found ? tables.data : nullptr, found ? tables.size : 0);
  if (status != kStatusOk) {
    freeEngine(engine);
    return status;
  }

  engine->randomSeed = static_cast<int32_t>(std::time(nullptr));
  installHandlers(engine);
  selectMixRoutines(engine);
  resetEngine(engine);
  engine->flags = 0;
  *handle = engine;
  return kStatusOk;
}

void closeEngine(SoundEngine* engine) {
  if (!engine) return;
  stopEngine(engine);
  closeOutput(engine);
  freeEngine(engine);
}

void resetEngine(SoundEngine* engine) {
  stopEngine(engine);
  engine->userWord = 0;
  engine->playing = 0;
  engine->positionRequest = kNoPositionRequest;
  engine->entryPosition = 0;
  engine->positionSongs = nullptr;
  engine->song = 0;
  engine->masterVolume = 32768;
  engine->fadeStep = 0x10000;
  engine->patternStart = nullptr;
  engine->eventCursor = nullptr;
  forgetPatternSeek(engine);
  engine->flags &= kEnginePitchTablesValid;
  engine->scopeRequest = 0;
  for (int32_t i = 0; i < engine->voiceCount; ++i) engine->voices[i].enabled = kVoiceEnabled;
}

void bindSoundtrack(SoundEngine* engine, Soundtrack* soundtrack) {
  stopEngine(engine);
  engine->boundSoundtrack = soundtrack;
  engine->positionSongs = nullptr;  // the host's table was the old soundtrack's
  engine->song = 0;
  forgetPatternSeek(engine);
  engine->flags = 0;
}

int32_t prepareEngine(SoundEngine* engine, int32_t bits, int32_t stereo, uint32_t rate) {
  stopEngine(engine);
  engine->flags = rate == engine->sampleRate ? (engine->flags & kEnginePitchTablesValid) : 0;

  const Soundtrack* soundtrack = engine->boundSoundtrack;
  if (!soundtrack) return kStatusNoSoundtrack;
  if (!(soundtrack->flags & kSoundtrackInUse)) return kStatusNotInUse;
  if (bits != 8 && bits != 16) return kStatusBadParam;
  // Below 1 Hz there are no whole output frames per second to count ticks in.
  if (rate < 0x10000) return kStatusBadParam;

  int32_t status = setUpOutput(engine, rate >> 16);
  if (status != kStatusOk) return status;

  engine->stereo = static_cast<int16_t>(stereo != 0);
  engine->bits = static_cast<int16_t>(bits);
  engine->sampleRate = rate;
  selectMixRoutines(engine);

  engine->playing = 0;
  engine->globalVolume = 0x10000;
  engine->globalVolumeMin = 0;
  engine->globalVolumeMax = 0x10000;
  engine->globalSlideMode = 0;
  engine->globalSlideStep = 0;
  engine->globalSlideTarget = 0;
  engine->fadeLevel = 0x10000;
  engine->masterGain = engine->masterVolume;
  engine->outputGain = engine->masterVolume;
  engine->buffersRendered = 0;
  engine->skippedFrames = 0;
  engine->samplesIntoTick = 0;
  engine->positionCounter = 0;
  engine->rowDelayCounter = 0;
  clearPendingFlow(engine);
  engine->playPosition = 0;
  engine->tempo = 125;
  engine->tempoSlideStep = 0;
  engine->extraRowTicks = 0;
  engine->speed = 6;
  engine->songModeFlag = 1;
  engine->patternStart = firstEventOfPosition(engine, 0);
  engine->eventCursor = engine->patternStart;
  forgetPatternSeek(engine);
  engine->scopeRequest = 0;

  engine->channelVoices = std::min(CountChannels(soundtrack), engine->voiceCount);
  recomputeTiming(engine);
  if (!(engine->flags & kEnginePitchTablesValid)) rebuildPitchTables(engine);
  for (int32_t i = 0; i < engine->voiceCount; ++i) resetVoice(engine, &engine->voices[i]);
  std::memset(engine->mixBuffer, 0, static_cast<size_t>(engine->framesPerBuffer) * 8);
  engine->flags |= kEnginePrepared;
  return kStatusOk;
}

int32_t startEngine(SoundEngine* engine) {
  if (engine->playing) return kStatusOk;
  if (!(engine->flags & kEnginePrepared)) return kStatusNotPrepared;
  if (engine->flags & kEngineEnded) {
    // An ended song starts again from its first play position. If that prepare fails the
    // engine is no longer prepared, and playing it would report success for silence.
    int32_t status = prepareEngine(engine, engine->bits, engine->stereo, engine->sampleRate);
    if (status != kStatusOk) return status;
  }
  engine->playing = 1;
  return kStatusOk;
}

void stopEngine(SoundEngine* engine) {
  if (!engine->playing) return;
  stopOutput(engine);
  engine->playing = 0;
  engine->lastPlayingSeen = 0;  // what the service call after a stop would record
}

void recomputeTiming(SoundEngine* engine) {
  if (engine->speedPercent == 0) engine->speedPercent = 1;
  if (engine->tempo == 0) engine->tempo = 125;
  double factor = engine->speedPercent / 6553600.0;  // 1.0 at 100 %
  double tickRate = static_cast<double>(engine->sampleRate >> 16) / factor;
  // Speeds near zero would push the rate past 32 bits; the tick length is limited below anyway.
  engine->tickRate = tickRate >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(tickRate);
  recomputeTickLength(engine);
  engine->arpeggioStepFrames = std::max<uint32_t>(1, engine->tickRate / 50);
}

void recomputeTickLength(SoundEngine* engine) {
  // 2.5 x rate / BPM. A tick is at least one frame and stays inside the signed 32-bit frame
  // counters of the render loop, whatever speed and tempo ask for.
  uint64_t tempo = static_cast<uint32_t>(std::max(engine->tempo, 1));
  uint64_t frames = uint64_t{engine->tickRate} * 5 / (tempo * 2);
  engine->samplesPerTick = static_cast<uint32_t>(std::clamp<uint64_t>(frames, 1, INT32_MAX));
}

void rebuildPitchTables(SoundEngine* engine) {
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  // Without an output rate the steps are unknown; the next prepare builds them.
  if (!soundtrack || engine->sampleRate == 0 || !engine->pow2Table) return;
  double tuning = engine->a4Frequency / (440.0 * 65536.0) * 65536.0;
  // Samples of one rate (every MOD sample, most of a song's) share their steps: the table made
  // for the first is copied to the others.
  const uint32_t* made = nullptr;
  double madeRatio = 0.0;
  for (int32_t slot = 0; slot < soundtrack->sampleCount && soundtrack->samples; ++slot) {
    Sample* sample = soundtrack->samples[slot];
    if (!sample || !sample->stepTable) continue;
    double ratio = static_cast<double>(sample->rate) / engine->sampleRate * tuning;
    if (made && ratio == madeRatio) {
      std::memcpy(sample->stepTable, made, sizeof(uint32_t) * kStepTableEntries);
      continue;
    }
    made = sample->stepTable;
    madeRatio = ratio;
    for (int32_t k = 0; k < kStepTableEntries; ++k) {
      double step = ratio * engine->pow2Table[k];
      // A rate from a file can be anything; keep the step inside its unsigned 32 bits.
      sample->stepTable[k] = step <= 0.0 ? 0u
                             : step >= 4294967295.0 ? 0xFFFFFFFFu
                                                    : static_cast<uint32_t>(step);
    }
  }
  engine->flags |= kEnginePitchTablesValid;
}

void selectMixRoutines(SoundEngine* engine) {
  MixRoutinePair pair = mixRoutinesFor(engine->interpolation);
  engine->mixPlain = pair.plain;
  engine->mixArpeggio = pair.arpeggio;
  engine->mixFiltered = pair.filtered;
}

void updateMasterGain(SoundEngine* engine) {
  engine->masterGain = clampedProduct(engine->masterVolume,
                                      static_cast<uint32_t>(std::max(engine->fadeLevel, 0)));
}

void updateOutputGain(SoundEngine* engine) {
  engine->outputGain = clampedProduct(static_cast<uint32_t>(std::max(engine->globalVolume, 0)),
                                      engine->masterGain);
}

}  // namespace tvp
