#pragma once
// The in-memory soundtrack: instruments, samples, envelopes, patterns of timed engine events and
// the list of play positions. Loaders build it; the engine only reads it (except the samples'
// step tables and the instruments' resolved random waveforms).
//
// Units: volumes 16.16 (0x10000 = 1.0); pitch 8.8 semitones (note x 256); panning -0x1000 (left)
// .. +0x1000 (right); time inside a pattern row x 256 + tick; sample lengths and positions in
// bytes of 16-bit frames.
#include <cstdint>

#include "soundtrack/event_codes.h"

namespace tvp {

struct Event {
  Event* next;
  int32_t time;     // row x 256 + tick
  int32_t channel;  // 0 for song-level events; the variable number for variable events
  int32_t code;     // EventCode
  int32_t param;    // bit 31: block marker on a block's first record, reset request on flow events
};

inline constexpr int32_t kStepTableEntries = 3072;  // one octave in 1/256 semitone
inline constexpr int32_t kNoLoopEnd = 0x7FFFFFFE;     // MOD and S3M samples without a loop

enum SampleLoopMode : int32_t { kLoopNone = 0, kLoopForward = 1, kLoopPingPong = 2 };

// A sample's or instrument's panning that leaves the channel's as it is.
inline constexpr int32_t kNoDefaultPanning = INT32_MIN;

struct Sample {
  int16_t* data;   // first frame; after PrepareSampleData data[-1], data[frames], data[frames+1] exist
  int16_t* block;  // the allocation that holds data (data = block + 1 frame), or null
  int32_t length;  // bytes (frames x 2)
  int32_t loopMode;
  int32_t loopStart;   // bytes
  int32_t loopEnd;     // bytes, just past the loop
  int32_t loopLength;  // bytes
  int32_t volume;      // 16.16, 0x10000 = file volume 64
  int32_t panning;     // -0x1000 .. +0x1000, or kNoDefaultPanning
  uint32_t rate;       // 16.16 Hz at the base note: up to 65535 Hz
  int32_t baseNote;    // 8.8 semitones
  // A sustain loop plays instead of the loop while the key is held (kLoopNone: none); it must lie
  // inside the data, in whole frames, at least two frames long (four for ping-pong).
  int32_t sustainMode;
  int32_t sustainStart;  // bytes
  int32_t sustainEnd;    // bytes, just past the loop
  int16_t savedGuard[2];  // the two frames at the loop end before PrepareSampleData replaced them
  uint32_t* stepTable;    // kStepTableEntries 16.16 steps, filled by the engine
};

inline constexpr int32_t kNoEnvelopePoint = 0x7FFFFFFF;
inline constexpr uint32_t kEnvelopeLoop = 1;
inline constexpr uint32_t kEnvelopeSustain = 16;

struct Envelope {
  int32_t sustainStart;
  int32_t sustainEnd;  // kNoEnvelopePoint without a sustain
  int32_t loopStart;
  int32_t loopEnd;  // kNoEnvelopePoint without a loop
  uint32_t flags;   // kEnvelopeLoop, kEnvelopeSustain
  int32_t length;   // number of values
  int32_t* values;  // one value per tick
};

struct NoteMapEntry {
  int32_t sampleSlot;
  Sample* sample;
  int32_t pitchShift;  // 8.8 semitones added to the note that chose the entry: it plays another
};

inline constexpr int32_t kNoteMapSize = 128;

struct Instrument {
  NoteMapEntry noteMap[kNoteMapSize];  // indexed by pitch >> 8
  Envelope* volumeEnvelope;
  Envelope* pitchEnvelope;
  Envelope* panningEnvelope;
  int32_t fadeout;  // taken off a 16.16 fade factor each tick after key release
  int32_t autoVibratoOn;
  int32_t autoVibratoWaveform;
  int32_t autoVibratoDepth;
  int32_t autoVibratoRate;
  int32_t autoVibratoSweep;
  int32_t secondModulatorOn;
  int32_t secondModulatorWaveform;
  int32_t secondModulatorDepth;
  int32_t secondModulatorRate;
  int32_t secondModulatorSweep;
  int32_t volume;          // 16.16 on everything the instrument plays; NewInstrument makes it 0x10000
  int32_t randomVolume;    // 16.16: each note's volume varies at random by up to this share
  int32_t randomPanning;   // each note's panning varies at random by up to this much
  int32_t noteAction;      // kNoteAction*: what its note does when a new note comes
  int32_t duplicateCheck;  // kDuplicate*: which of its handed-off notes a new note of it ends
  int32_t duplicateAction;  // kNoteActionCut, Off or Fade: how they end
  // Taken by a note with the instrument when its sample has none; NewInstrument makes it
  // kNoDefaultPanning.
  int32_t panning;
  // Each note's panning moves by (note - pitchPanCentre) x pitchPanSeparation.
  int32_t pitchPanCentre;  // whole semitones
  int32_t pitchPanSeparation;
  // 0: the fade-out starts when the key is released, with a volume envelope (without one the
  // release ends the note). 1: it starts at the release without a volume envelope or with a
  // looping one, else when the envelope has come to its end, key held or not.
  int32_t fadeAtEnvelopeEnd;
  // The filter a note of the instrument starts with (0 .. 127; -1 leaves the voice's), and an
  // envelope of 16.16 factors on the cutoff (0 .. 0x10000 and above), null for none.
  int32_t filterCutoff;
  int32_t filterResonance;
  Envelope* filterEnvelope;
};

inline constexpr int32_t kDuplicateNone = 0;
inline constexpr int32_t kDuplicateNote = 1;        // the same note
inline constexpr int32_t kDuplicateSample = 2;      // the same sample
inline constexpr int32_t kDuplicateInstrument = 3;  // any note of the instrument

inline constexpr uint32_t kSoundtrackInUse = 1;

struct Soundtrack {
  int32_t instrumentCount;
  Instrument** instruments;
  int32_t sampleCount;
  Sample** samples;
  int32_t envelopeCount;
  Envelope** envelopes;
  int32_t patternCount;
  Event** patterns;  // first event of each pattern chain
  int32_t playPositionCount;
  int32_t* playPositions;  // pattern slot indices
  uint32_t flags;          // kSoundtrackInUse
};

// Creation and release. Creators return null when memory is short (status -108).
Soundtrack* NewSoundtrack();
void ReleaseSoundtrack(Soundtrack* soundtrack);  // accepts null and partly built soundtracks

// Resize one table: 0 or kStatusBadParam (negative count, nothing changed) or kStatusOutOfMemory
// (nothing changed). Entries cut off by shrinking are not freed.
int16_t ResizeInstrumentSlots(Soundtrack* soundtrack, int32_t count);
int16_t ResizeSampleSlots(Soundtrack* soundtrack, int32_t count);
int16_t ResizeEnvelopeSlots(Soundtrack* soundtrack, int32_t count);
int16_t ResizePatternSlots(Soundtrack* soundtrack, int32_t count);
int16_t ResizePlayPositionSlots(Soundtrack* soundtrack, int32_t count);

Instrument* NewInstrument();
Envelope* NewEnvelope();
// Gives the envelope one value per tick up to its last point's: `count` (at least 1) points of
// ticks that never fall, joined by straight lines. kStatusOutOfMemory when the values cannot be
// had.
int16_t FillEnvelope(Envelope* envelope, const int32_t* ticks, const int32_t* values, int32_t count);
Event* NewEvent();
// The record plus its zeroed step table. When only the step table cannot be had, the record is
// still returned and *status (if given) says kStatusOutOfMemory.
Sample* NewSample(int16_t* status = nullptr);

void FreeInstrument(Instrument* instrument);
void FreeSample(Sample* sample);  // step table, data block, record
void FreeEnvelope(Envelope* envelope);
void FreeEvent(Event* event);
// Frees a pattern. A first record whose param has bit 31 set is a block-allocated pattern and
// goes as one allocation; any other chain is freed event by event. Only the first record's bit
// counts: later in a chain bit 31 is a flow event's reset request or a negative argument.
void FreePattern(Event* first);

// Statistics for the information window.
int32_t CountFilledInstrumentSlots(const Soundtrack* soundtrack);
int32_t CountFilledSampleSlots(const Soundtrack* soundtrack);
int32_t CountFilledEnvelopeSlots(const Soundtrack* soundtrack);
int32_t CountFilledPatternSlots(const Soundtrack* soundtrack);

// Pattern building.
Event* AppendEvent(Event* previous, int32_t time, int32_t channel, int32_t code, int32_t param);
// Scratch arrays: record 0 is a header whose param is the capacity (0 = unchecked).
void PutEvent(Event* array, int32_t index, int32_t time, int32_t channel, int32_t code, int32_t param);
void SortEvents(Event* array, int32_t first, int32_t last);
void LinkEvents(Event* array, int32_t count);
// The rank that orders events of one channel and tick (lower first).
int32_t EventCodeRank(int32_t code);
// Copies `count` records into one new block, links them and marks record 0 with bit 31, so that
// FreePattern releases the pattern as one allocation. Null when memory is short.
Event* NewPatternBlock(const Event* records, int32_t count);

// Converts the sample to its playing form with guard frames: 0 or kStatusOutOfMemory.
int16_t PrepareSampleData(Sample* sample);

// Play-time estimate at 44100 Hz: 0, or kStatusNoSoundtrack. `seconds` and `total` (units of
// 256 output frames) may be null.
int16_t EstimatePlayTime(const Soundtrack* soundtrack, int32_t* seconds, int32_t* total);
// The songs one soundtrack holds: the first from position 0, then one from each play position
// the songs before never reached, when it plays a note. Times as EstimatePlayTime counts them,
// each up to where it repeats or comes to a row an earlier song played.
struct SubSong {
  int32_t firstPosition;  // play position
  int32_t seconds;
  int32_t total;  // units of 256 output frames at 44100 Hz
};
inline constexpr int32_t kMaxSubSongs = 256;
inline constexpr int32_t kNoSubSong = -1;
// Fills up to `capacity` entries and returns how many: at least 1 for a soundtrack (its first
// song, even when it is silent), 0 for null or no room. `owners`, when given, has an entry per
// play position: the song that reaches it first, or kNoSubSong.
int32_t FindSubSongs(const Soundtrack* soundtrack, SubSong* songs, int32_t capacity, int32_t* owners = nullptr);
// Walks one pattern from *cursor. Returns frames in units of 256 and updates all four in/out
// values; *status is 0, kStatusBadParam (speed or tick length below 1) or kStatusDataEnded (the
// chain ends without an event that stops or changes timing).
int32_t EstimatePatternTime(const Event** cursor, int32_t* speed, int32_t* tickLength,
                            int32_t* remainder, int16_t* status);

}  // namespace tvp
