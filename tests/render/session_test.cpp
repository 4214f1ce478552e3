// The render session on songs built in memory: the same audio from run to run and whatever the
// buffer size, and the stop conditions (end of song, loop back, more passes, a length, the fade,
// the safety limit for songs that go on for ever).
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
constexpr int64_t kBodyFrames = 4 * 6 * 882 + (kRows - 4) * 6 * 735;

enum class Ending { End, JumpToSamePosition, JumpToEarlierPosition };

std::vector<int16_t> Sine(int32_t frames, double amplitude) {
  std::vector<int16_t> out(static_cast<size_t>(frames));
  for (int32_t i = 0; i < frames; ++i) out[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * i / frames)));
  return out;
}

// Two looped voices, one with an arpeggio and one with vibrato and a volume slide, a tempo change
// that puts tick boundaries off any buffer grid, and the chosen ending.
void BuildSong(SongBuilder& song, Ending ending) {
  song.addInitialSettings();
  int32_t sample = song.addSample(Sine(100, 20000), 44100, 0, 100);
  auto note = [&](int32_t time, int32_t channel, int32_t pitch) {
    return std::vector<Ev>{{time, channel, EventCode::SetPitch, pitch},
                           {time, channel, EventCode::SelectSample, sample},
                           {time, channel, EventCode::ResetVolume, 0},
                           {time, channel, EventCode::StartSample, 0},
                           {time, channel, EventCode::SetVoiceFlags, 3}};
  };
  // Every pass starts at tempo 125, so that passes are equally long.
  std::vector<Ev> events = {{0, 0, EventCode::SetTempo, 125}};
  for (const Ev& e : note(0, 0, 0x3C00)) events.push_back(e);
  for (const Ev& e : note(0x203, 1, 0x4100)) events.push_back(e);
  std::vector<Ev> more = {{0x203, 1, EventCode::ArpeggioFirst, 0x400},   {0x203, 1, EventCode::ArpeggioSecond, 0x700},
                          {0x203, 1, EventCode::Arpeggio, 1},            {0x300, 0, EventCode::VibratoDepth, 0x80},
                          {0x300, 0, EventCode::VibratoSpeed, 24},       {0x300, 0, EventCode::Vibrato, 1},
                          {0x400, 0, EventCode::SetTempo, 150},          {0x600, 1, EventCode::VolumeSlideSpeed, 0x800},
                          {0x600, 1, EventCode::VolumeSlideTarget, 0},   {0x600, 1, EventCode::VolumeSlide, 1}};
  events.insert(events.end(), more.begin(), more.end());
  // PositionJump acts when its row is over, where NextPlayPosition would have.
  if (ending == Ending::JumpToSamePosition) events.push_back({(kRows - 1) * 256, 0, EventCode::PositionJump, 1});
  if (ending == Ending::JumpToEarlierPosition) events.push_back({(kRows - 1) * 256, 0, EventCode::PositionJump, 1});
  int32_t body = song.addPattern(events, kRows);
  if (ending == Ending::JumpToEarlierPosition) {
    // An intro of kRows rows at tempo 125 comes first; the body jumps back to it.
    int32_t intro = song.addPattern({{0, 0, EventCode::SetTempo, 125}}, kRows);
    song.setPlayPositions({0, intro, body});
  } else {
    song.setPlayPositions({0, body});
  }
}

struct Rendered {
  std::vector<int16_t> audio;
  StopReason reason = StopReason::Playing;
  int32_t loops = 0;
  int32_t buffers = 0;
};

RenderSettings Settings(int32_t framesPerBuffer, int32_t interpolation = 1) {
  RenderSettings s;
  s.framesPerBuffer = framesPerBuffer;
  s.interpolation = interpolation;
  s.masterVolume = 0x10000;
  return s;
}

