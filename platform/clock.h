#pragma once
// Time for the main loop: a millisecond counter for frame timing and the calendar clock in
// seconds (frame-rate display, seeding). SystemClock reads the machine's clocks; ManualClock
// stands still until its owner moves it, for headless runs and tests.
#include <chrono>
#include <cstdint>
#include <ctime>

namespace tvp {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t Milliseconds() = 0;  // since an arbitrary start; wraps after 49 days
  virtual int64_t CalendarSeconds() = 0;
};

class SystemClock : public Clock {
 public:
  uint32_t Milliseconds() override {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
  int64_t CalendarSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }
};

class ManualClock : public Clock {
 public:
  uint32_t Milliseconds() override { return static_cast<uint32_t>(millis); }
  int64_t CalendarSeconds() override { return seconds + static_cast<int64_t>(millis / 1000); }
  void Advance(uint64_t ms) { millis += ms; }

  uint64_t millis = 0;
  int64_t seconds = 0;  // the calendar time when millis is 0
};

}  // namespace tvp
