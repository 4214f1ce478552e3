// Pitch to resampling step (UpdateVoiceStep) and the arpeggio loops that switch the step while
// they mix.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

std::vector<uint32_t> StepTable(uint32_t first, uint32_t increment) {
  std::vector<uint32_t> entries(kStepTableEntries);
  for (int32_t i = 0; i < kStepTableEntries; ++i) entries[i] = first + increment * static_cast<uint32_t>(i);
  return entries;
}

// The step is entry (difference mod 3072) shifted by whole octaves, kept to 32 bits: whole
// frames in bytes (stepWhole), the fraction in 16 bits.
TEST(UpdateVoiceStep, SplitsThePitchDifferenceIntoOctavesAndAnIndex) {
  struct Case {
    uint32_t first, increment;
    int32_t pitch, origin;
    uint32_t step;  // 16.16 frames
  } cases[] = {
      {0x12345, 16, 0x3C00 + 3072, 0x3C00, 0x2468A},    // an octave up doubles entry 0
      {0x12345, 16, 0x3C00, 0x3C00, 0x12345},           // the origin itself takes entry 0
      {0x12345, 16, 0x3C00 - 3072, 0x3C00, 0x91A2},     // an octave down halves it
      {0x10000, 16, 0x3C00 + 2 * 3072 + 5, 0x3C00, 0x40140},
      {0x10000, 16, 0x3C00 - 1, 0x3C00, (0x10000u + 16u * 3071u) >> 1},
      {0x10000, 16, 0x3C00 - 3073, 0x3C00, (0x10000u + 16u * 3071u) >> 2},
      {0x10000, 0, 0x3C00 + 15 * 3072, 0x3C00, 0x80000000u},
      {0x10000, 0, 0x3C00 + 17 * 3072, 0x3C00, 0},      // nothing is left in 32 bits
      {0x80000000u, 0, 0x3C00 - 3072, 0x3C00, 0xC0000000u},  // shifted down as a signed value
      {0x10000, 1, INT32_MIN, INT32_MAX, 0},            // some 1.4 million octaves down
      {0x10000, 1, INT32_MAX, INT32_MIN, 0},
      {0x10000, 1, -40 * 3072, 0, 0},                   // past a 32-bit shift: as still as 20
  };
  for (const Case& c : cases) {
    const std::vector<uint32_t> table = StepTable(c.first, c.increment);
    Voice v{};
    v.stepTable = table.data();
    v.pitch = c.pitch;
    v.pitchOrigin = c.origin;
    v.stepWhole = v.stepFraction = 6;
    UpdateVoiceStep(&v);
    EXPECT_EQ(v.stepWhole, static_cast<int32_t>((c.step >> 15) & 0x1FFFE)) << c.pitch - c.origin;
    EXPECT_EQ(v.stepFraction, static_cast<int32_t>(c.step & 0xFFFF)) << c.pitch - c.origin;
  }
}

// Frame k holds the value k, read through a hard-left voice, so each output frame shows the frame
// the voice stood on. Steps: 1 frame in phase 0, 2 in phase 1, 4 in phase 2.
using ArpeggioTest = MixerTest;

TEST_F(ArpeggioTest, PhaseSwitchesEveryStepFramesAcrossCalls) {
  std::vector<int16_t> frames;
  for (int i = 0; i < 4000; ++i) frames.push_back(static_cast<int16_t>(i));
  const TestSample sample = makeSample(frames);
  const std::vector<uint32_t> table = StepTable(0x10000, 0);
  engine_->arpeggioStepFrames = 5;
  Voice v = voiceFor(sample);
  v.panning = -4096;
  v.stepTable = table.data();
  v.arpeggioOn = 1;
  v.arpeggioOffset1 = 3072;
  v.arpeggioOffset2 = 2 * 3072;
  UpdateVoiceStep(&v);
  // 40 frames in uneven calls; the switches must fall every 5 frames regardless.
  int32_t frame = 0;
  for (int32_t count : {3, 1, 7, 5, 2, 9, 13}) {
    EXPECT_EQ(mix(kInterpolationNone, v, frame, count, true), 1);
    frame += count;
    EXPECT_EQ(v.arpeggioCounter, frame % 5) << frame;
    EXPECT_EQ(v.arpeggioPhase, (frame / 5) % 3) << frame;
  }
  const int32_t stepOfPhase[] = {1, 2, 4};
  for (int32_t n = 1; n < 40; ++n)
    EXPECT_EQ(left(n) - left(n - 1), stepOfPhase[((n - 1) / 5) % 3]) << "frame " << n;
  EXPECT_EQ(v.position, 2 * 5 * (1 + 2 + 4 + 1 + 2 + 4 + 1 + 2));
  EXPECT_EQ(v.stepWhole, 8);  // phase 2 after 40 frames: 4 frames, 8 bytes
}

}  // namespace
}  // namespace tvp::testing
