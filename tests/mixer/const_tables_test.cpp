// The engine's constant tables: the embedded big-endian resource, its loading, and the tables
// computed at load time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/sound_engine.h"
#include "mixer/const_tables.h"
#include "resources/resources.h"
#include "soundtrack/status.h"

namespace tvp {
namespace {

class ConstTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = static_cast<SoundEngine*>(std::calloc(1, sizeof(SoundEngine)));
    ASSERT_NE(engine_, nullptr);
  }
  void TearDown() override {
    freeConstTables(engine_);
    std::free(engine_);
  }
  void loadEmbedded() {
    ResourceBytes bytes{};
    ASSERT_TRUE(FindResource(kConstTablesResource, &bytes));
    ASSERT_EQ(loadConstTables(engine_, bytes.data, bytes.size), kStatusOk);
  }
  const int32_t* wave(int w) const { return engine_->lfoTables[w]; }

  SoundEngine* engine_ = nullptr;
};

TEST(ConstTablesResource, EmbeddedResourceIsExactlyTheEightTables) {
  ResourceBytes bytes{};
  ASSERT_TRUE(FindResource("TENG_CONST_DATA", &bytes));
  EXPECT_EQ(bytes.size, 94208);
  EXPECT_EQ(bytes.size, kConstTablesSize);
  EXPECT_EQ(bytes.size, 4 * (kPeriodTableLength + kWaveformCount * kWaveformLength));
  // Period 1 is the highest pitch, 48353 = 0x0000BCE1, stored big-endian at offset 4.
  ASSERT_NE(bytes.data, nullptr);
  EXPECT_EQ(bytes.data[4], 0x00);
  EXPECT_EQ(bytes.data[5], 0x00);
  EXPECT_EQ(bytes.data[6], 0xBC);
  EXPECT_EQ(bytes.data[7], 0xE1);
}

TEST_F(ConstTablesTest, PeriodTableHoldsTheTellingRows) {
  loadEmbedded();
  const int32_t* p = engine_->periodTable;
  EXPECT_EQ(p[0], 0);  // log2(0) has no value; periods are clamped to 1.. before lookups
  EXPECT_EQ(p[1], 48353);
  EXPECT_EQ(p[428], 21499);
  EXPECT_EQ(p[856], 18427);  // an octave (3072) below 428
  EXPECT_EQ(p[1712], 15355);
  EXPECT_EQ(p[16383], 5346);
}

TEST_F(ConstTablesTest, EveryPeriodAgreesWithBothEndsOfTheConstantsRange) {
  loadEmbedded();
  // The constants that give this table run from 48353.2340911 to 48353.2341454 (period 9759 sits
  // within 1e-9 of a half at the low end, so 48353.23409 itself would round it the other way).
  // Entries from constants just inside both ends must all agree with the stored ones.
  for (int i = 1; i < kPeriodTableLength; ++i) {
    const double l = 3072.0 * std::log2(static_cast<double>(i));
    ASSERT_EQ(engine_->periodTable[i], std::lround(48353.234092 - l)) << "period " << i;
    ASSERT_EQ(engine_->periodTable[i], std::lround(48353.234145 - l)) << "period " << i;
  }
}

TEST_F(ConstTablesTest, SineRoundsToNearestInTheFirstHalfAndTowardZeroInTheSecond) {
  loadEmbedded();
  EXPECT_EQ(wave(0)[0], 0);
  EXPECT_EQ(wave(0)[8], 3216);
  EXPECT_EQ(wave(0)[256], 65536);
  EXPECT_EQ(wave(0)[512], 0);
  EXPECT_EQ(wave(0)[520], -3215);  // not -3216: the table is not odd-symmetric to the last unit
  EXPECT_EQ(wave(0)[768], -65536);
  for (int i = 1; i < 512; ++i) {
    ASSERT_GT(wave(0)[i], 0) << i;
    ASSERT_LT(wave(0)[512 + i], 0) << 512 + i;
    // Rounding toward zero can only make the second half smaller in size, by less than one.
    const int32_t gap = wave(0)[i] + wave(0)[512 + i];
    ASSERT_TRUE(gap == 0 || gap == 1) << i;
  }
}

TEST_F(ConstTablesTest, OtherWaveformsHoldTheirRows) {
  loadEmbedded();
  // Triangle.
  EXPECT_EQ(wave(1)[0], 0);
  EXPECT_EQ(wave(1)[128], 32768);
  EXPECT_EQ(wave(1)[256], 65536);
  EXPECT_EQ(wave(1)[512], 0);
  EXPECT_EQ(wave(1)[768], -65536);
  EXPECT_EQ(wave(1)[1023], -256);
  // Rising ramp.
  EXPECT_EQ(wave(2)[0], -65536);
  EXPECT_EQ(wave(2)[512], 0);
  EXPECT_EQ(wave(2)[1023], 65408);
  // Falling ramp.
  EXPECT_EQ(wave(3)[0], 65536);
  EXPECT_EQ(wave(3)[512], 0);
  EXPECT_EQ(wave(3)[1023], -65408);
  // Square and the two half-squares switch between entries 511 and 512.
  EXPECT_EQ(wave(4)[0], 65536);
  EXPECT_EQ(wave(4)[511], 65536);
  EXPECT_EQ(wave(4)[512], -65536);
  EXPECT_EQ(wave(4)[1023], -65536);
  EXPECT_EQ(wave(5)[511], 65536);
  EXPECT_EQ(wave(5)[512], 0);
  EXPECT_EQ(wave(6)[511], 0);
  EXPECT_EQ(wave(6)[512], -65536);
  EXPECT_EQ(wave(6)[1023], -65536);
}

