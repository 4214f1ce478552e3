// The play list on the in-memory platform: files that do not load are skipped, the end of a song
// (its passes, the fade, the device played out) opens the next, N and P at the list's ends,
// PLAYLIST=STOP and REPEAT, SHUFFLE, a drop of files, folders collected in the window's order.
#include "app/play_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/sound_engine.h"
#include "tests/app/player_fixture.h"
#include "tests/support/loaded_song.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

// A one-channel song of 16 rows at speed 3 that loops back to its start: a pass is 16 x 3 ticks
// of 882 frames at 44100 Hz, 0.96 s, after the position of initial settings.
std::vector<uint8_t> LoopingSong(const std::string& title, int pitch) {
  XmBuilder xm;
  xm.title = title;
  xm.channels = 1;
  xm.speed = 3;
  XmInstrumentSpec instrument;
  XmSampleSpec sample;
  for (int i = 0; i < 64; ++i) sample.frames.push_back(i < 32 ? 90 : -90);
  sample.loopType = 1;
  sample.loopLength = 64;
  instrument.samples = {sample};
  xm.instruments = {instrument};
  xm.pattern(0).rows = 16;
  for (int row = 0; row < 16; ++row) xm.pattern(0).cells[{row, 0}] = {pitch + row % 5, 1, 0, -1, 0};
  return xm.bytes();
}

// The song at `path` as tpw-render renders it, with `loops` passes after the first and a fade.
std::vector<uint8_t> Render(const std::string& path, int32_t loops, double fade, RenderSession* session) {
  RenderSettings settings;
  settings.loops = loops;
  settings.fadeSeconds = fade;
  return RenderBytes(LoadedSong(path).get(), settings, session);
}

class PlayListTest : public PlayerFixture {
 protected:
  std::string song(const std::string& name, int pitch = 40) { return dir.write(name, LoopingSong(name, pitch)); }
  void startWith(const std::string& settings, std::vector<std::string> files) {
    ASSERT_EQ(start("WINDOW=YES\n" + settings), kStatusOk) << error;
    PlayFiles(state(), std::move(files), 0);
  }
  std::string title() { return state().soundtrack ? state().soundtrackTitle : ""; }
  // Frames until the title is `wanted`, at most `limit`; the frames taken, or -1.
  int until(const std::string& wanted, int limit = 1200) {
    for (int f = 0; f < limit; ++f) {
      if (title() == wanted) return f;
      frame();
    }
    return -1;
  }
  bool playing() { return send(ENG_IS_PLAYING) == 1; }
};

TEST_F(PlayListTest, ADamagedFileInTheMiddleIsSkippedAndAListOfOnlyDamagedFilesEnds) {
  const std::string bad = dir.write("b.xm", std::string(300, 'x'));
  startWith("", {song("a.xm"), bad, song("c.xm")});
  EXPECT_EQ(title(), "a.xm");
  EXPECT_GT(until("c.xm"), 0) << "after a.xm's end";
  EXPECT_EQ(state().playList.at, 2);
  EXPECT_EQ(notice(), "FILE 3 OF 3: c.xm");
  key('P');  // back over the damaged one
  EXPECT_EQ(title(), "a.xm");

  HeadlessPlayer other;
  StartOptions options;
  options.settingsPath = dir.write("tpw32.ini", "WINDOW=YES\n");
  ASSERT_EQ(other.Start(options, &error), kStatusOk);
  EXPECT_FALSE(PlayFiles(other.state(), {bad, dir.file("missing.xm")}, 0));
  EXPECT_EQ(std::string(other.state().noticeText), "FILE OPEN FAILED") << "the last file's notice stays";
  other.Frame(30);
  EXPECT_EQ(other.state().soundtrack, nullptr);
}

// The device plays song A as tpw-render renders it with the same passes and fade, then B.
TEST_F(PlayListTest, TheEndOfASongOpensTheNextAfterItsPassesAndTheFade) {
  const std::string a = song("a.xm", 40), b = song("b.xm", 52);
  startWith("LOOPS=1\n", {a, b});
  ASSERT_GT(until("b.xm"), 0);
  frame(90);

  RenderSession session;
  const std::vector<uint8_t> rendered = Render(a, 1, kEndFadeSeconds, &session);
  EXPECT_EQ(session.stopReason(), StopReason::FadedOut);
  EXPECT_EQ(session.loopsSeen(), 2);
  ASSERT_GT(rendered.size(), 5u * 176400) << "two passes of 0.96 s and a fade of 4 s";
  ASSERT_LT(rendered.size(), 7u * 176400);

  const std::vector<uint8_t>& played = headless.ring()->played();
  ASSERT_GT(played.size(), rendered.size());
  EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), played.begin())) << "song A as rendered";
  // Then B from its first sound, once the device has played A out and what was rendered after
  // it (near silence) for less than a frame.
  const std::vector<uint8_t> song = Render(b, 0, 0, &session);
  size_t first = 0;
  while (first + 4 <= song.size() && !(song[first] | song[first + 1] | song[first + 2] | song[first + 3])) first += 4;
  ASSERT_GT(song.size(), first + 88200);
  const auto found = std::search(played.begin() + static_cast<ptrdiff_t>(rendered.size()), played.end(),
                                 song.begin() + static_cast<ptrdiff_t>(first), song.begin() + static_cast<ptrdiff_t>(first) + 88200);
  ASSERT_NE(found, played.end()) << "the first half second of B";
  EXPECT_LT(found - played.begin() - static_cast<ptrdiff_t>(rendered.size()), 735 * 4) << "the gap between the songs";
}

