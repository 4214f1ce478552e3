#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/player_settings.h"
#include "app/player_state.h"
#include "app/settings_reader.h"
#include "soundtrack/status.h"
#include "tests/app/temp_dir.h"

namespace tvp::test {
namespace {

TEST(SettingsReader, LinesKeysValuesAndComments) {
  TempDir dir;
  SettingsReader r;
  const std::string longValue(505, 'v');  // "LONG=" and the value fill one 510-character read
  ASSERT_EQ(r.Load(dir.write("a.ini", "samplerate = 22050\nMZ KEY = 5\n\tTabbed\t=\t4\r\ninner = a=b  c  \n"
                                      "ONLYAKEY\nNOTHING =   \nOPENDIR = D:\\Music Files\\   # songs\n"
                                      "OTHER = D:\\#Music\n# COMMENT = 1\nLONG=" + longValue + "NEXT=7\n"
                                      "mz = later\n").c_str()), kStatusOk);
  // In the order keys first appeared.
  const std::vector<std::pair<const char*, std::string>> expected = {
      {"SAMPLERATE", "22050"}, {"MZ", "later"}, {"TABBED", "4"}, {"INNER", "a=b  c"},
      {"OPENDIR", "D:\\Music Files\\"}, {"OTHER", "D:\\"}, {"LONG", longValue}, {"NEXT", "7"}};
  ASSERT_EQ(r.count(), static_cast<int32_t>(expected.size()));
  for (int32_t i = 0; i < r.count(); ++i) EXPECT_EQ(r.key(i) + ("=" + std::string(r.value(i))),
                                                    expected[i].first + ("=" + expected[i].second));
  EXPECT_EQ(r.Load(dir.file("missing.ini").c_str()), kStatusNotFound);
  EXPECT_EQ(r.count(), static_cast<int32_t>(expected.size()));  // a failed load changes nothing
}

TEST(SettingsReader, IntegersSaturateAndBooleansAreUpperCasedInPlace) {
  TempDir dir;
  SettingsReader r;
  r.Load(dir.write("a.ini", "HEX=0x50\nOCT=010\nTAIL=12abc\nWORD=abc\nNEG=-0X10\nBAREX=0x\nOVER=2147483648\n"
                            "HUGE=99999999999999999999999\nUNDER=-2147483649\nHEXOVER=0xFFFFFFFF\n"
                            "A=yes\nB=True\nC=1\nD=ON\nE=TRUE!\n").c_str());
  const std::vector<std::pair<const char*, int32_t>> numbers = {
      {"HEX", 80}, {"OCT", 8}, {"TAIL", 12}, {"WORD", 0}, {"NEG", -16}, {"BAREX", 0}, {"OVER", INT32_MAX},
      {"HUGE", INT32_MAX}, {"UNDER", INT32_MIN}, {"HEXOVER", INT32_MAX}, {"ABSENT", 1234}};
  for (const auto& [key, value] : numbers) EXPECT_EQ(r.GetInteger(key, 1234), value) << key;
  for (const auto& [key, value] : std::vector<std::pair<const char*, int32_t>>{
           {"A", 1}, {"B", 1}, {"C", 0}, {"D", 0}, {"E", 0}, {"ABSENT", 1}})
    EXPECT_EQ(r.GetBoolean(key, 1), value) << key;
  EXPECT_STREQ(r.GetString("B", nullptr), "TRUE");
}

TEST(SettingsReader, KeepsThe128FirstKeysAndSurvivesHostileFiles) {
  TempDir dir;
  std::string many;
  for (int i = 0; i < 50000; ++i) many += "KEY" + std::to_string(i % 1000) + " = " + std::to_string(i) + "\n";
  SettingsReader r, nul, endless, binary, device;
  ASSERT_EQ(r.Load(dir.write("many.ini", many).c_str()), kStatusOk);
  EXPECT_EQ(r.count(), 128);
  EXPECT_EQ(r.GetInteger("KEY0", 0), 49000);  // replaced in place
  EXPECT_STREQ(r.key(127), "KEY127");

  nul.Load(dir.write("nul.ini", std::string("A=1\0HIDDEN=2\nB=\0\nC=3\n", 22)).c_str());
  EXPECT_EQ(nul.count(), 2);  // a NUL byte ends its line's text
  // Megabytes without a line feed: every 510-character piece is an empty key; the next line counts.
  endless.Load(dir.write("endless.ini", std::string(3 << 20, '=') + "\nEND=1\n").c_str());
  EXPECT_EQ(endless.GetInteger("END", 0), 1);
  std::mt19937 random(12);
  std::string junk(1 << 20, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  EXPECT_EQ(binary.Load(dir.write("junk.ini", junk).c_str()), kStatusOk);
  EXPECT_LE(binary.count(), 128);
  EXPECT_EQ(device.Load("/dev/zero"), kStatusOk);  // a file that never ends is read only so far
}

TEST(PlayerSettings, OnlyInterpolationDisplayAndFramesPerBufferAreCorrected) {
  TempDir dir;
  auto settle = [&](const std::string& text, SettingsReader& reader) {  // OPENDIR lives in the reader
    reader.Load(dir.write("tpw32.ini", text).c_str());
    return SettleSettings(reader);
  };
  SettingsReader first, second;
  PlayerSettings s = settle("samplerate=fast\nMASTERVOL=-5\nINTERPOLATION=5\nDISPLAY=0\nVSYNC=1\nWINDOW=ON\n"
                            "AUTOSTART=yes\nRESETPARAMS=no\nOPENDIR = ~/mods/old songs/\n", first);
  EXPECT_EQ(std::tie(s.sampleRate, s.masterVolume, s.interpolation, s.display), std::make_tuple(0, -5, 0, 1));
  EXPECT_FALSE(s.vsync || s.window || s.resetParams || !s.autoStart);
  EXPECT_STREQ(s.openDir, "~/mods/old songs/");
  s = settle("INTERPOLATION=7\nDISPLAY=5\nVSYNC=yes\n", second);
  EXPECT_EQ(std::tie(s.interpolation, s.display, s.vsync), std::make_tuple(7, 4, true));

  // Rounded up to a multiple of 256, at least 256; near the integer limits limited, not wrapped.
  const int32_t top = kMaxFramesPerBuffer;
  for (const auto& [value, frames] : std::vector<std::pair<std::string, int32_t>>{
           {"300", 512}, {"257", 512}, {"256", 256}, {"0", 256}, {"-300", 256}, {"4096", 4096},
           {std::to_string(top - 255), top}, {std::to_string(top + 1), top}, {"2147483647", top},
           {"0x7FFFFF01", top}, {"-2147483648", 256}}) {
    SettingsReader reader;
    EXPECT_EQ(settle("FRAMESPERBUFFER=" + value, reader).framesPerBuffer, frames) << value;
  }
}

TEST(PlayerSettings, TheFileInTheWorkingDirectoryComesBeforeTheConfigurationDirectory) {
  TempDir dir;
  const std::string local = dir.file("tpw32.ini"), config = "/home/ana/.config/tonvale/tpw32.ini";
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "/xdg", "/home/ana"), "/xdg/tonvale/tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "relative/dir", "/home/ana"), config);
  dir.write("tpw32.ini", std::string("SPEED=50\n"));
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "/xdg", "/home/ana"), local);
}

}  // namespace
}  // namespace tvp::test
