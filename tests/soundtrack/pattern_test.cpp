// Pattern building: chains, scratch arrays, the event order and block patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

constexpr int32_t kLastRank = 0x7FFFFFFF;

// A scratch array on the heap, so that ASan sees any write outside it. Record 0 is the header.
struct Scratch {
  explicit Scratch(int32_t records, int32_t capacity = 0)
      : events(static_cast<Event*>(ZeroAllocArray(records, sizeof(Event)))) {
    events[0].param = capacity;
  }
  ~Scratch() { ZeroFree(events); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  Event& operator[](int32_t i) { return events[i]; }
  Event* events;
};

std::vector<int32_t> Params(Scratch& scratch, int32_t first, int32_t last) {
  std::vector<int32_t> params;
  for (int32_t i = first; i <= last; ++i) params.push_back(scratch[i].param);
  return params;
}

TEST(EventOrder, CodeRanks) {
  EXPECT_EQ(EventCodeRank(EventCode::SelectInstrument), 0);
  EXPECT_EQ(EventCodeRank(EventCode::SetPitch), 1);
  EXPECT_EQ(EventCodeRank(EventCode::SetPeriod), 1);
  EXPECT_EQ(EventCodeRank(EventCode::LoopCount), 2);
  EXPECT_EQ(EventCodeRank(EventCode::SelectSample), 2);
  EXPECT_EQ(EventCodeRank(EventCode::SelectSampleByNote), 2);
  EXPECT_EQ(EventCodeRank(EventCode::ResetVolume), 3);
  EXPECT_EQ(EventCodeRank(EventCode::ResetPanning), 3);
  EXPECT_EQ(EventCodeRank(EventCode::SetGlobalVolume), 4);
  EXPECT_EQ(EventCodeRank(EventCode::SetVolume), 4);
  EXPECT_EQ(EventCodeRank(EventCode::SetPanning), 4);
  EXPECT_EQ(EventCodeRank(EventCode::StartSample), 5);
  EXPECT_EQ(EventCodeRank(EventCode::SetVoiceFlags), 6);
  for (int32_t code : {0, 0x1F0, 0x119, 0x148, 0xA11, 0xCFF, 0x1102, 0x1302, 0x1419, 0x1500, -1}) {
    EXPECT_EQ(EventCodeRank(code), kLastRank) << code;
  }
}

TEST(EventOrder, SortsByTimeThenChannelThenRankAsSignedValues) {
  Scratch s(8);
  s[1] = {nullptr, 256, 0, EventCode::SetVolume, 1};
  s[2] = {nullptr, 0, 1, EventCode::StartSample, 2};
  s[3] = {nullptr, 0, 1, EventCode::SelectInstrument, 3};
  s[4] = {nullptr, -256, 5, EventCode::SetVoiceFlags, 4};
  s[5] = {nullptr, 0, -1, EventCode::NextPlayPosition, 5};
  s[6] = {nullptr, 0, 1, EventCode::SetPitch, 6};
  s[7] = {nullptr, 0, 1, EventCode::PitchSlide, 7};
  SortEvents(s.events, 1, 7);
  EXPECT_EQ(Params(s, 1, 7), (std::vector<int32_t>{4, 5, 3, 6, 2, 7, 1}));
  LinkEvents(s.events, 8);
  std::vector<int32_t> walked;
  for (const Event* e = s.events[0].next; e != nullptr; e = e->next) walked.push_back(e->param);
  EXPECT_EQ(walked, (std::vector<int32_t>{4, 5, 3, 6, 2, 7, 1}));
}

TEST(EventOrder, SortTouchesOnlyItsRange) {
  Scratch s(6);
  for (int32_t i = 0; i < 6; ++i) s[i] = {nullptr, 100 - i, 0, 0, i};
  SortEvents(s.events, 2, 4);
  EXPECT_EQ(Params(s, 0, 5), (std::vector<int32_t>{0, 1, 4, 3, 2, 5}));
  SortEvents(s.events, 3, 3);  // one record and empty ranges are left alone
  SortEvents(s.events, 4, 2);
  SortEvents(nullptr, 0, 5);
  EXPECT_EQ(Params(s, 0, 5), (std::vector<int32_t>{0, 1, 4, 3, 2, 5}));
}

// Equal keys end where the partition leaves them. Traced by hand: pivot record 2; swap 1/4,
// swap 2/3 -> 4 3 2 1; then 1..2 swaps -> 3 4, and 3..4 swaps -> 1 2.
TEST(EventOrder, AllEqualKeysEndInPartitionOrder) {
  Scratch s(5);
  for (int32_t i = 1; i <= 4; ++i) s[i] = {nullptr, 512, 2, EventCode::SetTempo, i};
  SortEvents(s.events, 1, 4);
  EXPECT_EQ(Params(s, 1, 4), (std::vector<int32_t>{3, 4, 1, 2}));
}

// Keys (time, channel, rank) per param: 1 (256,0,4)  2 (0,1,1)  3 (0,1,0)  4 (256,0,4)
// 5 (0,0,5). Traced by hand: pivot record 3 (0,1,0); swap 1/5, swap 2/3 -> 5 3 2 4 1; left
// 1..2 is in order; right 3..5 with pivot record 4 (256,0,4) swaps 4/5 -> 2 1 4. The equal
// keys 1 and 4 keep their input order only by way of two swaps.
TEST(EventOrder, MixedKeysWithEqualPairEndInPartitionOrder) {
  Scratch s(6);
  s[1] = {nullptr, 256, 0, EventCode::SetVolume, 1};
  s[2] = {nullptr, 0, 1, EventCode::SetPitch, 2};
  s[3] = {nullptr, 0, 1, EventCode::SelectInstrument, 3};
  s[4] = {nullptr, 256, 0, EventCode::SetPanning, 4};
  s[5] = {nullptr, 0, 0, EventCode::StartSample, 5};
  SortEvents(s.events, 1, 5);
  EXPECT_EQ(Params(s, 1, 5), (std::vector<int32_t>{5, 3, 2, 1, 4}));
}

// An even range, where the pivot is the lower of the two middle records. Keys: 1 and 3 equal
// (channel 1, rank 1), 2 and 4 equal and lower (channel 0, rank 4). Traced by hand: pivot
// record 2; swap 1/4, record 2 swaps with itself -> 4 2 3 1; 1..1 is done; 3..4 swaps -> 1 3.
TEST(EventOrder, TiesInAnEvenRangeEndInPartitionOrder) {
  Scratch s(5);
  s[1] = {nullptr, 0, 1, EventCode::SetPitch, 1};
  s[2] = {nullptr, 0, 0, EventCode::SetVolume, 2};
  s[3] = {nullptr, 0, 1, EventCode::SetPeriod, 3};
  s[4] = {nullptr, 0, 0, EventCode::SetPanning, 4};
  SortEvents(s.events, 1, 4);
  EXPECT_EQ(Params(s, 1, 4), (std::vector<int32_t>{4, 2, 1, 3}));
}

void ExpectSortedAndComplete(Scratch& s, int32_t n) {
  std::vector<bool> seen(static_cast<size_t>(n) + 1, false);
  for (int32_t i = 1; i <= n; ++i) {
    ASSERT_TRUE(i == 1 || s[i - 1].time <= s[i].time) << i;
    ASSERT_GE(s[i].param, 1);
    ASSERT_LE(s[i].param, n);
    ASSERT_FALSE(seen[static_cast<size_t>(s[i].param)]) << i;
    seen[static_cast<size_t>(s[i].param)] = true;
  }
}

// Large patterns in the shapes that deepen a naive quicksort's recursion.
TEST(EventOrder, LargeSortedEqualAndReversedArraysSort) {
  constexpr int32_t kCount = 100000;
  for (int shape = 0; shape < 3; ++shape) {
    SCOPED_TRACE(shape);
    Scratch s(kCount + 1);
    for (int32_t i = 1; i <= kCount; ++i) {
      int32_t time = shape == 0 ? i : shape == 1 ? 7 : kCount - i;
      s[i] = {nullptr, time, 0, EventCode::SetVolume, i};
    }
    SortEvents(s.events, 1, kCount);
    ExpectSortedAndComplete(s, kCount);
  }
}

// An input built so that every pivot is the largest key of its range: each partition peels off
// one record, which a sort recursing on both sides would follow n levels deep.
TEST(EventOrder, WorstCasePivotsSortWithoutDeepRecursion) {
  constexpr int32_t kCount = 10000;
  std::vector<int32_t> at(kCount + 1);    // which input record sits at each index
  std::vector<int32_t> time(kCount + 1);  // the key each input record gets
  for (int32_t i = 0; i <= kCount; ++i) at[static_cast<size_t>(i)] = i;
  for (int32_t last = kCount; last >= 2; --last) {
    int32_t mid = (1 + last) / 2;
    time[static_cast<size_t>(at[static_cast<size_t>(mid)])] = last;
    std::swap(at[static_cast<size_t>(mid)], at[static_cast<size_t>(last)]);
  }
  time[static_cast<size_t>(at[1])] = 1;
  Scratch s(kCount + 1);
  for (int32_t i = 1; i <= kCount; ++i) s[i] = {nullptr, time[static_cast<size_t>(i)], 0, 0, i};
  SortEvents(s.events, 1, kCount);
  ExpectSortedAndComplete(s, kCount);
}

TEST(ScratchArray, PutEventWritesAndLinksThePreviousRecord) {
  Scratch s(4, 4);
  PutEvent(s.events, 1, 0, 2, EventCode::SetPitch, 0x3C00);
  PutEvent(s.events, 2, 256, 3, EventCode::StartSample, 0);
  EXPECT_EQ(s[0].next, &s[1]);
  EXPECT_EQ(s[1].next, &s[2]);
  EXPECT_EQ(s[2].next, nullptr);
  EXPECT_EQ(s[1].time, 0);
  EXPECT_EQ(s[1].channel, 2);
  EXPECT_EQ(s[1].code, EventCode::SetPitch);
  EXPECT_EQ(s[1].param, 0x3C00);
  EXPECT_EQ(s[2].time, 256);
  EXPECT_EQ(s[0].param, 4);  // the header keeps its capacity
}

TEST(ScratchArray, PutEventRefusesIndicesOutsideTheCapacity) {
  Scratch s(5, 4);  // one spare record past the capacity, to see that it stays untouched
  s[4] = {nullptr, 99, 99, 99, 99};
  PutEvent(s.events, 3, 768, 0, EventCode::SetVolume, 1);
  PutEvent(s.events, 4, 1024, 0, EventCode::SetVolume, 2);
  EXPECT_EQ(s[4].time, 99);
  EXPECT_EQ(s[4].param, 99);
  EXPECT_EQ(s[3].next, nullptr);
  EXPECT_EQ(s[3].param, 1);

  // Index 0 is the header; below it is outside the array (ASan would see the write).
  PutEvent(s.events, 0, 5, 5, 5, 5);
  PutEvent(s.events, -1, 5, 5, 5, 5);
  EXPECT_EQ(s[0].time, 0);
  EXPECT_EQ(s[0].param, 4);
  PutEvent(nullptr, 1, 0, 0, 0, 0);
}

TEST(ScratchArray, CapacityZeroIsUnchecked) {
  Scratch s(10, 0);
  PutEvent(s.events, 9, 2304, 1, EventCode::SetVolume, 7);
  EXPECT_EQ(s[9].param, 7);
  EXPECT_EQ(s[8].next, &s[9]);
}

TEST(ScratchArray, LinkEventsChainsRecordsInOrder) {
  Scratch s(4);
  s[3].next = &s[0];  // stale links are replaced
  LinkEvents(s.events, 4);
  EXPECT_EQ(s[0].next, &s[1]);
  EXPECT_EQ(s[1].next, &s[2]);
  EXPECT_EQ(s[2].next, &s[3]);
  EXPECT_EQ(s[3].next, nullptr);
  s[0].next = &s[2];
  LinkEvents(s.events, 1);
  EXPECT_EQ(s[0].next, nullptr);
  LinkEvents(s.events, 0);
  LinkEvents(nullptr, 3);
  EXPECT_EQ(s[1].next, &s[2]);
}

TEST(PatternChain, AppendEventFillsAndLinks) {
  Event* head = NewEvent();
  Event* a = AppendEvent(head, 256, 3, EventCode::SetVolume, 0x8000);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(head->next, a);
  EXPECT_EQ(a->next, nullptr);
  EXPECT_EQ(a->time, 256);
  EXPECT_EQ(a->channel, 3);
  EXPECT_EQ(a->code, EventCode::SetVolume);
  EXPECT_EQ(a->param, 0x8000);
  Event* b = AppendEvent(a, 512, 0, EventCode::NextPlayPosition, 0);
  EXPECT_EQ(a->next, b);
  FreePattern(head);  // every record of the chain (LeakSanitizer checks)

  Event* alone = AppendEvent(nullptr, 1, 2, 3, 4);
  ASSERT_NE(alone, nullptr);
  EXPECT_EQ(alone->next, nullptr);
  FreePattern(alone);
  FreePattern(nullptr);
}

TEST(PatternChain, NewPatternBlockCopiesLinksAndMarksTheHead) {
  Event records[3] = {{nullptr, 0, 0, EventCode::Nothing, 3},
                      {nullptr, 0, 1, EventCode::SetPanning, -0x1000},
                      {nullptr, 256, 0, EventCode::NextPlayPosition, 0}};
  Event* block = NewPatternBlock(records, 3);
  ASSERT_NE(block, nullptr);
  EXPECT_NE(block, records);
  EXPECT_EQ(block[0].next, &block[1]);
  EXPECT_EQ(block[1].next, &block[2]);
  EXPECT_EQ(block[2].next, nullptr);
  EXPECT_EQ(static_cast<uint32_t>(block[0].param), 0x80000003u);
  EXPECT_EQ(block[1].param, -0x1000);
  EXPECT_EQ(block[2].code, EventCode::NextPlayPosition);
  EXPECT_EQ(records[0].next, nullptr);  // the source is left as it was
  EXPECT_EQ(records[0].param, 3);
  // The whole block is one allocation: freeing any record after the head would be an invalid
  // free under ASan, and a leak if the head were not freed.
  FreePattern(block);

  EXPECT_EQ(NewPatternBlock(records, 0), nullptr);
  EXPECT_EQ(NewPatternBlock(nullptr, 3), nullptr);
}

// Bit 31 inside a chain is a negative value or a reset request, not a block marker: an initial
// settings chain with a left-panned channel must be freed whole (LeakSanitizer checks).
TEST(PatternChain, FreePatternFreesAChainWhateverItsParams) {
  Event* head = NewEvent();
  Event* last = AppendEvent(head, 0, 0, EventCode::SetPanning, -0x1000);
  last = AppendEvent(last, 0, 1, EventCode::SetPanning, 0x1000);
  last = AppendEvent(last, 0, 0, EventCode::PositionJump, static_cast<int32_t>(kFlowResetBit | 1));
  AppendEvent(last, 0, 0, EventCode::NextPlayPosition, 0);
  FreePattern(head);
}

}  // namespace
}  // namespace tvp