Rendered RenderAll(Soundtrack* soundtrack, const RenderSettings& settings) {
  Rendered r;
  RenderSession session;
  EXPECT_EQ(session.open(settings, soundtrack), kStatusOk);
  while (!session.finished()) {
    int32_t frames = session.renderNext();
    r.audio.insert(r.audio.end(), session.frames(), session.frames() + 2 * frames);
    ++r.buffers;
  }
  EXPECT_EQ(static_cast<int64_t>(r.audio.size()) / 2, session.framesRendered());
  EXPECT_EQ(session.engine()->buffersRendered, r.buffers);
  r.reason = session.stopReason();
  r.loops = session.loopsSeen();
  return r;
}

int64_t Frames(const Rendered& r) { return static_cast<int64_t>(r.audio.size()) / 2; }

int32_t Peak(const std::vector<int16_t>& audio, int64_t firstFrame, int64_t frames) {
  int32_t peak = 0;
  for (int64_t i = 2 * firstFrame; i < 2 * (firstFrame + frames); ++i) peak = std::max(peak, std::abs(int32_t{audio[i]}));
  return peak;
}

TEST(RenderSession, TheAudioIsTheSameFromRunToRunAndForEveryBufferSize) {
  SongBuilder song;
  BuildSong(song, Ending::JumpToSamePosition);
  for (int32_t mode : {0, 1, 2, 3, 7}) {
    RenderSettings settings = Settings(4096, mode);
    settings.loops = 10;
    settings.maxFrames = 2 * kBodyFrames + 1234;  // not a whole number of either buffer
    Rendered big = RenderAll(song.inUse(), settings);
    Rendered again = RenderAll(song.inUse(), settings);
    settings.framesPerBuffer = 1024;
    Rendered small = RenderAll(song.inUse(), settings);
    settings.voices = kRenderVoices;  // as many voices as the player opens
    Rendered allVoices = RenderAll(song.inUse(), settings);
    ASSERT_EQ(Frames(big), settings.maxFrames) << "mode " << mode;
    EXPECT_EQ(big.reason, StopReason::FrameLimit);
    EXPECT_GT(Peak(big.audio, 0, Frames(big)), 5000) << "mode " << mode;
    EXPECT_TRUE(big.audio == again.audio) << "mode " << mode;
    EXPECT_TRUE(big.audio == small.audio) << "mode " << mode;
    EXPECT_TRUE(big.audio == allVoices.audio) << "mode " << mode;
  }
}

TEST(RenderSession, ASongThatEndsStopsWithTheBufferItEndsIn) {
  SongBuilder song;
  BuildSong(song, Ending::End);
  int32_t estimateUnits = 0;
  ASSERT_EQ(EstimatePlayTime(song.get(), nullptr, &estimateUnits), 0);
  ASSERT_NEAR(estimateUnits * 256.0, kBodyFrames, 256);  // the estimate counts what the engine plays

  Rendered big = RenderAll(song.inUse(), Settings(4096));
  Rendered small = RenderAll(song.inUse(), Settings(1024));
  for (const Rendered* r : {&big, &small}) {
    EXPECT_EQ(r->reason, StopReason::Ended);
    EXPECT_EQ(r->loops, 0);
    EXPECT_GE(Frames(*r), kBodyFrames);
  }
  EXPECT_LT(Frames(big), kBodyFrames + 4096);
  EXPECT_LT(Frames(small), kBodyFrames + 1024);
  // The song's audio is the same; past its end the last buffer holds silence.
  ASSERT_TRUE(std::equal(small.audio.begin(), small.audio.begin() + 2 * kBodyFrames, big.audio.begin()));
  EXPECT_GT(Peak(big.audio, kBodyFrames - 1000, 1000), 0);
  EXPECT_EQ(Peak(big.audio, kBodyFrames, Frames(big) - kBodyFrames), 0);
  EXPECT_EQ(Peak(small.audio, kBodyFrames, Frames(small) - kBodyFrames), 0);
}

