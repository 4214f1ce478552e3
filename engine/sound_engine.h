#pragma once
// The engine record and the operations behind the command entry point. Everything here runs on
// the host's one thread; the host reads the fields marked "host-visible" between calls.
//
// Fixed point: 16.16 values have 0x10000 = 1.0. Pattern times and positionCounter are
// row x 256 + tick.
#include <cstdint>

#include "engine/voice.h"
#include "platform/audio_device.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

struct SoundEngine;
struct Event;

// A handler gets the voice of the event's channel (null for song-level events whose channel lies
// outside the voices), the dispatch cursor it may move, the dispatch's continue flag it may clear
// and the event's param. The cursor points at the event being run.
using EventHandler = void (*)(SoundEngine* engine, Voice* voice, const Event*& cursor,
                              int16_t& proceed, int32_t param);
struct HandlerEntry {
  EventHandler run;
  bool needsVoice;  // skipped for channels outside the voice array
};

// Mixes `frameCount` frames of one voice into mixBuffer from `firstFrame` on; returns 1 when the
// voice was audible in the stretch, else 0.
using MixRoutine = int32_t (*)(SoundEngine* engine, Voice* voice, int32_t firstFrame,
                               int32_t frameCount);

enum OutputMode : int32_t {
  kOutputWaveOut = 0,      // two queued buffers
  kOutputDirectSound = 1,  // a looping ring of four sections
  kOutputOffline = 2,      // no device: the caller renders buffers it owns
};

inline constexpr uint32_t kEnginePrepared = 1;
inline constexpr uint32_t kEngineEnded = 2;
inline constexpr uint32_t kEngineLooped = 4;  // a backward jump happened: the fade runs
inline constexpr uint32_t kEnginePitchTablesValid = 0x10000;

inline constexpr int32_t kMaxVoices = 256;
inline constexpr int32_t kVariableCount = 64;
inline constexpr int32_t kWaveformCount = 7;
inline constexpr int32_t kWaveformLength = 1024;
inline constexpr int32_t kPeriodTableLength = 16384;
inline constexpr int32_t kThirdsTableHalf = 65536;  // thirdsTable is indexed -65536..65535
inline constexpr int32_t kNoPositionRequest = -1;
inline constexpr int32_t kLoopChannels = kMaxVoices;  // loop events of other channels count on 0

// A change of play position or a jump inside one, as the render loop made it. Hosts that follow
// the song's passes read them after each buffer.
struct FlowMove {
  int32_t frame;         // frames of the buffer rendered before the move
  int32_t fromPosition;  // where play stood: play position and position counter
  int32_t fromCounter;
  int32_t toPosition;    // where it went; a position past the last one ends the song
  int32_t toCounter;
  int32_t patternLoop;   // 1: a pattern loop's jump back inside the position
};
inline constexpr int32_t kMoveLogLength = 64;  // moves past these in one buffer are counted only
// Pattern-loop jumps remembered per visit of a play position (the latest ones).
inline constexpr int32_t kLoopStateHistory = 64;

struct SoundEngine {
  int32_t outputMode;
  // Output objects. Both devices are owned by the host; the engine makes the ring at each
  // prepare and opens the queue device at the first one. The queue buffers are the engine's.
  RingAudioDevice* ringDevice;
  QueueAudioDevice* queueDevice;
  int16_t* waveBuffers[2];
  int32_t lastPlayingSeen;  // service state: the playing bit the last service call saw
  int32_t lastWritten;      // the buffer or ring section written last
  // Ring road: a stop keeps what was written ahead of the device; the next start plays on from
  // where it stopped (heldCursor) unless a prepare came between.
  bool ringHeld;
  int32_t heldCursor;

  int32_t framesPerBuffer;  // a positive multiple of 16
  int32_t bytesPerBuffer;   // framesPerBuffer x 4
  int32_t bufferCount;      // 2 queued buffers, 4 ring sections

  int32_t* mixBuffer;  // framesPerBuffer left/right pairs

  int16_t stereo;
  int16_t interpolation;
  int16_t bits;
  uint32_t sampleRate;  // 16.16 Hz
  uint32_t tickRate;    // whole Hz divided by the speed factor

  uint32_t a4Frequency;   // 16.16 Hz
  uint32_t speedPercent;  // 16.16 percent

