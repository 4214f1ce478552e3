#include "app/module_playback.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "engine/offline_output.h"
#include "engine/sound_engine.h"
#include "soundtrack/status.h"
#include "tests/app/temp_dir.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

constexpr int32_t kFrames = 256;

// A player state with an engine on the offline road, set up as the start-up sets it up, and a
// song of three empty patterns playing.
class ModulePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ParamBlock open{{0, kOfflineRoad, 8, kFrames}};
    ASSERT_EQ(engineCommand(state.engineHandle(), ENG_OPEN, &open), kStatusOk);
    send(ENG_RESET);
    SendEngineSettings(state);
    OpenModuleFile(state, song("first.xm").c_str());
    StartPlaying(state);
    render(2);
    ASSERT_TRUE(playing());
  }
  void TearDown() override {
    engineCommand(state.engineHandle(), ENG_CLOSE, nullptr);
    ReleaseSoundtrack(state.soundtrack);
  }

  EngineResult send(uint32_t code, intptr_t p0 = 0) {
    ParamBlock p{{p0, 0, 0, 0}};
    return engineCommand(state.engineHandle(), code, &p);
  }
  bool playing() { return send(ENG_IS_PLAYING) == 1; }
  EngineResult position() { return send(ENG_GET_PLAY_POSITION); }
  void render(int32_t buffers = 1) {
    for (int32_t i = 0; i < buffers; ++i) ASSERT_EQ(renderOfflineBuffer(state.engineHandle(), out.data()), 1);
  }
  std::string song(const std::string& name) {  // titled with its name
    XmBuilder xm;
    xm.title = name;
    xm.orders = {0, 1, 2};
    for (int p = 0; p < 3; ++p) xm.pattern(p).rows = 64;
    const std::vector<uint8_t> bytes = xm.bytes();
    return dir.write(name, std::string(bytes.begin(), bytes.end()));
  }

  TempDir dir;
  PlayerState state;
  std::vector<int16_t> out = std::vector<int16_t>(2 * kFrames);
};

TEST_F(ModulePlaybackTest, AFailedOpenKeepsTheSongAndAFailedReadLeavesNone) {
  Soundtrack* before = state.soundtrack;
  const std::string missing = dir.file("missing.xm"), directory = dir.file("");
  for (const char* bad : {missing.c_str(), directory.c_str(), static_cast<const char*>(nullptr)}) {
    OpenModuleFile(state, bad);
    EXPECT_STREQ(state.noticeText, "FILE OPEN FAILED");
  }
  EXPECT_EQ(state.engine->boundSoundtrack, before);
  EXPECT_STREQ(state.currentFilePath, dir.file("first.xm").c_str());
  EXPECT_TRUE(playing());

  OpenModuleFile(state, dir.write("notes.xm", std::string(3000, 'x')).c_str());
  EXPECT_STREQ(state.noticeText, "FILE READ FAILED");
  EXPECT_EQ(state.soundtrack, nullptr);
  EXPECT_EQ(state.engine->boundSoundtrack, nullptr);
  EXPECT_FALSE(playing());
  StartPlaying(state);  // says so, and nothing plays
  EXPECT_STREQ(state.noticeText, "PLAY STARTED");
  EXPECT_FALSE(playing());
}

TEST_F(ModulePlaybackTest, ALoadBindsAndPreparesWhateverTheNameAndResetParamsDecidesTheSettings) {
  PlayerSettings& s = state.settings;
  s = {.sampleRate = 22050, .masterVolume = 20000, .interpolation = 2, .a4Frequency = 432, .speed = 90};
  auto changeAndLoad = [&](const std::string& name) {
    send(ENG_SET_MASTER_VOLUME, 1000);
    send(ENG_SET_SPEED, intptr_t{50} << 16);
    send(ENG_SET_INTERPOLATION, 1);
    std::string path = song(name);
    while (path.size() < 400) path.insert(path.size() - name.size(), "./");
    OpenModuleFile(state, path.c_str());
    EXPECT_STREQ(state.currentFilePath, path.substr(0, kPathCapacity - 1).c_str());  // cut to the buffer
    EXPECT_STREQ(state.noticeText, "FILE READ SUCCESSFULLY");
    return std::vector<EngineResult>{send(ENG_GET_MASTER_VOLUME), send(ENG_GET_A4_FREQUENCY) >> 16,
                                     send(ENG_GET_SPEED) >> 16, send(ENG_GET_INTERPOLATION)};
  };
  EXPECT_EQ(changeAndLoad("an xm.MOD"), (std::vector<EngineResult>{20000, 432, 90, 2}));
  EXPECT_STREQ(state.soundtrackTitle, "an xm.MOD");
  EXPECT_TRUE(state.engine->flags & kEnginePrepared);  // bound and marked in use
  EXPECT_EQ(state.engine->sampleRate, 22050u << 16);
  EXPECT_FALSE(playing());  // without AUTOSTART the song waits for a start

  s.resetParams = false;
  s.autoStart = true;
  EXPECT_EQ(changeAndLoad("b.xm"), (std::vector<EngineResult>{1000, 432, 50, 1}));
  EXPECT_TRUE(playing());
  render(10);
  EXPECT_GT(state.engine->positionCounter, 0);
}

TEST_F(ModulePlaybackTest, PlaybackCommandsMoveThePlayPositionAndSayWhatTheyDid) {
  // Play position 0 holds the song's initial settings; play has gone on to the first pattern.
  const EngineResult first = position();
  ASSERT_GT(first, 0);
  NextPlayPosition(state);
  render();
  NextPlayPosition(state);
  render();
  EXPECT_EQ(position(), first + 2);
  PreviousPlayPosition(state);
  PreviousPlayPosition(state);  // asked from where play still stands: the same request again
  render();
  EXPECT_EQ(position(), first + 1);

  StopPlaying(state);
  EXPECT_STREQ(state.noticeText, "PLAY STOPPED");
  EXPECT_FALSE(playing());
  StartPlaying(state);
  StopAndRewind(state);
  EXPECT_STREQ(state.noticeText, "SOUNDTRACK REWINDED TO THE BEGINNING");
  EXPECT_FALSE(playing());
  EXPECT_EQ(position(), 0);
  PreviousPlayPosition(state);  // from position 0 the request is -1: none
  EXPECT_EQ(state.engine->positionRequest, -1);
  StartPlaying(state);
  render();
  EXPECT_EQ(position(), first);
}

TEST(ShowNotice, StartsAtTheRightEdgeAndEndsOnceTheTextHasPassedTheLeftOne) {
  PlayerState state;
  ShowNotice(state, std::string(3000, 'A').c_str());  // cut to the buffer
  EXPECT_EQ(std::tie(state.noticeX, state.noticeEndX), std::make_tuple(392, -6 * 1023 - 80));
  ShowNotice(state, "PLAY STARTED");  // replaces the running one at once
  EXPECT_STREQ(state.noticeText, "PLAY STARTED");
  EXPECT_EQ(std::tie(state.noticeX, state.noticeEndX), std::make_tuple(392, -152));  // 182 frames at 3
}

}  // namespace
}  // namespace tvp::test
