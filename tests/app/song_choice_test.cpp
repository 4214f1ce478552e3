// Sub-songs and seeking on the in-memory platform: [ and ] (and the pad's X and Y) choose a song
// of the module, SUBSONGS=ALL plays them in turn, "," and "." move ten seconds and the device
// then plays what a render from that time gives.
#include "app/song_choice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_loop.h"
#include "engine/sound_engine.h"
#include "tests/app/player_fixture.h"
#include "tests/support/loaded_song.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

// Speed 3. Order 0 plays 16 rows and jumps back to itself; order 1, which it never reaches, plays
// 16 rows of other notes and runs off the end of the song.
std::vector<uint8_t> TwoSongs() {
  XmBuilder xm;
  xm.channels = 1;
  xm.speed = 3;
  xm.orders = {0, 1};
  xm.instruments = {LoopedSquare()};
  for (int p = 0; p < 2; ++p) {
    xm.pattern(p).rows = 16;
    for (int row = 0; row < 16; ++row) xm.cell(p, row, 0, {40 + 12 * p + row % 5, 1, 0, -1, 0});
  }
  xm.cell(0, 15, 0, {40, 1, 0, 0xB, 0});
  return xm.bytes();
}

// About 61 s of notes that change every row.
std::vector<uint8_t> LongSong() {
  XmBuilder xm;
  xm.channels = 1;
  xm.orders = {0, 1, 2, 3, 4, 5, 6, 7};
  xm.instruments = {LoopedSquare()};
  for (int p = 0; p < 8; ++p)
    for (int row = 0; row < 64; ++row) xm.cell(p, row, 0, {30 + (row * 7 + p * 3) % 40, 1, 0, 4, 0x23});
  return xm.bytes();
}

std::vector<uint8_t> Render(const std::string& path, const RenderSettings& settings) {
  return RenderBytes(LoadedSong(path).get(), settings);
}

// Whether the device played `part` whole (from its first sound) after byte `from`.
bool Heard(const std::vector<uint8_t>& played, const std::vector<uint8_t>& part, size_t from) {
  size_t first = 0;
  while (first + 4 <= part.size() && !(part[first] | part[first + 1] | part[first + 2] | part[first + 3])) first += 4;
  if (first >= part.size() || from > played.size()) return false;
  return std::search(played.begin() + static_cast<ptrdiff_t>(from), played.end(), part.begin() + static_cast<ptrdiff_t>(first),
                     part.end()) != played.end();
}

class SongChoiceTest : public PlayerFixture {
 protected:
  void open(const std::string& settings, const std::string& path) {
    ASSERT_EQ(start("WINDOW=YES\nAUTOSTART=YES\n" + settings, path), kStatusOk) << error;
  }
  const std::vector<uint8_t>& played() { return headless.ring()->played(); }
};

TEST_F(SongChoiceTest, BracketsAndThePadChooseTheSongAndTheDeviceHearsItAsRendered) {
  const std::string path = dir.write("two.xm", TwoSongs());
  open("", path);
  ASSERT_EQ(state().subSongs.size(), 2u);
  key(kVkLeftBracket);
  EXPECT_EQ(notice(), "FIRST SUBSONG");
  const size_t before = played().size();
  key(kVkRightBracket);
  EXPECT_EQ(notice(), "SUBSONG 2 OF 2");
  key(kVkRightBracket);
  EXPECT_EQ(notice(), "LAST SUBSONG");
  for (int f = 0; f < 400 && send(ENG_IS_PLAYING) == 1; ++f) frame();
  EXPECT_EQ(send(ENG_IS_PLAYING), 0) << "the second song ends where it runs into the first one's order";
  EXPECT_EQ(notice(), "SONG ENDED");
  RenderSettings second;
  second.entryPosition = state().subSongs[1].firstPosition;
  const std::vector<uint8_t> rendered = Render(path, second);
  ASSERT_EQ(rendered.size(), 16u * 3 * 882 * 4);
  EXPECT_TRUE(Heard(played(), rendered, before));

  const int32_t pad = input.Attach();
  frame();
  input.reading(pad)->buttons = 1u << kPadX;
  frame();
  EXPECT_EQ(notice(), "SUBSONG 1 OF 2") << "X is [";
  EXPECT_EQ(state().engine->entryPosition, 0);
}

TEST_F(SongChoiceTest, AllSubSongsPlayInTurnThenTheListGoesOn) {
  const std::string path = dir.write("two.xm", TwoSongs());
  open("SUBSONGS=ALL\n", path);
  int f = 0;
  while (f < 1200 && state().subSong == 0) frame(), ++f;
  EXPECT_EQ(state().subSong, 1) << "after the first song's pass and fade";
  EXPECT_EQ(notice(), "SUBSONG 2 OF 2");
  while (f < 2400 && send(ENG_IS_PLAYING) == 1) frame(), ++f;
  EXPECT_EQ(send(ENG_IS_PLAYING), 0);
}

TEST_F(SongChoiceTest, TenSecondsOnAndBackPlayWhatARenderFromThereGives) {
  const std::string path = dir.write("long.xm", LongSong());
  open("", path);
  frame(30);
  key(kVkPeriod);
  key(kVkPeriod);
  EXPECT_EQ(notice(), "TIME 0m20s") << "half a second in, two moves of ten seconds";
  const int64_t frames = int64_t{state().engine->buffersRendered} * state().engine->framesPerBuffer +
                         state().engine->skippedFrames;
  size_t before = played().size();
  frame(60);
  RenderSettings from;
  from.startFrames = frames;
  from.maxFrames = 22050;
  EXPECT_TRUE(Heard(played(), Render(path, from), before)) << "half a second from where the seek landed";

  key(kVkComma);
  key(kVkComma);
  key(kVkComma);
  EXPECT_EQ(notice(), "TIME 0m00s") << "not before the start";
  before = played().size();
  frame(60);
  // A start again begins where the device's ring stands, so the song is looked for from its
  // second quarter second on.
  RenderSettings start;
  start.maxFrames = 33075;
  std::vector<uint8_t> quarter = Render(path, start);
  quarter.erase(quarter.begin(), quarter.begin() + 11025 * 4);
  EXPECT_TRUE(Heard(played(), quarter, before));

  for (int i = 0; i < 7; ++i) key(kVkPeriod);
  for (int f = 0; f < 600 && send(ENG_IS_PLAYING) == 1; ++f) frame();
  EXPECT_EQ(send(ENG_IS_PLAYING), 0) << "a move past the end ends the song";
}

}  // namespace
}  // namespace tvp::test
