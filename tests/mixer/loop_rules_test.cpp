// How the loops move a voice through its sample: one-shot ends, forward wraps, ping-pong
// reflections, silent voices, and voices the loops must refuse to read.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

constexpr int32_t kModes[] = {kInterpolationNone, kInterpolationLinear, kInterpolationStairs,
                              kInterpolationCubic, kInterpolationRampedCubic};

std::vector<int16_t> steps(int32_t count, int32_t scale) {
  std::vector<int16_t> frames;
  for (int32_t i = 0; i < count; ++i) frames.push_back(static_cast<int16_t>(scale * (i + 1)));
  return frames;
}

using LoopRulesTest = MixerTest;

TEST_F(LoopRulesTest, OneShotEndsInsideTheStretchAndLeavesLaterFramesAlone) {
  const TestSample s = makeSample(steps(10, 1000));
  Voice v = voiceFor(s);
  setStep(v, 0x18000);  // 1.5 frames: frames 0, 1, 3, 4, 6, 7, 9 are heard, then 10.5 is past the end
  EXPECT_EQ(mix(kInterpolationNone, v, 3, 20), 1);
  const int32_t heard[] = {1000, 2000, 4000, 5000, 7000, 8000, 10000};
  for (int32_t n = 0; n < 7; ++n) {
    EXPECT_EQ(left(3 + n), heard[n] / 2) << n;
    EXPECT_EQ(right(3 + n), heard[n] / 2) << n;
  }
  EXPECT_EQ(left(0), 0);
  EXPECT_TRUE(untouchedFrom(10));
  EXPECT_EQ(v.active, 0);
  EXPECT_EQ(v.position, 20);  // the position that ran out is kept
  EXPECT_EQ(v.positionFraction, 32768);
}

TEST_F(LoopRulesTest, OneShotEndingOnTheLastFrameOfTheStretchStillEndsTheVoice) {
  const TestSample s = makeSample(steps(4, 100));
  Voice v = voiceFor(s);
  setStep(v, 0x10000);
  v.active = kVoiceSounding | kVoiceKeyHeld;
  mix(kInterpolationCubic, v, 0, 3);
  EXPECT_EQ(v.active, kVoiceSounding | kVoiceKeyHeld);
  EXPECT_EQ(v.position, 6);
  mix(kInterpolationCubic, v, 3, 1);
  EXPECT_EQ(v.active, 0);
  EXPECT_EQ(left(3), 200);  // frame 3 (400) mixed at half gain: its guards repeat the last frame
  EXPECT_EQ(v.position, 8);
}

TEST_F(LoopRulesTest, ForwardLoopWrapsByTheLoopLength) {
  // Loop over frames 2..5 (bytes 4..12).
  const TestSample s = makeSample(steps(8, 1000), LoopKind::kForward, 2, 6);
  Voice v = voiceFor(s);
  v.position = 10;  // frame 5, the last of the loop
  setStep(v, 0x18000);
  mix(kInterpolationNone, v, 0, 3);
  EXPECT_EQ(left(0), 3000);  // frame 5
  EXPECT_EQ(left(1), 1500);  // 6.5 is past the loop end: back by 4 frames to 2.5, frame 2
  EXPECT_EQ(left(2), 2500);  // frame 4
  EXPECT_EQ(v.position, 10);
  EXPECT_EQ(v.positionFraction, 32768);
  EXPECT_EQ(v.active, kVoiceSounding);
}

TEST_F(LoopRulesTest, ForwardLoopReadsTheLoopStartThroughTheGuardAtTheLoopEnd) {
  const TestSample s = makeSample({0, 0, 1000, 2000, 3000, 4000, 9999, 9999}, LoopKind::kForward, 2, 6);
  Voice v = voiceFor(s);
  v.position = 10;
  v.positionFraction = 32768;
  v.panning = -4096;
  mix(kInterpolationLinear, v, 0, 1);
  EXPECT_EQ(left(0), 2500);  // half way from frame 5 (4000) to the loop start (1000), not to 9999
}

