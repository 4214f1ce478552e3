// The play-time estimate: the song is walked pattern by pattern at a fixed 44100 Hz, counting
// output frames in units of 256 plus a remainder below 256, without playing anything.
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"

namespace tvp {

namespace {

constexpr int32_t kOutputRate = 44100;
constexpr int32_t kStartSpeed = 6;
constexpr int32_t kStartTickLength = 882;  // 44100 x 5 / (125 x 2): tempo 125
constexpr int32_t kRowTime = 256;
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// Two LoopBack events of one channel can re-arm each other's counter and jump back forever.
// No real pattern loop takes anywhere near this many jumps in one walk; past it, LoopBacks
// count their row and fall through, so every walk ends.
constexpr int32_t kMaxLoopJumps = 4096;
// A hostile song can still repeat that in every play position over a large pattern (seconds
// of work, and the information window asks every frame), or name one large pattern in
// thousands of play positions. Every event an estimate steps over counts, seeks to a loop start
// or a break's row included; loops jump only while the count stays under this, and once it is
// spent the estimate ends with what it has counted. Real songs scan a few million at most.
constexpr int64_t kScanBudget = int64_t{1} << 25;

// Hostile PatternDelay params could push the counted time without bound; this keeps every
// difference of times far inside 64 bits.
constexpr int64_t kTimeLimit = int64_t{1} << 40;

// Pattern loops count per channel, on as many channels as the engine has voices; loop events
// of other channels count on channel 0's counter.
constexpr int32_t kLoopChannels = 256;

int64_t& OfChannel(int64_t* counters, const Event* e) {
  return counters[e->channel >= 0 && e->channel < kLoopChannels ? e->channel : 0];
}

// The flow state a pattern-loop jump leaves, hashed: the row it jumps from and to, and every
// channel's loop count and mark. A walk that meets one again loops for ever there.
uint64_t LoopStateHash(int64_t from, int64_t to, const int64_t* counters, const int64_t* marks) {
  uint64_t hash = 0xCBF29CE484222325ull;
  auto mix = [&hash](int64_t value) { hash = (hash ^ static_cast<uint64_t>(value)) * 0x100000001B3ull; };
  mix(from);
  mix(to);
  for (int32_t c = 0; c < kLoopChannels; ++c) {
    mix(counters[c]);
    mix(marks[c]);
  }
  return hash;
}

// A loop pass counted without its jump.
void CountLoopPass(int64_t& counter) {
  if (counter == 0) counter = 2;
  --counter;
}

// A row's delay is its last PatternDelay, as in play, where each one sets it: the param of the
// last one after `e` on e's row, or -1 when none follows.
int64_t LaterDelayOnRow(const Event* e) {
  int64_t delay = -1;
  for (const Event* n = e->next; n != nullptr && n->time == e->time; n = n->next)
    if (n->code == EventCode::PatternDelay) delay = n->param;
  return delay;
}

// Both factors are >= 0. Huge speeds and times saturate instead of overflowing.
int64_t MulSat(int64_t a, int64_t b) {
  if (a != 0 && b > kInt64Max / a) return kInt64Max;
  return a * b;
}

int64_t AddSat(int64_t a, int64_t b) { return b > kInt64Max - a ? kInt64Max : a + b; }

int32_t ToInt32Sat(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, -kInt32Max - 1, kInt32Max));
}

int32_t FlowValue(int32_t param) { return param & kFlowValueMask; }

// Tick length in frames at 44100 Hz for a tempo in beats per minute. A tick is at least one
// frame, as in the engine, so a huge tempo cannot stop the count.
int32_t TickLengthForTempo(int32_t tempo) {
  return static_cast<int32_t>(std::max<int64_t>(1, 220500 / (2 * int64_t{tempo})));
}

// The tempo a tick length stands for: exact for every tempo up to 331, where tick lengths still
// differ by a frame or more from one tempo to the next.
int32_t TempoForTickLength(int32_t tickLength) { return static_cast<int32_t>(110250 / std::max(tickLength, 1)); }

// A tempo slide on the ticks of its row after the event at `tick`: the frames its ticks take
// beyond what the same ticks take at the tempo the row ends with, which becomes the tick length.
int64_t TempoSlideFrames(int32_t step, int32_t tick, int32_t speed, int32_t* tickLength) {
  int32_t tempo = TempoForTickLength(*tickLength);
  int64_t frames = 0;
  int32_t ticks = 0;
  for (int32_t k = tick; k < speed && k < 256; ++k, ++ticks) {
    if (k > 0) tempo = TempoAfterSlide(tempo, step);
    frames += TickLengthForTempo(tempo);
  }
  *tickLength = TickLengthForTempo(tempo);
  return frames - int64_t{ticks} * *tickLength;
}

