// Pitch to resampling step (UpdateVoiceStep) and the arpeggio loops that switch the step while
// they mix.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

struct StepTable {
  std::vector<uint32_t> entries = std::vector<uint32_t>(kStepTableEntries);
  StepTable(uint32_t first, uint32_t increment) {
    for (int32_t i = 0; i < kStepTableEntries; ++i) entries[i] = first + increment * static_cast<uint32_t>(i);
  }
};

Voice voiceWithTable(const StepTable& table, int32_t pitchDifference) {
  Voice v{};
  v.stepTable = table.entries.data();
  v.pitchOrigin = 0x3C00;
  v.pitch = 0x3C00 + pitchDifference;
  return v;
}

TEST(UpdateVoiceStep, OneOctaveUpDoublesEntryZero) {
  const StepTable table(0x12345, 16);
  Voice v = voiceWithTable(table, 3072);
  UpdateVoiceStep(&v);
  // 0x12345 << 1 = 0x2468A: whole frames 2 (bytes 4), fraction 0x468A.
  EXPECT_EQ(v.stepWhole, 4);
  EXPECT_EQ(v.stepFraction, 0x468A);
}

TEST(UpdateVoiceStep, TheOriginItselfTakesEntryZero) {
  const StepTable table(0x12345, 16);
  Voice v = voiceWithTable(table, 0);
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 2);
  EXPECT_EQ(v.stepFraction, 0x2345);
}

TEST(UpdateVoiceStep, OneOctaveDownHalvesEntryZero) {
  const StepTable table(0x12345, 16);
  Voice v = voiceWithTable(table, -3072);
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 0);
  EXPECT_EQ(v.stepFraction, 0x91A2);  // 0x12345 >> 1
}

TEST(UpdateVoiceStep, SplitsTheDifferenceIntoOctavesAndAnIndex) {
  const StepTable table(0x10000, 16);
  Voice v = voiceWithTable(table, 2 * 3072 + 5);
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 8);  // (0x10000 + 80) << 2 = 0x40140
  EXPECT_EQ(v.stepFraction, 0x0140);
  v.pitch = 0x3C00 - 1;  // entry 3071, one octave down
  UpdateVoiceStep(&v);
  const uint32_t half = (0x10000u + 16u * 3071u) >> 1;
  EXPECT_EQ(v.stepWhole, static_cast<int32_t>((half >> 15) & 0x1FFFE));
  EXPECT_EQ(v.stepFraction, static_cast<int32_t>(half & 0xFFFF));
  v.pitch = 0x3C00 - 3073;  // entry 3071, two octaves down
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepFraction, static_cast<int32_t>(((0x10000u + 16u * 3071u) >> 2) & 0xFFFF));
}

TEST(UpdateVoiceStep, KeepsOnlyTheBitsOfA32BitStep) {
  const StepTable table(0x10000, 0);
  Voice v = voiceWithTable(table, 15 * 3072);
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 0x10000);  // 0x80000000 >> 15
  EXPECT_EQ(v.stepFraction, 0);
  v.pitch = 0x3C00 + 17 * 3072;  // 0x10000 << 17 leaves nothing in 32 bits
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 0);
  EXPECT_EQ(v.stepFraction, 0);
}

TEST(UpdateVoiceStep, ShiftsDownArithmetically) {
  const StepTable table(0x80000000u, 0);
  Voice v = voiceWithTable(table, -3072);
  UpdateVoiceStep(&v);
  // 0x80000000 as a signed step shifted right keeps its sign: 0xC0000000.
  EXPECT_EQ(v.stepWhole, 0x18000);
  EXPECT_EQ(v.stepFraction, 0);
}

TEST(UpdateVoiceStep, PitchesFarFromTheOriginFinishAtOnceWithNoStep) {
  const StepTable table(0x10000, 1);
  Voice v = voiceWithTable(table, 0);
  v.stepWhole = 6;
  v.stepFraction = 7;
  v.pitch = std::numeric_limits<int32_t>::min();
  v.pitchOrigin = std::numeric_limits<int32_t>::max();
  UpdateVoiceStep(&v);  // some 1.4 million octaves down
  EXPECT_EQ(v.stepWhole, 0);
  EXPECT_EQ(v.stepFraction, 0);
  v.stepWhole = 6;
  v.pitch = std::numeric_limits<int32_t>::max();
  v.pitchOrigin = std::numeric_limits<int32_t>::min();
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 0);
  EXPECT_EQ(v.stepFraction, 0);
  // 40 octaves down (past a 32-bit shift) is as still as 20.
  v.pitchOrigin = 0;
  v.pitch = -40 * 3072;
  v.stepWhole = 6;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 0);
  EXPECT_EQ(v.stepFraction, 0);
}

