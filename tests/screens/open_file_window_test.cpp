// The open-file window on directory trees made for each test: what is listed and in which order,
// the cursors and the scroll bar, the keys, leaving unreadable and too deep directories, and
// choosing a file that then plays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/sound_engine.h"
#include "platform/directory.h"
#include "tests/app/temp_dir.h"
#include "tests/screens/window_fixture.h"
#include "tests/support/xm_builder.h"

namespace tvp {
namespace {

namespace fs = std::filesystem;
constexpr uint8_t kCyan = 54, kSelected = 112;

// The drive path of a POSIX directory.
std::string DrivePath(std::string posix) {
  std::replace(posix.begin(), posix.end(), '/', '\\');
  return "C:" + posix + (posix.back() == '\\' ? "" : "\\");
}

class OpenFileWindowTest : public testing::WindowFixture {
 protected:
  std::string makeDir(const std::string& name) {
    fs::create_directories(dir.file(name));
    return dir.file(name);
  }
  std::string writeSong(const std::string& name) {
    test::XmBuilder xm;
    xm.orders = {0};
    return dir.write(name, xm.bytes());
  }
  void enter(const std::string& posix) { ASSERT_TRUE(SetDirectory(state, posix.c_str())); }
  std::vector<std::string> names() const {
    std::vector<std::string> list;
    for (const FileEntry* e = window().entries; e; e = e->next) {
      EXPECT_EQ(e->index, static_cast<int32_t>(list.size()));
      list.push_back(std::string(e->name) + (e->isDirectory ? "\\" : ""));
    }
    EXPECT_EQ(window().entryCount, static_cast<int32_t>(list.size()));
    return list;
  }
  const OpenFileWindowState& window() const { return state.openFileWindow; }
  bool key(int32_t k) { return OpenFileWindowKey(state, k); }
  void show() {
    ShowOpenFileWindow(state);
    FinishSlides();
  }
  // Shows the picture on the frame; list row r is at y = 40 + 8r.
  void look() { Present(window().picture); }
  static int rowY(int r) { return 40 + 8 * r; }

  test::TempDir dir;
};

TEST_F(OpenFileWindowTest, ListsDirectoriesThenModulesByteWiseWithTheEntryAfterDotDotSelected) {
  makeDir("example/sub");
  for (const char* name : {"example/Song.XM", "example/a.mod", "example/B.S3M", "example/song.xm.bak", "example/notes.txt"})
    dir.write(name, "x");
  makeDir("twice/demo.xm");
  enter(dir.file("example"));
  EXPECT_EQ(names(), (std::vector<std::string>{".\\", "..\\", "sub\\", "B.S3M", "Song.XM", "a.mod"}));
  EXPECT_EQ(window().entryCursor, 2);
  EXPECT_EQ(window().focus, kFocusEntries);
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(dir.file("example")));

