// The soundtrack record and its tables: resizing, records and release. Leaks and double frees
// show under the ASan build.
#include <gtest/gtest.h>

#include <memory>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

using SoundtrackPtr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;

SoundtrackPtr MakeSoundtrack() { return SoundtrackPtr(NewSoundtrack(), &ReleaseSoundtrack); }

// The five tables, seen through one shape: resize, count, table and entry size.
struct Table {
  const char* name;
  int16_t (*resize)(Soundtrack*, int32_t);
  int32_t Soundtrack::*count;
  void* (*table)(Soundtrack*);
  int32_t entrySize;
};

const Table kTables[] = {
    {"instruments", ResizeInstrumentSlots, &Soundtrack::instrumentCount,
     [](Soundtrack* s) -> void* { return s->instruments; }, sizeof(Instrument*)},
    {"samples", ResizeSampleSlots, &Soundtrack::sampleCount, [](Soundtrack* s) -> void* { return s->samples; },
     sizeof(Sample*)},
    {"envelopes", ResizeEnvelopeSlots, &Soundtrack::envelopeCount,
     [](Soundtrack* s) -> void* { return s->envelopes; }, sizeof(Envelope*)},
    {"patterns", ResizePatternSlots, &Soundtrack::patternCount, [](Soundtrack* s) -> void* { return s->patterns; },
     sizeof(Event*)},
    {"play positions", ResizePlayPositionSlots, &Soundtrack::playPositionCount,
     [](Soundtrack* s) -> void* { return s->playPositions; }, sizeof(int32_t)},
};

// Negative counts, counts too large for a 32-bit size, and 0, on every table.
TEST(SoundtrackResize, BadCountsChangeNothingAndZeroFreesTheTable) {
  for (const Table& t : kTables) {
    SCOPED_TRACE(t.name);
    SoundtrackPtr st = MakeSoundtrack();
    EXPECT_EQ(t.resize(nullptr, 1), kStatusBadParam);
    EXPECT_EQ(t.resize(st.get(), 0), kStatusOk);  // on an empty table too
    EXPECT_EQ(t.table(st.get()), nullptr);
    ASSERT_EQ(t.resize(st.get(), 3), kStatusOk);
    void* table = t.table(st.get());
    ASSERT_NE(table, nullptr);
    const int32_t firstTooLarge = static_cast<int32_t>(0x80000000u / static_cast<uint32_t>(t.entrySize));
    for (int32_t count : {-1, firstTooLarge, INT32_MAX}) {
      EXPECT_EQ(t.resize(st.get(), count), count < 0 ? kStatusBadParam : kStatusOutOfMemory) << count;
      EXPECT_EQ(t.table(st.get()), table);
      EXPECT_EQ(st.get()->*t.count, 3);
    }
    EXPECT_EQ(t.resize(st.get(), 0), kStatusOk);
    EXPECT_EQ(t.table(st.get()), nullptr);
    EXPECT_EQ(st.get()->*t.count, 0);
  }
}

TEST(SoundtrackResize, GrowKeepsEntriesAndShrinkDoesNotFreeCutOnes) {
  SoundtrackPtr st = MakeSoundtrack();
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 2), kStatusOk);
  st->playPositions[0] = 3;
  st->playPositions[1] = 4;
  ASSERT_EQ(ResizePlayPositionSlots(st.get(), 300), kStatusOk);
  EXPECT_EQ(st->playPositions[0], 3);
  EXPECT_EQ(st->playPositions[1], 4);
  for (int32_t i = 2; i < 300; ++i) ASSERT_EQ(st->playPositions[i], 0) << i;

  ASSERT_EQ(ResizeSampleSlots(st.get(), 3), kStatusOk);
  Sample* cut = NewSample();
  st->samples[0] = NewSample();
  st->samples[2] = cut;
  Sample* kept = st->samples[0];
  ASSERT_EQ(ResizeSampleSlots(st.get(), 1), kStatusOk);
  EXPECT_EQ(st->samples[0], kept);
  cut->volume = 1;  // still ours: under ASan, a resize that freed it makes this a use after free
  FreeSample(cut);
}

TEST(SoundtrackRecords, NewSampleOwnsAZeroedStepTable) {
  int16_t status = -1;
  Sample* sample = NewSample(&status);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(status, kStatusOk);
  for (int32_t i = 0; i < kStepTableEntries; ++i) ASSERT_EQ(sample->stepTable[i], 0u) << i;
  sample->stepTable[kStepTableEntries - 1] = 1;  // the whole table is ours (ASan checks)
  FreeSample(sample);

  Envelope* envelope = NewEnvelope();
  envelope->values = static_cast<int32_t*>(ZeroAllocArray(8, sizeof(int32_t)));
  FreeEnvelope(envelope);  // values go with it (LeakSanitizer checks)
  FreeInstrument(nullptr);
  FreeEnvelope(nullptr);
  FreeEvent(nullptr);
  FreeSample(nullptr);
}

// Null tables, null slots, raw and prepared samples and both pattern kinds (LeakSanitizer checks).
TEST(SoundtrackRelease, FreesPartlyBuiltSoundtrack) {
  ReleaseSoundtrack(nullptr);
  Soundtrack* st = NewSoundtrack();
  ASSERT_NE(st, nullptr);
  st->flags = kSoundtrackInUse;
  ASSERT_EQ(ResizeInstrumentSlots(st, 3), kStatusOk);
  st->instruments[1] = NewInstrument();
  ASSERT_EQ(ResizeSampleSlots(st, 4), kStatusOk);
  Sample* raw = NewSample();  // still holding the loader's buffer
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
  st->playPositionCount = 5;  // a count whose table was never made
  ReleaseSoundtrack(st);
}

TEST(SoundtrackStatistics, CountFilledSlotsCountsNonNullEntries) {
  EXPECT_EQ(CountFilledSampleSlots(nullptr), 0);
  SoundtrackPtr st = MakeSoundtrack();
  EXPECT_EQ(CountFilledPatternSlots(st.get()), 0);
  ASSERT_EQ(ResizeInstrumentSlots(st.get(), 4), kStatusOk);
  ASSERT_EQ(ResizeSampleSlots(st.get(), 5), kStatusOk);
  ASSERT_EQ(ResizeEnvelopeSlots(st.get(), 6), kStatusOk);
  ASSERT_EQ(ResizePatternSlots(st.get(), 7), kStatusOk);
  st->instruments[3] = NewInstrument();
  st->samples[0] = NewSample();
  st->samples[4] = NewSample();
  for (int32_t slot : {1, 2, 5}) st->envelopes[slot] = NewEnvelope();
  for (int32_t slot : {0, 1, 3, 6}) st->patterns[slot] = NewEvent();
  EXPECT_EQ(CountFilledInstrumentSlots(st.get()), 1);
  EXPECT_EQ(CountFilledSampleSlots(st.get()), 2);
  EXPECT_EQ(CountFilledEnvelopeSlots(st.get()), 3);
  EXPECT_EQ(CountFilledPatternSlots(st.get()), 4);
}

}  // namespace
}  // namespace tvp