TEST_F(LoopRulesTest, ForwardLoopShorterThanTheStepWrapsAsOftenAsNeeded) {
  const TestSample s = makeSample(steps(8, 1000), LoopKind::kForward, 2, 6);
  Voice v = voiceFor(s);
  v.position = 4;
  setStep(v, 0x90000);  // 9 frames: 2 + 9 = 11, less two loop lengths = 3
  mix(kInterpolationNone, v, 0, 1);
  EXPECT_EQ(v.position, 6);
  setStep(v, 0xFFFF8000u);  // 65535.5 frames, the largest step a voice can hold
  for (int32_t n = 0; n < 50; ++n) {
    mix(kInterpolationCubic, v, n, 1);
    ASSERT_GE(v.position, v.loopStart);
    ASSERT_LT(v.position, v.loopEnd);
  }
}

TEST_F(LoopRulesTest, PingPongReflectsAStepLongerThanTheLoopSeveralTimes) {
  // Loop over frames 4..6 (bytes 8..14). From frame 4 a step of 10.25 frames reaches 14.25; the
  // reflections go 14.25 -> -0.25 -> 8.25 -> 5.75 (each a hair short, 1/65536 of a frame).
  const TestSample s = makeSample(steps(16, 100), LoopKind::kPingPong, 4, 7);
  Voice v = voiceFor(s);
  v.position = 8;
  setStep(v, 0xA4000);
  mix(kInterpolationNone, v, 0, 1);
  EXPECT_EQ(v.position, 10);
  EXPECT_EQ(v.positionFraction, 49151);
  EXPECT_EQ(v.loopFlags, kVoiceLoopPingPong | kVoiceMovingBackward);
  // Backward from there: 5.75 - 10.25 = -4.5 -> 12.5 -> 1.5 -> 6.5 (less a hair), and so on,
  // always ending inside the loop.
  for (int32_t n = 1; n < 200; ++n) {
    mix(kInterpolationCubic, v, n, 1);
    ASSERT_GE(v.position, v.loopStart) << n;
    ASSERT_LT(v.position, v.loopEnd) << n;
  }
}

TEST_F(LoopRulesTest, PingPongTurnsAtBothEndsAndPlaysTheLoopBackward) {
  // Loop over frames 2..4; step of one frame from frame 2.
  const TestSample s = makeSample(steps(6, 100), LoopKind::kPingPong, 2, 5);
  Voice v = voiceFor(s);
  v.position = 4;
  v.panning = -4096;
  setStep(v, 0x10000);
  mix(kInterpolationNone, v, 0, 8);
  // Exact positions 2, 3, 4, then 5 mirrors to 5 - 1/65536 (still frame 4), 4 - .., 3 - ..,
  // then 2 - .. mirrors to 2 (frame 2 again), 3: the end frames are heard twice at each turn.
  const int32_t heard[] = {300, 400, 500, 500, 400, 300, 300, 400};
  for (int32_t n = 0; n < 8; ++n) EXPECT_EQ(left(n), heard[n]) << n;
}

TEST_F(LoopRulesTest, PingPongBackwardBitIsKeptAcrossCalls) {
  const TestSample s = makeSample(steps(6, 100), LoopKind::kPingPong, 1, 5);
  Voice v = voiceFor(s);
  v.position = 8;  // frame 4, the last of the loop
  setStep(v, 0x10000);
  mix(kInterpolationNone, v, 0, 1);
  EXPECT_TRUE(v.loopFlags & kVoiceMovingBackward);
  EXPECT_EQ(v.position, 8);  // 5 mirrored about the loop end: 5 - 1/65536
  EXPECT_EQ(v.positionFraction, 65535);
  mix(kInterpolationNone, v, 1, 1);
  EXPECT_TRUE(v.loopFlags & kVoiceMovingBackward);
  EXPECT_EQ(v.position, 6);  // moving backward
  EXPECT_EQ(v.positionFraction, 65535);
}

