#include "app/player_settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "app/player_state.h"
#include "tests/app/temp_dir.h"

namespace tvp::test {
namespace {

// One settings file of `text`, read the way the start-up reads it.
class PlayerSettingsTest : public ::testing::Test {
 protected:
  PlayerSettingsTest() { state.settingsReader = &reader; }
  const PlayerSettings& read(const std::string& text) {
    ReadPlayerSettings(state, dir.write("tpw32.ini", text).c_str());
    return state.settings;
  }
  int32_t framesFor(const std::string& value) {
    SettingsReader fresh;
    fresh.Load(dir.write("frames.ini", "FRAMESPERBUFFER=" + value + "\n").c_str());
    return SettleSettings(fresh).framesPerBuffer;
  }

  TempDir dir;
  SettingsReader reader;
  PlayerState state;
};

void ExpectDefaults(const PlayerSettings& s) {
  EXPECT_EQ(s.sampleRate, 44100);
  EXPECT_EQ(s.bitsPerSample, 16);
  EXPECT_EQ(s.stereo, 1);
  EXPECT_EQ(s.masterVolume, 32768);
  EXPECT_EQ(s.framesPerBuffer, 4096);
  EXPECT_EQ(s.interpolation, 0);
  EXPECT_EQ(s.a4Frequency, 440);
  EXPECT_EQ(s.speed, 100);
  EXPECT_TRUE(s.resetParams);
  EXPECT_EQ(s.resolutionX, 320);
  EXPECT_EQ(s.resolutionY, 240);
  EXPECT_EQ(s.openDir, nullptr);
  EXPECT_EQ(s.display, 1);
  EXPECT_FALSE(s.vsync || s.autoOpen || s.autoStart || s.mouseCursor || s.drawFps || s.flip || s.window);
}

TEST_F(PlayerSettingsTest, WithoutAFileEveryKeyHasItsDefault) {
  state.displayMode = 3;
  ReadPlayerSettings(state, dir.file("none.ini").c_str());
  ExpectDefaults(state.settings);
  EXPECT_EQ(state.displayMode, 1);
}

TEST_F(PlayerSettingsTest, TheShippedSampleHoldsEveryKeyAtItsDefault) {
  ReadPlayerSettings(state, TVP_SAMPLE_SETTINGS);
  ExpectDefaults(state.settings);
  std::stringstream text;
  text << std::ifstream(TVP_SAMPLE_SETTINGS).rdbuf();
  for (const char* key : {"SAMPLERATE", "MASTERVOL", "FRAMESPERBUFFER", "INTERPOLATION", "A4FREQ", "SPEED",
                          "RESETPARAMS", "RESOLUTION_X", "RESOLUTION_Y", "VSYNC", "OPENDIR", "AUTOOPEN",
                          "AUTOSTART", "DISPLAY", "MOUSECURSOR", "DRAWFPS", "FLIP", "WINDOW"})
    EXPECT_NE(text.str().find(std::string("\n") + key + " ="), std::string::npos) << key;
  EXPECT_EQ(reader.count(), 17);  // OPENDIR is there without a value
}

TEST_F(PlayerSettingsTest, ValuesAreTakenAsReadExceptTheThreeCorrectedOnes) {
  const PlayerSettings& s = read(
      "samplerate=fast\nMASTERVOL=-5\nINTERPOLATION=5\nDISPLAY=0\nSPEED=0x50\nA4FREQ=432\n"
      "VSYNC=1\nWINDOW=ON\nAUTOSTART=yes\nRESETPARAMS=no\nOPENDIR = ~/mods/old songs/\n");
  EXPECT_EQ(s.sampleRate, 0);
  EXPECT_EQ(s.masterVolume, -5);
  EXPECT_EQ(s.interpolation, 0);
  EXPECT_EQ(s.display, 1);
  EXPECT_EQ(state.displayMode, 1);
  EXPECT_EQ(s.speed, 80);
  EXPECT_EQ(s.a4Frequency, 432);
  EXPECT_FALSE(s.vsync);
  EXPECT_FALSE(s.window);
  EXPECT_TRUE(s.autoStart);
  EXPECT_FALSE(s.resetParams);
  EXPECT_STREQ(s.openDir, "~/mods/old songs/");

  SettingsReader other;
  other.Load(dir.write("other.ini", "INTERPOLATION=7\nDISPLAY=9\n").c_str());
  PlayerSettings t = SettleSettings(other);
  EXPECT_EQ(t.interpolation, 7);
  EXPECT_EQ(t.display, 4);
}

TEST_F(PlayerSettingsTest, FramesPerBufferIsRoundedUpToAMultipleOf256WithinTheEnginesLimit) {
  EXPECT_EQ(framesFor("300"), 512);
  EXPECT_EQ(framesFor("257"), 512);
  EXPECT_EQ(framesFor("256"), 256);
  EXPECT_EQ(framesFor("0"), 256);
  EXPECT_EQ(framesFor("-300"), 256);
  EXPECT_EQ(framesFor("4096"), 4096);
  EXPECT_EQ(framesFor(std::to_string(kMaxFramesPerBuffer - 255)), kMaxFramesPerBuffer);
  EXPECT_EQ(framesFor(std::to_string(kMaxFramesPerBuffer)), kMaxFramesPerBuffer);
  // Near the integer limits the rounding would wrap; such values are limited instead.
  EXPECT_EQ(framesFor(std::to_string(kMaxFramesPerBuffer + 1)), kMaxFramesPerBuffer);
  EXPECT_EQ(framesFor("2147483647"), kMaxFramesPerBuffer);
  EXPECT_EQ(framesFor("0x7FFFFF01"), kMaxFramesPerBuffer);
  EXPECT_EQ(framesFor("99999999999"), kMaxFramesPerBuffer);
  EXPECT_EQ(framesFor("-2147483648"), 256);
}

TEST_F(PlayerSettingsTest, TheFileInTheWorkingDirectoryComesBeforeTheConfigurationDirectory) {
  const std::string local = dir.file("tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "/xdg", "/home/ana"), "/xdg/tonvale/tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "", "/home/ana"), "/home/ana/.config/tonvale/tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "relative/dir", "/home/ana"), "/home/ana/.config/tonvale/tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), nullptr, "/home/ana"), "/home/ana/.config/tonvale/tpw32.ini");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), nullptr, nullptr), local);
  dir.write("tpw32.ini", "SPEED=50\n");
  EXPECT_EQ(ChooseSettingsPath(local.c_str(), "/xdg", "/home/ana"), local);
}

}  // namespace
}  // namespace tvp::test
