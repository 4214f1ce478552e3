// Starting the output later in a song, and starting a later song of a module: the frames skipped
// leave the song exactly where playing them would, in every interpolation mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "soundtrack/status.h"
#include "tests/support/loaded_song.h"
#include "tests/support/xm_builder.h"

namespace tvp::test {
namespace {

constexpr int32_t kRate = 44100;

// Four channels over eight orders of one pattern (about 61 s): notes on looped and one-shot
// samples under volume and panning envelopes with sustain, key-offs into the fade-out, auto
// vibrato, and the effects that keep memory from row to row (vibrato, slides, portamento,
// arpeggio, sample offset).
std::vector<uint8_t> BusySong() {
  XmBuilder xm;
  xm.channels = 4;
  xm.orders = {0, 0, 0, 0, 0, 0, 0, 0};
  XmSampleSpec looped, shot;
  for (int i = 0; i < 512; ++i) looped.frames.push_back(static_cast<int>(std::lround(90 * std::sin(i * M_PI / 16))));
  looped.loopType = 2;
  looped.loopStart = 64;
  looped.loopLength = 384;
  for (int i = 0; i < 3000; ++i) shot.frames.push_back(((i * 37) % 200) - 100);
  XmInstrumentSpec pad, hit;
  pad.samples = {looped};
  pad.volumeEnvelope = {{{0, 0}, {20, 64}, {60, 32}, {90, 48}}, -1, 2, 1, 3, 7};
  pad.panningEnvelope = {{{0, 0}, {40, 64}}, -1, 0, 0, 0, 1};
  pad.vibratoType = 1, pad.vibratoSweep = 30, pad.vibratoDepth = 6, pad.vibratoRate = 20;
  pad.fadeout = 900;
  hit.samples = {shot};
  xm.instruments = {pad, hit};
  for (int row = 0; row < 64; ++row) {
    if (row % 8 == 0) xm.cell(0, row, 0, {37 + row / 8, 1, 0, 4, 0x46});      // vibrato, then its memory
    if (row % 8 == 4) xm.cell(0, row, 0, {97, 0, 0, 0xA, 0x02});             // key off, volume slide
    if (row % 4 == 0) xm.cell(0, row, 1, {49 + (row % 12), 2, 0, 9, row});   // sample offset
    if (row % 16 == 2) xm.cell(0, row, 2, {25 + row / 4, 1, 0, 3, 0x08});    // portamento
    if (row % 16 == 10) xm.cell(0, row, 2, {0, 0, 0, 3, 0});
    if (row % 6 == 0) xm.cell(0, row, 3, {61, 1, 0x10 + row, 0, 0x37});      // arpeggio, a volume
    if (row % 6 == 3) xm.cell(0, row, 3, {0, 0, 0, 0x19, 0x40});             // panning slide
  }
  return xm.bytes();
}

std::vector<int16_t> Render(Soundtrack* soundtrack, RenderSettings settings, StopReason* reason = nullptr) {
  RenderSession session;
  EXPECT_EQ(session.open(settings, soundtrack), kStatusOk);
  std::vector<int16_t> out;
  while (!session.finished()) {
    const int32_t frames = session.renderNext();
    out.insert(out.end(), session.frames(), session.frames() + 2 * frames);
  }
  if (reason) *reason = session.stopReason();
  return out;
}

TEST(Seek, ThirtySecondsInPlaysOnAsTheWholeRenderDoesInEveryMode) {
  LoadedSong song(BusySong());
  ASSERT_TRUE(song.get());
  for (int32_t mode : {0, 1, 2, 3, 7}) {
    SCOPED_TRACE(mode);
    RenderSettings whole;
    whole.interpolation = mode;
    whole.maxFrames = 60 * kRate;
    RenderSettings tail = whole;
    tail.startFrames = 30 * kRate;
    tail.maxFrames = 30 * kRate;
    const std::vector<int16_t> all = Render(song.get(), whole);
    ASSERT_EQ(all.size(), size_t{2} * 60 * kRate);
    const std::vector<int16_t> part = Render(song.get(), tail);
    ASSERT_EQ(part.size(), size_t{2} * 30 * kRate);
    size_t differ = 0;
    while (differ < part.size() && part[differ] == all[2 * 30 * kRate + differ]) ++differ;
    EXPECT_EQ(differ, part.size()) << "first difference at frame " << differ / 2;
  }
}

TEST(Seek, AStartPastTheEndEndsTheSongAtOnce) {
  LoadedSong song(BusySong());  // about 61 s, then it starts over
  ASSERT_TRUE(song.get());
  RenderSettings settings;
  settings.startFrames = int64_t{62} * kRate;
  StopReason reason = StopReason::Playing;
  EXPECT_TRUE(Render(song.get(), settings, &reason).empty());
  EXPECT_EQ(reason, StopReason::LoopedBack);
  settings.loops = 1;  // a second pass is still to come
  EXPECT_EQ(Render(song.get(), settings).size(), size_t{2} * (8 * 64 * 6 * 882 * 2 - 62 * kRate));
  settings.loops = 0;
  settings.fadeSeconds = 2;  // 0.56 s into the fade after the first pass: the rest of it plays
  const size_t rest = Render(song.get(), settings, &reason).size() / 2;
  EXPECT_EQ(reason, StopReason::FadedOut);
  EXPECT_GT(rest, size_t{kRate});
  EXPECT_LT(rest, size_t{2 * kRate});
  settings.startFrames = int64_t{600} * kRate;
  EXPECT_TRUE(Render(song.get(), settings, &reason).empty());
  EXPECT_EQ(reason, StopReason::FadedOut);
}

TEST(SubSongRender, ALaterSongStartsAtOnceWithTheModulesInitialSettings) {
  // Speed 3 from the header. Order 0 loops after 32 rows; order 1, never reached by it, plays 16
  // rows and runs off the end back into order 0.
  XmBuilder xm;
  xm.channels = 1;
  xm.speed = 3;
  xm.orders = {0, 1};
  XmSampleSpec sample;
  for (int i = 0; i < 64; ++i) sample.frames.push_back(i % 32 < 16 ? 100 : -100);
  sample.loopType = 1;
  sample.loopLength = 64;
  XmInstrumentSpec instrument;
  instrument.samples = {sample};
  xm.instruments = {instrument};
  xm.cell(0, 0, 0, {49, 1, 0, -1, 0});
  xm.cell(0, 31, 0, {0, 0, 0, 0xB, 0});
  xm.pattern(1).rows = 16;
  xm.cell(1, 0, 0, {61, 1, 0, -1, 0});
  LoadedSong song(xm.bytes());
  ASSERT_TRUE(song.get());
  SubSong songs[4];
  ASSERT_EQ(FindSubSongs(song.get(), songs, 4), 2);

  RenderSettings settings;
  settings.entryPosition = songs[1].firstPosition;
  StopReason reason = StopReason::Playing;
  const std::vector<int16_t> audio = Render(song.get(), settings, &reason);
  EXPECT_EQ(reason, StopReason::Ended);  // where it runs into the first song's order
  EXPECT_EQ(audio.size(), size_t{2} * 16 * 3 * 882);  // 16 rows at speed 3
  ASSERT_FALSE(audio.empty());
  EXPECT_NE(audio[0], 0);  // its note sounds from the first frame
  EXPECT_EQ(songs[1].total, 16 * 3 * 882 / 256);
}

}  // namespace
}  // namespace tvp::test
