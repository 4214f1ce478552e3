// The command entry point: status codes, stored settings and the host-visible counters.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/engine_fixture.h"

namespace tvp::test {
namespace {

constexpr uint32_t kAllCommands[] = {
    ENG_NOP, ENG_OPEN, ENG_CLOSE, ENG_RESET, ENG_PREPARE, ENG_START, ENG_STOP, ENG_IS_PLAYING,
    ENG_BIND_SOUNDTRACK, ENG_UNBIND_SOUNDTRACK, ENG_SERVICE, ENG_SET_MASTER_VOLUME,
    ENG_GET_MASTER_VOLUME, ENG_SET_FADE_STEP, ENG_GET_FADE_STEP, ENG_SET_CHANNEL_ENABLED,
    ENG_GET_CHANNEL_ENABLED, ENG_SET_A4_FREQUENCY, ENG_GET_A4_FREQUENCY, ENG_SET_SPEED,
    ENG_GET_SPEED, ENG_SET_USER_WORD, ENG_GET_USER_WORD, ENG_SET_INTERPOLATION,
    ENG_GET_INTERPOLATION, ENG_GET_ELAPSED_SECONDS, ENG_RESET_PEAK_VOICES, ENG_TAKE_PEAK_VOICES,
    ENG_GET_ACTIVE_VOICES, ENG_SET_HOST_SHORT, ENG_GET_HOST_SHORT, ENG_TAKE_CHANNEL_LEVELS,
    ENG_SET_SCOPE_REQUEST, ENG_GET_SCOPE_REQUEST, ENG_GET_SCOPE_BUFFER, ENG_GET_PLAY_POSITION,
    ENG_REQUEST_PLAY_POSITION, ENG_SET_HOST_WORD, ENG_GET_VERSION, ENG_GET_VERSION_TEXT,
    ENG_GET_RIGHTS_TEXT};

TEST(EngineCommandHandles, MissingEnginesClosedHandlesAndUnknownCodesGiveBadParam) {
  ParamBlock p = params(0, kOfflineRoad, 4, 16);
  int32_t count = 4;
  ParamBlock pointing = params(reinterpret_cast<intptr_t>(&count));
  SoundEngine* none = nullptr;  // a handle without an engine: only NOP and OPEN may run
  for (uint32_t code : kAllCommands) {
    EXPECT_EQ(engineCommand(nullptr, code, &p), kStatusBadParam) << std::hex << code;
    if (code != ENG_NOP && code != ENG_OPEN) {
      EXPECT_EQ(engineCommand(&none, code, &pointing), kStatusBadParam) << std::hex << code;
    }
  }
  EXPECT_EQ(engineCommand(&none, ENG_NOP, nullptr), kStatusOk);
  EXPECT_EQ(renderOfflineBuffer(&none, nullptr), kStatusBadParam);
  OfflineEngine e;
  for (uint32_t code : {0x3u, 0x13u, 0x00100003u, 0x10000002u, 0xFFFFFFFFu})
    EXPECT_EQ(e.command(code), kStatusBadParam) << std::hex << code;
  EXPECT_EQ(e.renderBuffer(), kStatusNotPrepared);
  EXPECT_EQ(renderOfflineBuffer(&e.engine, nullptr), kStatusBadParam);
  EXPECT_EQ(renderOfflineBuffer(nullptr, e.out.data()), kStatusBadParam);
  ASSERT_EQ(e.command(ENG_CLOSE), kStatusOk);
  EXPECT_EQ(e.engine, nullptr);  // closing clears the handle, so later commands are refused
  EXPECT_EQ(e.command(ENG_GET_VERSION), kStatusBadParam);
}

TEST(EngineOpen, RefusesBadVoiceAndBufferCountsWithoutTouchingTheHandle) {
  struct Case {
    intptr_t voices, frames;
    int32_t status;
  } cases[] = {{257, 4096, kStatusTooManyVoices}, {0, 4096, kStatusBadParam}, {-3, 4096, kStatusBadParam},
               {4, 4100, kStatusBadParam},        {4, 4095, kStatusBadParam}, {4, 0, kStatusBadParam},
               {4, -16, kStatusBadParam},         {4, 0x7FFFFFF0, kStatusOutOfMemory}};  // bytes past 32 bits
  for (const Case& c : cases) {
    SoundEngine* handle = reinterpret_cast<SoundEngine*>(0x1234);
    ParamBlock p = params(0, kOfflineRoad, c.voices, c.frames);
    EXPECT_EQ(engineCommand(&handle, ENG_OPEN, &p), c.status) << c.voices << " " << c.frames;
    EXPECT_EQ(handle, reinterpret_cast<SoundEngine*>(0x1234));
  }
  OfflineEngine largest(256, 4096);
  EXPECT_EQ(largest.command(ENG_GET_CHANNEL_ENABLED, 255), 1);
}

TEST(EnginePrepare, ReportsMissingSoundtrackNotInUseBadBitsAndRate) {
  OfflineEngine e;
  e.sendPlayerSettings();
  const intptr_t rate = 44100 << 16;
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusNoSoundtrack);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  SongBuilder song;
  emptySong(song);
  e.command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song.get()));
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusNotInUse);
  song.inUse();
  EXPECT_EQ(e.command(ENG_PREPARE, 12, 1, rate), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 0xFFFF), kStatusBadParam);  // below 1 Hz
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_PREPARE, 8, 0, 0x10000), kStatusOk);  // 1 Hz is a rate
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusOk);
  EXPECT_EQ(e.command(ENG_START), kStatusOk);
  EXPECT_EQ(e.command(ENG_START), kStatusOk);  // already playing
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 1);
  // A failed prepare stops playback, and so does binding; unbinding leaves nothing to prepare.
  EXPECT_EQ(e.command(ENG_PREPARE, 12, 1, rate), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 0);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  e.play(song.get(), 44100);
  EXPECT_EQ(e.command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song.get())), kStatusOk);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 0);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_UNBIND_SOUNDTRACK), kStatusOk);
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, rate), kStatusNoSoundtrack);
}

