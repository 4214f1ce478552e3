// The open-file window on directory trees made for each test: what is listed and in which order,
// the cursors and the scroll bar, the keys, unreadable and too deep directories, and choosing a
// file that then plays.
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
using Names = std::vector<std::string>;
constexpr uint8_t kCyan = 54, kSelected = 112;

std::string DrivePath(std::string posix) {
  std::replace(posix.begin(), posix.end(), '/', '\\');
  return "C:" + posix + (posix.back() == '\\' ? "" : "\\");
}
int RowY(int row) { return 40 + 8 * row; }

class OpenFileWindowTest : public testing::WindowFixture {
 protected:
  // Makes the directories and files (names ending in '/' are directories) and enters the first.
  void enter(const std::string& where, const Names& made = {}) {
    fs::create_directories(dir.file(where));
    for (const std::string& name : made)
      if (name.back() == '/') fs::create_directories(dir.file(where + "/" + name));
      else dir.write(where + "/" + name, std::string(1234, 'x'));
    ASSERT_TRUE(SetDirectory(state, dir.file(where).c_str()));
  }
  Names names() const {
    Names list;
    for (const FileEntry* e = window().entries; e; e = e->next) {
      EXPECT_EQ(e->index, static_cast<int32_t>(list.size()));
      list.push_back(std::string(e->name) + (e->isDirectory ? "/" : ""));
    }
    EXPECT_EQ(window().entryCount, static_cast<int32_t>(list.size()));
    return list;
  }
  std::string directory() const { return window().currentDirectory; }
  const OpenFileWindowState& window() const { return state.openFileWindow; }
  bool key(int32_t k) { return OpenFileWindowKey(state, k); }
  void show() {
    ShowOpenFileWindow(state);
    FinishSlides();
    Present(window().picture);
  }

  test::TempDir dir;
};

TEST_F(OpenFileWindowTest, ListsDirectoriesThenModulesByteWiseWithTheEntryAfterDotDotSelected) {
  enter("example", {"sub/", "Song.XM", "a.mod", "B.S3M", "song.xm.bak", "notes.txt", "odd\\name.xm"});
  EXPECT_EQ(names(), (Names{"./", "../", "sub/", "B.S3M", "Song.XM", "a.mod"}));  // a backslash has no drive path
  EXPECT_EQ(window().entryCursor, 2);
  EXPECT_EQ(directory(), DrivePath(dir.file("example")));
  // A directory named like a module is found by the directory search and by "*.XM".
  enter("twice", {"demo.xm/"});
  EXPECT_EQ(names(), (Names{"./", "../", "demo.xm/", "demo.xm/"}));
}

TEST_F(OpenFileWindowTest, DrawsThePathDrivesEntriesAndSizes) {
  const std::string longName = std::string(40, 'n') + ".mod";
  enter("example", {"sub/", "Song.XM", longName});
  show();
  EXPECT_EQ(window().picture->width, 252);
  EXPECT_EQ(window().picture->height, 208);
  EXPECT_TRUE(ShowsText(6, 8, "\xFE=========== OPEN FILE (F4) ============", 255, kCyan));
  EXPECT_TRUE(ShowsText(6, 192, "------[ENTER] to Select, [ESC] to Cancel", 255, kCyan));
  EXPECT_TRUE(ShowsText(12, 24, DrivePath(dir.file("example")).substr(0, 38)));
  PixmapFillPixels(expected, 0);
  font.DrawTextShadowedInColour("[C:]", expected, 12, 40, 70);  // the current drive
  font.DrawGlyphShadowedInColour(0xBD, expected, 42, static_cast<int16_t>(RowY(1)), 250);
  font.DrawGlyphShadowedInColour(0xB5, expected, 42, static_cast<int16_t>(RowY(3)), 70);
  EXPECT_TRUE(SameRegion(12, 40, 24, 8, "drive C:"));
  EXPECT_TRUE(SameRegion(42, RowY(1), 6, 8, "directory icon"));
  EXPECT_TRUE(SameRegion(42, RowY(3), 6, 8, "file icon"));
  EXPECT_TRUE(ShowsText(48, RowY(2), "sub\\", 255, kSelected));
  EXPECT_TRUE(ShowsText(48, RowY(3), "Song.XM"));
  EXPECT_TRUE(ShowsText(234 - 24, RowY(3), "1234"));
  // A long name stops a column short of its size, clear of the scroll bar.
  EXPECT_TRUE(ShowsText(48, RowY(4), std::string(26, 'n') + " 1234"));
  EXPECT_TRUE(ShowsGlyph(234, RowY(0), 0xB4, 126));  // nothing scrolls: grey arrows, dotted track
  EXPECT_TRUE(ShowsGlyph(234, RowY(4), 0x85, 126));
  EXPECT_TRUE(ShowsGlyph(234, RowY(17), 0xB6, 126));

  EXPECT_TRUE(key(kVkTab));  // the bar moves to the drive column
  Present(window().picture);
  EXPECT_TRUE(ShowsText(48, RowY(2), "sub\\"));
  PixmapFillRect(expected, 12, 40, 36, 48, kSelected);
  font.DrawTextShadowedInColour("[C:]", expected, 12, 40, 70);
  EXPECT_TRUE(SameRegion(12, 40, 24, 8, "selected drive C:"));
}