  // A directory named like a module is found by the directory search and by "*.XM".
  enter(dir.file("twice"));
  EXPECT_EQ(names(), (std::vector<std::string>{".\\", "..\\", "demo.xm\\", "demo.xm\\"}));
}

TEST_F(OpenFileWindowTest, DrawsThePathDrivesEntriesAndSizes) {
  makeDir("example/sub");
  dir.write("example/Song.XM", std::string(1234, 'x'));
  const std::string longName = std::string(40, 'n') + ".mod";
  dir.write("example/" + longName, std::string(56789, 'x'));
  enter(dir.file("example"));
  show();
  look();
  EXPECT_EQ(window().picture->width, 252);
  EXPECT_EQ(window().picture->height, 208);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE=========== OPEN FILE (F4) ============", 255, kCyan));
  EXPECT_TRUE(ShowsText(6, 192, "------[ENTER] to Select, [ESC] to Cancel", 255, kCyan));
  EXPECT_TRUE(ShowsText(12, 24, DrivePath(dir.file("example")).substr(0, 38)));
  // The current drive's letter is green and shadowed; the drive column has no bar without focus.
  PixmapFillPixels(expected, 0);
  font.DrawTextShadowedInColour("[C:]", expected, 12, 40, 70);
  EXPECT_TRUE(SameRegion(12, 40, 24, 8, "drive C:"));
  // ".", "..", "sub" (selected), then the files with their sizes ending at the scroll bar.
  EXPECT_TRUE(ShowsText(48, rowY(0), ".\\"));
  EXPECT_TRUE(ShowsText(48, rowY(2), "sub\\", 255, kSelected));
  EXPECT_TRUE(ShowsText(48, rowY(3), "Song.XM"));
  EXPECT_TRUE(ShowsText(234 - 24, rowY(3), "1234"));
  // A long name stops a column short of its size.
  EXPECT_TRUE(ShowsText(48, rowY(4), longName.substr(0, 25) + " 56789"));
  PixmapFillPixels(expected, 0);
  font.DrawGlyphShadowedInColour(0xBD, expected, 42, static_cast<int16_t>(rowY(1)), 250);
  font.DrawGlyphShadowedInColour(0xB5, expected, 42, static_cast<int16_t>(rowY(3)), 70);
  EXPECT_TRUE(SameRegion(42, rowY(1), 6, 8, "directory icon"));
  EXPECT_TRUE(SameRegion(42, rowY(3), 6, 8, "file icon"));
  // Nothing scrolls: grey arrows and dotted track.
  EXPECT_TRUE(ShowsGlyph(234, rowY(0), 0xB4, 126));
  EXPECT_TRUE(ShowsGlyph(234, rowY(4), 0x85, 126));
  EXPECT_TRUE(ShowsGlyph(234, rowY(17), 0xB6, 126));

  // With the focus on the drives, their bar moves there and the entry list has none.
  EXPECT_TRUE(key(VK_TAB));
  look();
  EXPECT_TRUE(ShowsText(48, rowY(2), "sub\\"));
  PixmapFillPixels(expected, 0);
  PixmapFillRect(expected, 12, 40, 36, 48, kSelected);
  font.DrawTextShadowedInColour("[C:]", expected, 12, 40, 70);
  EXPECT_TRUE(SameRegion(12, 40, 24, 8, "selected drive C:"));
}

TEST_F(OpenFileWindowTest, FortyEntriesEndShowsTheLastPageWithTheThumbInTheLastCell) {
  makeDir("forty");
  for (int i = 0; i < 38; ++i) dir.write("forty/f" + std::to_string(100 + i) + ".xm", "x");
  enter(dir.file("forty"));
  ASSERT_EQ(window().entryCount, 40);
  show();
  auto thumbAt = [&](int cell) {
    look();
    PixmapFillPixels(expected, 0);
    font.DrawGlyphShadowedInColour(0xCF, expected, 234, static_cast<int16_t>(rowY(1 + cell)), 70);
    return SameRegion(234, rowY(1 + cell), 6, 8, "thumb in cell " + std::to_string(cell));
  };
  EXPECT_TRUE(thumbAt(0));
  EXPECT_TRUE(key(VK_END));
  EXPECT_EQ(window().entryCursor, 39);
  EXPECT_EQ(window().firstVisibleEntry, 22);
  EXPECT_TRUE(thumbAt(15));
  EXPECT_TRUE(ShowsText(48, rowY(0), "f120.xm"));  // entry 22
  EXPECT_TRUE(ShowsText(48, rowY(17), "f137.xm", 255, kSelected));
  EXPECT_TRUE(ShowsGlyph(234, rowY(1), 0x95, 126));
  // Up moves the bar within the page; Home goes back to the top.
  EXPECT_TRUE(key(VK_UP));
  EXPECT_EQ(window().firstVisibleEntry, 22);
  EXPECT_TRUE(key(VK_HOME));
  EXPECT_EQ(window().entryCursor, 0);
  EXPECT_EQ(window().firstVisibleEntry, 0);
  EXPECT_TRUE(key(VK_NEXT));
  EXPECT_TRUE(key(VK_NEXT));  // entry 34: the page scrolls to keep it in the bottom row
  EXPECT_EQ(window().firstVisibleEntry, 34 - 17);
}

TEST_F(OpenFileWindowTest, PageKeysStopAtTheEndsOfAShortList) {
  makeDir("ten");
  for (int i = 0; i < 8; ++i) dir.write("ten/s" + std::to_string(i) + ".s3m", "x");
  enter(dir.file("ten"));
  show();
  EXPECT_TRUE(key(VK_HOME));
  EXPECT_TRUE(key(VK_NEXT));
  EXPECT_EQ(window().entryCursor, 9);
  EXPECT_TRUE(key(VK_DOWN));
  EXPECT_EQ(window().entryCursor, 9);
  EXPECT_TRUE(key(VK_PRIOR));
  EXPECT_EQ(window().entryCursor, 0);
  EXPECT_EQ(window().firstVisibleEntry, 0);
}

TEST_F(OpenFileWindowTest, TheRootHasNoDotEntriesAndBackspaceStaysThere) {
  ASSERT_TRUE(SetDirectory(state, "C:\\"));
  show();
  EXPECT_STREQ(window().currentDirectory, "C:\\");
  EXPECT_EQ(window().entryCursor, 0);
  for (const std::string& name : names()) EXPECT_TRUE(name != ".\\" && name != "..\\") << name;
  EXPECT_TRUE(key(VK_BACK));
  EXPECT_STREQ(window().currentDirectory, "C:\\");
  // Backspace in a subdirectory goes up one level.
  makeDir("a/b");
  enter(dir.file("a/b"));
  EXPECT_TRUE(key(VK_BACK));
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(dir.file("a")));
  EXPECT_EQ(names()[window().entryCursor], "b\\");
}

