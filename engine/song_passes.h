#pragma once
// Following a song's passes from the host's side: after each buffer the engine renders, the moves
// it logged for that buffer tell where play went. A pass is over when play goes back to a row it
// has played in this pass (a jump back to the song's start or its restart position, say); a jump
// back to rows not played yet (into a part a jump skipped before) goes on with the pass, as a
// pattern loop inside a position does. The offline renderer and the player both end songs this
// way, so the player stops a song where a render of it stops.
#include <cstdint>
#include <vector>

namespace tvp {

struct SoundEngine;

class SongPasses {
 public:
  // A new song, or the same one played from its start: nothing played yet, play at position 0.
  void Reset(int32_t playPositionCount);
  // Play was moved to (position, counter) from outside the song's own flow (the host asked for a
  // play position): a new pass starts there.
  void RestartAt(int32_t position, int32_t counter);

  // Reads the moves of the buffer just rendered. Returns the first frame of it at which a pass
  // ended, or -1. Once more than `loopsAllowed` passes have ended, later moves are not read.
  int32_t TakeBuffer(const SoundEngine& engine, int32_t loopsAllowed);

  // Passes ended so far (the first loop back makes it 1).
  int32_t loops() const { return loops_; }

 private:
  struct Span {
    int32_t from;
    int32_t to;
  };
  bool played(int32_t position, int32_t counter) const;

  // Per play position the spans of position counters played in this pass, [from, to); the
  // current visit runs from visitStart_ in visitPosition_.
  std::vector<std::vector<Span>> played_;
  int32_t visitPosition_ = 0;
  int32_t visitStart_ = 0;
  int32_t loops_ = 0;
};

// The fade step (16.16, taken off the fade level once a buffer) that brings a song to silence in
// about `seconds`: at least 1, at most a whole fade in one buffer.
uint32_t FadeStepFor(double seconds, int32_t rate, int32_t framesPerBuffer);

}  // namespace tvp