TEST_F(LoopRulesTest, SilentVoiceAdvancesExactlyLikeAnAudibleOne) {
  const TestSample one = makeSample(steps(40, 700));
  const TestSample fwd = makeSample(steps(40, 700), LoopKind::kForward, 5, 13);
  const TestSample pp = makeSample(steps(40, 700), LoopKind::kPingPong, 5, 13);
  for (int32_t mode : kModes) {
    for (bool arpeggio : {false, true}) {
      for (const TestSample* s : {&one, &fwd, &pp}) {
        Voice audible = voiceFor(*s);
        audible.position = 6;
        audible.positionFraction = 40000;
        setStep(audible, 0x1C000);
        Voice silent = audible;
        silent.volume = 0;
        silent.rampVolume = 0;
        silent.rampPanning = 999;

        mix_.assign(mix_.size(), 0);
        EXPECT_EQ(mix(mode, silent, 0, 30, arpeggio), 0);
        EXPECT_TRUE(untouchedFrom(0)) << "mode " << mode;
        EXPECT_EQ(silent.rampPanning, 999);  // a silent voice only moves
        EXPECT_EQ(mix(mode, audible, 0, 30, arpeggio), 1);
        EXPECT_FALSE(untouchedFrom(0));
        EXPECT_EQ(silent.position, audible.position) << "mode " << mode;
        EXPECT_EQ(silent.positionFraction, audible.positionFraction);
        EXPECT_EQ(silent.loopFlags, audible.loopFlags);
        EXPECT_EQ(silent.active, audible.active);
      }
    }
  }
}

TEST_F(LoopRulesTest, NegativeVolumeIsSilent) {
  const TestSample s = makeSample(steps(8, 1000));
  Voice v = voiceFor(s);
  v.volume = -5;
  v.rampVolume = -5;
  setStep(v, 0x10000);
  EXPECT_EQ(mix(kInterpolationLinear, v, 0, 4), 0);
  EXPECT_TRUE(untouchedFrom(0));
  EXPECT_EQ(v.position, 8);
}

TEST_F(LoopRulesTest, VoiceWithoutSampleDataReturnsAtOnce) {
  const TestSample s = makeSample(steps(8, 1000));
  Voice v = voiceFor(s);
  v.sampleData = nullptr;
  v.position = 4;
  setStep(v, 0x10000);
  for (int32_t mode : kModes) {
    EXPECT_EQ(mix(mode, v, 0, 4), 0);
    EXPECT_EQ(mix(mode, v, 0, 4, true), 0);
  }
  EXPECT_EQ(v.position, 4);
  EXPECT_EQ(v.active, kVoiceSounding);
  EXPECT_TRUE(untouchedFrom(0));
}

// A sample offset can put the position past the data; nothing there may be read.
TEST_F(LoopRulesTest, PositionPastTheDataEndsTheVoiceWithoutReading) {
  const TestSample s = makeSample(steps(8, 1000));
  for (int32_t mode : kModes) {
    for (int32_t position : {16, 18, 4000, -2}) {
      Voice v = voiceFor(s);
      v.position = position;
      setStep(v, 0x10000);
      EXPECT_EQ(mix(mode, v, 0, 4), 1);
      EXPECT_EQ(v.active, 0);
      EXPECT_EQ(v.position, position);
    }
  }
  EXPECT_TRUE(untouchedFrom(0));
}

TEST_F(LoopRulesTest, LoopOfZeroLengthIsRefusedNotSpunOn) {
  const TestSample s = makeSample(steps(8, 1000));
  Voice v = voiceFor(s);
  v.loopFlags = kVoiceLoopForward;
  v.loopStart = 4;
  v.loopEnd = 4;
  v.loopLength = 0;
  setStep(v, 0x10000);
  // Debug builds stop on the broken set-up; release builds end the voice instead of hanging.
  EXPECT_DEBUG_DEATH(mix(kInterpolationNone, v, 0, 16), "impossible");
#ifdef NDEBUG
  EXPECT_EQ(v.active, 0);
  EXPECT_TRUE(untouchedFrom(0));
#endif
}

}  // namespace
}  // namespace tvp::testing
