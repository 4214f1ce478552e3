#include "engine/song_passes.h"

#include <algorithm>
#include <cmath>

#include "engine/sound_engine.h"

namespace tvp {

void SongPasses::Reset(int32_t playPositionCount) {
  played_.assign(static_cast<size_t>(std::max(playPositionCount, 0)), {});
  visitPosition_ = 0;
  visitStart_ = 0;
  loops_ = 0;
}

void SongPasses::RestartAt(int32_t position, int32_t counter) {
  for (std::vector<Span>& spans : played_) spans.clear();
  visitPosition_ = position;
  visitStart_ = counter;
}

bool SongPasses::played(int32_t position, int32_t counter) const {
  if (position < 0 || position >= static_cast<int32_t>(played_.size())) return false;
  for (const Span& span : played_[position])
    if (counter >= span.from && counter < span.to) return true;
  return false;
}

int32_t SongPasses::TakeBuffer(const SoundEngine& engine, int32_t loopsAllowed) {
  int32_t end = -1;
  const int32_t count = std::min(engine.moveCount, kMoveLogLength);
  for (int32_t i = 0; i < count && loops_ <= loopsAllowed; ++i) {
    const FlowMove& move = engine.moves[i];
    if (move.patternLoop) {
      visitStart_ = std::min(visitStart_, move.toCounter);
      continue;
    }
    if (visitPosition_ >= 0 && visitPosition_ < static_cast<int32_t>(played_.size()))
      played_[visitPosition_].push_back({visitStart_, move.fromCounter});
    if (played(move.toPosition, move.toCounter)) {
      // The next pass starts here, with nothing played yet.
      for (std::vector<Span>& spans : played_) spans.clear();
      if (end < 0) end = move.frame;
      ++loops_;
    }
    visitPosition_ = move.toPosition;
    visitStart_ = move.toCounter;
  }
  return end;
}

uint32_t FadeStepFor(double seconds, int32_t rate, int32_t framesPerBuffer) {
  const double buffers = seconds * rate / framesPerBuffer;
  if (!(buffers > 1)) return 65536;
  return static_cast<uint32_t>(std::clamp<int64_t>(std::llround(65536.0 / buffers), 1, 65536));
}

}  // namespace tvp
