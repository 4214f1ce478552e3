// The file layer: drive paths, and files over memory; and the one line that says why the loaders
// refused a file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"
#include "tests/support/mod_builder.h"
#include "tests/support/s3m_builder.h"
#include "tests/support/xm_builder.h"

namespace tvp {
namespace {

class ModuleFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tvp-module-file-XXXXXX";
    int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    path_ = pattern;
    std::vector<uint8_t> bytes(100);
    for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 100);
    close(fd);
  }
  void TearDown() override { std::remove(path_.c_str()); }
  std::string path_;
};

TEST_F(ModuleFileOnDisk, DrivePathsNameTheRoot) {
  std::string drive = "C:" + path_;
  for (char& c : drive) c = c == '/' ? '\\' : c;
  ModuleFile* file = FileOpen(drive.c_str(), kFileRead);
  ASSERT_NE(file, nullptr) << drive;
  EXPECT_EQ(FileLength(file), 100);
  FileClose(file);

  char out[32];
  EXPECT_TRUE(DrivePathToPosix("C:\\home\\ana\\x.xm", out, sizeof out));
  EXPECT_STREQ(out, "/home/ana/x.xm");
  EXPECT_TRUE(DrivePathToPosix("c:", out, sizeof out));
  EXPECT_STREQ(out, "/");
  EXPECT_TRUE(DrivePathToPosix("mods/a\\b.mod", out, sizeof out));  // a POSIX name keeps its backslash
  EXPECT_STREQ(out, "mods/a\\b.mod");
  EXPECT_FALSE(DrivePathToPosix("C:\\home\\ana\\x.xm", out, 14));   // no room for the terminator
}

TEST(ModuleFileOverMemory, BehavesLikeAFile) {
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  ModuleFile* file = FileOpenMemory(bytes, 5);
  ASSERT_NE(file, nullptr);
  uint8_t buffer[8] = {};
  EXPECT_EQ(FileSeek(file, kSeekFromEnd, -3), 0);
  EXPECT_EQ(FileRead(file, 8, buffer), 3);
  EXPECT_EQ(buffer[0], 3);
  EXPECT_EQ(FileSeek(file, kSeekFromStart, 1000), 0);  // past the end: reads give nothing
  EXPECT_EQ(FileRead(file, 1, buffer), 0);
  EXPECT_EQ(FilePosition(file), 1000);
  EXPECT_NE(FileSeek(file, kSeekFromCurrent, -1001), 0);  // before the start: refused, nothing moves
  EXPECT_EQ(FilePosition(file), 1000);
  FileClose(file);
  EXPECT_EQ(FileOpenMemory(nullptr, 4), nullptr);
  ModuleFile* empty = FileOpenMemory(nullptr, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(FileRead(empty, 4, buffer), 0);
  FileClose(empty);
}

TEST(Refusals, NameTheFormatAndWhatIsWrong) {
  auto text = [](std::vector<uint8_t> bytes) {
    ModuleFile* file = FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
    const std::string said = RefusalText(DescribeRefusal(file));
    FileClose(file);
    return said;
  };
  test::XmBuilder wide, cut;
  wide.channels = 65;
  std::vector<uint8_t> xm = cut.bytes();
  xm.resize(xm.size() - 3);
  test::S3MBuilder s3m;
  s3m.emptyPattern(0);
  std::vector<uint8_t> shortS3m = s3m.bytes();
  shortS3m.resize(0x62);  // inside the order list
  EXPECT_EQ(text(wide.bytes()), "XM with 65 channels is not supported");
  EXPECT_EQ(text(xm), "XM data ends early");
  EXPECT_EQ(text(shortS3m), "S3M data ends early");
  EXPECT_EQ(text(std::vector<uint8_t>(2000, 'x')), "not a module this player can read (XM, S3M, MOD, IT)");
}

}  // namespace
}  // namespace tvp
