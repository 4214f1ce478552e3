// The command entry point: status codes, stored settings and the host-visible counters.
#include <gtest/gtest.h>

#include <cstring>

#include "soundtrack/status.h"
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

TEST(EngineCommandHandles, NullHandleGivesBadParamForEveryCommand) {
  ParamBlock p = params(0, kOfflineRoad, 4, 16);
  for (uint32_t code : kAllCommands) EXPECT_EQ(engineCommand(nullptr, code, &p), kStatusBadParam) << code;
}

TEST(EngineCommandHandles, HandleWithoutEngineGivesBadParamExceptNopAndOpen) {
  for (uint32_t code : kAllCommands) {
    if (code == ENG_NOP || code == ENG_OPEN) continue;
    SoundEngine* none = nullptr;
    int32_t count = 4;
    ParamBlock p = params(reinterpret_cast<intptr_t>(&count), 0, 0, 0);
    EXPECT_EQ(engineCommand(&none, code, &p), kStatusBadParam) << std::hex << code;
  }
  SoundEngine* none = nullptr;
  EXPECT_EQ(engineCommand(&none, ENG_NOP, nullptr), kStatusOk);
}

TEST(EngineCommandHandles, UnknownCodesGiveBadParam) {
  OfflineEngine e;
  for (uint32_t code : {0x3u, 0x13u, 0x00100003u, 0x10000002u, 0xFFFFFFFFu})
    EXPECT_EQ(e.command(code), kStatusBadParam) << std::hex << code;
}

TEST(EngineCommandHandles, CloseClearsTheHandleSoLaterCommandsAreRefused) {
  OfflineEngine e;
  ASSERT_EQ(e.command(ENG_CLOSE), kStatusOk);
  EXPECT_EQ(e.engine, nullptr);
  EXPECT_EQ(e.command(ENG_GET_VERSION), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_START), kStatusBadParam);
}

TEST(EngineOpen, RefusesBadVoiceAndBufferCountsWithoutTouchingTheHandle) {
  struct Case {
    intptr_t voices, frames;
    int32_t status;
  } cases[] = {{257, 4096, kStatusTooManyVoices}, {0, 4096, kStatusBadParam},
               {-3, 4096, kStatusBadParam},       {4, 4100, kStatusBadParam},
               {4, 4095, kStatusBadParam},        {4, 0, kStatusBadParam},
               {4, -16, kStatusBadParam}};
  for (const Case& c : cases) {
    SoundEngine* sentinel = reinterpret_cast<SoundEngine*>(0x1234);
    SoundEngine* handle = sentinel;
    ParamBlock p = params(0, kOfflineRoad, c.voices, c.frames);
    EXPECT_EQ(engineCommand(&handle, ENG_OPEN, &p), c.status) << c.voices << " " << c.frames;
    EXPECT_EQ(handle, sentinel);
  }
}

TEST(EngineOpen, BuffersWhoseByteSizesLeave32BitsCannotBeHad) {
  SoundEngine* handle = nullptr;
  ParamBlock p = params(0, kOfflineRoad, 4, 0x7FFFFFF0);
  EXPECT_EQ(engineCommand(&handle, ENG_OPEN, &p), kStatusOutOfMemory);
  EXPECT_EQ(handle, nullptr);
}

TEST(EngineOpen, OpensWithTheLargestVoiceCountAndStartsWithResetDefaults) {
  OfflineEngine e(256, 4096);
  ASSERT_NE(e.engine, nullptr);
  EXPECT_EQ(e.engine->voiceCount, 256);
  EXPECT_EQ(e.engine->bytesPerBuffer, 4096 * 4);
  EXPECT_EQ(e.command(ENG_GET_MASTER_VOLUME), 32768);
  EXPECT_EQ(e.command(ENG_GET_FADE_STEP), 0x10000);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 255), 1);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 0);
  EXPECT_EQ(e.engine->flags, 0u);
  EXPECT_EQ(e.engine->positionRequest, -1);
}

TEST(EngineOpen, TwoEnginesLiveSideBySide) {
  OfflineEngine a, b;
  a.command(ENG_SET_USER_WORD, 11);
  b.command(ENG_SET_USER_WORD, 22);
  EXPECT_EQ(a.command(ENG_GET_USER_WORD), 11);
  EXPECT_EQ(b.command(ENG_GET_USER_WORD), 22);
}

