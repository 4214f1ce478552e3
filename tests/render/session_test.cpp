// The render session on songs built in memory: jumps and breaks that are no loop, the safety
// limit for songs that go on for ever, and open failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/sound_engine.h"
#include "soundtrack/status.h"
#include "tests/support/song_builder.h"
#include "tools/render/render_session.h"

namespace tvp::test {
namespace {

constexpr int32_t kRows = 16;
// Rows 0..3 at tempo 125 (882 frames a tick), the rest at 150 (735), six ticks a row.

enum class Ending { End, JumpToSamePosition, JumpToEarlierPosition };

std::vector<int16_t> Sine(int32_t frames, double amplitude) {
  std::vector<int16_t> out(static_cast<size_t>(frames));
  for (int32_t i = 0; i < frames; ++i) out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * i / frames)));
  return out;
}

// Two looped voices, one with an arpeggio and one with vibrato and a volume slide, a tempo change
// that puts tick boundaries off any buffer grid, and the chosen ending.
void BuildSong(SongBuilder& song, Ending ending) {
  namespace C = EventCode;
  song.addInitialSettings();
  const int32_t sample = song.addSample(Sine(100, 20000), 44100, 0, 100);
  std::vector<Ev> events = {{0, 0, C::SetTempo, 125}};  // every pass starts at tempo 125: passes are equally long
  for (auto [time, channel, pitch] : {std::tuple{0, 0, 0x3C00}, {0x203, 1, 0x4100}}) {
    events.insert(events.end(), {{time, channel, C::SetPitch, pitch}, {time, channel, C::SelectSample, sample},
                                 {time, channel, C::ResetVolume, 0}, {time, channel, C::StartSample, 0}, {time, channel, C::SetVoiceFlags, 3}});
  }
  events.insert(events.end(), {{0x203, 1, C::ArpeggioFirst, 0x400}, {0x203, 1, C::ArpeggioSecond, 0x700}, {0x203, 1, C::Arpeggio, 1},
                               {0x300, 0, C::VibratoDepth, 0x80}, {0x300, 0, C::VibratoSpeed, 24}, {0x300, 0, C::Vibrato, 1},
                               {0x400, 0, C::SetTempo, 150}, {0x600, 1, C::VolumeSlideSpeed, 0x800},
                               {0x600, 1, C::VolumeSlideTarget, 0}, {0x600, 1, C::VolumeSlide, 1}});
  // PositionJump acts when its row is over, where NextPlayPosition would have.
  if (ending != Ending::End) events.push_back({(kRows - 1) * 256, 0, C::PositionJump, 1});
  const int32_t body = song.addPattern(events, kRows);
  if (ending == Ending::JumpToEarlierPosition) {  // an intro of kRows rows at tempo 125 comes first; the body jumps back to it
    song.setPlayPositions({0, song.addPattern({{0, 0, C::SetTempo, 125}}, kRows), body});
  } else {
    song.setPlayPositions({0, body});
  }
}

struct Rendered {
  std::vector<int16_t> audio;
  StopReason reason = StopReason::Playing;
  int32_t loops = 0;
};

// Settings with `loops` more passes, a frame limit (0: none) and a fade.
RenderSettings Settings(int32_t framesPerBuffer, int32_t loops = 0, int64_t maxFrames = 0, double fade = 0) {
  RenderSettings s;
  s.framesPerBuffer = framesPerBuffer;
  s.interpolation = 1;
  s.masterVolume = 0x10000;
  s.loops = loops;
  if (maxFrames > 0) s.maxFrames = maxFrames;
  s.fadeSeconds = fade;
  return s;
}

Rendered RenderAll(Soundtrack* soundtrack, const RenderSettings& settings) {
  Rendered r;
  RenderSession session;
  EXPECT_EQ(session.open(settings, soundtrack), kStatusOk);
  int32_t buffers = 0;
  for (; !session.finished(); ++buffers) {
    const int32_t frames = session.renderNext();
    r.audio.insert(r.audio.end(), session.frames(), session.frames() + 2 * frames);
  }
  EXPECT_EQ(static_cast<int64_t>(r.audio.size()) / 2, session.framesRendered());
  EXPECT_EQ(session.engine()->buffersRendered, buffers);
  r.reason = session.stopReason();
  r.loops = session.loopsSeen();
  return r;
}

int64_t Frames(const Rendered& r) { return static_cast<int64_t>(r.audio.size()) / 2; }

TEST(RenderSession, AJumpAndABreakOnOneRowThatLandLaterAreNoLoop) {
  // Position 2 goes on at its own row 8 from row 3. The engine flags a jump to a position not
  // after the current one.
  SongBuilder song;
  song.addInitialSettings();
  const int32_t first = song.addPattern({}, kRows);
  song.setPlayPositions({0, first, song.addPattern({{0x300, 0, EventCode::PatternBreak, static_cast<int32_t>(0x80000800u)},
                                                    {0x300, 0, EventCode::PositionJump, 2}}, kRows)});
  Rendered r = RenderAll(song.inUse(), Settings(4096));
  const int64_t songFrames = (kRows + 4 + (kRows - 8)) * 6 * 882;
  EXPECT_EQ(std::tuple(r.reason, r.loops, Frames(r)), std::tuple(StopReason::Ended, 0, songFrames));
}

TEST(RenderSession, ASongThatNeverEndsStopsAtTheSafetyLimit) {
  SongBuilder song;
  song.addInitialSettings(1);
  // A pattern loop with a repeat count that runs for years.
  song.setPlayPositions({0, song.addPattern({{0, 0, EventCode::LoopCount, 0x7FFFFFF0}, {0, 0, EventCode::LoopBack, 0}}, 1)});
  Rendered r = RenderAll(song.inUse(), Settings(4096));
  EXPECT_EQ(std::tuple(r.reason, Frames(r)), std::tuple(StopReason::SafetyLimit, 600 * 44100));  // ten minutes: twice the estimate is shorter
}

TEST(RenderSession, OpenFailuresComeBackAsEngineStatuses) {
  RenderSession session;
  EXPECT_EQ(session.open(Settings(4096), nullptr), kStatusNoSoundtrack);
  SongBuilder song;
  BuildSong(song, Ending::End);
  EXPECT_EQ(session.open(Settings(1000), song.get()), kStatusBadParam);  // not a multiple of 16
  EXPECT_EQ(session.renderNext(), 0);
  // The session marks the soundtrack in use, as the player does before binding it.
  EXPECT_EQ(session.open(Settings(1024), song.get()), kStatusOk);
  EXPECT_TRUE(song.get()->flags & kSoundtrackInUse);
  EXPECT_EQ(session.renderNext(), 1024);
}

}  // namespace
}  // namespace tvp::test