TEST_F(OpenFileWindowTest, CursorKeysScrollTheListAndStopAtItsEnds) {
  Names files;
  for (int i = 0; i < 38; ++i) files.push_back("f" + std::to_string(100 + i) + ".xm");
  enter("forty", files);
  ASSERT_EQ(window().entryCount, 40);
  auto thumbIn = [&](int cell) {
    Present(window().picture);
    PixmapFillPixels(expected, 0);
    font.DrawGlyphShadowedInColour(0xCF, expected, 234, static_cast<int16_t>(RowY(1 + cell)), 70);
    return SameRegion(234, RowY(1 + cell), 6, 8, "thumb in cell " + std::to_string(cell));
  };
  show();
  EXPECT_TRUE(thumbIn(0));
  EXPECT_TRUE(key(kVkEnd));
  EXPECT_EQ(window().entryCursor, 39);
  EXPECT_EQ(window().firstVisibleEntry, 22);
  EXPECT_TRUE(thumbIn(15));
  EXPECT_TRUE(ShowsText(48, RowY(0), "f120.xm"));  // entry 22
  EXPECT_TRUE(ShowsText(48, RowY(17), "f137.xm", 255, kSelected));
  EXPECT_TRUE(ShowsGlyph(234, RowY(1), 0x95, 126));
  EXPECT_TRUE(key(kVkUp));
  EXPECT_EQ(window().firstVisibleEntry, 22);
  EXPECT_TRUE(key(kVkHome));
  EXPECT_EQ(window().firstVisibleEntry, 0);
  EXPECT_TRUE(key(kVkNext));
  EXPECT_TRUE(key(kVkNext));  // entry 34 in the bottom row
  EXPECT_EQ(window().firstVisibleEntry, 34 - 17);

  enter("ten", {"0.s3m", "1.s3m", "2.s3m", "3.s3m", "4.s3m", "5.s3m", "6.s3m", "7.s3m"});
  EXPECT_TRUE(key(kVkHome));
  EXPECT_TRUE(key(kVkNext));
  EXPECT_EQ(window().entryCursor, 9);
  EXPECT_TRUE(key(kVkDown));
  EXPECT_EQ(window().entryCursor, 9);
  EXPECT_TRUE(key(kVkPrior));
  EXPECT_EQ(window().entryCursor, 0);
}

TEST_F(OpenFileWindowTest, BackspaceGoesUpAndStaysInTheRoot) {
  enter("a/b");
  show();
  EXPECT_TRUE(key(kVkBack));
  EXPECT_EQ(directory(), DrivePath(dir.file("a")));
  EXPECT_EQ(names()[window().entryCursor], "b/");
  ASSERT_TRUE(SetDirectory(state, "C:\\"));
  EXPECT_EQ(window().entryCursor, 0);
  for (const std::string& name : names()) EXPECT_TRUE(name != "./" && name != "../") << name;
  EXPECT_TRUE(key(kVkBack));
  EXPECT_EQ(directory(), "C:\\");
}

TEST_F(OpenFileWindowTest, EnterInTheDriveColumnChangesOnlyToAnotherDrive) {
  enter("here", {"sub/"});
  show();
  EXPECT_TRUE(key(kVkLeft));
  EXPECT_EQ(window().focus, kFocusDrives);
  EXPECT_EQ(window().driveCount, 1);
  EXPECT_TRUE(key(kVkDown));
  EXPECT_EQ(window().driveCursor, 0);
  EXPECT_TRUE(key(kVkReturn));  // the current drive: the focus goes back, nothing else
  EXPECT_EQ(window().focus, kFocusEntries);
  EXPECT_EQ(directory(), DrivePath(dir.file("here")));
  EXPECT_EQ(window().entryCursor, 2);

  ASSERT_TRUE(SetDirectory(state, "D:\\music"));  // a drive that is not there lists nothing
  EXPECT_EQ(window().entryCount, 0);
  EXPECT_TRUE(key(kVkTab));
  EXPECT_TRUE(key(kVkReturn));
  EXPECT_EQ(directory(), "C:\\");
  EXPECT_GT(window().entryCount, 0);
}

