// Song-level event handlers: flow, tempo, global volume, the variable bank and the song mode.
// Flow targets carry a voice-effect reset request in bit 31 and their value in the low 28 bits.
#include <algorithm>

#include "engine/events.h"
#include "soundtrack/event_codes.h"

namespace tvp {

namespace {

using Cursor = const Event*&;

bool wantsReset(int32_t param) { return (static_cast<uint32_t>(param) & kFlowResetBit) != 0; }

// The time one row after the event, where jumps, breaks and loops take effect.
int32_t nextRowTime(Cursor cursor) {
  return static_cast<int32_t>(static_cast<uint32_t>(cursor->time) + 0x100u);
}

// Ends the dispatch of this tick and continues from the new eventCursor at the next one.
void stopDispatch(SoundEngine* engine, Cursor cursor, int16_t& proceed) {
  cursor = engine->eventCursor;
  proceed = 0;
}

void gotoPlayPosition(SoundEngine* engine, Voice*, Cursor cursor, int16_t& proceed, int32_t param) {
  const int32_t fromPosition = engine->playPosition, fromCounter = engine->positionCounter;
  if (wantsReset(param)) stopAllVoiceEffects(engine);
  int32_t target = param & kFlowValueMask;
  if (target <= engine->playPosition) engine->flags |= kEngineLooped;
  engine->playPosition = target;
  engine->positionCounter = 0;
  engine->samplesIntoTick = 0;
  enterPlayPosition(engine, fromPosition, fromCounter);
  stopDispatch(engine, cursor, proceed);
}

void positionJump(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  engine->jumpTime = nextRowTime(cursor);
  engine->jumpTarget = param;
}

void patternDelay(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->rowDelayCounter = param;
}

void rowTickDelay(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->extraRowTicks = static_cast<int32_t>(std::clamp<int64_t>(int64_t{engine->extraRowTicks} + param, 0, 0xFFFF));
}

// The loop count of the event's channel.
int32_t& loopCountOf(SoundEngine* engine, Cursor cursor) {
  int32_t channel = cursor->channel;
  return engine->loopCounts[channel >= 0 && channel < kLoopChannels ? channel : 0];
}

int32_t& loopMarkOf(SoundEngine* engine, Cursor cursor) {
  int32_t channel = cursor->channel;
  return engine->loopMarks[channel >= 0 && channel < kLoopChannels ? channel : 0];
}

void loopStart(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t) {
  loopMarkOf(engine, cursor) = static_cast<int32_t>(std::clamp<int64_t>(int64_t{cursor->time} + 1, 1, INT32_MAX));
}

void loopCount(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  int32_t& count = loopCountOf(engine, cursor);
  if (count < 1) count = static_cast<int32_t>(static_cast<uint32_t>(param) + 1u);
}

// Each pass through the channel's LoopBack counts down; the jump back is armed while passes are
// left, and a finished loop leaves the count at 0 for the next one.
void loopBack(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  int32_t& count = loopCountOf(engine, cursor);
  if (count < 1) count = 2;
  count -= 1;
  if (count < 1) return;
  engine->loopTime = nextRowTime(cursor);
  engine->loopTarget = param;
  if (const int32_t mark = loopMarkOf(engine, cursor); mark > 0) {
    const uint32_t reset = static_cast<uint32_t>(param) & kFlowResetBit;
    engine->loopTarget = static_cast<int32_t>(reset | static_cast<uint32_t>(std::min(mark - 1, kFlowValueMask)));
  }
}

void breakNow(SoundEngine* engine, Voice*, Cursor cursor, int16_t& proceed, int32_t param) {
  const int32_t fromPosition = engine->playPosition, fromCounter = engine->positionCounter;
  engine->playPosition += 1;
  engine->samplesIntoTick = 0;
  engine->positionCounter = param & kFlowValueMask;
  enterPlayPosition(engine, fromPosition, fromCounter);
  stopAllVoiceEffects(engine);
  stopDispatch(engine, cursor, proceed);
}

void patternBreak(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  engine->breakTime = nextRowTime(cursor);
  engine->breakTarget = param;
}

void nextPlayPosition(SoundEngine* engine, Voice*, Cursor cursor, int16_t& proceed, int32_t param) {
  const int32_t fromPosition = engine->playPosition, fromCounter = engine->positionCounter;
  if (wantsReset(param)) stopAllVoiceEffects(engine);
  engine->playPosition = engine->playPosition == 0 && engine->entryPosition > 0 ? engine->entryPosition
                                                                               : engine->playPosition + 1;
  engine->positionCounter = 0;
  engine->samplesIntoTick = 0;
  enterPlayPosition(engine, fromPosition, fromCounter);
  stopDispatch(engine, cursor, proceed);
}

void setSpeed(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  if (param > 0) engine->speed = param;
}

void setTempo(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  if (param < 1) return;
  engine->tempo = param;
  recomputeTickLength(engine);
}

void tempoSlide(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->tempoSlideStep = std::clamp(param, -255, 255);
}

int32_t globalLimit(const SoundEngine* engine, int64_t volume) {
  if (volume < engine->globalVolumeMin) return engine->globalVolumeMin;
  if (volume > engine->globalVolumeMax) return engine->globalVolumeMax;
  if (volume < 0) return 0;
  return static_cast<int32_t>(volume);
}

void setGlobalVolume(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalVolume = globalLimit(engine, param);
  updateOutputGain(engine);
}

void addGlobalVolume(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalVolume = globalLimit(engine, int64_t{engine->globalVolume} + param);
  updateOutputGain(engine);
}

void setGlobalVolumeMin(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalVolumeMin = param;
}

void setGlobalVolumeMax(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalVolumeMax = param;
}

void globalVolumeSlideSpeed(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalSlideStep = param;
}

void globalVolumeSlideTarget(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalSlideTarget = param;
}

void globalVolumeSlide(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->globalSlideMode = param;
}

// The variable bank holds 64 variables; events naming any other number change nothing.
int32_t* variable(SoundEngine* engine, Cursor cursor) {
  int32_t number = cursor->channel;
  return number >= 0 && number < kVariableCount ? &engine->variables[number] : nullptr;
}

void setVariable(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  if (int32_t* v = variable(engine, cursor)) *v = param;
}

void addVariable(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  if (int32_t* v = variable(engine, cursor))
    *v = static_cast<int32_t>(static_cast<uint32_t>(*v) + static_cast<uint32_t>(param));
}

void multiplyVariable(SoundEngine* engine, Voice*, Cursor cursor, int16_t&, int32_t param) {
  if (int32_t* v = variable(engine, cursor))
    *v = static_cast<int32_t>(static_cast<uint32_t>(*v) * static_cast<uint32_t>(param));
}

void setSongMode(SoundEngine* engine, Voice*, Cursor, int16_t&, int32_t param) {
  engine->songModeFlag = param;
}

}  // namespace

void installSongHandlers(HandlerEntry* handlers) {
  struct Row {
    int32_t code;
    EventHandler run;
  };
  static constexpr Row kRows[] = {
      {EventCode::GotoPlayPosition, gotoPlayPosition},
      {EventCode::PositionJump, positionJump},
      {EventCode::PatternDelay, patternDelay},
      {EventCode::RowTickDelay, rowTickDelay},
      {EventCode::LoopCount, loopCount},
      {EventCode::LoopStart, loopStart},
      {EventCode::LoopBack, loopBack},
      {EventCode::BreakNow, breakNow},
      {EventCode::PatternBreak, patternBreak},
      {EventCode::NextPlayPosition, nextPlayPosition},
      {EventCode::SetSpeed, setSpeed},
      {EventCode::SetTempo, setTempo},
      {EventCode::TempoSlide, tempoSlide},
      {EventCode::SetGlobalVolume, setGlobalVolume},
      {EventCode::AddGlobalVolume, addGlobalVolume},
      {EventCode::SetGlobalVolumeMin, setGlobalVolumeMin},
      {EventCode::SetGlobalVolumeMax, setGlobalVolumeMax},
      {EventCode::GlobalVolumeSlideSpeed, globalVolumeSlideSpeed},
      {EventCode::GlobalVolumeSlideTarget, globalVolumeSlideTarget},
      {EventCode::GlobalVolumeSlide, globalVolumeSlide},
      {EventCode::SetVariable, setVariable},
      {EventCode::AddVariable, addVariable},
      {EventCode::MultiplyVariable, multiplyVariable},
      {EventCode::SetSongMode, setSongMode},
  };
  for (const Row& row : kRows) handlers[row.code] = {row.run, false};
}

}  // namespace tvp
