// The desktop's media controls on the in-memory platform: the calls and property sets a client
// sends over the bus reach the player's own commands, what changes is announced, and what is bad
// (stale tracks, positions outside the song, volumes out of range, URIs that are no module file,
// arguments of the wrong type) is refused or clamped without touching what plays.
#include "app/media_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/song_choice.h"
#include "platform/memory_media_controls.h"
#include "tests/app/player_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

// About a minute of a square wave whose note changes every row; `base` sets the notes.
std::vector<uint8_t> Song(int base, const char* title) {
  XmBuilder xm;
  xm.title = title;
  xm.channels = 1;
  xm.orders = {0, 1, 2, 3, 4, 5, 6, 7};
  xm.instruments = {LoopedSquare()};
  for (int p = 0; p < 8; ++p)
    for (int row = 0; row < 64; ++row) xm.cell(p, row, 0, {base + (row * 7 + p * 3) % 30, 1, 0, -1, 0});
  return xm.bytes();
}

bool Announced(const MemoryMediaControls& bus, const std::string& property) {
  for (const auto& signal : bus.signals)
    if (std::count(signal.properties.begin(), signal.properties.end(), property)) return true;
  return false;
}

class MediaSessionTest : public PlayerFixture {
 protected:
  void SetUp() override {
    headless.openMediaControls = [this] {
      auto twin = std::make_unique<MemoryMediaControls>();
      bus = twin.get();
      return twin;
    };
    first = dir.write("a.xm", Song(30, "first song"));
    second = dir.write("b.xm", Song(50, "second song"));
    StartOptions options;
    options.settingsPath = dir.write("tpw32.ini", "WINDOW=YES\n");
    options.files = {first, second};
    ASSERT_EQ(headless.Start(options, &error), kStatusOk) << error;
    ASSERT_NE(bus, nullptr);
    frame(30);
  }
  // A call taken at the next frame: its reply.
  MediaReply call(const std::string& member, const std::string& signature = "", int64_t time = 0,
                  const std::string& text = "") {
    bus->Call(member, signature, time, text);
    frame();
    return bus->replies.back();
  }
  MediaReply set(const std::string& property, double value, const std::string& signature = "d") {
    bus->Set(property, value, signature);
    frame();
    return bus->replies.back();
  }
  const MediaStatus& shown() { return bus->properties(); }
  int64_t position() { return SongFrame(*state().engine) * 1000000 / SongRate(*state().engine); }

  MemoryMediaControls* bus = nullptr;
  std::string first, second;
};

TEST_F(MediaSessionTest, TheSongAndTheListAreShownAndNextAndPreviousMoveInTheList) {
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying);
  EXPECT_EQ(shown().title, "first song");
  EXPECT_EQ(shown().url, FileUri(first));
  EXPECT_NEAR(static_cast<double>(shown().length), 61.44e6, 0.1e6) << "512 rows at speed 6, 125 BPM";
  EXPECT_NEAR(static_cast<double>(shown().position), static_cast<double>(position()), 20000.0);
  EXPECT_TRUE(shown().canGoNext);
  EXPECT_FALSE(shown().canGoPrevious);
  const std::string track = shown().trackId;

  bus->signals.clear();
  EXPECT_TRUE(call("Next").ok());
  EXPECT_EQ(notice(), "FILE 2 OF 2: b.xm");
  EXPECT_EQ(shown().title, "second song");
  EXPECT_NE(shown().trackId, track);
  EXPECT_FALSE(shown().canGoNext);
  EXPECT_TRUE(Announced(*bus, "Metadata") && Announced(*bus, "CanGoNext") && Announced(*bus, "CanGoPrevious"));
  call("Next");
  EXPECT_EQ(notice(), "LAST FILE OF THE PLAY LIST") << "as N says at the end";
  call("Previous");
  EXPECT_EQ(shown().title, "first song");
}

TEST_F(MediaSessionTest, PauseKeepsThePositionPlayGoesOnAndStopRewinds) {
  EXPECT_TRUE(call("Pause").ok());
  EXPECT_EQ(notice(), "PLAY STOPPED");
  EXPECT_EQ(shown().playback, MediaPlayback::kPaused);
  EXPECT_TRUE(Announced(*bus, "PlaybackStatus"));
  const int64_t paused = position();
  frame(30);
  EXPECT_EQ(position(), paused);
  EXPECT_FALSE(shown().canSeek) << "a seek needs the song to play";

  call("PlayPause");
  EXPECT_EQ(notice(), "PLAY STARTED");
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying);
  call("PlayPause");
  EXPECT_EQ(shown().playback, MediaPlayback::kPaused);
  call("Play");
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying);
  state().noticeText[0] = '\0';
  call("Play");
  EXPECT_EQ(notice(), "") << "Play while playing does nothing";

  call("Stop");
  EXPECT_EQ(notice(), "SOUNDTRACK REWINDED TO THE BEGINNING");
  EXPECT_EQ(shown().playback, MediaPlayback::kStopped);
  EXPECT_EQ(position(), 0);
  call("Play");
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying);
}

