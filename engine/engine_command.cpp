// The engine's command entry point: one switch from command code to operation.
#include "engine/engine_api.h"

#include <algorithm>

#include "engine/sound_engine.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr char kVersionText[] = "Tonvale Sound Engine version 11 (0x8000000B), released 2026-12-06";
constexpr char kRightsText[] = "Tonvale Sound Engine, copyright (c) 2026 the Tonvale Player developers";

// Numeric results are 32-bit values, 16-bit ones are sign-extended from their low half.
EngineResult result32(int64_t value) { return static_cast<int32_t>(value); }
EngineResult result16(int64_t value) { return static_cast<int16_t>(value); }

intptr_t slot(const ParamBlock* params, int i) { return params ? params->p[i] : 0; }
int16_t slot16(const ParamBlock* params, int i) { return static_cast<int16_t>(slot(params, i)); }
uint32_t slot32(const ParamBlock* params, int i) { return static_cast<uint32_t>(slot(params, i)); }

EngineResult open(EngineHandle handle, const ParamBlock* params) {
  intptr_t device = slot(params, 1);
  int32_t mode = device == 0 ? kOutputWaveOut : device == kOfflineRoad ? kOutputOffline : kOutputDirectSound;
  auto* ring = mode == kOutputDirectSound ? reinterpret_cast<RingAudioDevice*>(device) : nullptr;
  auto* queue = mode == kOutputWaveOut ? reinterpret_cast<QueueAudioDevice*>(slot(params, 0)) : nullptr;
  // The counts are 32-bit values in pointer-wide slots.
  return result16(openEngine(handle, ring, queue, static_cast<int32_t>(slot(params, 2)),
                             static_cast<int32_t>(slot(params, 3)), mode));
}

Voice* voiceAt(SoundEngine* engine, const ParamBlock* params) {
  int64_t index = slot(params, 0);
  return index >= 0 && index < engine->voiceCount ? &engine->voices[index] : nullptr;
}

EngineResult takeChannelLevels(SoundEngine* engine, const ParamBlock* params) {
  auto* count = reinterpret_cast<int32_t*>(slot(params, 0));
  auto* levels = reinterpret_cast<uint32_t*>(slot(params, 1));
  if (!count) return kStatusBadParam;
  if (*count < 1) return kStatusOk;
  if (!levels) return kStatusBadParam;
  int32_t n = *count < engine->voiceCount ? *count : engine->voiceCount;
  for (int32_t i = 0; i < n; ++i) {
    levels[i] = engine->voices[i].level;
    engine->voices[i].level = 0;
  }
  *count = n;
  return kStatusOk;
}

EngineResult elapsedSeconds(const SoundEngine* engine) {
  uint32_t hertz = engine->sampleRate >> 16;
  if (hertz == 0) return 0;
  return result32((int64_t{engine->buffersRendered} * engine->framesPerBuffer + engine->skippedFrames) / hertz);
}

}  // namespace

