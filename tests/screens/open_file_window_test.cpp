// The open-file window on directory trees made for each test: what is listed and in which order,
// the cursor keys and the drive column, tidy drive paths, and unreadable and too deep directories.
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

std::string DrivePath(std::string posix) {
  std::replace(posix.begin(), posix.end(), '/', '\\');
  return "C:" + posix + (posix.back() == '\\' ? "" : "\\");
}

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

TEST_F(OpenFileWindowTest, CursorKeysScrollTheListStopAtItsEndsAndTheCurrentDriveStays) {
  Names files;
  for (int i = 0; i < 38; ++i) files.push_back("f" + std::to_string(100 + i) + ".xm");
  enter("forty", files);
  show();
  for (int i = 0; i < 45; ++i) EXPECT_TRUE(key(kVkDown));
  EXPECT_EQ(window().entryCursor, 39);
  EXPECT_EQ(window().firstVisibleEntry, 22);  // the last entry in the bottom row
  EXPECT_TRUE(key(kVkHome));
  EXPECT_EQ(window().firstVisibleEntry, 0);

  EXPECT_TRUE(key(kVkLeft));
  EXPECT_EQ(window().focus, kFocusDrives);
  EXPECT_TRUE(key(kVkReturn));  // the current drive: the focus goes back, nothing else
  EXPECT_EQ(window().focus, kFocusEntries);
  EXPECT_EQ(directory(), DrivePath(dir.file("forty")));
}

TEST_F(OpenFileWindowTest, PosixAndDrivePathsBecomeTidyDrivePaths) {
  ASSERT_TRUE(SetDirectory(state, "./x/../y//z/."));
  EXPECT_EQ(directory(), DrivePath(fs::current_path().string() + "/y/z"));
  ASSERT_TRUE(SetDirectory(state, "c:/home/ana/mods"));
  EXPECT_EQ(directory(), "C:\\home\\ana\\mods\\");
  ASSERT_TRUE(SetDirectory(state, "/../.."));
  EXPECT_EQ(directory(), "C:\\");
}

}  // namespace
}  // namespace tvp
