#include "app/module_playback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/offline_output.h"
#include "engine/sound_engine.h"
#include "soundtrack/status.h"
#include "tests/app/temp_dir.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

constexpr int32_t kFrames = 256;

// A player state with an engine on the offline road, set up as the start-up sets it up.
class ModulePlaybackTest : public ::testing::Test {
 protected:
  ModulePlaybackTest() {
    ParamBlock open{{0, kOfflineRoad, 8, kFrames}};
    EXPECT_EQ(engineCommand(state.engineHandle(), ENG_OPEN, &open), kStatusOk);
    send(ENG_RESET);
    SendEngineSettings(state);
    send(ENG_SET_FADE_STEP, 0);
  }
  ~ModulePlaybackTest() override {
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
  std::string notice() const { return state.noticeText; }

  // An XM of three play positions, empty 64-row patterns, under any name.
  std::string song(const std::string& name, const std::string& title = "Glass Harbour") {
    XmBuilder xm;
    xm.title = title;
    xm.orders = {0, 1, 2};
    for (int p = 0; p < 3; ++p) xm.pattern(p).rows = 64;
    return dir.write(name, xm.bytes());
  }
  // Loaded and playing.
  void playSong() {
    OpenModuleFile(state, song("playing.xm").c_str());
    ASSERT_NE(state.soundtrack, nullptr);
    StartPlaying(state);
    render(2);
    ASSERT_TRUE(playing());
  }

  TempDir dir;
  PlayerState state;
  std::vector<int16_t> out = std::vector<int16_t>(2 * kFrames);
};

TEST_F(ModulePlaybackTest, AFileThatCannotBeOpenedLeavesTheSongPlaying) {
  playSong();
  Soundtrack* before = state.soundtrack;
  const std::string path = state.currentFilePath;
  for (const std::string& bad : {dir.file("missing.xm"), dir.file("")}) {
    OpenModuleFile(state, bad.c_str());
    EXPECT_EQ(notice(), "FILE OPEN FAILED") << bad;
  }
  OpenModuleFile(state, nullptr);
  EXPECT_EQ(notice(), "FILE OPEN FAILED");
  EXPECT_EQ(state.soundtrack, before);
  EXPECT_EQ(state.engine->boundSoundtrack, before);
  EXPECT_EQ(state.currentFilePath, path);
  EXPECT_TRUE(playing());
}

TEST_F(ModulePlaybackTest, AFileNoLoaderTakesLeavesNoSoundtrack) {
  playSong();
  OpenModuleFile(state, dir.write("notes.xm", std::string(3000, 'x')).c_str());
  EXPECT_EQ(notice(), "FILE READ FAILED");
  EXPECT_EQ(state.soundtrack, nullptr);
  EXPECT_EQ(state.currentFilePath, nullptr);
  EXPECT_STREQ(state.soundtrackTitle, "");
  EXPECT_EQ(state.engine->boundSoundtrack, nullptr);
  EXPECT_FALSE(playing());

  // Start with nothing loaded still says so; nothing plays.
  StartPlaying(state);
  EXPECT_EQ(notice(), "PLAY STARTED");
  EXPECT_FALSE(playing());
}

TEST_F(ModulePlaybackTest, ASuccessfulLoadBindsAndPreparesTheSongWhateverItsName) {
  state.settings.sampleRate = 22050;
  state.settings.interpolation = 3;
  playSong();
  Soundtrack* old = state.soundtrack;
  // An XM named as a MOD: the content decides. The song that played is stopped and replaced.
  const std::string path = song("harbour.MOD", "Second Song");
  OpenModuleFile(state, path.c_str());
  EXPECT_EQ(notice(), "FILE READ SUCCESSFULLY");
  ASSERT_NE(state.soundtrack, nullptr);
  EXPECT_NE(state.soundtrack, old);
  EXPECT_STREQ(state.soundtrackTitle, "Second Song");
  ASSERT_NE(state.currentFilePath, nullptr);
  EXPECT_EQ(std::string(state.currentFilePath), path);
  EXPECT_TRUE(state.soundtrack->flags & kSoundtrackInUse);
  EXPECT_EQ(state.engine->boundSoundtrack, state.soundtrack);
  EXPECT_TRUE(state.engine->flags & kEnginePrepared);
  EXPECT_EQ(state.engine->sampleRate, 22050u << 16);
  EXPECT_EQ(state.engine->fadeStep, 0);
  EXPECT_FALSE(playing());  // without AUTOSTART the song waits for a start
}

TEST_F(ModulePlaybackTest, ResetParamsDecidesWhetherALoadUndoesChangedEngineSettings) {
  PlayerSettings& s = state.settings;
  s.masterVolume = 20000;
  s.a4Frequency = 432;
  s.speed = 90;
  s.interpolation = 2;
  auto change = [&] {
    send(ENG_SET_MASTER_VOLUME, 1000);
    send(ENG_SET_A4_FREQUENCY, intptr_t{450} << 16);
    send(ENG_SET_SPEED, intptr_t{50} << 16);
    send(ENG_SET_INTERPOLATION, 1);
  };

  change();
  OpenModuleFile(state, song("a.xm").c_str());
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 20000);
  EXPECT_EQ(send(ENG_GET_A4_FREQUENCY), intptr_t{432} << 16);
  EXPECT_EQ(send(ENG_GET_SPEED), intptr_t{90} << 16);
  EXPECT_EQ(send(ENG_GET_INTERPOLATION), 2);

