// The soundtrack record and its tables: creation, resizing, records and release. Leaks and
// double frees show under the ASan build.
#include <gtest/gtest.h>

#include <memory>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

using SoundtrackPtr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;

SoundtrackPtr MakeSoundtrack() { return SoundtrackPtr(NewSoundtrack(), &ReleaseSoundtrack); }

TEST(SoundtrackModel, NewSoundtrackIsEmpty) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->instrumentCount, 0);
  EXPECT_EQ(st->instruments, nullptr);
  EXPECT_EQ(st->sampleCount, 0);
  EXPECT_EQ(st->samples, nullptr);
  EXPECT_EQ(st->envelopeCount, 0);
  EXPECT_EQ(st->envelopes, nullptr);
  EXPECT_EQ(st->patternCount, 0);
  EXPECT_EQ(st->patterns, nullptr);
  EXPECT_EQ(st->playPositionCount, 0);
  EXPECT_EQ(st->playPositions, nullptr);
  EXPECT_EQ(st->flags, 0u);
}

TEST(SoundtrackResize, EachOperationResizesItsOwnTable) {
  SoundtrackPtr st = MakeSoundtrack();
  EXPECT_EQ(ResizeInstrumentSlots(st.get(), 1), kStatusOk);
  EXPECT_EQ(ResizeSampleSlots(st.get(), 2), kStatusOk);
  EXPECT_EQ(ResizeEnvelopeSlots(st.get(), 3), kStatusOk);
  EXPECT_EQ(ResizePatternSlots(st.get(), 4), kStatusOk);
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), 5), kStatusOk);
  EXPECT_EQ(st->instrumentCount, 1);
  EXPECT_EQ(st->sampleCount, 2);
  EXPECT_EQ(st->envelopeCount, 3);
  EXPECT_EQ(st->patternCount, 4);
  EXPECT_EQ(st->playPositionCount, 5);
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(st->playPositions[i], 0);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(st->patterns[i], nullptr);
}

TEST(SoundtrackResize, CountZeroFreesTableAndLeavesItNull) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 3), kStatusOk);
  ASSERT_EQ(ResizePatternSlots(st.get(), 3), kStatusOk);
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), 0), kStatusOk);
  EXPECT_EQ(ResizePatternSlots(st.get(), 0), kStatusOk);
  EXPECT_EQ(st->playPositions, nullptr);
  EXPECT_EQ(st->playPositionCount, 0);
  EXPECT_EQ(st->patterns, nullptr);
  EXPECT_EQ(st->patternCount, 0);
  // Zero on an empty table is fine too.
  EXPECT_EQ(ResizeSampleSlots(st.get(), 0), kStatusOk);
  EXPECT_EQ(st->samples, nullptr);
}

TEST(SoundtrackResize, NegativeCountIsBadParamAndChangesNothing) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 2), kStatusOk);
  st->playPositions[1] = 7;
  int32_t* table = st->playPositions;
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), -1), kStatusBadParam);
  EXPECT_EQ(st->playPositions, table);
  EXPECT_EQ(st->playPositionCount, 2);
  EXPECT_EQ(st->playPositions[1], 7);
  EXPECT_EQ(ResizeSampleSlots(st.get(), -1), kStatusBadParam);
  EXPECT_EQ(st->samples, nullptr);
  EXPECT_EQ(st->sampleCount, 0);
}

TEST(SoundtrackResize, GrowKeepsEntriesAndZeroesNewSlots) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 2), kStatusOk);
  st->playPositions[0] = 3;
  st->playPositions[1] = 4;
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 300), kStatusOk);
  EXPECT_EQ(st->playPositionCount, 300);
  EXPECT_EQ(st->playPositions[0], 3);
  EXPECT_EQ(st->playPositions[1], 4);
  for (int32_t i = 2; i < 300; ++i) ASSERT_EQ(st->playPositions[i], 0) << i;

  ASSERT_EQ(ResizeEnvelopeSlots(st.get(), 1), kStatusOk);
  Envelope* envelope = NewEnvelope();
  st->envelopes[0] = envelope;
  ASSERT_EQ(ResizeEnvelopeSlots(st.get(), 4), kStatusOk);
  EXPECT_EQ(st->envelopes[0], envelope);
  EXPECT_EQ(st->envelopes[3], nullptr);
}

TEST(SoundtrackResize, ShrinkDoesNotFreeCutEntries) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizeSampleSlots(st.get(), 3), kStatusOk);
  Sample* kept = NewSample();
  Sample* cut1 = NewSample();
  Sample* cut2 = NewSample();
  st->samples[0] = kept;
  st->samples[1] = cut1;
  st->samples[2] = cut2;
  ASSERT_EQ(ResizeSampleSlots(st.get(), 1), kStatusOk);
  EXPECT_EQ(st->sampleCount, 1);
  EXPECT_EQ(st->samples[0], kept);
  // Still ours: under ASan a resize that freed them makes these a double free.
  cut1->volume = 1;
  FreeSample(cut1);
  FreeSample(cut2);
}