EngineResult engineCommand(EngineHandle handle, uint32_t command, const ParamBlock* params) {
  if (!handle) return kStatusBadParam;
  if (command == ENG_NOP) return kStatusOk;
  if (command == ENG_OPEN) return open(handle, params);

  SoundEngine* engine = *handle;
  if (!engine) return kStatusBadParam;

  switch (command) {
    case ENG_CLOSE:
      closeEngine(engine);
      *handle = nullptr;  // later commands on this handle give -50 instead of using freed memory
      return kStatusOk;
    case ENG_RESET:
      resetEngine(engine);
      return kStatusOk;
    case ENG_PREPARE:
      return result16(prepareEngine(engine, slot16(params, 0), slot16(params, 1), slot32(params, 2)));
    case ENG_START:
      return result16(startEngine(engine));
    case ENG_STOP:
      stopEngine(engine);
      return kStatusOk;
    case ENG_IS_PLAYING:
      return result16(engine->playing);
    case ENG_BIND_SOUNDTRACK:
      bindSoundtrack(engine, reinterpret_cast<Soundtrack*>(slot(params, 0)));
      return kStatusOk;
    case ENG_UNBIND_SOUNDTRACK:
      bindSoundtrack(engine, nullptr);
      return kStatusOk;
    case ENG_SERVICE:
      return result32(serviceOutput(engine));
    case ENG_SKIP_FRAMES:
      if (!(engine->flags & kEnginePrepared)) return kStatusNotPrepared;
      skipFrames(engine, static_cast<int32_t>(slot32(params, 0)));
      return kStatusOk;
    case ENG_SET_MASTER_VOLUME:
      engine->masterVolume = slot32(params, 0);
      updateMasterGain(engine);
      updateOutputGain(engine);
      return kStatusOk;
    case ENG_GET_MASTER_VOLUME:
      return result32(engine->masterVolume);
    case ENG_SET_FADE_STEP:
      engine->fadeStep = slot32(params, 0);
      return kStatusOk;
    case ENG_GET_FADE_STEP:
      return result32(engine->fadeStep);
    case ENG_SET_CHANNEL_ENABLED:
      if (Voice* voice = voiceAt(engine, params)) voice->enabled = static_cast<uint16_t>(slot16(params, 1));
      return kStatusOk;
    case ENG_GET_CHANNEL_ENABLED: {
      Voice* voice = voiceAt(engine, params);
      return voice ? result16(static_cast<int16_t>(voice->enabled)) : 0;
    }
    case ENG_SET_A4_FREQUENCY:
      if (slot32(params, 0) != engine->a4Frequency) {
        engine->a4Frequency = slot32(params, 0);
        engine->flags &= ~kEnginePitchTablesValid;
        rebuildPitchTables(engine);
      }
      return kStatusOk;
    case ENG_GET_A4_FREQUENCY:
      return result32(engine->a4Frequency);
    case ENG_SET_SPEED:
      engine->speedPercent = slot32(params, 0);
      recomputeTiming(engine);
      return kStatusOk;
    case ENG_GET_SPEED:
      return result32(engine->speedPercent);
    case ENG_SET_USER_WORD:
      engine->userWord = slot32(params, 0);
      return kStatusOk;
    case ENG_GET_USER_WORD:
      return result32(engine->userWord);
    case ENG_SET_INTERPOLATION:
      engine->interpolation = slot16(params, 0);
      selectMixRoutines(engine);
      return kStatusOk;
    case ENG_GET_INTERPOLATION:
      return result16(engine->interpolation);
    case ENG_GET_ELAPSED_SECONDS:
      return elapsedSeconds(engine);
    case ENG_RESET_PEAK_VOICES:
      engine->peakVoices = -1;
      return kStatusOk;
    case ENG_TAKE_PEAK_VOICES: {
      int32_t peak = engine->peakVoices;
      engine->peakVoices = -1;
      return result32(peak);
    }
    case ENG_GET_ACTIVE_VOICES:
      return result32(engine->activeVoices);
    case ENG_SET_HOST_SHORT:
      engine->hostShort = slot16(params, 0);
      return kStatusOk;
    case ENG_GET_HOST_SHORT:
      return result16(engine->hostShort);
    case ENG_TAKE_CHANNEL_LEVELS:
      return takeChannelLevels(engine, params);
    case ENG_SET_SCOPE_REQUEST:
      engine->scopeRequest = slot16(params, 0);
      return kStatusOk;
    case ENG_GET_SCOPE_REQUEST:
      return result16(engine->scopeRequest);
    case ENG_GET_SCOPE_BUFFER:
      return reinterpret_cast<EngineResult>(engine->scopeBuffer);
    case ENG_GET_PLAY_POSITION:
      return result32(engine->playPosition);
    case ENG_SET_POSITION_SONGS:
      engine->positionSongs = reinterpret_cast<const int32_t*>(slot(params, 0));
      engine->song = static_cast<int32_t>(slot32(params, 1));
      return kStatusOk;
    case ENG_SET_ENTRY_POSITION:
      engine->entryPosition = std::max(0, static_cast<int32_t>(slot32(params, 0)));
      return kStatusOk;
    case ENG_REQUEST_PLAY_POSITION:
      engine->positionRequest = static_cast<int32_t>(slot(params, 0));
      return kStatusOk;
    case ENG_SET_HOST_WORD: {
      auto* word = reinterpret_cast<const uint32_t*>(slot(params, 0));
      engine->hostWord = word ? *word : 0;
      return kStatusOk;
    }
    case ENG_GET_VERSION:
      return result32(kEngineVersion);
    case ENG_GET_VERSION_TEXT:
      return reinterpret_cast<EngineResult>(kVersionText);
    case ENG_GET_RIGHTS_TEXT:
      return reinterpret_cast<EngineResult>(kRightsText);
    default:
      return kStatusBadParam;
  }
}

}  // namespace tvp
