// The songs of one module: which play positions start one, and how long each plays.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/support/loaded_song.h"
#include "tests/support/mod_builder.h"

namespace tvp::test {
namespace {

constexpr ModCell kNote{1, 428, 0, 0};
ModCell Jump(int order) { return {0, 0, 0xB, order}; }
// Units of 256 frames that `rows` rows take at speed 6 and tempo 125 (882 frames a tick).
int32_t Units(int rows) { return rows * 6 * 882 / 256; }

std::vector<std::tuple<int32_t, int32_t>> Songs(const Soundtrack* soundtrack, int32_t capacity = kMaxSubSongs) {
  std::vector<SubSong> songs(static_cast<size_t>(capacity));
  songs.resize(static_cast<size_t>(FindSubSongs(soundtrack, songs.data(), capacity)));
  std::vector<std::tuple<int32_t, int32_t>> out;
  for (const SubSong& s : songs) out.emplace_back(s.firstPosition, s.total);
  return out;
}

ModBuilder Base() {
  ModBuilder b;
  b.sample(0, {.words = 64, .repeatStart = 0, .repeatLength = 64});
  return b;
}

TEST(SubSongs, ASongReachedOnlyByAJumpAndOneAfterAnEmptyPositionAreFound) {
  // Orders (play positions one higher): 0 loops on itself; 1 jumps to 4, which jumps back to 1;
  // 2 is empty; 3 plays eight rows and loops on itself.
  ModBuilder b = Base();
  b.orders({0, 1, 2, 3, 4});
  b.cell(0, 0, 0, kNote).cell(0, 63, 1, Jump(0));
  b.cell(1, 0, 0, kNote).cell(1, 15, 1, Jump(4));
  b.cell(4, 0, 0, kNote).cell(4, 31, 1, Jump(1));
  b.cell(3, 0, 0, kNote).cell(3, 7, 1, Jump(3));
  LoadedSong song(b.bytes());
  ASSERT_TRUE(song.get());
  using T = std::tuple<int32_t, int32_t>;
  EXPECT_EQ(Songs(song.get()), (std::vector<T>{{0, Units(64)}, {2, Units(48)}, {4, Units(8)}}));
  EXPECT_EQ(Songs(song.get(), 2), (std::vector<T>{{0, Units(64)}, {2, Units(48)}}));  // as many as there is room for
  SubSong first{};
  EXPECT_EQ(FindSubSongs(song.get(), &first, 1), 1);
  int32_t total = 0;
  EstimatePlayTime(song.get(), nullptr, &total);
  EXPECT_EQ(first.total, total);  // the first song is the play-time estimate
}

TEST(SubSongs, EmptyPositionsLoneJumpsAndNotesJumpedOverAreNoSong) {
  ModBuilder b = Base();
  b.orders({0, 1, 2, 3});
  b.cell(0, 0, 0, kNote).cell(0, 63, 1, {0, 0, 0xD, 0x32});          // into order 1's row 32 ...
  b.cell(1, 0, 0, kNote).cell(1, 40, 0, kNote).cell(1, 63, 1, Jump(0));  // ... its first rows never play
  b.cell(2, 0, 1, Jump(0));                           // a lone jump
  b.cell(3, 0, 1, Jump(0)).cell(3, 5, 0, kNote);      // its note never plays
  LoadedSong song(b.bytes());
  ASSERT_TRUE(song.get());
  EXPECT_EQ(Songs(song.get()), (std::vector<std::tuple<int32_t, int32_t>>{{0, Units(64 + 32)}}));
}

TEST(SubSongs, ASilentSongStillHasItsFirstSongAndNothingHasNone) {
  ModBuilder b;
  b.orders({0, 1});
  LoadedSong song(b.bytes());
  ASSERT_TRUE(song.get());
  EXPECT_EQ(Songs(song.get()), (std::vector<std::tuple<int32_t, int32_t>>{{0, Units(128)}}));
  SubSong one{};
  EXPECT_EQ(FindSubSongs(nullptr, &one, 1), 0);
  EXPECT_EQ(FindSubSongs(song.get(), &one, 0), 0);
}

}  // namespace
}  // namespace tvp::test