TEST(UpdateVoiceStep, AddsTheOffsetOfTheArpeggioPhase) {
  const StepTable table(0x10000, 0);
  Voice v = voiceWithTable(table, 0);
  v.arpeggioOffset1 = 3072;
  v.arpeggioOffset2 = 2 * 3072;
  v.arpeggioPhase = 2;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 2);  // arpeggio off: the offsets do not count
  v.arpeggioOn = 1;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 8);
  v.arpeggioPhase = 1;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 4);
  v.arpeggioPhase = 0;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 2);
}

TEST(UpdateVoiceStep, WithoutAStepTableNothingChanges) {
  Voice v{};
  v.pitch = 0x4000;
  v.stepWhole = 6;
  v.stepFraction = 99;
  UpdateVoiceStep(&v);
  EXPECT_EQ(v.stepWhole, 6);
  EXPECT_EQ(v.stepFraction, 99);
}

class ArpeggioTest : public MixerTest {
 protected:
  // Frame k holds the value k, read through a hard-left voice, so each output frame shows the
  // frame the voice stood on. Steps: 1 frame in phase 0, 2 in phase 1, 4 in phase 2.
  ArpeggioTest() : table_(0x10000, 0) {
    std::vector<int16_t> frames;
    for (int i = 0; i < 4000; ++i) frames.push_back(static_cast<int16_t>(i));
    sample_ = makeSample(frames);
  }
  Voice arpeggioVoice() {
    Voice v = voiceFor(sample_);
    v.panning = -4096;
    v.stepTable = table_.entries.data();
    v.arpeggioOn = 1;
    v.arpeggioOffset1 = 3072;
    v.arpeggioOffset2 = 2 * 3072;
    UpdateVoiceStep(&v);
    return v;
  }
  StepTable table_;
  TestSample sample_;
};

TEST_F(ArpeggioTest, PhaseSwitchesEveryStepFramesAcrossCalls) {
  engine_->arpeggioStepFrames = 5;
  Voice v = arpeggioVoice();
  // 40 frames in uneven calls; the switches must fall every 5 frames regardless.
  int32_t frame = 0;
  for (int32_t count : {3, 1, 7, 5, 2, 9, 13}) {
    EXPECT_EQ(mix(kInterpolationNone, v, frame, count, true), 1);
    frame += count;
    EXPECT_EQ(v.arpeggioCounter, frame % 5) << frame;
    EXPECT_EQ(v.arpeggioPhase, (frame / 5) % 3) << frame;
  }
  ASSERT_EQ(frame, 40);
  const int32_t stepOfPhase[] = {1, 2, 4};
  for (int32_t n = 1; n < 40; ++n)
    EXPECT_EQ(left(n) - left(n - 1), stepOfPhase[((n - 1) / 5) % 3]) << "frame " << n;
  EXPECT_EQ(v.position, 2 * 5 * (1 + 2 + 4 + 1 + 2 + 4 + 1 + 2));
  EXPECT_EQ(v.stepWhole, 8);  // phase 2 after 40 frames: 4 frames, 8 bytes
}

TEST_F(ArpeggioTest, CounterAndPhaseComeFromTheVoice) {
  engine_->arpeggioStepFrames = 5;
  Voice v = arpeggioVoice();
  v.arpeggioCounter = 3;
  v.arpeggioPhase = 2;
  UpdateVoiceStep(&v);
  mix(kInterpolationLinear, v, 0, 4, true);
  EXPECT_EQ(v.arpeggioPhase, 0);  // 2 -> 0 after two frames
  EXPECT_EQ(v.arpeggioCounter, 2);
  EXPECT_EQ(v.position, 2 * (4 + 4 + 1 + 1));
}

TEST_F(ArpeggioTest, SilentArpeggioVoiceKeepsCounting) {
  engine_->arpeggioStepFrames = 5;
  Voice audible = arpeggioVoice();
  Voice silent = audible;
  silent.volume = 0;
  silent.rampVolume = 0;
  for (int32_t mode : {0, 1, 2, 3, 7}) {
    EXPECT_EQ(mix(mode, silent, 0, 17, true), 0);
    mix(mode, audible, 0, 17, true);
    EXPECT_EQ(silent.arpeggioCounter, audible.arpeggioCounter);
    EXPECT_EQ(silent.arpeggioPhase, audible.arpeggioPhase);
    EXPECT_EQ(silent.position, audible.position);
    EXPECT_EQ(silent.stepWhole, audible.stepWhole);
  }
}

TEST_F(ArpeggioTest, CounterLeftAboveAShortenedIntervalSwitchesAtTheNextFrame) {
  engine_->arpeggioStepFrames = 5;
  Voice v = arpeggioVoice();
  v.arpeggioCounter = 40;  // left from a slower tempo
  mix(kInterpolationNone, v, 0, 1, true);
  EXPECT_EQ(v.arpeggioPhase, 1);
  EXPECT_EQ(v.arpeggioCounter, 0);
}

}  // namespace
}  // namespace tvp::testing
