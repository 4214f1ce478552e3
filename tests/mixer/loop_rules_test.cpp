// How the loops move a voice through its sample: one-shot ends, forward wraps, ping-pong
// reflections, silent voices, and voices the loops must refuse to read.
#include <gtest/gtest.h>

#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

constexpr int32_t kModes[] = {kInterpolationNone, kInterpolationLinear, kInterpolationStairs,
                              kInterpolationCubic, kInterpolationRampedCubic};

// Frames scale, 2 x scale, 3 x scale, ...
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
  const int32_t heard[] = {500, 1000, 2000, 2500, 3500, 4000, 5000};  // at half gain on each side
  for (int32_t n = 0; n < 7; ++n) EXPECT_EQ(std::pair(left(3 + n), right(3 + n)), std::pair(heard[n], heard[n]));
  EXPECT_EQ(left(2), 0);
  EXPECT_TRUE(untouchedFrom(10));
  EXPECT_EQ(std::tuple(v.active, v.position, v.positionFraction), std::tuple(0, 20, 32768));  // the position is kept

  // Ending on the last frame of a stretch still ends the voice; the guards repeat the last frame.
  const TestSample four = makeSample(steps(4, 100));
  Voice w = voiceFor(four);
  setStep(w, 0x10000);
  w.active = kVoiceSounding | kVoiceKeyHeld;
  mix(kInterpolationCubic, w, 20, 3);
  EXPECT_EQ(w.active, kVoiceSounding | kVoiceKeyHeld);
  mix(kInterpolationCubic, w, 23, 1);
  EXPECT_EQ(std::tuple(w.active, w.position, left(23)), std::tuple(0, 8, 200));
}

TEST_F(LoopRulesTest, ForwardLoopWrapsByTheLoopLength) {
  // Loop over frames 2..5; frames 6 and 7 (9999) lie past it.
  const TestSample s = makeSample({1000, 2000, 3000, 4000, 5000, 6000, 9999, 9999}, LoopKind::kForward, 2, 6);
  Voice v = voiceFor(s);
  v.panning = -4096;
  v.position = 10;  // frame 5, the last of the loop
  setStep(v, 0x18000);
  mix(kInterpolationNone, v, 0, 3);
  // Frame 5; 6.5 is past the loop end: back by 4 frames to 2.5, frame 2; then frame 4.
  EXPECT_EQ(std::tuple(left(0), left(1), left(2)), std::tuple(6000, 3000, 5000));
  EXPECT_EQ(std::tuple(v.active, v.position, v.positionFraction), std::tuple(kVoiceSounding, 10, 32768));
  mix(kInterpolationLinear, v, 3, 1);  // 5.5 reads the loop start through the guard, not 9999
  EXPECT_EQ(left(3), 4500);

  v.position = 4;
  v.positionFraction = 0;
  setStep(v, 0x90000);  // 9 frames: 2 + 9 = 11, less two loop lengths = 3
  mix(kInterpolationNone, v, 4, 1);
  EXPECT_EQ(v.position, 6);
  setStep(v, 0xFFFF8000u);  // 65535.5 frames, the largest step a voice can hold
  for (int32_t n = 0; n < 50; ++n) {
    mix(kInterpolationCubic, v, n, 1);
    ASSERT_TRUE(v.position >= v.loopStart && v.position < v.loopEnd) << v.position;
  }
}

TEST_F(LoopRulesTest, PingPongReflectsAStepLongerThanTheLoopSeveralTimes) {
  // Loop over frames 4..6. From frame 4 a step of 10.25 frames reaches 14.25; the reflections go
  // 14.25 -> -0.25 -> 8.25 -> 5.75 (each a hair short, 1/65536 of a frame), moving backward.
  const TestSample s = makeSample(steps(16, 100), LoopKind::kPingPong, 4, 7);
  Voice v = voiceFor(s);
  v.position = 8;
  setStep(v, 0xA4000);
  mix(kInterpolationNone, v, 0, 1);
  EXPECT_EQ(std::tuple(v.position, v.positionFraction, v.loopFlags),
            std::tuple(10, 49151, kVoiceLoopPingPong | kVoiceMovingBackward));
  for (int32_t n = 1; n < 200; ++n) {  // and so on, always ending inside the loop
    mix(kInterpolationCubic, v, n, 1);
    ASSERT_TRUE(v.position >= v.loopStart && v.position < v.loopEnd) << n << " " << v.position;
  }
}

// Silent voices (volume 0 or below) only move: nothing is mixed, no ramp changes, and they end,
// wrap, turn and count arpeggio phases exactly like audible ones.
TEST_F(LoopRulesTest, SilentVoiceAdvancesExactlyLikeAnAudibleOne) {
  const std::vector<uint32_t> table(kStepTableEntries, 0x14000);
  engine_->arpeggioStepFrames = 5;
  const TestSample samples[] = {makeSample(steps(40, 700)), makeSample(steps(40, 700), LoopKind::kForward, 5, 13),
                                makeSample(steps(40, 700), LoopKind::kPingPong, 5, 13)};
  for (int32_t mode : kModes) {
    for (bool arpeggio : {false, true}) {
      for (const TestSample& s : samples) {
        for (int32_t volume : {0, -5}) {
          SCOPED_TRACE(::testing::Message() << "mode " << mode << " arpeggio " << arpeggio << " volume " << volume);
          Voice audible = voiceFor(s);
          audible.position = 6;
          audible.positionFraction = 40000;
          setStep(audible, 0x1C000);
          audible.stepTable = table.data();
          audible.arpeggioOn = arpeggio;
          audible.arpeggioOffset1 = 3072;
          audible.arpeggioOffset2 = -3072;
          Voice silent = audible;
          silent.volume = silent.rampVolume = volume;
          silent.rampPanning = 999;
          mix_.assign(mix_.size(), 0);
          EXPECT_EQ(mix(mode, silent, 0, 30, arpeggio), 0);
          EXPECT_TRUE(untouchedFrom(0));
          EXPECT_EQ(mix(mode, audible, 0, 30, arpeggio), 1);
          EXPECT_FALSE(untouchedFrom(0));
          EXPECT_EQ(Motion(silent), Motion(audible));
          EXPECT_EQ(silent.rampPanning, 999);
        }
      }
    }
  }
}

// A voice without data returns at once; a position past the data (a sample offset can put it
// there) ends the voice without reading anything.
TEST_F(LoopRulesTest, UnreadableVoicesMixNothing) {
  const TestSample s = makeSample(steps(8, 1000));
  for (int32_t mode : kModes) {
    for (bool arpeggio : {false, true}) {
      for (int32_t position : {4, 16, 18, 4000, -2}) {
        Voice v = voiceFor(s);
        if (position == 4) v.sampleData = nullptr;
        v.position = position;
        setStep(v, 0x10000);
        EXPECT_EQ(mix(mode, v, 0, 4, arpeggio), position == 4 ? 0 : 1);
        EXPECT_EQ(std::pair(v.active, v.position), std::pair(position == 4 ? kVoiceSounding : uint16_t{0}, position));
      }
    }
  }
  EXPECT_TRUE(untouchedFrom(0));
}

TEST_F(LoopRulesTest, LoopOfZeroLengthIsRefusedNotSpunOn) {
  const TestSample s = makeSample(steps(8, 1000));
  Voice v = voiceFor(s);
  v.loopFlags = kVoiceLoopForward;
  v.loopStart = v.loopEnd = 4;
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