TEST(EnginePrepare, ReportsMissingSoundtrackNotInUseBadBitsAndRate) {
  OfflineEngine e;
  e.sendPlayerSettings();
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), kStatusNoSoundtrack);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);

  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0});
  e.command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song.get()));
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), kStatusNotInUse);
  song.inUse();
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_PREPARE, 12, 1, 44100 << 16), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 0xFFFF), kStatusBadParam);  // below 1 Hz
  EXPECT_EQ(e.command(ENG_PREPARE, 8, 0, 0x10000), kStatusOk);          // 1 Hz is a rate
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), kStatusOk);
  EXPECT_EQ(e.command(ENG_START), kStatusOk);
  EXPECT_EQ(e.command(ENG_START), kStatusOk);  // already playing
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 1);
}

TEST(EnginePrepare, AFailedPrepareStopsPlayback) {
  OfflineEngine e;
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0});
  e.play(song.inUse(), 44100);
  EXPECT_EQ(e.command(ENG_PREPARE, 12, 1, 44100 << 16), kStatusBadParam);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 0);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
}

TEST(EnginePrepare, DeviceRoadsRefuseWithoutAnAudioLayer) {
  SoundEngine* engine = nullptr;
  ParamBlock open = params(0, 0, 4, 4096);  // the queued-buffer road
  ASSERT_EQ(engineCommand(&engine, ENG_OPEN, &open), kStatusOk);
  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0});
  ParamBlock bind = params(reinterpret_cast<intptr_t>(song.inUse()));
  engineCommand(&engine, ENG_BIND_SOUNDTRACK, &bind);
  ParamBlock prepare = params(16, 1, 44100 << 16);
  EXPECT_EQ(engineCommand(&engine, ENG_PREPARE, &prepare), kStatusPlatformFailed);
  EXPECT_EQ(engineCommand(&engine, ENG_START, nullptr), kStatusNotPrepared);
  int16_t buffer[4096 * 2];
  EXPECT_EQ(renderOfflineBuffer(&engine, buffer), kStatusBadParam);
  engineCommand(&engine, ENG_CLOSE, nullptr);
}

TEST(EngineBind, BindingStopsAndClearsThePreparedState) {
  OfflineEngine e;
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0});
  e.play(song.inUse(), 44100);
  EXPECT_EQ(e.command(ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song.get())), 0);
  EXPECT_EQ(e.command(ENG_IS_PLAYING), 0);
  EXPECT_EQ(e.command(ENG_START), kStatusNotPrepared);
  EXPECT_EQ(e.command(ENG_UNBIND_SOUNDTRACK), 0);
  EXPECT_EQ(e.engine->boundSoundtrack, nullptr);
  EXPECT_EQ(e.command(ENG_PREPARE, 16, 1, 44100 << 16), kStatusNoSoundtrack);
}

TEST(EngineSettings, StoredValuesComeBackAndSixteenBitValuesAreSignExtended) {
  OfflineEngine e;
  e.command(ENG_SET_MASTER_VOLUME, 0x10000);
  EXPECT_EQ(e.command(ENG_GET_MASTER_VOLUME), 0x10000);
  e.command(ENG_SET_FADE_STEP, 0x800);
  EXPECT_EQ(e.command(ENG_GET_FADE_STEP), 0x800);
  e.command(ENG_SET_SPEED, 150 << 16);
  EXPECT_EQ(e.command(ENG_GET_SPEED), 150 << 16);
  e.command(ENG_SET_USER_WORD, 0x7FFFFFFF);
  EXPECT_EQ(e.command(ENG_GET_USER_WORD), 0x7FFFFFFF);
  e.command(ENG_SET_INTERPOLATION, 0x10003);  // only the low half counts
  EXPECT_EQ(e.command(ENG_GET_INTERPOLATION), 3);
  e.command(ENG_SET_HOST_SHORT, 0xFFFE);
  EXPECT_EQ(e.command(ENG_GET_HOST_SHORT), -2);
  e.command(ENG_SET_SCOPE_REQUEST, 1);
  EXPECT_EQ(e.command(ENG_GET_SCOPE_REQUEST), 1);
  EXPECT_EQ(e.command(ENG_GET_SCOPE_BUFFER), reinterpret_cast<intptr_t>(e.engine->scopeBuffer));
  EXPECT_EQ(static_cast<uint32_t>(e.command(ENG_GET_VERSION)), kEngineVersion);
  EXPECT_LT(e.command(ENG_GET_VERSION), 0);  // a 32-bit result with its top bit set
}

TEST(EngineSettings, VersionAndRightsTextsAreSingleAsciiLines) {
  OfflineEngine e;
  for (uint32_t code : {ENG_GET_VERSION_TEXT, ENG_GET_RIGHTS_TEXT}) {
    const char* text = reinterpret_cast<const char*>(e.command(code));
    ASSERT_NE(text, nullptr);
    size_t length = std::strlen(text);
    EXPECT_GT(length, 10u);
    for (size_t i = 0; i < length; ++i) EXPECT_TRUE(text[i] >= 0x20 && text[i] < 0x7F);
  }
  EXPECT_NE(std::strstr(reinterpret_cast<const char*>(e.command(ENG_GET_VERSION_TEXT)), "11"), nullptr);
}

