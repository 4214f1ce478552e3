// ProTracker's rules as MODs play them: what a render of a module built in memory gives.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/loaded_song.h"
#include "tests/support/mod_builder.h"

namespace tvp::test {
namespace {

std::vector<uint8_t> Render(const ModBuilder& b) { return RenderBytes(LoadedSong(b.bytes()).get(), RenderSettings{}); }

// Sign changes of the left channel: twice the frequency, for a square wave.
double Crossings(const std::vector<uint8_t>& audio) {
  int count = 0;
  bool above = false;
  for (size_t i = 0; i + 4 <= audio.size(); i += 4) {
    const auto left = static_cast<int16_t>(audio[i] | audio[i + 1] << 8);
    if (left != 0 && (left > 0) != above) ++count, above = left > 0;
  }
  return count;
}

bool Silent(const std::vector<uint8_t>& audio) {
  return std::all_of(audio.begin(), audio.end(), [](uint8_t b) { return b == 0; });
}

TEST(ModRules, AnOffsetPastTheEndOfALoopingSamplePlaysItsLoop) {
  for (const bool looping : {true, false}) {
    ModBuilder b;
    b.orders({0}).sample(0, {.words = 500, .repeatStart = looping ? 250 : 0, .repeatLength = looping ? 250 : 1});
    for (int row = 0; row < 64; row += 8) b.cell(0, row, 0, {1, 428, 0x9, 0x10});  // 4096 frames in
    const std::vector<uint8_t> audio = Render(b);
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(Silent(audio), !looping) << (looping ? "the loop plays" : "a sample without a loop has ended");
  }
}

TEST(ModRules, E5xPlaysTheRowsNoteAtThatFineTune) {
  // A note given fine-tune 5 by E55 sounds as the same note of a sample whose own fine-tune is 5.
  ModBuilder tuned, told;
  tuned.orders({0}).sample(0, {.words = 32, .fineTune = 5, .repeatStart = 0, .repeatLength = 32});
  told.orders({0}).sample(0, {.words = 32, .repeatStart = 0, .repeatLength = 32});
  for (int row = 0; row < 64; row += 4) {
    tuned.cell(0, row, 0, {1, 428 - row, 0, 0});
    told.cell(0, row, 0, {1, 428 - row, 0xE, 0x55});
  }
  ModBuilder plain = told;
  for (int row = 0; row < 64; row += 4) plain.cell(0, row, 0, {1, 428 - row, 0, 0});
  const double toldCrossings = Crossings(Render(told));
  ASSERT_GT(toldCrossings, 1000);
  // Fine-tune 5 is 5/96 of an octave, 3.7 % higher; periods round to a quarter.
  EXPECT_NEAR(toldCrossings / Crossings(Render(tuned)), 1.0, 0.002);
  EXPECT_NEAR(toldCrossings / Crossings(Render(plain)), 1.037, 0.005);
}

}  // namespace
}  // namespace tvp::test