// The flow of the row a walk stopped on: the last jump's position and the last break's row
// (-1 when the row has none), as play takes them when the row is over.
struct RowFlow {
  int32_t jump = -1;
  int32_t breakRow = -1;
};

RowFlow FlowOfRow(const Event* stop) {
  RowFlow flow;
  for (const Event* e = stop; e != nullptr && e->time == stop->time; e = e->next) {
    if (e->code == EventCode::PositionJump) flow.jump = FlowValue(e->param);
    if (e->code == EventCode::PatternBreak) flow.breakRow = FlowValue(e->param);
  }
  return flow;
}

bool ActsNextRow(int32_t code) {
  return code == EventCode::PositionJump || code == EventCode::PatternBreak || code == EventCode::LoopBack;
}

const Event* FirstAtOrAfter(const Event* from, int64_t time, int64_t* scanBudget) {
  while (from != nullptr && from->time < time) {
    from = from->next;
    --*scanBudget;
  }
  return from;
}

// The chain a play position refers to; null for a slot outside the table or an empty slot,
// which then counts no frames.
const Event* PatternAt(const Soundtrack* soundtrack, int32_t position) {
  if (soundtrack->playPositions == nullptr || soundtrack->patterns == nullptr) return nullptr;
  int32_t slot = soundtrack->playPositions[position];
  if (slot < 0 || slot >= soundtrack->patternCount) return nullptr;
  return soundtrack->patterns[slot];
}

// One pattern walk. `counted` is the pattern time up to which rows have been counted. It starts
// at the walk's start time (the break's row) and restarts at the loop start after a loop jump,
// so rows a break or a loop lands on count even when no event sits on them. Otherwise it never
// moves back: a LoopBack acts when its row is over and counts up to the next row, so when it
// does not jump, that row is not counted again by the next stop event. `head` is the pattern's
// chain: a loop back to before the walk's start (a break into the middle of a loop) is sought
// from there, so the rows the break passed by play on the next pass.
// The channels' loop counts go on from one pattern to the next, as in play: a loop a break cut
// short leaves its count to the channel's next loop.
using LoopCounts = std::array<int64_t, kLoopChannels>;

