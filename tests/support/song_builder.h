#pragma once
// Builds soundtracks in memory for tests: patterns as chains of events, play positions as
// pattern slots. The builder owns the soundtrack and releases it.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/zero_alloc.h"

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

  // Appends a sample of 16-bit frames at `hertz` for its base note 0x3C00, with an optional
  // forward loop over frames [loopStart, loopEnd), prepared for playing.
  int32_t addSample(const std::vector<int16_t>& frames, int32_t hertz, int32_t loopStart = -1, int32_t loopEnd = -1) {
    int32_t slot = soundtrack_->sampleCount;
    ResizeSampleSlots(soundtrack_, slot + 1);
    Sample* sample = NewSample();
    soundtrack_->samples[slot] = sample;
    sample->length = static_cast<int32_t>(frames.size()) * 2;
    sample->data = static_cast<int16_t*>(ZeroAlloc(sample->length));
    std::copy(frames.begin(), frames.end(), sample->data);
    sample->volume = 0x10000;
    sample->rate = static_cast<uint32_t>(hertz) << 16;
    sample->baseNote = 0x3C00;
    if (loopStart >= 0) {
      sample->loopMode = kLoopForward;
      sample->loopStart = loopStart * 2;
      sample->loopEnd = loopEnd * 2;
      sample->loopLength = (loopEnd - loopStart) * 2;
    } else {
      sample->loopEnd = kNoLoopEnd;
    }
    PrepareSampleData(sample);
    return slot;
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