  s.resetParams = false;
  change();
  OpenModuleFile(state, song("b.xm").c_str());
  EXPECT_EQ(notice(), "FILE READ SUCCESSFULLY");
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 1000);
  EXPECT_EQ(send(ENG_GET_A4_FREQUENCY), intptr_t{450} << 16);
  EXPECT_EQ(send(ENG_GET_SPEED), intptr_t{50} << 16);
  EXPECT_EQ(send(ENG_GET_INTERPOLATION), 1);
}

TEST_F(ModulePlaybackTest, AutoStartPlaysEverySuccessfulLoad) {
  state.settings.autoStart = true;
  OpenModuleFile(state, song("a.xm").c_str());
  EXPECT_TRUE(playing());
  render(10);
  EXPECT_GT(state.engine->positionCounter, 0);
  OpenModuleFile(state, song("b.xm").c_str());
  EXPECT_TRUE(playing());
  EXPECT_EQ(state.engine->positionCounter, 0);
}

TEST_F(ModulePlaybackTest, PlaybackCommandsMoveThePlayPositionAndSayWhatTheyDid) {
  playSong();
  EXPECT_EQ(notice(), "PLAY STARTED");
  // Play position 0 holds the song's initial settings; play has gone on to the first pattern.
  const EngineResult first = position();
  ASSERT_GT(first, 0);
  NextPlayPosition(state);
  render();
  EXPECT_EQ(position(), first + 1);
  NextPlayPosition(state);
  render();
  EXPECT_EQ(position(), first + 2);
  PreviousPlayPosition(state);
  PreviousPlayPosition(state);  // asked from where play still stands: the same request again
  render();
  EXPECT_EQ(position(), first + 1);

  StopPlaying(state);
  EXPECT_EQ(notice(), "PLAY STOPPED");
  EXPECT_FALSE(playing());
  StartPlaying(state);
  EXPECT_TRUE(playing());

  StopAndRewind(state);
  EXPECT_EQ(notice(), "SOUNDTRACK REWINDED TO THE BEGINNING");
  EXPECT_FALSE(playing());
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(state.engine->positionCounter, 0);
  // At position 0 the previous position is -1: no request.
  PreviousPlayPosition(state);
  EXPECT_EQ(state.engine->positionRequest, -1);
  StartPlaying(state);
  render();
  EXPECT_EQ(position(), first);
}

TEST_F(ModulePlaybackTest, APathLongerThanItsBufferIsCutToIt) {
  std::string path = dir.file("");
  while (path.size() < 400) path += "./";
  song("long.xm");
  path += "long.xm";
  OpenModuleFile(state, path.c_str());
  EXPECT_EQ(notice(), "FILE READ SUCCESSFULLY");
  ASSERT_NE(state.currentFilePath, nullptr);
  EXPECT_EQ(std::string(state.currentFilePath), path.substr(0, kPathCapacity - 1));
}

TEST(ShowNotice, StartsAtTheRightEdgeAndEndsOnceTheTextHasPassedTheLeftOne) {
  PlayerState state;
  ShowNotice(state, "FILE READ SUCCESSFULLY");
  ShowNotice(state, "PLAY STARTED");  // replaces the running one at once
  EXPECT_STREQ(state.noticeText, "PLAY STARTED");
  EXPECT_EQ(state.noticeX, 392);
  EXPECT_EQ(state.noticeEndX, -152);  // 3 pixels a frame: 182 frames

  const std::string longText(3000, 'A');
  ShowNotice(state, longText.c_str());
  EXPECT_EQ(std::string(state.noticeText), longText.substr(0, kNoticeCapacity - 1));
  EXPECT_EQ(state.noticeEndX, -6 * (kNoticeCapacity - 1) - 80);
  ShowNotice(state, state.noticeText + 1000);  // its own tail
  EXPECT_EQ(std::string(state.noticeText), std::string(23, 'A'));
}

}  // namespace
}  // namespace tvp::test
