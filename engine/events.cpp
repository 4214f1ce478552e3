// The handler table, the dispatch of a tick's events and the flow control that carries out
// pending pattern loops, position jumps and pattern breaks.
#include "engine/events.h"

#include <algorithm>
#include <iterator>

#include "engine/sound_engine.h"

namespace tvp {

namespace {

void doNothing(SoundEngine*, Voice*, const Event*&, int16_t&, int32_t) {}

}  // namespace

void installHandlers(SoundEngine* engine) {
  for (HandlerEntry& entry : engine->handlers) entry = {doNothing, false};
  installSongHandlers(engine->handlers);
  installVoiceHandlers(engine->handlers);
  installNoteActionHandlers(engine->handlers);
}

const Event* firstEventOfPosition(const SoundEngine* engine, int32_t playPosition) {
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  if (!soundtrack || !soundtrack->playPositions || playPosition < 0 ||
      playPosition >= soundtrack->playPositionCount)
    return nullptr;
  int32_t slot = soundtrack->playPositions[playPosition];
  if (!soundtrack->patterns || slot < 0 || slot >= soundtrack->patternCount) return nullptr;
  return soundtrack->patterns[slot];
}

void enterPlayPosition(SoundEngine* engine, int32_t fromPosition, int32_t fromCounter, bool patternLoop, bool repeats) {
  if (engine->moveCount < kMoveLogLength) {
    engine->moves[engine->moveCount] = {engine->bufferFrame, fromPosition, fromCounter, engine->playPosition,
                                        engine->positionCounter, patternLoop && !repeats ? 1 : 0};
  }
  if (engine->moveCount < INT32_MAX) engine->moveCount += 1;
  engine->tempoSlideStep = 0;
  engine->extraRowTicks = 0;
  if (!patternLoop) {
    std::fill(std::begin(engine->loopMarks), std::end(engine->loopMarks), 0);
    engine->loopStateCount = 0;
  }
  const Soundtrack* soundtrack = engine->boundSoundtrack;
  const bool otherSong = engine->positionSongs && soundtrack && engine->playPosition >= 0 &&
                         engine->playPosition < soundtrack->playPositionCount &&
                         engine->positionSongs[engine->playPosition] >= 0 &&
                         engine->positionSongs[engine->playPosition] != engine->song;
  if (soundtrack && engine->playPosition < soundtrack->playPositionCount && !otherSong) {
    engine->patternStart = firstEventOfPosition(engine, engine->playPosition);
  } else {
    engine->flags |= kEngineEnded;
    engine->playPosition = 0;
  }
  engine->eventCursor = engine->patternStart;
}

int32_t nextRandomValue(SoundEngine* engine) {
  uint32_t mixed = static_cast<uint32_t>(engine->randomSeed) * 257u + 0x2021u;
  // The seed moves on, so successive random choices differ.
  engine->randomSeed = static_cast<int32_t>(mixed);
  return static_cast<int32_t>((static_cast<int32_t>(mixed) >> 4) & 0xFFFFFF);
}

namespace {

constexpr int32_t kRandomOfFour = 0x7FFD;   // sine, ramp up, ramp down, square
constexpr int32_t kRandomOfThree = 0x7FFE;  // sine, ramp down, square
constexpr int32_t kRandomOfAll = 0x7FFF;

bool isRandomCode(int32_t code) { return code >= kRandomOfFour && code <= kRandomOfAll; }

}  // namespace

int32_t chooseWaveformCode(SoundEngine* engine, int32_t param) {
  int32_t code = param & ~0x8000;
  if (code >= 0 && code < kWaveformCount) return code;
  if (!isRandomCode(code)) return -1;
  static constexpr int32_t kOfFour[] = {0, 2, 3, 4};
  static constexpr int32_t kOfThree[] = {0, 3, 4};
  int32_t random = nextRandomValue(engine);
  if (code == kRandomOfFour) return kOfFour[random % 4];
  if (code == kRandomOfThree) return kOfThree[random % 3];
  return random % kWaveformCount;
}

int32_t resolveInstrumentWaveform(SoundEngine* engine, int32_t* code) {
  int32_t chosen = chooseWaveformCode(engine, *code);
  if (isRandomCode(*code & ~0x8000)) *code = chosen;
  return chosen;
}

void dispatchEvents(SoundEngine* engine, int32_t time) {
  const Event* cursor = engine->eventCursor;
  if (!cursor) {
    engine->flags |= kEngineEnded;
    return;
  }
  while (cursor && cursor->time < time) cursor = cursor->next;
  int16_t proceed = 1;
  while (cursor && cursor->time <= time) {
    int32_t code = cursor->code;
    if (code >= 0 && code < kHandlerCount) {
      const HandlerEntry& entry = engine->handlers[code];
      int32_t channel = cursor->channel;
      Voice* voice = channel >= 0 && channel < engine->voiceCount ? &engine->voices[channel] : nullptr;
      // A channel outside the voices has no voice to act on; its voice events are dropped.
      if (voice || !entry.needsVoice) {
        entry.run(engine, voice, cursor, proceed, cursor->param);
        if (!proceed) break;
      }
    }
    cursor = cursor->next;
  }
  engine->eventCursor = cursor;
}

namespace {

// The first event of the pattern from `start` at or after `time` (or its last event). Loops and
// breaks land on the same rows again and again, and a walk from the pattern's start costs the
// whole pattern each time, so the last seek is remembered: a seek into the same pattern at that
// time or later goes on from where it stopped. The walk from the start passes that event anyway,
// since every event before it is earlier than the time sought then, which is no later than now.
const Event* seekInPattern(SoundEngine* engine, const Event* start, int32_t time) {
  const uint32_t target = static_cast<uint32_t>(time);
  const Event* cursor = start;
  if (start && start == engine->seekPattern && static_cast<uint32_t>(engine->seekTime) <= target)
    cursor = engine->seekCursor;
  while (cursor && cursor->next && static_cast<uint32_t>(cursor->time) < target) cursor = cursor->next;
  engine->seekPattern = start;
  engine->seekTime = time;
  engine->seekCursor = cursor;
  return cursor;
}

}  // namespace

void clearPendingFlow(SoundEngine* engine) {
  engine->breakTime = engine->breakTarget = 0;
  engine->jumpTime = engine->jumpTarget = 0;
  engine->loopTime = engine->loopTarget = 0;
  std::fill(std::begin(engine->loopCounts), std::end(engine->loopCounts), 0);
  std::fill(std::begin(engine->loopMarks), std::end(engine->loopMarks), 0);
  engine->loopStateCount = 0;
}

void forgetPatternSeek(SoundEngine* engine) {
  engine->seekPattern = nullptr;
  engine->seekTime = 0;
  engine->seekCursor = nullptr;
}

namespace {

uint64_t mixHash(uint64_t hash, uint32_t value) {
  for (int32_t i = 0; i < 4; ++i) hash = (hash ^ ((value >> (8 * i)) & 0xFF)) * 0x100000001B3ull;
  return hash;
}

// Remembers the flow state a pattern-loop jump left; true when this visit met it before.
bool loopStateSeen(SoundEngine* engine, int32_t fromTime) {
  uint64_t hash = 0xCBF29CE484222325ull;
  hash = mixHash(hash, static_cast<uint32_t>(engine->playPosition));
  hash = mixHash(hash, static_cast<uint32_t>(fromTime));
  hash = mixHash(hash, static_cast<uint32_t>(engine->positionCounter));
  for (int32_t c = 0; c < kLoopChannels; ++c) {
    hash = mixHash(hash, static_cast<uint32_t>(engine->loopCounts[c]));
    hash = mixHash(hash, static_cast<uint32_t>(engine->loopMarks[c]));
  }
  const int32_t kept = std::min(engine->loopStateCount, kLoopStateHistory);
  for (int32_t i = 0; i < kept; ++i)
    if (engine->loopStates[i] == hash) return true;
  engine->loopStates[engine->loopStateCount % kLoopStateHistory] = hash;
  if (engine->loopStateCount < INT32_MAX) engine->loopStateCount += 1;
  return false;
}

}  // namespace

void flowControl(SoundEngine* engine, int32_t time) {
  const int32_t fromPosition = engine->playPosition;
  bool looped = false;
  bool moved = false;
  bool resetEffects = false;
  // LoopBack counted the pass already and armed the jump only when one more is due.
  if (engine->loopTime != 0 && engine->loopTime <= time) {
    engine->loopTime = 0;
    engine->samplesIntoTick = 0;
    engine->positionCounter = engine->loopTarget & kFlowValueMask;
    resetEffects |= (static_cast<uint32_t>(engine->loopTarget) & kFlowResetBit) != 0;
    looped = true;
  }
  bool jumped = false;
  if (engine->jumpTime != 0 && engine->jumpTime <= time) {
    int32_t target = engine->jumpTarget & kFlowValueMask;
    resetEffects |= (static_cast<uint32_t>(engine->jumpTarget) & kFlowResetBit) != 0;
    if (target <= engine->playPosition) engine->flags |= kEngineLooped;
    engine->playPosition = target;
    engine->positionCounter = 0;
    engine->samplesIntoTick = 0;
    engine->jumpTime = 0;
    jumped = true;
    moved = true;
  }
  // A break due with a jump names the row in the jump's target position; alone, it moves on by
  // one position.
  if (engine->breakTime != 0 && engine->breakTime <= time) {
    if (!jumped) engine->playPosition += 1;
    engine->samplesIntoTick = 0;
    resetEffects |= (static_cast<uint32_t>(engine->breakTarget) & kFlowResetBit) != 0;
    engine->positionCounter = engine->breakTarget & kFlowValueMask;
    engine->breakTime = 0;
    moved = true;
  }
  if (moved || looped) {
    const bool repeats = !moved && loopStateSeen(engine, time);
    if (repeats) engine->flags |= kEngineLooped;
    enterPlayPosition(engine, fromPosition, time, !moved, repeats);
    engine->eventCursor = seekInPattern(engine, engine->eventCursor, engine->positionCounter);
  }
  if (resetEffects) stopAllVoiceEffects(engine);
}

}  // namespace tvp
