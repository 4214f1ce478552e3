#pragma once
// One offline render: an engine on the offline road, opened and set up as the player sets up its
// own, plays a soundtrack buffer by buffer; the session decides when the render is over (the
// song ended, looped back, faded out, or a length limit was reached).
#include <cstdint>
#include <vector>

#include "engine/engine_api.h"
#include "engine/song_passes.h"
#include "soundtrack/soundtrack.h"
#include "tools/render/render_options.h"

namespace tvp {

struct SoundEngine;

struct RenderSettings {
  int32_t rate = 44100;  // Hz
  int32_t interpolation = 0;
  int32_t speedPercent = 100;
  int32_t a4Frequency = 440;  // Hz
  int32_t masterVolume = 32768;
  int32_t framesPerBuffer = 4096;
  int64_t maxFrames = 0;  // 0: until the song is over (within the safety limit)
  int32_t loops = 0;      // passes after the first loop back
  double fadeSeconds = 0;
  // 0: one voice per channel the song drives, or all kRenderVoices when its channels hand notes
  // off to background voices. Voices no event reaches stay silent otherwise, so the audio is the
  // same as with all kRenderVoices; only the time spent updating them is saved.
  int32_t voices = 0;
  // The play position the song enters after its initial settings: a sub-song's first one (0: the
  // first song), and the frames its start plays silently before the output begins.
  int32_t entryPosition = 0;
  int64_t startFrames = 0;
};

RenderSettings RenderSettingsFrom(const RenderOptions& options);

enum class StopReason {
  Playing,      // not finished
  Ended,        // the song ran past its last play position or out of events
  LoopedBack,   // it jumped back to an earlier (or the same) position, the passes were done
  FadedOut,     // the fade after the last pass reached silence
  FrameLimit,   // the length the caller asked for
  SafetyLimit,  // a song that neither ends nor loops back, stopped at a generous length
  EngineFailed, // the engine refused to render
};
const char* StopReasonText(StopReason reason);

// The most voices an engine is opened with, as many as the player opens.
inline constexpr int32_t kRenderVoices = 256;

class RenderSession {
 public:
  RenderSession() = default;
  ~RenderSession() { close(); }
  RenderSession(const RenderSession&) = delete;
  RenderSession& operator=(const RenderSession&) = delete;

  // Opens the engine, sends the settings, binds the soundtrack (marking it in use, as the player
  // does), prepares and starts. 0, or the status of the engine command that failed.
  int32_t open(const RenderSettings& settings, Soundtrack* soundtrack);
  void close();

  // Renders the engine's next buffer. Returns how many of its frames belong to the render: all of
  // them, fewer at a frame limit, 0 once the render is over.
  int32_t renderNext();
  const int16_t* frames() const { return buffer_.data(); }

  bool finished() const { return reason_ != StopReason::Playing; }
  StopReason stopReason() const { return reason_; }
  int64_t framesRendered() const { return frames_; }
  int32_t loopsSeen() const { return passes_.loops(); }
  // The length at which the render stops at the latest, in frames.
  int64_t frameLimit() const { return limit_; }
  // The expected length (the estimated play time over the passes and the fade), for progress.
  int64_t expectedFrames() const { return expected_; }
  const SoundEngine* engine() const { return engine_; }

 private:
  void finish(StopReason reason) { reason_ = reason; }
  void skip(int64_t frames);

  SoundEngine* engine_ = nullptr;
  RenderSettings settings_;
  std::vector<int16_t> buffer_;
  StopReason reason_ = StopReason::Playing;
  int64_t frames_ = 0;
  int64_t limit_ = 0;
  bool limitAsked_ = false;
  int64_t expected_ = 0;
  bool fading_ = false;
  SongPasses passes_;
  std::vector<int32_t> positionSongs_;  // the engine reads it while a later sub-song plays
};

}  // namespace tvp
