// The engine's constant tables: the embedded big-endian resource, its loading, and the tables
// computed at load time.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mixer/interpolators.h"
#include "tests/mixer/mixer_fixture.h"

namespace tvp::testing {
namespace {

using ConstTablesTest = MixerTest;  // SetUp loads the embedded tables

TEST(ConstTablesResource, EmbeddedResourceIsExactlyTheEightTables) {
  ResourceBytes bytes{};
  ASSERT_TRUE(FindResource("TENG_CONST_DATA", &bytes));
  ASSERT_NE(bytes.data, nullptr);
  EXPECT_EQ(bytes.size, 94208);
  EXPECT_EQ(bytes.size, 4 * (kPeriodTableLength + kWaveformCount * kWaveformLength));
  // Period 1 is the highest pitch, 48353 = 0x0000BCE1, stored big-endian at offset 4.
  EXPECT_EQ(std::vector<uint8_t>(bytes.data + 4, bytes.data + 8), (std::vector<uint8_t>{0, 0, 0xBC, 0xE1}));
}

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

TEST_F(ConstTablesTest, WholeTablesFollowTheirFormulas) {
  // The constants that give the period table run from 48353.2340911 to 48353.2341454; entries
  // from constants just inside both ends must all agree with the stored ones.
  for (int i = 1; i < kPeriodTableLength; ++i) {
    const double l = 3072.0 * std::log2(static_cast<double>(i));
    ASSERT_EQ(engine_->periodTable[i], std::lround(48353.234092 - l)) << "period " << i;
    ASSERT_EQ(engine_->periodTable[i], std::lround(48353.234145 - l)) << "period " << i;
  }
  const int32_t* sine = engine_->lfoTables[0];
  for (int i = 1; i < 512; ++i) {
    ASSERT_GT(sine[i], 0) << i;
    const int32_t gap = sine[i] + sine[512 + i];  // toward zero: smaller by less than one
    ASSERT_TRUE(gap == 0 || gap == 1) << i;
  }
  for (int32_t i = -kThirdsTableHalf; i < kThirdsTableHalf; ++i) {
    const int32_t miss = 3 * engine_->thirdsTable[i] - i;  // at most a third of a unit away
    ASSERT_TRUE(miss >= -1 && miss <= 1) << i;
  }
  // The cubic loops compute the table's values with a multiply and a shift, one lane or four, over
  // the range of their dividends.
  ASSERT_GE(kThirdLowest, -kThirdsTableHalf);
  ASSERT_LE(kThirdLowest, (-32768 >> 1) - 32768);
  ASSERT_GE(kThirdHighest, (32767 >> 1) + 32767);
  for (int32_t i = kThirdLowest; i <= kThirdHighest; ++i) ASSERT_EQ(nearestThird(i), engine_->thirdsTable[i]) << i;
  for (int32_t i = kThirdLowest; i + 3 <= kThirdHighest; i += 4) {
    const Lanes4 thirds = nearestThird(Lanes4{i, i + 1, i + 2, i + 3});
    for (int32_t l = 0; l < 4; ++l) ASSERT_EQ(thirds[l], engine_->thirdsTable[i + l]) << i + l;
  }
  const double* p = engine_->pow2Table;
  EXPECT_EQ(p[0], 1.0);
  EXPECT_DOUBLE_EQ(p[256], std::pow(2.0, 1.0 / 12.0));  // one semitone
  EXPECT_DOUBLE_EQ(p[1536], std::sqrt(2.0));
  EXPECT_LT(p[kStepTableEntries - 1], 2.0);
  for (int i = 1; i < kStepTableEntries; ++i) ASSERT_GT(p[i], p[i - 1]) << i;
}

// What was made stays for freeConstTables (TearDown frees again), which LeakSanitizer watches.
TEST_F(ConstTablesTest, ShortOrMissingResourceIsNotFound) {
  freeConstTables(engine_);
  ResourceBytes bytes{};
  ASSERT_TRUE(FindResource(kConstTablesResource, &bytes));
  EXPECT_EQ(loadConstTables(engine_, bytes.data, kConstTablesSize - 1), kStatusNotFound);
  EXPECT_EQ(engine_->periodTable, nullptr);  // nothing half-read is left as if it were a table
  freeConstTables(engine_);
  EXPECT_EQ(loadConstTables(engine_, nullptr, 0), kStatusNotFound);
  freeConstTables(engine_);
  EXPECT_EQ(loadConstTables(engine_, nullptr, kConstTablesSize), kStatusNotFound);
}

}  // namespace
}  // namespace tvp::testing
