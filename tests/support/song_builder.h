#pragma once
// Builds soundtracks in memory for tests: patterns as chains of events, play positions as
// pattern slots. The builder owns the soundtrack and releases it.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "soundtrack/soundtrack.h"

namespace tvp::test {

struct Ev {
  int32_t time;
  int32_t channel;
  int32_t code;
  int32_t param;
};

class SongBuilder {
 public:
  SongBuilder() : soundtrack_(NewSoundtrack()) {}
  ~SongBuilder() { ReleaseSoundtrack(soundtrack_); }
  SongBuilder(const SongBuilder&) = delete;
  SongBuilder& operator=(const SongBuilder&) = delete;

  // Appends a pattern: a head record, the events ordered by time (ties keep their order) and,
  // unless `rows` is negative, a closing NextPlayPosition one row after the last row.
  int32_t addPattern(std::vector<Ev> events, int32_t rows) {
    std::stable_sort(events.begin(), events.end(), [](const Ev& a, const Ev& b) { return a.time < b.time; });
    int32_t slot = soundtrack_->patternCount;
    ResizePatternSlots(soundtrack_, slot + 1);
    Event* head = NewEvent();
    soundtrack_->patterns[slot] = head;
    Event* last = head;
    for (const Ev& e : events) last = AppendEvent(last, e.time, e.channel, e.code, e.param);
    if (rows >= 0) AppendEvent(last, rows * 256, 0, EventCode::NextPlayPosition, 0);
    return slot;
  }

  // The usual initial settings pattern: speed and tempo at time 0, then on to position 1.
  int32_t addInitialSettings(int32_t speed = 6, int32_t tempo = 125) {
    return addPattern({{0, 0, EventCode::SetSpeed, speed}, {0, 0, EventCode::SetTempo, tempo}}, 0);
  }

  void setPlayPositions(std::initializer_list<int32_t> slots) {
    ResizePlayPositionSlots(soundtrack_, static_cast<int32_t>(slots.size()));
    std::copy(slots.begin(), slots.end(), soundtrack_->playPositions);
  }

  // Marks the soundtrack in use, as the application does before binding it.
  Soundtrack* inUse() {
    soundtrack_->flags |= kSoundtrackInUse;
    return soundtrack_;
  }
  Soundtrack* get() { return soundtrack_; }

 private:
  Soundtrack* soundtrack_;
};

}  // namespace tvp::test