  HandlerEntry handlers[kHandlerCount];

  MixRoutine mixPlain;
  MixRoutine mixArpeggio;
  MixRoutine mixFiltered;

  uint32_t userWord;
  uint32_t hostWord;
  int32_t variables[kVariableCount];

  uint32_t flags;  // kEnginePrepared, kEngineEnded, kEngineLooped, kEnginePitchTablesValid

  int16_t playing;           // host-visible
  int32_t buffersRendered;   // host-visible
  int64_t skippedFrames;     // host-visible: frames played silently since the prepare

  int32_t samplesIntoTick;   // host-visible: frames already rendered of the current tick
  int32_t positionCounter;   // host-visible: row x 256 + tick
  int32_t rowDelayCounter;   // host-visible: non-zero while a pattern delay repeats rows

  // Pending flow changes; a time of 0 means none.
  int32_t breakTime;
  int32_t breakTarget;
  int32_t jumpTime;
  int32_t jumpTarget;
  // Pattern loops count per channel, as trackers do, so loops in two channels (side by side or
  // one inside the other) each run out; one jump back is pending at a time.
  int32_t loopCounts[kLoopChannels];
  int32_t loopMarks[kLoopChannels];  // each channel's LoopStart row time + 1 in this position, 0 none
  // The flow states pattern-loop jumps left in this visit of the play position (position, rows,
  // loop counts and marks, hashed). A jump that leaves a state met before loops for ever: the
  // song repeats there, as after a jump back.
  uint64_t loopStates[kLoopStateHistory];
  int32_t loopStateCount;
  int32_t loopTime;
  int32_t loopTarget;

  // Host-visible, per rendered buffer: the moves made in it, the frames rendered before the song
  // ended in it (-1 when it did not), and, while rendering, the frames of it done so far. After a
  // service call that rendered several buffers (a start fills three ring sections), every one's
  // moves are here, each buffer's frames counted after those of the buffers before it.
  FlowMove moves[kMoveLogLength];
  int32_t moveCount;
  int32_t endFrame;
  int32_t bufferFrame;

  int32_t positionRequest;  // host request: -1 none, >= 0 a play position, < -1 half-length ticks
  // Host setting: the play position the initial settings (position 0) lead to, 0 for the next
  // one; a song of several starts its later ones so, with every setting made as for the first.
  int32_t entryPosition;
  // Host setting: the song each play position belongs to (one entry per position, negative for
  // none; the host's array, null for a song with every position) and the song playing, which
  // ends, as past its last position, where play comes into another song's position.
  const int32_t* positionSongs;
  int32_t song;
  int32_t playPosition;     // host-visible
  int32_t tempo;            // host-visible, beats per minute
  int32_t tempoSlideStep;   // per tick after the row's first, 0 none
  int32_t extraRowTicks;    // ticks the current row lasts beyond its speed
  int32_t speed;            // host-visible, ticks per row
  uint32_t samplesPerTick;  // host-visible

  uint32_t masterVolume;  // host, 16.16
  int32_t fadeLevel;      // 16.16
  uint32_t fadeStep;      // 16.16 per buffer
  uint32_t masterGain;    // masterVolume x fadeLevel, clamped
  int32_t globalVolume;   // song, 16.16
  int32_t globalVolumeMin;
  int32_t globalVolumeMax;
  int32_t globalSlideMode;  // 0 off, bit 0 on, bit 1 a single step
  int32_t globalSlideStep;
  int32_t globalSlideTarget;
  uint32_t outputGain;  // globalVolume x masterGain, clamped; applied to every voice

  int32_t songModeFlag;

  int32_t randomSeed;

  const Event* patternStart;
  const Event* eventCursor;  // host-visible
  // The last seek into a pattern after a loop or a break: the pattern's first event, the time
  // sought and the event the walk stopped at. Cleared whenever the soundtrack may have changed.
  const Event* seekPattern;
  int32_t seekTime;
  const Event* seekCursor;
  Soundtrack* boundSoundtrack;  // host-visible

  uint32_t arpeggioStepFrames;  // tickRate / 50

  int32_t* periodTable;               // kPeriodTableLength entries
  int32_t* lfoTables[kWaveformCount]; // kWaveformLength entries each, -65536..65536
  double* pow2Table;                  // kStepTableEntries entries: 2^(i/3072)
  const int16_t* thirdsTable;         // indexed -65536..65535: i / 3 rounded