int32_t Walk(const Event* head, const Event** cursor, int64_t startTime, int32_t* speed, int32_t* tickLength,
             int32_t* remainder, LoopCounts& loopCounters, int64_t* scanBudget, int16_t* status,
             int64_t* notes = nullptr) {
  if (*speed < 1 || *tickLength < 1) {
    *status = kStatusBadParam;
    return 0;
  }
  const Event* const start = *cursor;
  int64_t counted = startTime;
  int64_t frames = 0;  // units of 256 frames
  int64_t rest = *remainder;
  int64_t extraTicks = 0;  // the tick delays of the row being counted
  LoopCounts loopMarks{};  // as in play: the LoopStart row + 1, 0 none
  int32_t jumps = 0;  // loop jumps so far
  std::unordered_set<uint64_t> loopStates;

  for (const Event* e = start; e != nullptr;) {
    --*scanBudget;
    int64_t actsAt = e->time;
    switch (e->code) {
      case EventCode::PatternDelay:  // the delay's length is counted by the next stop
        if (LaterDelayOnRow(e) < 0) counted = std::clamp<int64_t>(counted - e->param, -kTimeLimit, kTimeLimit);
        e = e->next;
        continue;
      case EventCode::RowTickDelay:
        extraTicks = std::clamp<int64_t>(extraTicks + e->param, 0, 0xFFFF);
        e = e->next;
        continue;
      case EventCode::TempoSlide:  // counts what came before at the tempo it had, as a stop does
        if (e->param != 0) break;
        e = e->next;
        continue;
      case EventCode::LoopCount:
        if (OfChannel(loopCounters.data(), e) == 0) OfChannel(loopCounters.data(), e) = int64_t{e->param} + 1;
        e = e->next;
        continue;
      case EventCode::LoopStart:
        OfChannel(loopMarks.data(), e) = int64_t{e->time} + 1;
        e = e->next;
        continue;
      case EventCode::PositionJump:
      case EventCode::LoopBack:
      case EventCode::PatternBreak:
        actsAt += kRowTime;  // these act when their row is over, as ActsNextRow says
        break;
      case EventCode::GotoPlayPosition:
      case EventCode::NextPlayPosition:
      case EventCode::BreakNow:
      case EventCode::SetSpeed:
      case EventCode::SetTempo:
        break;
      case EventCode::StartSample:
        if (notes != nullptr) ++*notes;
        e = e->next;
        continue;
      default:
        e = e->next;
        continue;
    }

    bool loopJumps = false;
    bool loopRepeats = false;
    int32_t loopStart = 0;
    if (e->code == EventCode::LoopBack) {
      int64_t& loopCounter = OfChannel(loopCounters.data(), e);
      CountLoopPass(loopCounter);
      loopJumps = loopCounter > 0 && jumps < kMaxLoopJumps && *scanBudget > 0;
      if (loopJumps) {
        const int64_t mark = OfChannel(loopMarks.data(), e);
        loopStart = mark > 0 ? static_cast<int32_t>(std::min<int64_t>(mark - 1, kFlowValueMask)) : FlowValue(e->param);
        const uint64_t state = LoopStateHash(e->time, loopStart, loopCounters.data(), loopMarks.data());
        loopRepeats = !loopStates.insert(state).second;
      }
      // The jump leaves the row's later events unread; a delay among them still holds the row.
      const int64_t delay = loopJumps ? LaterDelayOnRow(e) : -1;
      if (delay > 0) counted = std::clamp<int64_t>(counted - delay, -kTimeLimit, kTimeLimit);
    }

    int64_t d = actsAt - counted;
    if (d > 0) {
      // ticks x tick length can pass 32 bits with a huge speed or a long delay.
      int64_t ticks = AddSat(AddSat(MulSat(d >> 8, *speed), d & 0xFF), extraTicks);
      extraTicks = 0;
      int64_t length = MulSat(ticks, *tickLength);
      rest += length & 0xFF;
      frames = AddSat(frames, length >> 8);
      frames = AddSat(frames, rest >> 8);
      rest &= 0xFF;
    }
    counted = std::max(counted, actsAt);

    if (e->code == EventCode::SetSpeed) {
      if (e->param > 0) *speed = e->param;
    } else if (e->code == EventCode::SetTempo) {
      if (e->param > 0) *tickLength = TickLengthForTempo(e->param);
    } else if (e->code == EventCode::TempoSlide) {
      rest += TempoSlideFrames(std::clamp(e->param, -255, 255), e->time & 0xFF, *speed, tickLength);
      frames = std::max<int64_t>(0, AddSat(frames, rest >> 8));
      rest &= 0xFF;
    } else if (e->code == EventCode::LoopBack) {
      if (loopRepeats) {
        // The loop has come round to where it was: the song repeats from here, as play says.
        *cursor = e;
        *remainder = static_cast<int32_t>(rest);
        *status = kStatusOk;
        return ToInt32Sat(frames);
      }
      if (loopJumps) {
        ++jumps;
        // Counting resumes at the loop start and the scan at the first event there. When no
        // event is left there, the chain ends without a stop, as below.
        counted = loopStart;
        e = FirstAtOrAfter(loopStart < start->time ? head : start, loopStart, scanBudget);
        continue;
      }
    } else {
      // A position-changing event ends the walk; the caller decides the next pattern by it. The
      // loops of its row still count their pass.
      for (const Event* n = e->next; n != nullptr && n->time == e->time; n = n->next) {
        if (n->code == EventCode::LoopCount && OfChannel(loopCounters.data(), n) == 0)
          OfChannel(loopCounters.data(), n) = int64_t{n->param} + 1;
        if (n->code == EventCode::LoopBack) CountLoopPass(OfChannel(loopCounters.data(), n));
      }
      *cursor = e;
      *remainder = static_cast<int32_t>(rest);
      *status = kStatusOk;
      return ToInt32Sat(frames);
    }
    e = e->next;
  }
  *cursor = nullptr;
  *status = kStatusDataEnded;
  return 0;
}

}  // namespace

int32_t EstimatePatternTime(const Event** cursor, int32_t* speed, int32_t* tickLength, int32_t* remainder,
                            int16_t* status) {
  int16_t ignored = kStatusOk;
  if (status == nullptr) status = &ignored;
  if (cursor == nullptr || speed == nullptr || tickLength == nullptr || remainder == nullptr) {
    *status = kStatusBadParam;
    return 0;
  }
  int64_t startTime = *cursor != nullptr ? (*cursor)->time : 0;
  int64_t scanBudget = kScanBudget;
  LoopCounts loopCounts{};
  return Walk(*cursor, cursor, startTime, speed, tickLength, remainder, loopCounts, &scanBudget, status);
}

