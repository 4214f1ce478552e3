// The engine's constant tables: the telling rows of each table.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mixer/interpolators.h"
#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

using ConstTablesTest = MixerTest;  // SetUp loads the embedded tables

TEST_F(ConstTablesTest, TablesHoldTheTellingRows) {
  struct Row {
    int table;  // -1 the periods, 0..6 the waveforms
    int index;
    int32_t value;
  };
  const Row rows[] = {
      {-1, 0, 0}, {-1, 1, 48353}, {-1, 428, 21499}, {-1, 856, 18427}, {-1, 1712, 15355}, {-1, 16383, 5346},
      // Sine: rounded to nearest in the first half, toward zero in the second (-3215, not -3216).
      {0, 0, 0}, {0, 8, 3216}, {0, 256, 65536}, {0, 512, 0}, {0, 520, -3215}, {0, 768, -65536},
      {1, 128, 32768}, {1, 256, 65536}, {1, 512, 0}, {1, 768, -65536}, {1, 1023, -256},  // triangle
      {2, 0, -65536}, {2, 512, 0}, {2, 1023, 65408},                                     // rising ramp
      {3, 0, 65536}, {3, 512, 0}, {3, 1023, -65408},                                     // falling ramp
      // Square and the two half-squares switch between entries 511 and 512.
      {4, 511, 65536}, {4, 512, -65536}, {4, 1023, -65536}, {5, 511, 65536}, {5, 512, 0},
      {6, 511, 0}, {6, 512, -65536}, {6, 1023, -65536},
  };
  for (const Row& r : rows) {
    const int32_t* table = r.table < 0 ? engine_->periodTable : engine_->lfoTables[r.table];
    EXPECT_EQ(table[r.index], r.value) << "table " << r.table << " entry " << r.index;
  }
  const int16_t* t = engine_->thirdsTable;
  const std::pair<int32_t, int16_t> thirds[] = {{-65536, -21845}, {65535, 21845}, {0, 0}, {1, 0},
                                                {-1, 0},          {2, 1},         {-2, -1}};
  for (auto [i, third] : thirds) EXPECT_EQ(t[i], third) << i;
}

// The cubic loops compute the table's values with a multiply and a shift, one lane or four.
TEST_F(ConstTablesTest, TheLoopsThirdsEqualTheTableOverItsWholeRange) {
  for (int32_t i = -kThirdsTableHalf; i < kThirdsTableHalf; i += 4) {
    const Lanes4 thirds = nearestThird(Lanes4{i, i + 1, i + 2, i + 3});
    for (int32_t l = 0; l < 4; ++l) {
      ASSERT_EQ(nearestThird(i + l), engine_->thirdsTable[i + l]) << i + l;
      ASSERT_EQ(thirds[l], engine_->thirdsTable[i + l]) << i + l;
    }
  }
}

}  // namespace
}  // namespace tvp::testing
