// The render loop: the sequencer that counts output frames into ticks and ticks into rows, runs
// the events that are due, updates the voices once per tick and hands every stretch of frames
// between two ticks to the mix routines; then the conversion to 16-bit output.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/sound_engine.h"
#include "mixer/mix_routines.h"

namespace tvp {

namespace {

// A song whose events keep moving play without letting time pass (a jump to itself at time 0,
// say) would spin here forever; after this many stretches in a row without a frame it has ended.
// A stretch without frames follows only a change of play position on the same tick, and a song
// passes each of its positions once (songs have a few hundred at most) before it must let time
// pass or go round again. Each such stretch still dispatches a row and ticks every voice, so the
// limit stays low.
constexpr int32_t kMaxEmptyStretches = 1024;

void takePositionRequest(SoundEngine* engine) {
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  if (soundtrack && engine->positionRequest < soundtrack->playPositionCount) {
    engine->playPosition = engine->positionRequest;
    engine->patternStart = firstEventOfPosition(engine, engine->playPosition);
    engine->eventCursor = engine->patternStart;
    engine->samplesIntoTick = 0;
    engine->positionCounter = 0;
    engine->rowDelayCounter = 0;
    engine->extraRowTicks = 0;
    engine->tempoSlideStep = 0;
    clearPendingFlow(engine);
  }
  stopAllVoiceEffects(engine);
  for (int32_t i = 0; i < engine->voiceCount; ++i) engine->voices[i].active = 0;
  engine->positionRequest = kNoPositionRequest;
}

// One tick has passed. During a pattern delay the row's ticks are counted in rowDelayCounter and
// positionCounter stands still; each delayed row ends by lowering the counter by one row. A row
// given extra ticks holds on its last tick until they are spent.
void advanceTick(SoundEngine* engine) {
  if (engine->rowDelayCounter != 0) {
    engine->rowDelayCounter += 1;
    if ((engine->rowDelayCounter & 0xFF) == engine->speed)
      engine->rowDelayCounter = (engine->rowDelayCounter - 0x100) & ~0xFF;
  } else {
    engine->positionCounter += 1;
    if ((engine->positionCounter & 0xFF) == engine->speed) {
      if (engine->extraRowTicks > 0) {
        engine->positionCounter -= 1;
        engine->extraRowTicks -= 1;
      } else {
        engine->positionCounter = (engine->positionCounter & ~0xFF) + 0x100;
      }
    }
  }
}

void mixStretch(SoundEngine* engine, int32_t first, int32_t count) {
  int32_t audible = 0;
  if (count > 0) {
    for (int32_t i = 0; i < engine->voiceCount; ++i) {
      Voice* voice = &engine->voices[i];
      if (!(voice->active & kVoiceSounding) || !(voice->enabled & kVoiceEnabled)) continue;
      MixRoutine mix = voice->filterOn ? engine->mixFiltered : voice->arpeggioOn ? engine->mixArpeggio : engine->mixPlain;
      audible += mix(engine, voice, first, count);
    }
  }
  engine->activeVoices = audible;
  engine->peakVoices = std::max(engine->peakVoices, audible);
}

void globalVolumeSlide(SoundEngine* engine) {
  if (engine->globalSlideMode == 0) return;
  engine->globalVolume = slideToward(engine->globalVolume, engine->globalSlideStep,
                                     engine->globalSlideTarget);
  if (engine->globalSlideMode & 2) engine->globalSlideMode = 0;
  updateOutputGain(engine);
}

void tempoSlide(SoundEngine* engine) {
  if (engine->tempoSlideStep == 0) return;
  engine->tempo = TempoAfterSlide(engine->tempo, engine->tempoSlideStep);
  recomputeTickLength(engine);
}

// Voices no channel addresses only play handed-off notes: a silent one has nothing to update.
bool idleBackground(const SoundEngine* engine, int32_t i) {
  return i >= engine->channelVoices && !(engine->voices[i].active & kVoiceSounding);
}

void tickVoices(SoundEngine* engine) {
  bool firstTickOfRow = (engine->positionCounter & 0xFF) == 0 && (engine->rowDelayCounter & 0xFF) == 0;
  if (firstTickOfRow) {
    for (int32_t i = 0; i < engine->voiceCount; ++i)
      if (!idleBackground(engine, i)) voiceTick(engine, &engine->voices[i]);
    return;
  }
  globalVolumeSlide(engine);
  tempoSlide(engine);
  for (int32_t i = 0; i < engine->voiceCount; ++i) {
    if (idleBackground(engine, i)) continue;
    voiceEffectTick(engine, &engine->voices[i]);
    voiceTick(engine, &engine->voices[i]);
  }
}

void sequence(SoundEngine* engine, int32_t frameCount) {
  int32_t done = 0;
  int32_t left = frameCount;
  int32_t emptyStretches = 0;
  while (left > 0) {
    int32_t stretchStart = done;
    const Event* next = engine->eventCursor;
    if (next && next->time > engine->positionCounter) {
      int64_t tickLength = engine->samplesPerTick;
      if (engine->positionRequest < kNoPositionRequest) tickLength = std::max<int64_t>(1, tickLength / 2);
      int64_t remaining = std::max<int64_t>(0, tickLength - engine->samplesIntoTick);
      if (remaining > left) {
        engine->samplesIntoTick += left;
        done += left;
        left = 0;
      } else {
        done += static_cast<int32_t>(remaining);
        left -= static_cast<int32_t>(remaining);
        engine->samplesIntoTick = 0;
        advanceTick(engine);
      }
    }
    mixStretch(engine, stretchStart, done - stretchStart);

    if (done == stretchStart && ++emptyStretches > kMaxEmptyStretches) {
      engine->flags |= kEngineEnded;
      break;
    }
    if (done != stretchStart) emptyStretches = 0;

    if (engine->samplesIntoTick == 0) {
      engine->bufferFrame = done;
      flowControl(engine, engine->positionCounter);
      if (engine->flags & kEngineEnded) break;
      dispatchEvents(engine, engine->positionCounter);
      if (engine->flags & kEngineEnded) break;
      tickVoices(engine);
    }
  }
  if (engine->flags & kEngineEnded) engine->endFrame = done;
}

void fade(SoundEngine* engine) {
  int64_t level = int64_t{engine->fadeLevel} - engine->fadeStep;
  if (level <= 0) {
    level = 0;
    engine->flags |= kEngineEnded;
  }
  engine->fadeLevel = static_cast<int32_t>(level);
  updateMasterGain(engine);
  updateOutputGain(engine);
}

// Limits to -32767..32767 and writes left/right pairs; the sums are cleared for the next buffer. A
// channel's buffer peak is its largest written magnitude, or 0x10000 when any of its samples had
// to be limited.
void convert(SoundEngine* engine, int16_t* destination, int32_t frameCount) {
  const OutputPeaks peaks = convertSums(engine->mixBuffer, destination, frameCount);
  engine->peakLeft = std::max(engine->peakLeft, peaks.left);
  engine->peakRight = std::max(engine->peakRight, peaks.right);
  if (engine->scopeRequest >= 1) {
    std::memcpy(engine->scopeBuffer, destination, static_cast<size_t>(frameCount) * 4);
    engine->scopeRequest = -1;
  }
}

// A buffer's sequencing: its move log starts empty, a host's position request is taken first.
void startBuffer(SoundEngine* engine) {
  engine->moveCount = 0;
  engine->endFrame = -1;
  engine->bufferFrame = 0;
}

void sequenceBuffer(SoundEngine* engine, int32_t frameCount) {
  if (engine->positionRequest >= 0) takePositionRequest(engine);
  sequence(engine, frameCount);
}

}  // namespace

void render(SoundEngine* engine, int16_t* destination, int32_t frameCount) {
  frameCount = std::clamp(frameCount, 0, engine->framesPerBuffer);
  // The sums start at zero: the buffer is allocated and prepared cleared, and the conversion
  // clears every sum a render mixed into.
  startBuffer(engine);
  if (engine->playing) {
    sequenceBuffer(engine, frameCount);
    engine->buffersRendered += 1;
    if (engine->flags & kEngineLooped) fade(engine);
  }
  convert(engine, destination, frameCount);
}

void skipFrames(SoundEngine* engine, int64_t frameCount) {
  if (!engine->playing || frameCount <= 0) return;
  const MixRoutine plain = engine->mixPlain, arpeggio = engine->mixArpeggio, filtered = engine->mixFiltered;
  const MixRoutinePair moves = moveRoutinesFor(engine->interpolation);
  engine->mixPlain = moves.plain;
  engine->mixArpeggio = moves.arpeggio;
  engine->mixFiltered = moves.filtered;
  // In buffer-sized steps, as render() sequences them: the mix routines address the mix buffer.
  for (int64_t left = frameCount; left > 0 && !(engine->flags & kEngineEnded);) {
    const int32_t step = static_cast<int32_t>(std::min<int64_t>(left, engine->framesPerBuffer));
    startBuffer(engine);
    sequenceBuffer(engine, step);
    engine->skippedFrames += step;
    // A whole buffer's worth takes its fade step as render() does.
    if (step == engine->framesPerBuffer && (engine->flags & kEngineLooped)) fade(engine);
    left -= step;
  }
  engine->mixPlain = plain;
  engine->mixArpeggio = arpeggio;
  engine->mixFiltered = filtered;
}

}  // namespace tvp