  int16_t scopeRequest;  // 1 pending, -1 captured, 0 idle
  int16_t hostShort;
  int16_t* scopeBuffer;  // room for 2 x framesPerBuffer stereo frames

  int32_t peakLeft;  // host-visible; the host resets both to -1 after reading
  int32_t peakRight;
  int32_t activeVoices;
  int32_t peakVoices;

  int32_t voiceCount;
  // The voices the soundtrack's channels address (found at each prepare); the rest play the
  // notes channels hand off.
  int32_t channelVoices;
  Voice* voices;
};

// Fixed-point products used across the engine.
// (a x b) / 65536 truncated and limited to 0x10000; a and b are not negative.
uint32_t clampedProduct(uint32_t a, uint32_t b);
// 0 when the clamped product of a and b is 0, else the clamped product of that and c.
uint32_t clampedTripleProduct(uint32_t a, uint32_t b, uint32_t c);
// a x b / 65536 truncated toward zero and limited to -65536..65536.
int32_t signedClampedProduct(int32_t a, int32_t b);
// value moved toward target by step, stopping at the target.
int32_t slideToward(int32_t value, int32_t step, int32_t target);

// Lifecycle (behind the commands). `open` stores the new engine into *handle only on success.
// The ring road takes `ringDevice`, the queue road `queueDevice` (null: prepare fails as a device
// that cannot be opened).
int32_t openEngine(SoundEngine** handle, RingAudioDevice* ringDevice, QueueAudioDevice* queueDevice,
                   int32_t voiceCount, int32_t framesPerBuffer, int32_t outputMode);
void closeEngine(SoundEngine* engine);
void resetEngine(SoundEngine* engine);
void bindSoundtrack(SoundEngine* engine, Soundtrack* soundtrack);
int32_t prepareEngine(SoundEngine* engine, int32_t bits, int32_t stereo, uint32_t rate);
int32_t startEngine(SoundEngine* engine);
void stopEngine(SoundEngine* engine);

void recomputeTiming(SoundEngine* engine);
void recomputeTickLength(SoundEngine* engine);  // the tempo part of recomputeTiming
void rebuildPitchTables(SoundEngine* engine);
void selectMixRoutines(SoundEngine* engine);
void updateMasterGain(SoundEngine* engine);
void updateOutputGain(SoundEngine* engine);

// The device side (engine/device_output.cpp). setUpOutput runs at every prepare: the ring road
// makes a new ring of four buffers, the queue road opens its device once. serviceOutput is
// ENG_SERVICE: it renders into whatever the device has room for and returns how many buffers it
// rendered. stopOutput silences the device; closeOutput releases what setUpOutput made.
int32_t setUpOutput(SoundEngine* engine, uint32_t hertz);  // whole Hz
int32_t serviceOutput(SoundEngine* engine);
void stopOutput(SoundEngine* engine);
void closeOutput(SoundEngine* engine);

// Renders `frameCount` (at most framesPerBuffer) interleaved 16-bit left/right frames.
void render(SoundEngine* engine, int16_t* destination, int32_t frameCount);
// Plays `frameCount` frames on as render() would, with no output: events, effects, envelopes,
// voices (positions, loops, ramps) and the fade of a looped song (a step per whole buffer) all
// end where render() would leave them, but no sample is read or mixed and no buffer is counted.
// Goes a buffer at a time; the move log holds the last one's moves. Stops when the song ends.
void skipFrames(SoundEngine* engine, int64_t frameCount);

// Events (handlers installed at open).
void installHandlers(SoundEngine* engine);
void dispatchEvents(SoundEngine* engine, int32_t time);
void flowControl(SoundEngine* engine, int32_t time);
// Clears every pending loop, jump and break and the loop counts.
void clearPendingFlow(SoundEngine* engine);
// Drops the remembered pattern seek; called wherever the bound soundtrack may change.
void forgetPatternSeek(SoundEngine* engine);
// The first event of the pattern at `playPosition`, or null when the position or its pattern
// slot is out of range or empty.
const Event* firstEventOfPosition(const SoundEngine* engine, int32_t playPosition);
// The 24-bit random value behind random waveform choices.
int32_t nextRandomValue(SoundEngine* engine);

}  // namespace tvp