// A count whose table does not fit 32-bit sizes is the one out-of-memory path we can cause.
TEST(SoundtrackResize, TooLargeIsOutOfMemoryAndChangesNothing) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizeInstrumentSlots(st.get(), 1), kStatusOk);
  ASSERT_EQ(ResizeSampleSlots(st.get(), 1), kStatusOk);
  ASSERT_EQ(ResizeEnvelopeSlots(st.get(), 1), kStatusOk);
  ASSERT_EQ(ResizePatternSlots(st.get(), 1), kStatusOk);
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 1), kStatusOk);
  st->playPositions[0] = 9;
  Instrument** instruments = st->instruments;
  Sample** samples = st->samples;
  Envelope** envelopes = st->envelopes;
  Event** patterns = st->patterns;
  int32_t* positions = st->playPositions;

  constexpr int32_t kHugePointers = 0x10000000;   // 2 GiB of 8-byte pointers
  constexpr int32_t kHugePositions = 0x20000000;  // 2 GiB of 4-byte slots
  EXPECT_EQ(ResizeInstrumentSlots(st.get(), kHugePointers), kStatusOutOfMemory);
  EXPECT_EQ(ResizeSampleSlots(st.get(), kHugePointers), kStatusOutOfMemory);
  EXPECT_EQ(ResizeEnvelopeSlots(st.get(), kHugePointers), kStatusOutOfMemory);
  EXPECT_EQ(ResizePatternSlots(st.get(), kHugePointers), kStatusOutOfMemory);
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), kHugePositions), kStatusOutOfMemory);
  EXPECT_EQ(ResizePlayPositionSlots(st.get(), INT32_MAX), kStatusOutOfMemory);

  EXPECT_EQ(st->instruments, instruments);
  EXPECT_EQ(st->samples, samples);
  EXPECT_EQ(st->envelopes, envelopes);
  EXPECT_EQ(st->patterns, patterns);
  EXPECT_EQ(st->playPositions, positions);
  EXPECT_EQ(st->instrumentCount, 1);
  EXPECT_EQ(st->sampleCount, 1);
  EXPECT_EQ(st->envelopeCount, 1);
  EXPECT_EQ(st->patternCount, 1);
  EXPECT_EQ(st->playPositionCount, 1);
  EXPECT_EQ(st->playPositions[0], 9);
}

TEST(SoundtrackResize, NullSoundtrackIsBadParam) {
  EXPECT_EQ(ResizeInstrumentSlots(nullptr, 1), kStatusBadParam);
  EXPECT_EQ(ResizeSampleSlots(nullptr, 1), kStatusBadParam);
  EXPECT_EQ(ResizeEnvelopeSlots(nullptr, 1), kStatusBadParam);
  EXPECT_EQ(ResizePatternSlots(nullptr, 1), kStatusBadParam);
  EXPECT_EQ(ResizePlayPositionSlots(nullptr, 1), kStatusBadParam);
}

TEST(SoundtrackRecords, NewRecordsAreZeroFilled) {
  Instrument* instrument = NewInstrument();
  ASSERT_NE(instrument, nullptr);
  EXPECT_EQ(instrument->noteMap[kNoteMapSize - 1].sample, nullptr);
  EXPECT_EQ(instrument->noteMap[0].sampleSlot, 0);
  EXPECT_EQ(instrument->volumeEnvelope, nullptr);
  EXPECT_EQ(instrument->secondModulatorSweep, 0);
  FreeInstrument(instrument);

  Envelope* envelope = NewEnvelope();
  ASSERT_NE(envelope, nullptr);
  EXPECT_EQ(envelope->values, nullptr);
  EXPECT_EQ(envelope->length, 0);
  envelope->values = static_cast<int32_t*>(ZeroAllocArray(8, sizeof(int32_t)));
  FreeEnvelope(envelope);  // values go with it (LeakSanitizer checks)

  Event* event = NewEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->next, nullptr);
  EXPECT_EQ(event->param, 0);
  FreeEvent(event);

  FreeInstrument(nullptr);
  FreeEnvelope(nullptr);
  FreeEvent(nullptr);
  FreeSample(nullptr);
}

