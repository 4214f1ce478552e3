#include "tools/render/render_session.h"

#include <algorithm>
#include <cmath>

#include "engine/offline_output.h"
#include "engine/song_passes.h"
#include "engine/sound_engine.h"
#include "soundtrack/event_codes.h"
#include "soundtrack/event_dump.h"
#include "soundtrack/status.h"
#include "tools/render/wav_writer.h"

namespace tvp {

namespace {

bool HandsOffNotes(const Soundtrack* soundtrack) {
  for (int32_t slot = 0; soundtrack->patterns && slot < soundtrack->patternCount; ++slot)
    for (const Event* e = soundtrack->patterns[slot]; e != nullptr; e = e->next)
      if (e->code == EventCode::HandOffVoice) return true;
  return false;
}

// The play-time estimate counts frames at this rate and at 100 % speed.
constexpr double kEstimateRate = 44100.0;
// Without a length of the caller's, a song that neither ends nor loops back (two pattern loops
// re-arming each other, say) stops at twice its estimated length plus a minute, and never before
// ten minutes.
constexpr double kSafetyMinimumSeconds = 600.0;
constexpr double kSafetyMarginSeconds = 60.0;

EngineResult Command(SoundEngine** engine, uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0,
                     intptr_t p3 = 0) {
  ParamBlock params{{p0, p1, p2, p3}};
  return engineCommand(engine, code, &params);
}

}  // namespace

RenderSettings RenderSettingsFrom(const RenderOptions& options) {
  RenderSettings settings;
  settings.rate = options.rate;
  settings.interpolation = options.interpolation;
  settings.speedPercent = options.speedPercent;
  settings.a4Frequency = options.a4Frequency;
  settings.masterVolume = options.masterVolume;
  settings.framesPerBuffer = options.framesPerBuffer;
  settings.maxFrames = options.seconds > 0 ? std::max<int64_t>(1, std::llround(options.seconds * options.rate)) : 0;
  settings.loops = options.loops;
  settings.fadeSeconds = options.fadeSeconds;
  settings.startFrames = std::llround(options.startSeconds * options.rate);
  return settings;
}

const char* StopReasonText(StopReason reason) {
  switch (reason) {
    case StopReason::Playing: return "still playing";
    case StopReason::Ended: return "the song ended";
    case StopReason::LoopedBack: return "the song looped back";
    case StopReason::FadedOut: return "faded out after the song looped back";
    case StopReason::FrameLimit: return "the requested length was reached";
    case StopReason::SafetyLimit: return "stopped: the song neither ended nor looped back";
    case StopReason::EngineFailed: return "the engine refused to render";
  }
  return "";
}

int32_t RenderSession::open(const RenderSettings& settings, Soundtrack* soundtrack) {
  close();
  settings_ = settings;
  if (soundtrack == nullptr) return kStatusNoSoundtrack;

  // The player's start-up, then its opening of a module: fade step 0 while the song plays on,
  // the fade step of --fade only once the passes are done.
  const int32_t needed = HandsOffNotes(soundtrack) ? kRenderVoices : CountChannels(soundtrack);
  const int32_t voices = std::clamp(settings.voices > 0 ? settings.voices : needed, 1, kRenderVoices);
  int32_t status =
      static_cast<int32_t>(Command(&engine_, ENG_OPEN, 0, kOfflineRoad, voices, settings.framesPerBuffer));
  if (status != kStatusOk) {
    engine_ = nullptr;
    return status;
  }
  Command(&engine_, ENG_RESET);
  Command(&engine_, ENG_SET_MASTER_VOLUME, settings.masterVolume);
  Command(&engine_, ENG_SET_A4_FREQUENCY, static_cast<intptr_t>(settings.a4Frequency) << 16);
  Command(&engine_, ENG_SET_SPEED, static_cast<intptr_t>(settings.speedPercent) << 16);
  Command(&engine_, ENG_SET_FADE_STEP, 0);
  Command(&engine_, ENG_SET_INTERPOLATION, settings.interpolation);
  soundtrack->flags |= kSoundtrackInUse;
  status = static_cast<int32_t>(Command(&engine_, ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(soundtrack)));
  if (status == kStatusOk)
    status = static_cast<int32_t>(Command(&engine_, ENG_PREPARE, 16, 1, static_cast<intptr_t>(settings.rate) << 16,
                                          settings.interpolation));
  Command(&engine_, ENG_SET_ENTRY_POSITION, settings.entryPosition);
  if (status == kStatusOk) status = static_cast<int32_t>(Command(&engine_, ENG_START));
  if (status != kStatusOk) {
    close();
    return status;
  }

  buffer_.assign(static_cast<size_t>(settings.framesPerBuffer) * 2, 0);
  reason_ = StopReason::Playing;
  frames_ = 0;
  fading_ = false;
  passes_.Reset(soundtrack->playPositionCount);

  int32_t estimateUnits = 0;  // 256 frames at 44100 Hz
  EstimatePlayTime(soundtrack, nullptr, &estimateUnits);
  if (settings.entryPosition > 0) {
    // A later song of the module ends where it comes into another's positions.
    std::vector<SubSong> songs(kMaxSubSongs);
    positionSongs_.assign(static_cast<size_t>(std::max(soundtrack->playPositionCount, 0)), kNoSubSong);
    songs.resize(static_cast<size_t>(FindSubSongs(soundtrack, songs.data(), kMaxSubSongs, positionSongs_.data())));
    for (size_t i = 0; i < songs.size(); ++i) {
      if (songs[i].firstPosition != settings.entryPosition) continue;
      estimateUnits = songs[i].total;
      Command(&engine_, ENG_SET_POSITION_SONGS, reinterpret_cast<intptr_t>(positionSongs_.data()), static_cast<intptr_t>(i));
    }
  }
  double passSeconds = estimateUnits * 256.0 / kEstimateRate * 100.0 / settings.speedPercent;
  double expectedSeconds = passSeconds * (settings.loops + 1) + settings.fadeSeconds;
  expected_ = std::max<int64_t>(0, std::llround(expectedSeconds * settings.rate) - settings.startFrames);
  skip(settings.startFrames);
  limitAsked_ = settings.maxFrames > 0;
  double safetySeconds = std::max(kSafetyMinimumSeconds, 2 * expectedSeconds + kSafetyMarginSeconds);
  limit_ = limitAsked_ ? settings.maxFrames : std::llround(safetySeconds * settings.rate);
  // A render never grows past what a WAV file can hold.
  limit_ = std::min(limit_, kWavMaxFrames);
  if (limitAsked_) expected_ = expected_ > 0 ? std::min(expected_, limit_) : limit_;
  return kStatusOk;
}

// The song's first frames play silently, a buffer at a time, with its passes followed as they
// are while rendering; a start past the song's end (its passes, its fade) finishes it.
void RenderSession::skip(int64_t frames) {
  for (int64_t left = frames; left > 0 && !finished();) {
    const int32_t step = static_cast<int32_t>(std::min<int64_t>(left, settings_.framesPerBuffer));
    if (Command(&engine_, ENG_SKIP_FRAMES, step) != kStatusOk) {
      finish(StopReason::EngineFailed);
      return;
    }
    left -= step;
    const int32_t loopsBefore = passes_.loops();
    const bool passEnded = !fading_ && passes_.TakeBuffer(*engine_, settings_.loops) >= 0;
    if (engine_->flags & kEngineEnded) {
      finish(fading_ ? StopReason::FadedOut : StopReason::Ended);
    } else if (passEnded && passes_.loops() > settings_.loops && loopsBefore <= settings_.loops) {
      if (settings_.fadeSeconds <= 0) {
        finish(StopReason::LoopedBack);
      } else {
        Command(&engine_, ENG_SET_FADE_STEP, FadeStepFor(settings_.fadeSeconds, settings_.rate, settings_.framesPerBuffer));
        fading_ = true;
      }
    }
  }
}

void RenderSession::close() {
  if (engine_ != nullptr) Command(&engine_, ENG_CLOSE);
  engine_ = nullptr;
}

int32_t RenderSession::renderNext() {
  if (finished() || engine_ == nullptr) return 0;
  if (renderOfflineBuffer(&engine_, buffer_.data()) != 1) {
    finish(StopReason::EngineFailed);
    return 0;
  }

  // The song ends, or its last pass does, on the frame the engine moved at; the fade runs out at
  // the end of a buffer.
  int32_t songFrames = settings_.framesPerBuffer;
  StopReason songStop = StopReason::Playing;
  const int32_t loopsBefore = passes_.loops();
  const int32_t passEndFrame = fading_ ? -1 : passes_.TakeBuffer(*engine_, settings_.loops);
  const int32_t loops = passes_.loops();
  if (passEndFrame >= 0 && loops > settings_.loops && settings_.fadeSeconds <= 0) {
    songFrames = passEndFrame;
    songStop = StopReason::LoopedBack;
  } else if (engine_->flags & kEngineEnded) {
    if (!fading_ && engine_->endFrame >= 0) songFrames = engine_->endFrame;
    songStop = fading_ ? StopReason::FadedOut : StopReason::Ended;
  }

  int32_t keep = songFrames;
  if (frames_ + keep >= limit_) {
    keep = static_cast<int32_t>(limit_ - frames_);
    finish(limitAsked_ || limit_ == kWavMaxFrames ? StopReason::FrameLimit : StopReason::SafetyLimit);
  }
  frames_ += keep;
  if (finished()) return keep;
  if (songStop != StopReason::Playing) {
    finish(songStop);
  } else if (!fading_ && loops > settings_.loops && loopsBefore <= settings_.loops) {
    Command(&engine_, ENG_SET_FADE_STEP, FadeStepFor(settings_.fadeSeconds, settings_.rate, settings_.framesPerBuffer));
    fading_ = true;
  }
  return keep;
}

}  // namespace tvp