TEST(EngineSettings, HostWordIsCopiedFromTheAddressOrZero) {
  OfflineEngine e;
  uint32_t word = 0xCAFEF00D;
  e.command(ENG_SET_HOST_WORD, reinterpret_cast<intptr_t>(&word));
  EXPECT_EQ(e.engine->hostWord, 0xCAFEF00Du);
  e.command(ENG_SET_HOST_WORD, 0);
  EXPECT_EQ(e.engine->hostWord, 0u);
}

TEST(EngineChannels, OutOfRangeIndicesChangeNothingAndReadZero) {
  OfflineEngine e(4);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, -1), 0);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 4), 0);
  EXPECT_EQ(e.command(ENG_SET_CHANNEL_ENABLED, 4, 0), 0);
  EXPECT_EQ(e.command(ENG_SET_CHANNEL_ENABLED, -1, 0), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, i), 1);
  e.command(ENG_SET_CHANNEL_ENABLED, 2, 0);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 2), 0);
  e.command(ENG_RESET);
  EXPECT_EQ(e.command(ENG_GET_CHANNEL_ENABLED, 2), 1);  // reset enables every voice again
}

TEST(EngineChannels, ChannelLevelsAreCopiedAndCleared) {
  OfflineEngine e(4);
  for (int i = 0; i < 4; ++i) e.engine->voices[i].level = 100u + i;
  uint32_t levels[8] = {};
  int32_t count = 0;
  EXPECT_EQ(e.command(ENG_TAKE_CHANNEL_LEVELS, reinterpret_cast<intptr_t>(&count),
                      reinterpret_cast<intptr_t>(levels)), 0);
  EXPECT_EQ(count, 0);  // a capacity below 1 writes nothing
  EXPECT_EQ(levels[0], 0u);
  count = 8;
  e.command(ENG_TAKE_CHANNEL_LEVELS, reinterpret_cast<intptr_t>(&count), reinterpret_cast<intptr_t>(levels));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(levels[3], 103u);
  EXPECT_EQ(e.engine->voices[3].level, 0u);
  EXPECT_EQ(e.command(ENG_TAKE_CHANNEL_LEVELS, 0, 0), kStatusBadParam);
}

TEST(EngineVoiceCounts, TakingThePeakReturnsItOnceThenMinusOne) {
  OfflineEngine e;
  e.engine->peakVoices = 5;
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), 5);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), -1);
  e.engine->peakVoices = 3;
  e.command(ENG_RESET_PEAK_VOICES);
  EXPECT_EQ(e.command(ENG_TAKE_PEAK_VOICES), -1);
  e.engine->activeVoices = 7;
  EXPECT_EQ(e.command(ENG_GET_ACTIVE_VOICES), 7);
}

TEST(EngineElapsedTime, CountsWholeSecondsOfRenderedBuffers) {
  OfflineEngine e(4, 4096);
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  int32_t body = song.addPattern({}, 64);
  song.setPlayPositions({0, body, body, body, body});
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // no rate yet
  e.play(song.inUse(), 44100);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(e.renderBuffer(), 1);
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 0);  // 40960 frames < 1 s
  for (int i = 0; i < 12; ++i) e.renderBuffer();
  EXPECT_EQ(e.command(ENG_GET_ELAPSED_SECONDS), 2);  // 22 x 4096 / 44100 = 2.04
  EXPECT_EQ(e.engine->buffersRendered, 22);
}

TEST(EngineService, OfflineRoadHasNothingToService) {
  OfflineEngine e;
  e.sendPlayerSettings();
  SongBuilder song;
  song.addInitialSettings();
  song.setPlayPositions({0});
  e.play(song.inUse(), 44100);
  EXPECT_EQ(e.command(ENG_SERVICE), 0);
  EXPECT_EQ(e.engine->buffersRendered, 0);
}

TEST(EngineOfflineRoad, RenderingNeedsAPreparedOfflineEngineAndADestination) {
  OfflineEngine e;
  EXPECT_EQ(e.renderBuffer(), kStatusNotPrepared);
  EXPECT_EQ(renderOfflineBuffer(&e.engine, nullptr), kStatusBadParam);
  EXPECT_EQ(renderOfflineBuffer(nullptr, e.out.data()), kStatusBadParam);
  SoundEngine* none = nullptr;
  EXPECT_EQ(renderOfflineBuffer(&none, e.out.data()), kStatusBadParam);
}

}  // namespace
}  // namespace tvp::test