TEST(SoundtrackRecords, NewSampleHasZeroedStepTable) {
  int16_t status = -1;
  Sample* sample = NewSample(&status);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(status, kStatusOk);
  ASSERT_NE(sample->stepTable, nullptr);
  for (int32_t i = 0; i < kStepTableEntries; ++i) ASSERT_EQ(sample->stepTable[i], 0u) << i;
  sample->stepTable[kStepTableEntries - 1] = 1;  // the whole table is ours (ASan checks)
  EXPECT_EQ(sample->data, nullptr);
  EXPECT_EQ(sample->block, nullptr);
  EXPECT_EQ(sample->length, 0);
  EXPECT_EQ(sample->loopMode, kLoopNone);
  FreeSample(sample);
}

TEST(SoundtrackRelease, NullIsIgnored) { ReleaseSoundtrack(nullptr); }

TEST(SoundtrackRelease, FreesPartlyBuiltSoundtrack) {
  Soundtrack* st = NewSoundtrack();
  ASSERT_NE(st, nullptr);
  st->flags = kSoundtrackInUse;
  ASSERT_EQ(ResizeInstrumentSlots(st, 3), kStatusOk);
  st->instruments[1] = NewInstrument();
  ASSERT_EQ(ResizeSampleSlots(st, 4), kStatusOk);
  // One sample still holding the loader's buffer, one prepared, one without data.
  Sample* raw = NewSample();
  raw->data = static_cast<int16_t*>(ZeroAlloc(16));
  raw->length = 16;
  Sample* prepared = NewSample();
  prepared->data = static_cast<int16_t*>(ZeroAlloc(16));
  prepared->length = 16;
  ASSERT_EQ(PrepareSampleData(prepared), kStatusOk);
  st->samples[0] = raw;
  st->samples[2] = prepared;
  st->samples[3] = NewSample();
  ASSERT_EQ(ResizeEnvelopeSlots(st, 2), kStatusOk);
  Envelope* envelope = NewEnvelope();
  envelope->values = static_cast<int32_t*>(ZeroAllocArray(4, sizeof(int32_t)));
  st->envelopes[1] = envelope;
  st->instruments[1]->volumeEnvelope = envelope;  // borrowed: freed once, by the table
  st->instruments[1]->noteMap[60].sample = prepared;
  ASSERT_EQ(ResizePatternSlots(st, 3), kStatusOk);
  Event* chain = NewEvent();
  AppendEvent(AppendEvent(chain, 0, 0, EventCode::SetSpeed, 6), 0, 0, EventCode::NextPlayPosition, 0);
  st->patterns[0] = chain;
  Event records[3] = {{nullptr, 0, 0, EventCode::Nothing, 0},
                      {nullptr, 0, 1, EventCode::PositionJump, static_cast<int32_t>(kFlowResetBit | 2)},
                      {nullptr, 256, 0, EventCode::NextPlayPosition, 0}};
  st->patterns[2] = NewPatternBlock(records, 3);
  ASSERT_NE(st->patterns[2], nullptr);
  // A count whose table was never made: the table is skipped, not read.
  st->playPositionCount = 5;
  ReleaseSoundtrack(st);  // LeakSanitizer and ASan check the rest
}

TEST(SoundtrackStatistics, CountFilledSlotsCountsNonNullEntries) {
  EXPECT_EQ(CountFilledInstrumentSlots(nullptr), 0);
  EXPECT_EQ(CountFilledSampleSlots(nullptr), 0);
  EXPECT_EQ(CountFilledEnvelopeSlots(nullptr), 0);
  EXPECT_EQ(CountFilledPatternSlots(nullptr), 0);

  SoundtrackPtr st = MakeSoundtrack();
  EXPECT_EQ(CountFilledSampleSlots(st.get()), 0);
  ASSERT_EQ(ResizeInstrumentSlots(st.get(), 4), kStatusOk);
  ASSERT_EQ(ResizeSampleSlots(st.get(), 5), kStatusOk);
  ASSERT_EQ(ResizeEnvelopeSlots(st.get(), 6), kStatusOk);
  ASSERT_EQ(ResizePatternSlots(st.get(), 7), kStatusOk);
  st->instruments[3] = NewInstrument();
  st->samples[0] = NewSample();
  st->samples[4] = NewSample();
  st->envelopes[1] = NewEnvelope();
  st->envelopes[2] = NewEnvelope();
  st->envelopes[5] = NewEnvelope();
  for (int32_t slot : {0, 1, 3, 6}) st->patterns[slot] = NewEvent();
  EXPECT_EQ(CountFilledInstrumentSlots(st.get()), 1);
  EXPECT_EQ(CountFilledSampleSlots(st.get()), 2);
  EXPECT_EQ(CountFilledEnvelopeSlots(st.get()), 3);
  EXPECT_EQ(CountFilledPatternSlots(st.get()), 4);
}

}  // namespace
}  // namespace tvp