TEST_F(PlayListTest, NAndPStopAtTheEndsOfTheList) {
  startWith("", {song("a.xm"), song("b.xm")});
  key('P');
  EXPECT_EQ(notice(), "FIRST FILE OF THE PLAY LIST");
  EXPECT_EQ(title(), "a.xm");
  key('N');
  EXPECT_EQ(title(), "b.xm");
  EXPECT_EQ(notice(), "FILE 2 OF 2: b.xm");
  EXPECT_TRUE(playing());
  key('N');
  EXPECT_EQ(notice(), "LAST FILE OF THE PLAY LIST");
  EXPECT_EQ(title(), "b.xm");
  const int32_t pad = input.Attach();
  frame();
  input.reading(pad)->buttons = 1u << kPadLeftShoulder;
  frame();
  EXPECT_EQ(title(), "a.xm") << "the left shoulder button is P";
}

TEST_F(PlayListTest, StopEndsEverySongRepeatPlaysOneSongForEver) {
  startWith("PLAYLIST=STOP\n", {song("a.xm"), song("b.xm")});
  for (int f = 0; f < 600 && playing(); ++f) frame();
  EXPECT_FALSE(playing());
  EXPECT_EQ(title(), "a.xm");
  EXPECT_EQ(notice(), "SONG ENDED");
  const int32_t seconds = static_cast<int32_t>(send(ENG_GET_ELAPSED_SECONDS));
  frame(120);
  EXPECT_EQ(send(ENG_GET_ELAPSED_SECONDS), seconds) << "the clock stops with the song";
  key(kVkF1 + 4);
  EXPECT_TRUE(playing()) << "F5 plays it again";
  EXPECT_EQ(state().engine->fadeStep, 0u) << "from the start, with no fade";

  HeadlessPlayer repeating;
  StartOptions options;
  options.settingsPath = dir.write("tpw32.ini", "WINDOW=YES\nPLAYLIST=repeat\n");
  options.files = {song("c.xm"), song("d.xm")};
  ASSERT_EQ(repeating.Start(options, &error), kStatusOk);
  repeating.Frame(900);  // 15 s: many passes
  EXPECT_STREQ(repeating.state().soundtrackTitle, "c.xm");
  EXPECT_EQ(repeating.state().engine->fadeLevel, 0x10000);
  EXPECT_EQ(SendEngineCommand(repeating.state(), ENG_IS_PLAYING), 1);
}

TEST_F(PlayListTest, ShufflePlaysEveryFileOnceBeforeTheListEnds) {
  std::vector<std::string> files;
  for (char c = 'a'; c <= 'e'; ++c) files.push_back(song(std::string(1, c) + ".xm"));
  ASSERT_EQ(start("WINDOW=YES\nSHUFFLE=YES\n"), kStatusOk);
  std::set<std::vector<std::string>> orders;
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    state().playList.randomState = seed;
    PlayFiles(state(), files, 2);
    std::vector<std::string> heard{title()};
    for (int i = 0; i < 4; ++i) {
      key('N');
      heard.push_back(title());
    }
    key('N');
    EXPECT_EQ(notice(), "LAST FILE OF THE PLAY LIST");
    EXPECT_EQ(heard[0], "c.xm") << "the file asked for comes first";
    EXPECT_EQ(std::set<std::string>(heard.begin(), heard.end()).size(), 5u);
    orders.insert(heard);
  }
  EXPECT_GT(orders.size(), 1u) << "the order is not fixed";
}

TEST_F(PlayListTest, DroppedFilesBecomeTheList) {
  startWith("", {song("a.xm")});
  display.PushDrop({song("b.xm"), dir.file("nothing.xm"), song("c.xm")});
  frame();
  EXPECT_EQ(title(), "b.xm");
  EXPECT_EQ(state().playList.files.size(), 3u);
  key('N');
  EXPECT_EQ(title(), "c.xm");
  EXPECT_EQ(display.title(), "c.xm - Tonvale Player");
}

TEST(CollectModules, FoldersGiveTheirModulesInTheWindowsOrderAndLinksBackAreWalkedOnce) {
  TempDir dir;
  namespace fs = std::filesystem;
  const fs::path root = fs::path(dir.file("mods"));
  fs::create_directories(root / "sub");
  for (const char* name : {"b.xm", "A.MOD", "notes.txt", "sub/c.s3m"}) std::ofstream(root / name) << "x";
  fs::create_directory_symlink("..", root / "sub" / "up");
  const std::string r = root.string();
  EXPECT_EQ(CollectModules({r}, false), (std::vector<std::string>{r + "/A.MOD", r + "/b.xm"}));
  EXPECT_EQ(CollectModules({r, r + "/notes.txt"}, true),
            (std::vector<std::string>{r + "/sub/c.s3m", r + "/A.MOD", r + "/b.xm", r + "/notes.txt"}));
  EXPECT_EQ(WindowTitle("  Sunrise \x01  ", "/m/x.xm"), "Sunrise ? - Tonvale Player");
  EXPECT_EQ(WindowTitle("   ", "/m/x.xm"), "x.xm - Tonvale Player");
  EXPECT_EQ(WindowTitle("t", nullptr), "Tonvale Player");
}

}  // namespace
}  // namespace tvp::test