TEST_F(OpenFileWindowTest, UnreadableAndTooDeepDirectoriesAreHandled) {
  ASSERT_TRUE(SetDirectory(state, dir.file("gone").c_str()));
  EXPECT_EQ(directory(), DrivePath(dir.file("gone")));
  EXPECT_EQ(window().entryCount, 0);
  show();
  EXPECT_TRUE(key(kVkReturn));  // nothing to select
  EXPECT_TRUE(key(kVkEnd));
  EXPECT_TRUE(key(kVkBack));
  EXPECT_EQ(directory(), DrivePath(dir.file("")));
  enter("locked");
  fs::permissions(dir.file("locked"), fs::perms::none);
  ASSERT_TRUE(SetDirectory(state, dir.file("locked").c_str()));
  EXPECT_TRUE(::geteuid() == 0 || window().entryCount == 0) << "permissions hold for all but root";
  fs::permissions(dir.file("locked"), fs::perms::owner_all);

  // A directory text past 259 characters is refused; the directory stays.
  const std::string longName(240, 'd');
  enter("deep", {longName + "/"});
  const std::string before = directory();
  ASSERT_GT(before.size() + longName.size() + 1, 259u);
  EXPECT_TRUE(key(kVkReturn));
  EXPECT_STREQ(state.noticeText, "DIRECTORY PATH TOO LONG");
  EXPECT_EQ(directory(), before);
  EXPECT_EQ(window().entryCount, 3);
  EXPECT_FALSE(SetDirectory(state, ("/" + std::string(300, 'x')).c_str()));
  EXPECT_EQ(directory(), before);
}

TEST_F(OpenFileWindowTest, PosixAndDrivePathsBecomeTidyDrivePaths) {
  ASSERT_TRUE(SetDirectory(state, "./x/../y//z"));
  EXPECT_EQ(directory(), DrivePath(fs::current_path().string() + "/y/z"));
  ASSERT_TRUE(SetDirectory(state, "c:/home/ana/mods"));
  EXPECT_EQ(directory(), "C:\\home\\ana\\mods\\");
  ASSERT_TRUE(SetDirectory(state, "/../.."));
  EXPECT_EQ(directory(), "C:\\");
}

TEST_F(OpenFileWindowTest, ChoosingAFileWithBytesAbove127InItsNameSlidesOutAndPlaysIt) {
  state.settings.autoStart = true;
  const std::string name = "\xC3\xA9t\xC3\xA9 \xFF.xm";
  enter("songs", {"zz.xm"});
  test::XmBuilder xm;
  xm.orders = {0};
  dir.write("songs/" + name, xm.bytes());
  ASSERT_TRUE(SetDirectory(state, dir.file("songs").c_str()));
  EXPECT_EQ(names(), (Names{"./", "../", "zz.xm", name}));
  EXPECT_FALSE(key(kVkDown));  // not shown yet
  show();
  EXPECT_TRUE(key(kVkEnd));
  EXPECT_TRUE(key(kVkReturn));
  EXPECT_EQ(state.popupRequest, kPopupSlideOut);
  EXPECT_STREQ(state.noticeText, "FILE READ SUCCESSFULLY");
  ASSERT_NE(state.soundtrack, nullptr);
  EXPECT_EQ(engine()->boundSoundtrack, state.soundtrack);
  EXPECT_EQ(send(ENG_IS_PLAYING), 1);
  EXPECT_EQ(std::string(state.currentFilePath), DrivePath(dir.file("songs")) + name);
  EXPECT_FALSE(key(kVkEscape));   // Escape is the main loop's
  EXPECT_FALSE(key(kVkF1 + 4));   // and so are the keys of its command table
}

TEST(DirectorySearch, PatternsMatchWholeNamesInAnyLetterCase) {
  struct Case { const char* pattern; const char* name; bool match; } cases[] = {
      {"*.XM", "song.xm", true}, {"*.XM", "SONG.Xm", true}, {"*.XM", "song.xm.bak", false},
      {"*.MOD", ".mod", true},   {"*.S3M", "x.s3", false},  {"*.XM", "a.xm.xm", true},
      {"?.xm", "ab.xm", false},  {"*.XM", "\xC3\xA9.XM", true},
  };
  for (const Case& c : cases) EXPECT_EQ(NameMatches(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

}  // namespace
}  // namespace tvp