TEST_F(MediaSessionTest, SeeksLandInsideTheSongAndStaleOrOutsidePositionsAreIgnored) {
  bus->signals.clear();
  EXPECT_TRUE(call("SetPosition", "ox", 20000000, shown().trackId).ok());
  EXPECT_EQ(notice(), "TIME 0m20s");
  EXPECT_NEAR(static_cast<double>(position()), 20e6, 30000.0);
  ASSERT_FALSE(bus->signals.empty());
  EXPECT_EQ(bus->signals.back().member, "Seeked");
  EXPECT_NEAR(static_cast<double>(bus->signals.back().position), 20e6, 30000.0);

  const int64_t at = position();
  call("SetPosition", "ox", 5000000, "/org/tonvale/Track/0_0");
  call("SetPosition", "ox", shown().length + 1, shown().trackId);
  call("SetPosition", "ox", -1, shown().trackId);
  EXPECT_NEAR(static_cast<double>(position()), static_cast<double>(at), 100000.0) << "none of the three moved the song";

  EXPECT_TRUE(call("Seek", "x", -3600000000).ok());
  EXPECT_EQ(notice(), "TIME 0m00s") << "no earlier than the start";
  call("Seek", "x", 10000000);
  EXPECT_EQ(notice(), "TIME 0m10s");
  call("Seek", "x", INT64_MAX);
  EXPECT_EQ(shown().title, "second song") << "past the end the song ends, and the list goes on";
}

TEST_F(MediaSessionTest, VolumeIsTheMasterVolumeClampedToItsRange) {
  EXPECT_TRUE(set("Volume", 0.5).ok());
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 32768);
  EXPECT_EQ(shown().volume, 0.5);
  set("Volume", 2.0);
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 65536);
  EXPECT_TRUE(Announced(*bus, "Volume"));
  set("Volume", -1.0);
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 0);
  EXPECT_EQ(set("Volume", std::nan("")).error, kMediaErrorInvalidArgs);
  EXPECT_EQ(set("Volume", 1.0, "s").error, kMediaErrorInvalidArgs);
  EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), 0) << "neither changed it";
  key(kVkRight);
  EXPECT_EQ(shown().volume, 4096.0 / 65536) << "the volume keys show too";

  EXPECT_EQ(set("PlaybackStatus", 1.0).error, kMediaErrorReadOnly);
  EXPECT_TRUE(set("Rate", 2.0).ok());
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying) << "the rate stays 1";
  set("Rate", 0.0);
  EXPECT_EQ(shown().playback, MediaPlayback::kPaused) << "a rate of 0 pauses";
}

TEST_F(MediaSessionTest, OpenUriPlaysAModuleFileAndRefusesAnythingElse) {
  const std::string spaced = dir.write("with space%.xm", Song(40, "third song"));
  EXPECT_TRUE(call("OpenUri", "s", 0, FileUri(spaced)).ok());
  EXPECT_EQ(notice(), "FILE READ SUCCESSFULLY");
  EXPECT_EQ(shown().title, "third song");
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying) << "it plays without AUTOSTART";
  EXPECT_EQ(state().playList.files.size(), 3u) << "its folder is the list";

  const std::string text = dir.write("notes.xm", std::string("not a module at all"));
  EXPECT_EQ(call("OpenUri", "s", 0, "http://example.com/a.xm").error, kMediaErrorInvalidArgs);
  EXPECT_EQ(call("OpenUri", "s", 0, FileUri(text)).error, kMediaErrorInvalidArgs);
  EXPECT_EQ(call("OpenUri", "s", 0, FileUri(dir.file("missing.xm"))).error, kMediaErrorInvalidArgs);
  EXPECT_EQ(call("OpenUri", "s", 0, "file://" + dir.file("")).error, kMediaErrorInvalidArgs) << "a folder";
  EXPECT_EQ(call("OpenUri", "x", 7).error, kMediaErrorInvalidArgs);
  EXPECT_EQ(call("Seek", "s", 0, "ten").error, kMediaErrorInvalidArgs);
  EXPECT_EQ(call("Shuffle").error, kMediaErrorUnknownMethod);
  EXPECT_EQ(shown().title, "third song");
  EXPECT_EQ(shown().playback, MediaPlayback::kPlaying) << "none of them touched what plays";
}

TEST_F(MediaSessionTest, RaiseAndQuit) {
  call("Raise");
  EXPECT_EQ(display.raises, 1);
  call("Quit");
  EXPECT_FALSE(state().running);
  EXPECT_EQ(send(ENG_IS_PLAYING), 0);
}

TEST(MediaSessionOff, TheSettingAndTheCommandLineKeepTheBusClosed) {
  for (const bool fromSettings : {true, false}) {
    TempDir dir;
    HeadlessPlayer headless;
    int opened = 0;
    headless.openMediaControls = [&opened] {
      ++opened;
      return std::unique_ptr<MediaControls>();
    };
    StartOptions options;
    options.settingsPath = dir.write("tpw32.ini", fromSettings ? "MPRIS=FALSE\n" : "");
    options.mediaControls = fromSettings;
    std::string error;
    ASSERT_EQ(headless.Start(options, &error), kStatusOk) << error;
    headless.Frame(2);
    EXPECT_EQ(opened, 0);
  }
}

TEST(MediaUris, FileUrisAndTheirPaths) {
  std::string path;
  EXPECT_EQ(FileUri("/mods/a b%/é.xm"), "file:///mods/a%20b%25/%C3%A9.xm");
  ASSERT_TRUE(FilePathOfUri(FileUri("/mods/a b%/é.xm"), &path));
  EXPECT_EQ(path, "/mods/a b%/é.xm");
  ASSERT_TRUE(FilePathOfUri("FILE://localhost/x.mod", &path));
  EXPECT_EQ(path, "/x.mod");
  for (const char* bad : {"file:/x.mod", "file://server/x.mod", "file:///x%2", "file:///x%zz", "file:///x%00y",
                          "https:///x.mod", "file://", ""})
    EXPECT_FALSE(FilePathOfUri(bad, &path)) << bad;
}

}  // namespace
}  // namespace tvp::test