TEST_F(ConstTablesTest, ThirdsTableIsTheNearestThirdOverItsWholeRange) {
  loadEmbedded();
  const int16_t* t = engine_->thirdsTable;
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t[-65536], -21845);
  EXPECT_EQ(t[65535], 21845);
  EXPECT_EQ(t[1], 0);
  EXPECT_EQ(t[-1], 0);
  EXPECT_EQ(t[2], 1);
  EXPECT_EQ(t[-2], -1);
  EXPECT_EQ(t[0], 0);
  for (int32_t i = -kThirdsTableHalf; i < kThirdsTableHalf; ++i) {
    const int32_t miss = 3 * t[i] - i;  // at most one third of a unit away
    ASSERT_TRUE(miss >= -1 && miss <= 1) << i;
  }
}

TEST_F(ConstTablesTest, Pow2TableSpansOneOctave) {
  loadEmbedded();
  const double* p = engine_->pow2Table;
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 1.0);
  EXPECT_DOUBLE_EQ(p[1536], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(p[256], std::pow(2.0, 1.0 / 12.0));  // one semitone
  EXPECT_LT(p[kStepTableEntries - 1], 2.0);
  for (int i = 1; i < kStepTableEntries; ++i) ASSERT_GT(p[i], p[i - 1]) << i;
}

TEST_F(ConstTablesTest, ResourceOneByteShortIsNotFound) {
  ResourceBytes bytes{};
  ASSERT_TRUE(FindResource(kConstTablesResource, &bytes));
  EXPECT_EQ(loadConstTables(engine_, bytes.data, 94207), -43);
  // Nothing half-read is left behind as if it were a table; what was made is the caller's to free
  // (TearDown), which the leak checker of sanitizer builds watches.
  EXPECT_EQ(engine_->periodTable, nullptr);
  EXPECT_EQ(engine_->pow2Table, nullptr);
}

TEST_F(ConstTablesTest, MissingResourceIsNotFound) {
  EXPECT_EQ(loadConstTables(engine_, nullptr, 0), kStatusNotFound);
  freeConstTables(engine_);
  EXPECT_EQ(loadConstTables(engine_, nullptr, kConstTablesSize), kStatusNotFound);
}

TEST_F(ConstTablesTest, WordsAreReadBigEndianAtTheirOffsets) {
  // A crafted resource: marks at the first and last word of every table.
  std::vector<uint8_t> bytes(kConstTablesSize, 0);
  auto put = [&](int32_t offset, uint32_t v) {
    bytes[offset] = static_cast<uint8_t>(v >> 24);
    bytes[offset + 1] = static_cast<uint8_t>(v >> 16);
    bytes[offset + 2] = static_cast<uint8_t>(v >> 8);
    bytes[offset + 3] = static_cast<uint8_t>(v);
  };
  put(0, 0x80000001u);
  put(65532, 0x01020304u);
  for (int w = 0; w < kWaveformCount; ++w) {
    put(65536 + 4096 * w, 0xFFFFFF00u + static_cast<uint32_t>(w));
    put(65536 + 4096 * w + 4092, 0x00010000u + static_cast<uint32_t>(w));
  }
  ASSERT_EQ(loadConstTables(engine_, bytes.data(), static_cast<int32_t>(bytes.size())), kStatusOk);
  EXPECT_EQ(engine_->periodTable[0], -2147483647);
  EXPECT_EQ(engine_->periodTable[16383], 0x01020304);
  for (int w = 0; w < kWaveformCount; ++w) {
    EXPECT_EQ(wave(w)[0], -256 + w) << w;
    EXPECT_EQ(wave(w)[1023], 65536 + w) << w;
    EXPECT_EQ(wave(w)[1], 0) << w;
  }
}

TEST_F(ConstTablesTest, FreeReleasesEveryTableAndMayRunTwice) {
  loadEmbedded();
  freeConstTables(engine_);
  EXPECT_EQ(engine_->periodTable, nullptr);
  EXPECT_EQ(engine_->pow2Table, nullptr);
  EXPECT_EQ(engine_->thirdsTable, nullptr);
  EXPECT_EQ(engine_->thirdsBlock, nullptr);
  for (int w = 0; w < kWaveformCount; ++w) EXPECT_EQ(engine_->lfoTables[w], nullptr);
  freeConstTables(engine_);  // TearDown frees once more
}

}  // namespace
}  // namespace tvp