TEST(EnginePrepare, DeviceRoadsRefuseWithoutAnAudioLayer) {
  SoundEngine* engine = nullptr;
  ParamBlock open = params(0, 0, 4, 4096), prepare = params(16, 1, 44100 << 16);  // the queued-buffer road
  ASSERT_EQ(engineCommand(&engine, ENG_OPEN, &open), kStatusOk);
  SongBuilder song;
  emptySong(song);
  ParamBlock bind = params(reinterpret_cast<intptr_t>(song.inUse()));
  engineCommand(&engine, ENG_BIND_SOUNDTRACK, &bind);
  EXPECT_EQ(engineCommand(&engine, ENG_PREPARE, &prepare), kStatusPlatformFailed);
  EXPECT_EQ(engineCommand(&engine, ENG_START, nullptr), kStatusNotPrepared);
  std::vector<int16_t> buffer(4096 * 2);
  EXPECT_EQ(renderOfflineBuffer(&engine, buffer.data()), kStatusBadParam);
  engineCommand(&engine, ENG_CLOSE, nullptr);
}

// Two engines live side by side; 16-bit values come back sign-extended.
TEST(EngineSettings, SixteenBitValuesAreSignExtendedAndWordsCopied) {
  OfflineEngine e, other;
  e.command(ENG_SET_INTERPOLATION, 0x10003);  // only the low half counts
  other.command(ENG_SET_INTERPOLATION, 2);
  e.command(ENG_SET_HOST_SHORT, 0xFFFE);
  EXPECT_EQ(e.command(ENG_GET_INTERPOLATION), 3);
  EXPECT_EQ(other.command(ENG_GET_INTERPOLATION), 2);
  EXPECT_EQ(e.command(ENG_GET_HOST_SHORT), -2);
  EXPECT_LT(e.command(ENG_GET_VERSION), 0);  // a 32-bit result with its top bit set
  for (uint32_t text : {ENG_GET_VERSION_TEXT, ENG_GET_RIGHTS_TEXT})
    EXPECT_GT(std::strlen(reinterpret_cast<const char*>(e.command(text))), 10u);
  uint32_t word = 0xCAFEF00D;
  e.command(ENG_SET_HOST_WORD, reinterpret_cast<intptr_t>(&word));
  EXPECT_EQ(e.engine->hostWord, 0xCAFEF00Du);
  e.command(ENG_SET_HOST_WORD, 0);  // no address: zero
  EXPECT_EQ(e.engine->hostWord, 0u);
}

TEST(EngineChannels, SwitchesLevelsAndPeakVoices) {
  OfflineEngine e(4);
  for (intptr_t outside : {-1, 4}) EXPECT_EQ(e.command(ENG_SET_CHANNEL_ENABLED, outside, 0), kStatusOk);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 4), 0);
  e.command(ENG_SET_CHANNEL_ENABLED, 2, 0);
  EXPECT_EQ(std::tuple(e.command(ENG_GET_CHANNEL_ENABLED, 2), e.command(ENG_GET_CHANNEL_ENABLED, 3)), std::tuple(0, 1));
  e.command(ENG_RESET);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 2), 1);  // reset enables every voice again

  for (int i = 0; i < 4; ++i) e.engine->voices[i].level = 100u + i;
  uint32_t levels[8] = {};
  int32_t count = 0;  // a capacity below 1 writes nothing
  ParamBlock take = params(reinterpret_cast<intptr_t>(&count), reinterpret_cast<intptr_t>(levels));
  EXPECT_EQ(engineCommand(&e.engine, ENG_TAKE_CHANNEL_LEVELS, &take), kStatusOk);
  EXPECT_EQ(std::tuple(count, levels[0]), std::tuple(0, 0u));
  count = 8;
  engineCommand(&e.engine, ENG_TAKE_CHANNEL_LEVELS, &take);
  EXPECT_EQ(std::tuple(count, levels[3], e.engine->voices[3].level), std::tuple(4, 103u, 0u));
  EXPECT_EQ(e.command(ENG_TAKE_CHANNEL_LEVELS, 0, 0), kStatusBadParam);

  e.engine->peakVoices = 5;  // the peak is taken once, then -1 until a mix sets it
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), 5);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), -1);
  e.engine->peakVoices = 3;
  e.command(ENG_RESET_PEAK_VOICES);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), -1);
}

TEST(EngineElapsedTime, CountsWholeSecondsOfRenderedBuffers) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  emptySong(song, 64, 4);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // no rate yet
  e.play(song.inUse(), 44100);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(e.renderBuffer(), 1);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // 40960 frames < 1 s
  e.render(12);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 2);  // 22 x 4096 / 44100 = 2.04
  EXPECT_EQ(e.command(ENG_SERVICE), kStatusOk);  // the offline road has nothing to service
  EXPECT_EQ(e.engine->buffersRendered, 22);
}

}  // namespace
}  // namespace tvp::test