TEST_F(OpenFileWindowTest, EnterOnTheCurrentDriveOnlyGivesTheFocusBack) {
  makeDir("here/sub");
  enter(dir.file("here"));
  show();
  EXPECT_TRUE(key(VK_LEFT));
  EXPECT_EQ(window().focus, kFocusDrives);
  EXPECT_EQ(window().driveCount, 1);
  EXPECT_TRUE(key(VK_DOWN));  // one drive: the cursor stays on it
  EXPECT_EQ(window().driveCursor, 0);
  EXPECT_TRUE(key(VK_BACK));  // nothing in the drive column
  EXPECT_TRUE(key(VK_RETURN));
  EXPECT_EQ(window().focus, kFocusEntries);
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(dir.file("here")));
  EXPECT_EQ(window().entryCursor, 2);

  // From a drive that is not there, Enter on C: changes to its root.
  ASSERT_TRUE(SetDirectory(state, "D:\\music"));
  EXPECT_EQ(window().entryCount, 0);
  EXPECT_TRUE(key(VK_TAB));
  EXPECT_TRUE(key(VK_RETURN));
  EXPECT_STREQ(window().currentDirectory, "C:\\");
  EXPECT_EQ(window().focus, kFocusEntries);
  EXPECT_GT(window().entryCount, 0);
}

TEST_F(OpenFileWindowTest, UnreadableDirectoriesListNothingAndCanBeLeft) {
  enter(dir.file("gone"));  // missing
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(dir.file("gone")));
  EXPECT_EQ(window().entryCount, 0);
  show();
  EXPECT_TRUE(key(VK_RETURN));  // no entry to select
  EXPECT_TRUE(key(VK_END));
  EXPECT_EQ(window().entryCursor, 0);
  EXPECT_TRUE(key(VK_BACK));
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(dir.file("")));
  EXPECT_GT(window().entryCount, 0);

  enter(writeSong("song.xm"));  // a file is no directory
  EXPECT_EQ(window().entryCount, 0);

  makeDir("locked");
  fs::permissions(dir.file("locked"), fs::perms::none);
  enter(dir.file("locked"));
  if (::geteuid() != 0) {  // permissions do not hold for root
    EXPECT_EQ(window().entryCount, 0);
  }
  fs::permissions(dir.file("locked"), fs::perms::owner_all);
}