TEST(RenderSession, ASongStopsWhenItLoopsBackUnlessMorePassesAreAsked) {
  struct Case {
    Ending ending;
    int64_t passFrames;  // the first pass; later ones jump to position 1 again
  };
  const Case cases[] = {{Ending::JumpToSamePosition, kBodyFrames},
                        {Ending::JumpToEarlierPosition, kRows * 6 * 882 + kBodyFrames}};
  for (const Case& c : cases) {
    SongBuilder song;
    BuildSong(song, c.ending);
    for (int32_t loops : {0, 1, 3}) {
      RenderSettings settings = Settings(4096);
      settings.loops = loops;
      Rendered r = RenderAll(song.inUse(), settings);
      int64_t expected = (loops + 1) * c.passFrames;
      EXPECT_EQ(r.reason, StopReason::LoopedBack) << "loops " << loops;
      EXPECT_EQ(r.loops, loops + 1);
      EXPECT_GE(Frames(r), expected) << "loops " << loops;
      EXPECT_LT(Frames(r), expected + 4096) << "loops " << loops;
    }
  }
}

TEST(RenderSession, AJumpAndABreakOnOneRowThatLandLaterAreNoLoop) {
  // Position 2 goes on at its own row 8 from row 3: the jump names position 1 and the break
  // then moves on by one. The engine flags a jump to a position not after the current one.
  SongBuilder song;
  song.addInitialSettings();
  int32_t first = song.addPattern({}, kRows);
  int32_t second = song.addPattern({{0x300, 0, EventCode::PatternBreak, static_cast<int32_t>(0x80000800u)},
                                    {0x300, 0, EventCode::PositionJump, 1}},
                                   kRows);
  song.setPlayPositions({0, first, second});
  Rendered r = RenderAll(song.inUse(), Settings(4096));
  int64_t songFrames = (kRows + 4 + (kRows - 8)) * 6 * 882;
  EXPECT_EQ(r.reason, StopReason::Ended);
  EXPECT_EQ(r.loops, 0);
  EXPECT_GE(Frames(r), songFrames);
  EXPECT_LT(Frames(r), songFrames + 4096);
}

TEST(RenderSession, ALengthCutsTheRenderToTheFrameButNotPastTheSongsEnd) {
  SongBuilder song;
  BuildSong(song, Ending::End);
  RenderSettings settings = Settings(4096);
  settings.maxFrames = 12345;
  Rendered cut = RenderAll(song.inUse(), settings);
  EXPECT_EQ(Frames(cut), 12345);
  EXPECT_EQ(cut.reason, StopReason::FrameLimit);

  settings.maxFrames = 10 * kBodyFrames;
  Rendered whole = RenderAll(song.inUse(), settings);
  EXPECT_EQ(whole.reason, StopReason::Ended);
  EXPECT_LT(Frames(whole), kBodyFrames + 4096);
}

TEST(RenderSession, TheFadeRunsOutOverItsTimeAfterTheLastPass) {
  SongBuilder song;
  BuildSong(song, Ending::JumpToSamePosition);
  for (int32_t loops : {0, 1}) {
    RenderSettings settings = Settings(1024);
    settings.loops = loops;
    settings.fadeSeconds = 0.5;
    Rendered r = RenderAll(song.inUse(), settings);
    int64_t fadeStart = (loops + 1) * kBodyFrames;
    EXPECT_EQ(r.reason, StopReason::FadedOut);
    EXPECT_NEAR(static_cast<double>(Frames(r)), fadeStart + 22050, 2 * 1024) << "loops " << loops;
    // Loud where the fade begins, quiet at its end.
    int32_t early = Peak(r.audio, fadeStart, 2048);
    int32_t late = Peak(r.audio, Frames(r) - 1024, 1024);  // the last buffer, one fade step above 0
    EXPECT_GT(early, 4000);
    EXPECT_LT(late, early / 5);
  }
}

TEST(RenderSession, ASongThatNeverEndsStopsAtTheSafetyLimit) {
  SongBuilder song;
  song.addInitialSettings(1);
  // A pattern loop with a repeat count that runs for years.
  int32_t body = song.addPattern({{0, 0, EventCode::LoopCount, 0x7FFFFFF0}, {0, 0, EventCode::LoopBack, 0}}, 1);
  song.setPlayPositions({0, body});
  Rendered r = RenderAll(song.inUse(), Settings(4096));
  EXPECT_EQ(r.reason, StopReason::SafetyLimit);
  EXPECT_EQ(Frames(r), 600 * 44100);  // ten minutes: twice the estimate is shorter
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
