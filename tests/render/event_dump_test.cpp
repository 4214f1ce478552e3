// Event listings: every handler's name, the line format of a pattern dump and the channel count.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include "soundtrack/event_dump.h"
#include "tests/support/song_builder.h"

namespace tvp::test {
namespace {

std::string Captured(const std::function<void(std::FILE*)>& write) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  write(file);
  std::rewind(file);
  std::string text;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

TEST(EventDump, EveryHandlerHasItsOwnNameAndOtherCodesNone) {
  const std::pair<int32_t, const char*> known[] = {
      {0x111, "GotoPlayPosition"}, {0x1F0, "NextPlayPosition"}, {0x221, "SetTempo"},
      {0x603, "MultiplyVariable"}, {0xA21, "SetSongMode"},      {0x1101, "SetVolume"},
      {0x1281, "ResetPanning"},    {0x13C5, "SetArpeggioCounter"}, {0x1449, "PeriodVibrato"}};
  for (auto [code, name] : known) {
    ASSERT_NE(EventName(code), nullptr) << std::hex << code;
    EXPECT_STREQ(EventName(code), name);
  }
  std::set<std::string> names;
  for (int32_t code = -1; code <= 0x1600; ++code)
    if (const char* name = EventName(code)) names.insert(name);
  EXPECT_EQ(names.size(), 80u);  // the engine's 80 handlers, no name twice
  for (int32_t code : {0, 0x110, 0x1104, 0x1500, -1, 0x7FFFFFFF}) EXPECT_EQ(EventName(code), nullptr) << code;
}

TEST(EventDump, PositionsThenEachPatternOneEventALineWithoutItsHead) {
  SongBuilder song;
  song.addInitialSettings();
  int32_t body = song.addPattern({{0x1203, 3, EventCode::SetVolume, 0x10000},
                                  {0x1203, 3, EventCode::AddPitch, -256},
                                  {0x2000, 31, 0x1234, 7}},
                                 64);
  song.setPlayPositions({0, body, body});
  std::string text = Captured([&](std::FILE* f) { WriteSoundtrackEvents(f, song.get()); });
  EXPECT_EQ(text,
            "play positions (3): 0 1 1\n"
            "pattern 0\n"
            "  0    0.00   0 SetSpeed                 00000006\n"
            "  0    0.00   0 SetTempo                 0000007D\n"
            "  0    0.00   0 NextPlayPosition         00000000\n"
            "pattern 1\n"
            "  1   18.03   3 SetVolume                00010000\n"
            "  1   18.03   3 AddPitch                 FFFFFF00\n"
            "  1   32.00  31 ?0x1234                  00000007\n"
            "  1   64.00   0 NextPlayPosition         00000000\n");
  // One pattern alone: the same lines, the head record left out.
  std::string one = Captured([&](std::FILE* f) { EXPECT_EQ(WritePatternEvents(f, body, song.get()->patterns[body]), 4); });
  EXPECT_EQ(one, text.substr(text.find("pattern 1\n") + 10));
  EXPECT_EQ(WritePatternEvents(stdout, 0, nullptr), 0);
}

TEST(EventDump, ChannelsCountOnlyEventsThatActOnAVoice) {
  SongBuilder song;
  EXPECT_EQ(CountChannels(song.get()), 0);
  song.addPattern({{0, 0, EventCode::SetVariable, 32}}, 1);  // the channel field is a variable
  song.addPattern({{0, 40, EventCode::SetSongMode, 0}, {0, 9, EventCode::SetTempo, 125}}, 1);
  EXPECT_EQ(CountChannels(song.get()), 0);
  song.addPattern({{0, 5, EventCode::SetPanning, 0}, {0, 2, EventCode::StartSample, 0}}, 1);
  EXPECT_EQ(CountChannels(song.get()), 6);
  EXPECT_EQ(CountChannels(nullptr), 0);
}

}  // namespace
}  // namespace tvp::test