TEST_F(OpenFileWindowTest, APathPastTheDirectoryTextIsRefusedAndTheDirectoryStays) {
  makeDir("deep");
  const std::string longName(240, 'd');
  makeDir("deep/" + longName);
  enter(dir.file("deep"));
  const std::string before = window().currentDirectory;
  show();
  EXPECT_EQ(names()[window().entryCursor], longName + "\\");
  ASSERT_GT(before.size() + longName.size() + 1, 259u);
  EXPECT_TRUE(key(VK_RETURN));
  EXPECT_STREQ(state.noticeText, "DIRECTORY PATH TOO LONG");
  EXPECT_EQ(std::string(window().currentDirectory), before);
  EXPECT_EQ(window().entryCount, 3);

  state.noticeText[0] = '\0';
  EXPECT_FALSE(SetDirectory(state, ("/" + std::string(300, 'x')).c_str()));
  EXPECT_STREQ(state.noticeText, "DIRECTORY PATH TOO LONG");
  EXPECT_EQ(std::string(window().currentDirectory), before);
}

TEST_F(OpenFileWindowTest, PosixAndDrivePathsBecomeTidyDrivePaths) {
  const std::string cwd = fs::current_path().string();
  ASSERT_TRUE(SetDirectory(state, "./x/../y//z"));
  EXPECT_EQ(std::string(window().currentDirectory), DrivePath(cwd + "/y/z"));
  ASSERT_TRUE(SetDirectory(state, "c:/home/ana/mods"));
  EXPECT_STREQ(window().currentDirectory, "C:\\home\\ana\\mods\\");
  ASSERT_TRUE(SetDirectory(state, "/../.."));
  EXPECT_STREQ(window().currentDirectory, "C:\\");
}

TEST_F(OpenFileWindowTest, ChoosingAFileSlidesTheWindowOutAndPlaysIt) {
  state.settings.autoStart = true;
  makeDir("songs");
  const std::string highName = "songs/\xC3\xA9t\xC3\xA9 \xFF.xm";  // bytes above 127
  writeSong(highName);
  writeSong("songs/zz.xm");
  enter(dir.file("songs"));
  EXPECT_EQ(names(), (std::vector<std::string>{".\\", "..\\", "zz.xm", highName.substr(6)}));
  show();
  EXPECT_TRUE(key(VK_END));
  EXPECT_TRUE(key(VK_RETURN));
  EXPECT_EQ(state.popupRequest, kPopupSlideOut);
  EXPECT_STREQ(state.noticeText, "FILE READ SUCCESSFULLY");
  ASSERT_NE(state.soundtrack, nullptr);
  EXPECT_EQ(engine()->boundSoundtrack, state.soundtrack);
  EXPECT_EQ(send(ENG_IS_PLAYING), 1);
  EXPECT_EQ(std::string(state.currentFilePath), DrivePath(dir.file("songs")) + highName.substr(6));

  // Once it has slid out the window takes no keys; Escape is never its key.
  FinishSlides();
  EXPECT_FALSE(key(VK_DOWN));
  show();
  EXPECT_FALSE(key(VK_ESCAPE));
  EXPECT_FALSE(key(VK_F1 + 4));
}

TEST(DirectorySearch, PatternsMatchWholeNamesInAnyLetterCase) {
  struct Case { const char* pattern; const char* name; bool match; } cases[] = {
      {"*.XM", "song.xm", true},      {"*.XM", "SONG.Xm", true},     {"*.XM", "song.xm.bak", false},
      {"*.MOD", ".mod", true},        {"*.S3M", "x.s3", false},      {"*", "anything", true},
      {"*.XM", "a.xm.xm", true},      {"?.xm", "ab.xm", false},      {"*.XM", "\xC3\xA9.XM", true},
  };
  for (const Case& c : cases) EXPECT_EQ(NameMatches(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  EXPECT_EQ(LogicalDriveMask(), 1u << 2);
}

}  // namespace
}  // namespace tvp
