// Pattern building: chains, scratch arrays, the event order and block patterns.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/zero_alloc.h"

namespace tvp {
namespace {

// A scratch array on the heap, so that ASan sees any write outside it. Record 0 is the header.
struct Scratch {
  explicit Scratch(int32_t records, int32_t capacity = 0)
      : events(static_cast<Event*>(ZeroAllocArray(records, sizeof(Event)))) {
    events[0].param = capacity;
  }
  ~Scratch() { ZeroFree(events); }
  Event& operator[](int32_t i) { return events[i]; }
  std::vector<int32_t> params(int32_t first, int32_t last) {
    std::vector<int32_t> out;
    for (int32_t i = first; i <= last; ++i) out.push_back(events[i].param);
    return out;
  }
  Event* events;
};

TEST(EventOrder, CodeRanks) {
  using namespace EventCode;
  const std::pair<int32_t, int32_t> ranks[] = {
      {SelectInstrument, 0}, {SetPitch, 1},     {SetPeriod, 1},   {LoopCount, 2},       {SelectSample, 2},
      {SelectSampleByNote, 2}, {ResetVolume, 3}, {ResetPanning, 3}, {SetGlobalVolume, 4}, {SetVolume, 4},
      {SetPanning, 4},       {StartSample, 5},  {SetVoiceFlags, 6}};
  for (auto [code, rank] : ranks) EXPECT_EQ(EventCodeRank(code), rank) << std::hex << code;
  for (int32_t code : {0, 0x1F0, 0x119, 0x148, 0xA11, 0xCFF, 0x1102, 0x1302, 0x1419, 0x1500, -1})
    EXPECT_EQ(EventCodeRank(code), 0x7FFFFFFF) << code;
}

// Records sort by time, channel and code rank, as signed values. Equal keys end where the
// partition (pivot the lower middle record) leaves them; the orders were traced by hand.
TEST(EventOrder, SortsByTimeChannelRankAndLeavesEqualKeysInPartitionOrder) {
  struct Key {
    int32_t time, channel, code;
  };
  struct Case {
    std::vector<Key> keys;  // params 1, 2, ... in input order
    std::vector<int32_t> sorted;
  };
  using namespace EventCode;
  const Case cases[] = {
      {{{256, 0, SetVolume}, {0, 1, StartSample}, {0, 1, SelectInstrument}, {-256, 5, SetVoiceFlags},
        {0, -1, NextPlayPosition}, {0, 1, SetPitch}, {0, 1, PitchSlide}},
       {4, 5, 3, 6, 2, 7, 1}},
      // pivot 2; swaps 1/4, 2/3 -> 4 3 2 1; then 1..2 -> 3 4 and 3..4 -> 1 2
      {{{512, 2, SetTempo}, {512, 2, SetTempo}, {512, 2, SetTempo}, {512, 2, SetTempo}}, {3, 4, 1, 2}},
      // equal keys 1 and 4 keep their input order only by way of two swaps
      {{{256, 0, SetVolume}, {0, 1, SetPitch}, {0, 1, SelectInstrument}, {256, 0, SetPanning}, {0, 0, StartSample}},
       {5, 3, 2, 1, 4}},
      // an even range: 1 = 3 and 2 = 4 < 1; pivot 2 swaps with itself
      {{{0, 1, SetPitch}, {0, 0, SetVolume}, {0, 1, SetPeriod}, {0, 0, SetPanning}}, {4, 2, 1, 3}},
  };
  for (const Case& c : cases) {
    const int32_t n = static_cast<int32_t>(c.keys.size());
    Scratch s(n + 1);
    for (int32_t i = 1; i <= n; ++i) {
      const Key& k = c.keys[static_cast<size_t>(i - 1)];
      s[i] = {&s[0], k.time, k.channel, k.code, i};  // stale links, replaced by LinkEvents
    }
    SortEvents(s.events, 1, n);
    EXPECT_EQ(s.params(1, n), c.sorted);
    LinkEvents(s.events, n + 1);
    std::vector<int32_t> walked;
    for (const Event* e = s[0].next; e && walked.size() <= c.sorted.size(); e = e->next) walked.push_back(e->param);
    EXPECT_EQ(walked, c.sorted);
  }
}

TEST(EventOrder, SortTouchesOnlyItsRange) {
  Scratch s(6);
  for (int32_t i = 0; i < 6; ++i) s[i] = {nullptr, 100 - i, 0, 0, i};
  SortEvents(s.events, 2, 4);
  EXPECT_EQ(s.params(0, 5), (std::vector<int32_t>{0, 1, 4, 3, 2, 5}));
  SortEvents(s.events, 3, 3);  // one record and empty ranges are left alone
  SortEvents(s.events, 4, 2);
  SortEvents(nullptr, 0, 5);
  EXPECT_EQ(s.params(0, 5), (std::vector<int32_t>{0, 1, 4, 3, 2, 5}));
}

// Shapes that deepen a naive quicksort's recursion; shape 0 makes every pivot the largest key of
// its range, so each partition peels off one record.
TEST(EventOrder, LargeAdversarialArraysSortWithoutDeepRecursion) {
  for (int shape = 0; shape < 3; ++shape) {
    const int32_t kCount = shape == 0 ? 10000 : 100000;
    std::vector<int32_t> time(kCount + 1);
    if (shape == 0) {
      std::vector<int32_t> at(kCount + 1);  // which input record sits at each index
      for (int32_t i = 0; i <= kCount; ++i) at[static_cast<size_t>(i)] = i;
      for (int32_t last = kCount; last >= 2; --last) {
        const size_t mid = static_cast<size_t>((1 + last) / 2);
        time[static_cast<size_t>(at[mid])] = last;
        std::swap(at[mid], at[static_cast<size_t>(last)]);
      }
      time[static_cast<size_t>(at[1])] = 1;
    } else {
      for (int32_t i = 1; i <= kCount; ++i) time[static_cast<size_t>(i)] = shape == 1 ? 7 : kCount - i;
    }
    Scratch s(kCount + 1);
    for (int32_t i = 1; i <= kCount; ++i) s[i] = {nullptr, time[static_cast<size_t>(i)], 0, 0, i};
    SortEvents(s.events, 1, kCount);
    std::vector<int32_t> params = s.params(1, kCount);
    for (int32_t i = 2; i <= kCount; ++i) ASSERT_LE(s[i - 1].time, s[i].time) << shape << " " << i;
    std::sort(params.begin(), params.end());
    for (int32_t i = 0; i < kCount; ++i) ASSERT_EQ(params[static_cast<size_t>(i)], i + 1) << shape;
  }
}

auto Fields(const Event& e) { return std::tuple(e.time, e.channel, e.code, e.param); }

TEST(ScratchArray, PutEventWritesAndLinksInsideTheCapacityOnly) {
  Scratch s(5, 4);  // one spare record past the capacity, to see that it stays untouched
  s[4] = {nullptr, 99, 99, 99, 99};
  PutEvent(s.events, 1, 0, 2, EventCode::SetPitch, 0x3C00);
  PutEvent(s.events, 3, 768, 0, EventCode::SetVolume, 1);
  PutEvent(s.events, 4, 1024, 0, EventCode::SetVolume, 2);
  PutEvent(s.events, 0, 5, 5, 5, 5);   // the header
  PutEvent(s.events, -1, 5, 5, 5, 5);  // outside the array (ASan would see the write)
  PutEvent(nullptr, 1, 0, 0, 0, 0);
  EXPECT_EQ(std::tuple(s[0].next, s[2].next, s[3].next), std::tuple(&s[1], &s[3], nullptr));
  EXPECT_EQ(Fields(s[1]), std::tuple(0, 2, EventCode::SetPitch, 0x3C00));
  EXPECT_EQ(Fields(s[4]), std::tuple(99, 99, 99, 99));
  EXPECT_EQ(Fields(s[0]), std::tuple(0, 0, 0, 4));  // the header keeps its capacity

  Scratch unchecked(10, 0);  // capacity 0 is not checked
  PutEvent(unchecked.events, 9, 2304, 1, EventCode::SetVolume, 7);
  EXPECT_EQ(std::tuple(unchecked[8].next, unchecked[9].param), std::tuple(&unchecked[9], 7));
  unchecked[0].next = &unchecked[2];
  LinkEvents(unchecked.events, 1);
  EXPECT_EQ(unchecked[0].next, nullptr);
  LinkEvents(nullptr, 3);
}

// Bit 31 inside a chain is a negative value or a reset request, not a block marker: a chain with
// a left-panned channel must be freed whole (LeakSanitizer checks).
TEST(PatternChain, AppendEventLinksAndFreePatternFreesTheWholeChain) {
  Event* head = NewEvent();
  Event* a = AppendEvent(head, 256, 3, EventCode::SetPanning, -0x1000);
  ASSERT_NE(a, nullptr);
  Event* b = AppendEvent(a, 0, 0, EventCode::PositionJump, static_cast<int32_t>(kFlowResetBit | 1));
  EXPECT_EQ(std::tuple(head->next, a->next, b->next), std::tuple(a, b, nullptr));
  EXPECT_EQ(Fields(*a), std::tuple(256, 3, EventCode::SetPanning, -0x1000));
  AppendEvent(b, 512, 0, EventCode::NextPlayPosition, 0);
  FreePattern(head);
  FreePattern(AppendEvent(nullptr, 1, 2, 3, 4));
  FreePattern(nullptr);
}

TEST(PatternChain, NewPatternBlockCopiesLinksAndMarksTheHead) {
  Event records[3] = {{nullptr, 0, 0, EventCode::Nothing, 3},
                      {nullptr, 0, 1, EventCode::SetPanning, -0x1000},
                      {nullptr, 256, 0, EventCode::NextPlayPosition, 0}};
  Event* block = NewPatternBlock(records, 3);
  ASSERT_NE(block, nullptr);
  EXPECT_NE(block, records);
  EXPECT_EQ(std::tuple(block[0].next, block[1].next, block[2].next), std::tuple(&block[1], &block[2], nullptr));
  EXPECT_EQ(static_cast<uint32_t>(block[0].param), 0x80000003u);
  EXPECT_EQ(Fields(block[1]), Fields(records[1]));
  EXPECT_EQ(Fields(block[2]), Fields(records[2]));
  EXPECT_EQ(std::tuple(records[0].next, records[0].param), std::tuple(nullptr, 3));  // the source is left alone
  // One allocation: freeing a record after the head would be an invalid free under ASan.
  FreePattern(block);
  EXPECT_EQ(NewPatternBlock(records, 0), nullptr);
  EXPECT_EQ(NewPatternBlock(nullptr, 3), nullptr);
}

}  // namespace
}  // namespace tvp
