// The soundtrack record and its tables: resizing, records and release. Leaks, double frees and
// writes outside a table show under the ASan build.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

using SoundtrackPtr = std::unique_ptr<Soundtrack, decltype(&ReleaseSoundtrack)>;
SoundtrackPtr MakeSoundtrack() { return SoundtrackPtr(NewSoundtrack(), &ReleaseSoundtrack); }

// The five tables, seen through one shape: resize, count, table and entry size.
struct Table {
  int16_t (*resize)(Soundtrack*, int32_t);
  int32_t Soundtrack::*count;
  void* (*table)(Soundtrack*);
  int32_t entrySize;
};
const Table kTables[] = {
    {ResizeInstrumentSlots, &Soundtrack::instrumentCount, [](Soundtrack* s) -> void* { return s->instruments; },
     sizeof(Instrument*)},
    {ResizeSampleSlots, &Soundtrack::sampleCount, [](Soundtrack* s) -> void* { return s->samples; }, sizeof(Sample*)},
    {ResizeEnvelopeSlots, &Soundtrack::envelopeCount, [](Soundtrack* s) -> void* { return s->envelopes; },
     sizeof(Envelope*)},
    {ResizePatternSlots, &Soundtrack::patternCount, [](Soundtrack* s) -> void* { return s->patterns; }, sizeof(Event*)},
    {ResizePlayPositionSlots, &Soundtrack::playPositionCount, [](Soundtrack* s) -> void* { return s->playPositions; },
     sizeof(int32_t)},
};

// Negative counts and counts too large for a 32-bit size change nothing; 0 frees the table.
TEST(SoundtrackResize, BadCountsChangeNothingAndZeroFreesTheTable) {
  for (const Table& t : kTables) {
    SCOPED_TRACE(t.entrySize);
    SoundtrackPtr st = MakeSoundtrack();
    EXPECT_EQ(t.resize(nullptr, 1), kStatusBadParam);
    EXPECT_EQ(t.resize(st.get(), 0), kStatusOk);  // on an empty table too
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
  Sample* kept = st->samples[0] = NewSample();
  int16_t status = -1;
  Sample* cut = st->samples[2] = NewSample(&status);
  EXPECT_EQ(status, kStatusOk);
  ASSERT_EQ(ResizeSampleSlots(st.get(), 1), kStatusOk);
  EXPECT_EQ(st->samples[0], kept);
  cut->stepTable[kStepTableEntries - 1] = 1;  // still ours, step table and all
  FreeSample(cut);
}

// Null tables and slots, raw and prepared samples, a borrowed envelope and both pattern kinds are
// counted and released (LeakSanitizer checks).
TEST(SoundtrackRelease, CountsAndFreesPartlyBuiltSoundtrack) {
  ReleaseSoundtrack(nullptr);
  FreeInstrument(nullptr);
  FreeEnvelope(nullptr);
  FreeEvent(nullptr);
  FreeSample(nullptr);
  EXPECT_EQ(CountFilledSampleSlots(nullptr), 0);
  EXPECT_EQ(PrepareSampleData(nullptr), kStatusBadParam);
  Soundtrack* st = NewSoundtrack();
  ASSERT_NE(st, nullptr);
  st->flags = kSoundtrackInUse;
  EXPECT_EQ(CountFilledPatternSlots(st), 0);
  ASSERT_EQ(ResizeInstrumentSlots(st, 4), kStatusOk);
  ASSERT_EQ(ResizeSampleSlots(st, 5), kStatusOk);
  ASSERT_EQ(ResizeEnvelopeSlots(st, 6), kStatusOk);
  ASSERT_EQ(ResizePatternSlots(st, 7), kStatusOk);
  st->instruments[1] = NewInstrument();
  for (int32_t slot : {0, 2}) {  // slot 0 keeps the loader's buffer, slot 2 is prepared
    st->samples[slot] = NewSample();
    st->samples[slot]->data = static_cast<int16_t*>(ZeroAlloc(16));
    st->samples[slot]->length = 16;
  }
  ASSERT_EQ(PrepareSampleData(st->samples[2]), kStatusOk);
  st->samples[3] = NewSample();
  for (int32_t slot : {1, 2, 5}) st->envelopes[slot] = NewEnvelope();
  st->envelopes[1]->values = static_cast<int32_t*>(ZeroAllocArray(4, sizeof(int32_t)));
  st->instruments[1]->volumeEnvelope = st->envelopes[1];  // borrowed: freed once, by the table
  st->instruments[1]->noteMap[60].sample = st->samples[2];
  for (int32_t slot : {1, 3}) st->patterns[slot] = NewEvent();
  AppendEvent(AppendEvent(st->patterns[1], 0, 0, EventCode::SetSpeed, 6), 0, 0, EventCode::NextPlayPosition, 0);
  Event records[2] = {{nullptr, 0, 0, EventCode::Nothing, 0}, {nullptr, 256, 0, EventCode::NextPlayPosition, 0}};
  st->patterns[6] = NewPatternBlock(records, 2);
  st->patterns[0] = NewPatternBlock(records, 2);
  EXPECT_EQ(std::tuple(CountFilledInstrumentSlots(st), CountFilledSampleSlots(st), CountFilledEnvelopeSlots(st),
                       CountFilledPatternSlots(st)),
            std::tuple(1, 3, 3, 4));
  st->playPositionCount = 5;  // a count whose table was never made
  ReleaseSoundtrack(st);
}

}  // namespace
}  // namespace tvp
