#include "app/settings_reader.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "soundtrack/status.h"
#include "tests/app/temp_dir.h"

namespace tvp::test {
namespace {

class SettingsReaderTest : public ::testing::Test {
 protected:
  int32_t load(const std::string& text) { return reader.Load(dir.write("tpw32.ini", text).c_str()); }
  std::string text(const char* key) {
    const char* value = reader.GetString(key, nullptr);
    return value != nullptr ? value : "<absent>";
  }

  TempDir dir;
  SettingsReader reader;
};

TEST_F(SettingsReaderTest, KeysMatchInAnyCaseAndTheFirstWordBeforeTheEqualsSignIsTheKey) {
  ASSERT_EQ(load("samplerate = 22050\n"
                 "MY KEY = 5\n"
                 "\tTabbed\t=\t4\r\n"
                 "inner = a=b  c  \n"
                 "ONLYAKEY\n"
                 "NOTHING =   \n"
                 "   \n"),
            kStatusOk);
  EXPECT_EQ(reader.GetInteger("SAMPLERATE", 0), 22050);
  EXPECT_EQ(reader.GetInteger("samplerate", -1), -1);  // lookups are exact: callers pass upper case
  EXPECT_EQ(text("MY"), "5");
  EXPECT_EQ(text("TABBED"), "4");
  EXPECT_EQ(text("INNER"), "a=b  c");
  EXPECT_EQ(text("ONLYAKEY"), "<absent>");
  EXPECT_EQ(text("NOTHING"), "<absent>");
  EXPECT_EQ(reader.count(), 4);
}

TEST_F(SettingsReaderTest, CommentsRunFromTheFirstNumberSignWhereverItIs) {
  ASSERT_EQ(load("# OPENDIR = C:\\a\\\n"
                 "OPENDIR = D:\\Music Files\\   # where the songs are\n"
                 "OTHER = D:\\#Music\n"
                 "GONE = # nothing left\n"),
            kStatusOk);
  EXPECT_EQ(text("OPENDIR"), "D:\\Music Files\\");
  EXPECT_EQ(text("OTHER"), "D:\\");
  EXPECT_EQ(text("GONE"), "<absent>");
}

TEST_F(SettingsReaderTest, IntegersDetectTheirBaseStopAtTheFirstMisfitAndSaturate) {
  ASSERT_EQ(load("HEX=0x50\nOCT=010\nTAIL=12abc\nWORD=abc\nNEG=-0X10\nPLUS=+7\nBAREX=0x\n"
                 "MAX=2147483647\nOVER=2147483648\nHUGE=99999999999999999999999\n"
                 "MIN=-2147483648\nUNDER=-2147483649\nHEXOVER=0xFFFFFFFF\n"),
            kStatusOk);
  EXPECT_EQ(reader.GetInteger("HEX", -1), 80);
  EXPECT_EQ(reader.GetInteger("OCT", -1), 8);
  EXPECT_EQ(reader.GetInteger("TAIL", -1), 12);
  EXPECT_EQ(reader.GetInteger("WORD", -1), 0);
  EXPECT_EQ(reader.GetInteger("NEG", -1), -16);
  EXPECT_EQ(reader.GetInteger("PLUS", -1), 7);
  EXPECT_EQ(reader.GetInteger("BAREX", -1), 0);
  EXPECT_EQ(reader.GetInteger("MAX", 0), INT32_MAX);
  EXPECT_EQ(reader.GetInteger("OVER", 0), INT32_MAX);
  EXPECT_EQ(reader.GetInteger("HUGE", 0), INT32_MAX);
  EXPECT_EQ(reader.GetInteger("MIN", 0), INT32_MIN);
  EXPECT_EQ(reader.GetInteger("UNDER", 0), INT32_MIN);
  EXPECT_EQ(reader.GetInteger("HEXOVER", 0), INT32_MAX);
  EXPECT_EQ(reader.GetInteger("ABSENT", 1234), 1234);
}

TEST_F(SettingsReaderTest, BooleansAreTrueOrYesAndAreUpperCasedInPlace) {
  ASSERT_EQ(load("A=yes\nB=True\nC=1\nD=ON\nE=TRUE!\nF=no\n"), kStatusOk);
  EXPECT_EQ(reader.GetBoolean("A", 0), 1);
  EXPECT_EQ(reader.GetBoolean("B", 0), 1);
  EXPECT_EQ(reader.GetBoolean("C", 1), 0);
  EXPECT_EQ(reader.GetBoolean("D", 1), 0);
  EXPECT_EQ(reader.GetBoolean("E", 1), 0);
  EXPECT_EQ(reader.GetBoolean("ABSENT", 1), 1);
  EXPECT_EQ(text("B"), "TRUE");
  EXPECT_EQ(text("F"), "no");  // only a boolean lookup changes the text
}

TEST_F(SettingsReaderTest, ALaterLineReplacesItsKeyInPlaceAndOnly128KeysAreKept) {
  std::string file = "First=1\nSECOND=2\n";
  for (int i = 0; i < 200; ++i) file += "K" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  file += "first = again\n";
  ASSERT_EQ(load(file), kStatusOk);
  ASSERT_EQ(reader.count(), 128);
  EXPECT_STREQ(reader.key(0), "FIRST");
  EXPECT_STREQ(reader.value(0), "again");
  EXPECT_STREQ(reader.key(127), "K125");
  EXPECT_EQ(text("K126"), "<absent>");

  // A second load adds to the table; a file that cannot be opened leaves it as it is.
  EXPECT_EQ(reader.Load(dir.write("more.ini", "K0 = zero\n").c_str()), kStatusOk);
  EXPECT_EQ(text("K0"), "zero");
  EXPECT_EQ(reader.Load(dir.file("missing.ini").c_str()), kStatusNotFound);
  EXPECT_EQ(reader.Load(nullptr), kStatusNotFound);
  EXPECT_EQ(reader.count(), 128);
  EXPECT_EQ(text("K0"), "zero");
}

TEST_F(SettingsReaderTest, ALineLongerThan510CharactersGoesOnAsAFurtherLine) {
  const std::string value(505, 'v');  // "LONG=" and the value fill one read exactly
  ASSERT_EQ(load("LONG=" + value + "NEXT=7\n" + "FULL=" + std::string(505, 'w') + "\nAFTER=1\n"), kStatusOk);
  EXPECT_EQ(text("LONG"), value);
  EXPECT_EQ(reader.GetInteger("NEXT", 0), 7);
  EXPECT_EQ(text("FULL"), std::string(505, 'w'));
  EXPECT_EQ(reader.GetInteger("AFTER", 0), 1);
}

TEST_F(SettingsReaderTest, HostileFilesAreReadWithoutHarm) {
  // Binary junk, NUL bytes, megabytes without a line feed, and many thousands of lines.
  std::mt19937 random(12);
  std::vector<uint8_t> junk(1 << 20);
  for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
  EXPECT_EQ(reader.Load(dir.write("junk.ini", junk).c_str()), kStatusOk);
  EXPECT_LE(reader.count(), 128);

  SettingsReader nul;
  ASSERT_EQ(nul.Load(dir.write("nul.ini", std::string("A=1\0HIDDEN=2\nB=\0\nC=3\n", 22)).c_str()), kStatusOk);
  EXPECT_EQ(nul.GetInteger("A", 0), 1);
  EXPECT_EQ(nul.GetString("HIDDEN", nullptr), nullptr);
  EXPECT_EQ(nul.GetString("B", nullptr), nullptr);
  EXPECT_EQ(nul.GetInteger("C", 0), 3);

  SettingsReader endless;
  ASSERT_EQ(endless.Load(dir.write("endless.ini", std::string(3 << 20, '=') + "\nEND=1\n").c_str()), kStatusOk);
  // Every 510-character piece is an empty key with a value of "="s; the next line is read as usual.
  EXPECT_EQ(endless.count(), 2);
  EXPECT_EQ(std::string(endless.key(0)), "");
  EXPECT_EQ(endless.GetInteger("END", 0), 1);

  SettingsReader many;
  std::string lines;
  for (int i = 0; i < 50000; ++i) lines += "KEY" + std::to_string(i % 1000) + " = " + std::to_string(i) + "\n";
  ASSERT_EQ(many.Load(dir.write("many.ini", lines).c_str()), kStatusOk);
  EXPECT_EQ(many.count(), 128);
  EXPECT_EQ(many.GetInteger("KEY0", 0), 49000);

  // A file that never ends (a device, a pipe) stops being read after some megabytes.
  SettingsReader device;
  EXPECT_EQ(device.Load("/dev/zero"), kStatusOk);
  EXPECT_EQ(device.count(), 0);
}

}  // namespace
}  // namespace tvp::test