namespace {

// The pattern times each play position has been walked over, [from, to).
using Span = std::pair<int64_t, int64_t>;

// Positions a walk that turned out to be no song reached: no later song claims them either.
constexpr int32_t kNoSongClaim = -2;

struct SongWalker {
  const Soundtrack* soundtrack;
  std::vector<std::vector<Span>> walked;  // by every song walked so far
  int64_t scanBudget = kScanBudget;
};

struct SongTime {
  int64_t sum = 0;  // units of 256 frames
  int32_t remainder = 0;
  int64_t notes = 0;  // samples started
};

// The speed and tempo the initial settings (play position 0) give every song of the soundtrack.
void InitialTiming(const Soundtrack* soundtrack, int32_t* speed, int32_t* tickLength) {
  if (soundtrack->playPositionCount < 1) return;
  for (const Event* e = PatternAt(soundtrack, 0); e != nullptr && e->time == 0; e = e->next) {
    if (e->code == EventCode::SetSpeed && e->param > 0) *speed = e->param;
    if (e->code == EventCode::SetTempo && e->param > 0) *tickLength = TickLengthForTempo(e->param);
    if (e->code == EventCode::NextPlayPosition || e->code == EventCode::GotoPlayPosition) break;
  }
}

// Walks one song from play position `first` until it ends or comes to a row some song has
// walked over already; one pass is its time.
SongTime WalkSong(SongWalker& walker, int32_t first) {
  const Soundtrack* soundtrack = walker.soundtrack;
  int32_t speed = kStartSpeed;
  int32_t tickLength = kStartTickLength;
  if (first != 0) InitialTiming(soundtrack, &speed, &tickLength);
  SongTime song;
  const Event* stop = nullptr;  // the event the previous walk ended on
  // Per channel, as play counts them; 64 bits: a LoopCount param of INT32_MAX still gets its + 1.
  LoopCounts loopCounts{};

  for (int32_t p = first; walker.scanBudget > 0;) {
    int64_t startTime = 0;
    if (stop != nullptr) {
      const Event* at = stop;
      stop = nullptr;
      if (at->code == EventCode::GotoPlayPosition) {
        p = FlowValue(at->param);  // the positions in between are skipped
      } else if (at->code == EventCode::BreakNow) {
        startTime = FlowValue(at->param);
      } else if (at->code == EventCode::LoopBack) {
        break;  // a pattern loop that loops for ever: the song repeats there
      } else if (at->code == EventCode::PositionJump || at->code == EventCode::PatternBreak) {
        // A jump and a break on one row go to the break's row in the jump's position.
        const RowFlow flow = FlowOfRow(at);
        startTime = std::max(flow.breakRow, 0);
        if (flow.jump >= 0) p = flow.jump;
      }
    }
    if (p >= soundtrack->playPositionCount) break;
    // Going back to a row walked over already means the song repeats: one pass is the estimate.
    // A jump back into rows not walked yet (a part skipped before) goes on.
    const std::vector<Span>& spans = walker.walked[static_cast<size_t>(p)];
    auto holdsStart = [startTime](const Span& span) { return startTime >= span.first && startTime < span.second; };
    if (std::any_of(spans.begin(), spans.end(), holdsStart)) break;

    const int32_t position = p;
    const Event* const head = PatternAt(soundtrack, p);
    const Event* cursor = head;
    ++p;
    if (startTime > 0) cursor = FirstAtOrAfter(cursor, startTime, &walker.scanBudget);
    // The walk works on copies: a pattern that counts nothing (no chain, or a chain without a
    // stop event) must leave speed, tempo and remainder as they were.
    int32_t walkSpeed = speed;
    int32_t walkTickLength = tickLength;
    int32_t walkRemainder = song.remainder;
    int64_t walkNotes = 0;
    LoopCounts walkLoopCounts = loopCounts;
    int16_t status = kStatusDataEnded;
    int32_t frames = cursor != nullptr ? Walk(head, &cursor, startTime > 0 ? startTime : cursor->time, &walkSpeed,
                                              &walkTickLength, &walkRemainder, walkLoopCounts, &walker.scanBudget, &status,
                                              &walkNotes)
                                       : 0;
    if (status != kStatusOk) continue;
    speed = walkSpeed;
    tickLength = walkTickLength;
    loopCounts = walkLoopCounts;
    song.remainder = walkRemainder;
    song.notes += walkNotes;
    song.sum = std::min(song.sum + frames, kInt32Max);
    stop = cursor;
    // Jumps and breaks act when their row is over. A walk that plays nothing (a jump at the
    // time it starts) still marks its start, so a jump to itself ends the estimate.
    const int64_t actsAt = int64_t{cursor->time} + (ActsNextRow(cursor->code) ? kRowTime : 0);
    walker.walked[static_cast<size_t>(position)].emplace_back(startTime, std::max(actsAt, startTime + 1));
  }
  return song;
}

int32_t SecondsOf(const SongTime& song) {
  // sum x 256 stays far inside 64 bits, as sum is kept within 32.
  return song.sum > 0 ? static_cast<int32_t>((song.sum * 256 + song.remainder) / kOutputRate) : 0;
}

// Per pattern slot, whether its chain starts a sample anywhere: each chain is read once, however
// many play positions name it.
std::vector<bool> SlotsStartingSamples(const Soundtrack* soundtrack) {
  std::vector<bool> starts(static_cast<size_t>(std::max(soundtrack->patternCount, 0)), false);
  for (size_t slot = 0; soundtrack->patterns != nullptr && slot < starts.size(); ++slot)
    for (const Event* e = soundtrack->patterns[slot]; e != nullptr && !starts[slot]; e = e->next)
      starts[slot] = e->code == EventCode::StartSample;
  return starts;
}

}  // namespace

