// The main loop on the in-memory platform, through the real start-up: the volume and channel keys,
// the notice line, Escape and the pop-up windows' slides, the pad's repeat and the FPS counter.
#include "app/main_loop.h"

#include <gtest/gtest.h>

#include "engine/sound_engine.h"
#include "tests/app/player_fixture.h"
#include "tests/support/picture_check.h"

namespace tvp::test {
namespace {

class MainLoopTest : public PlayerFixture {
 protected:
  void SetUp() override { ASSERT_EQ(start("WINDOW=YES\n"), kStatusOk) << error; }
  bool enabled(int channel) { return send(ENG_GET_CHANNEL_ENABLED, channel) == 1; }
  int enabledCount() {
    int n = 0;
    for (int v = 0; v < kMaxVoices; ++v) n += enabled(v);
    return n;
  }
};

TEST_F(MainLoopTest, VolumeKeysLandOnMultiplesOf4096) {
  struct Step { int from; uint32_t key; int to; } steps[] = {
      {32768, kVkLeft, 28672}, {30000, kVkLeft, 28672}, {0, kVkLeft, 0}, {100, kVkLeft, 0},
      {30000, kVkRight, 32768}, {65536, kVkRight, 65536}, {65000, kVkRight, 65536}};
  for (const Step& s : steps) {
    send(ENG_SET_MASTER_VOLUME, s.from);
    key(s.key);
    EXPECT_EQ(send(ENG_GET_MASTER_VOLUME), s.to) << s.from << " key " << s.key;
  }
}

TEST_F(MainLoopTest, ChannelKeysSelectSwitchAndSolo) {
  for (int i = 0; i < 22; ++i) key(kVkDown);
  EXPECT_EQ(state().selectedChannel, 22);
  EXPECT_EQ(state().firstVisibleChannel, 1) << "channel 22 is in the bottom row";
  for (int i = 0; i < 30; ++i) key(kVkUp);
  EXPECT_EQ(state().selectedChannel, 0);
  EXPECT_EQ(state().firstVisibleChannel, 0);

  key(kVkSpace);
  EXPECT_FALSE(enabled(0));
  key(kVkSpace);
  EXPECT_TRUE(enabled(0));

  key('S');  // all enabled: only this one stays
  EXPECT_EQ(enabledCount(), 1);
  EXPECT_TRUE(enabled(0));
  key('S');  // the only one: all again
  EXPECT_EQ(enabledCount(), kMaxVoices);
  for (int v = 0; v < kMaxVoices; ++v) send(ENG_SET_CHANNEL_ENABLED, v, 0);
  key('S');  // none enabled: only the selected one
  EXPECT_EQ(enabledCount(), 1);
  EXPECT_TRUE(enabled(0));
  for (int i = 0; i < kMaxVoices + 2; ++i) key(kVkDown);
  EXPECT_EQ(state().selectedChannel, kMaxVoices - 1);
}

TEST_F(MainLoopTest, NoticesScrollOutAndTheHelpNoticeWaitsForAFreeLine) {
  key(kVkF1 + 4);  // "PLAY STARTED", 12 characters: (472 + 72) / 3 rounded up = 182 frames
  int frames = 0;
  while (!notice().empty() && frames < 400) {
    frame();
    ++frames;
  }
  EXPECT_EQ(frames, 182) << "drawn from the frame after the key on";
  state().frameCount = 119;
  ShowNotice(state(), "BUSY");
  frame(2);
  EXPECT_EQ(notice(), "BUSY") << "frame 120 leaves a running notice alone";
  state().frameCount = 119;
  state().noticeText[0] = '\0';
  frame(2);
  EXPECT_EQ(notice(), "PRESS [F1] FOR HELP");
}

TEST_F(MainLoopTest, EscapeEndsTheProgramOnlyWithNoWindowShown) {
  Pixmap* picture = nullptr;
  ASSERT_EQ(PixmapCreate(&picture, 60, 40), kStatusOk);
  PixmapFillPixels(picture, 9);
  ShowPopup(state(), picture);
  frame(40);
  EXPECT_EQ(state().popupY, (240 - 40) / 2 - 8) << "slid in to its place";
  EXPECT_EQ(::tvp::testing::PixelAt(state().frameBitmap, 130, state().popupY + 1), 9);

  key(kVkEscape);  // slides out; the program stays
  frame(2);
  EXPECT_NE(state().currentPopup, nullptr) << "still sliding";
  key(kVkEscape);  // during the slide-out: still stays
  frame(20);
  EXPECT_EQ(state().currentPopup, nullptr);
  EXPECT_TRUE(state().running);

  key(kVkEscape);
  frame();
  EXPECT_FALSE(state().running) << "the window closed itself for Escape and the loop ended";
  PixmapDispose(picture);
}

TEST_F(MainLoopTest, APendingWindowSlidesInAfterTheShownOneLeaves) {
  Pixmap *first = nullptr, *second = nullptr;
  ASSERT_EQ(PixmapCreate(&first, 30, 30), kStatusOk);
  ASSERT_EQ(PixmapCreate(&second, 40, 40), kStatusOk);
  ShowPopup(state(), first);
  frame(30);
  ShowPopup(state(), second);
  // Sliding out accelerates: -1, -4, -7, ... until above the frame.
  int32_t y0 = state().popupY;
  frame(2);
  EXPECT_EQ(state().popupY, y0 - 1 - 4);
  frame(20);
  EXPECT_EQ(state().currentPopup, second);
  frame(30);
  EXPECT_EQ(state().popupY, (240 - 40) / 2 - 8);
  PixmapDispose(first);
  PixmapDispose(second);
}

TEST_F(MainLoopTest, PadSelectionRepeatsAfterADelayAndSpeedsUp) {
  int32_t pad = input.Attach();
  frame();  // the pad is taken in
  input.reading(pad)->y = 32767;
  std::vector<int> moves;
  for (int f = 0; f < 60; ++f) {
    int before = state().selectedChannel;
    frame();
    if (state().selectedChannel != before) moves.push_back(f);
  }
  ASSERT_GE(moves.size(), 4u);
  EXPECT_EQ(moves[1] - moves[0], 21);
  EXPECT_EQ(moves[2] - moves[1], 4);
  EXPECT_EQ(moves[3] - moves[2], 3);

  input.reading(pad)->y = 0;
  state().selectedChannel = 21;
  frame();
  input.reading(pad)->y = 32767;
  frame();
  EXPECT_EQ(state().selectedChannel, 22);
  EXPECT_EQ(state().firstVisibleChannel, 1);

  input.reading(pad)->y = 0;
  input.reading(pad)->buttons = 1;  // A switches the selected channel, once per press
  frame(3);
  EXPECT_FALSE(enabled(22));
}

TEST_F(MainLoopTest, FramesPerSecondUpdateEveryTwoCalendarSeconds) {
  state().settings.drawFps = true;
  frame(10);
  EXPECT_STREQ(state().loop.fpsText, "");
  clock.Advance(2000);
  frame();
  EXPECT_STREQ(state().loop.fpsText, "  5FPS") << "half the frames of the last two seconds";
}

}  // namespace
}  // namespace tvp::test