int16_t EstimatePlayTime(const Soundtrack* soundtrack, int32_t* seconds, int32_t* total) {
  if (seconds != nullptr) *seconds = 0;
  if (total != nullptr) *total = 0;
  if (soundtrack == nullptr) return kStatusNoSoundtrack;
  SongWalker walker{soundtrack, std::vector<std::vector<Span>>(static_cast<size_t>(std::max(soundtrack->playPositionCount, 0)))};
  const SongTime song = WalkSong(walker, 0);
  if (total != nullptr) *total = static_cast<int32_t>(song.sum);
  if (seconds != nullptr) *seconds = SecondsOf(song);
  return kStatusOk;
}

int32_t FindSubSongs(const Soundtrack* soundtrack, SubSong* songs, int32_t capacity, int32_t* owners) {
  if (soundtrack == nullptr || capacity < 1 || songs == nullptr) return 0;
  const int32_t positions = std::max(soundtrack->playPositionCount, 0);
  SongWalker walker{soundtrack, std::vector<std::vector<Span>>(static_cast<size_t>(positions))};
  // The positions a walk reached that no song before it did belong to it, when it is a song.
  auto claim = [&](int32_t song) {
    for (int32_t p = 0; owners != nullptr && p < positions; ++p)
      if (owners[p] == kNoSubSong && !walker.walked[static_cast<size_t>(p)].empty()) owners[p] = song;
  };
  std::fill(owners, owners + (owners != nullptr ? positions : 0), kNoSubSong);
  const SongTime main = WalkSong(walker, 0);
  songs[0] = SubSong{0, SecondsOf(main), static_cast<int32_t>(main.sum)};
  claim(0);
  int32_t count = 1;
  const std::vector<bool> startsSample = SlotsStartingSamples(soundtrack);
  auto mayStartSong = [&](int32_t p) {
    if (soundtrack->playPositions == nullptr) return false;
    const int32_t slot = soundtrack->playPositions[p];
    return walker.walked[static_cast<size_t>(p)].empty() && slot >= 0 && slot < soundtrack->patternCount &&
           startsSample[static_cast<size_t>(slot)];
  };
  // Every position no song has reached yet and that starts a sample somewhere may start one; it
  // is a song when its walk plays a note (a jump over its notes, to a song before, is none).
  for (int32_t p = 1; p < positions && count < capacity && walker.scanBudget > 0; ++p) {
    if (!mayStartSong(p)) continue;
    const SongTime song = WalkSong(walker, p);
    if (song.notes == 0) {
      claim(kNoSongClaim);
      continue;
    }
    songs[count] = SubSong{p, SecondsOf(song), static_cast<int32_t>(song.sum)};
    claim(count++);
  }
  for (int32_t p = 0; owners != nullptr && p < positions; ++p)
    if (owners[p] == kNoSongClaim) owners[p] = kNoSubSong;
  return count;
}

}  // namespace tvp
