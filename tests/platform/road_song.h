#pragma once
// A song for the sound-device roads, and the engine commands the player sends: notes of a looped
// sine at a new pitch every row, so that every buffer differs from its neighbours and a buffer
// dropped, repeated or out of order shows.
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/engine_api.h"
#include "engine/offline_output.h"
#include "soundtrack/status.h"
#include "tests/support/song_builder.h"

namespace tvp::test {

inline constexpr int32_t kRoadFrames = 4096;  // the player's buffer
inline constexpr int32_t kRoadBytes = kRoadFrames * 4;
inline constexpr uint32_t kRoadHertz = 44100;

inline void BuildRoadSong(SongBuilder& song) {
  song.addInitialSettings();
  std::vector<int16_t> sine(100);
  for (int i = 0; i < 100; ++i) sine[i] = static_cast<int16_t>(std::lround(20000 * std::sin(2 * M_PI * i / 100)));
  const int32_t sample = song.addSample(sine, 44100, 0, 100);
  std::vector<Ev> events;
  for (int32_t row = 0; row < 64; ++row) {
    const int32_t t = row * 256;
    events.insert(events.end(), {{t, 0, EventCode::SetPitch, 0x3000 + (row * 7 % 24) * 256},
                                 {t, 0, EventCode::SelectSample, sample},
                                 {t, 0, EventCode::ResetVolume, 0},
                                 {t, 0, EventCode::StartSample, 0},
                                 {t, 0, EventCode::SetVoiceFlags, 3}});
  }
  song.setPlayPositions({0, song.addPattern(events, 64)});
}

inline EngineResult Command(EngineHandle engine, uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0, intptr_t p2 = 0,
                            intptr_t p3 = 0) {
  ParamBlock p{{p0, p1, p2, p3}};
  return engineCommand(engine, code, &p);
}

// Opens an engine on a road (ENG_OPEN's p0 and p1) with the player's settings. 0 or a status.
inline int32_t OpenRoadEngine(EngineHandle engine, intptr_t p0, intptr_t p1) {
  auto status = static_cast<int32_t>(Command(engine, ENG_OPEN, p0, p1, 8, kRoadFrames));
  if (status != kStatusOk) return status;
  Command(engine, ENG_RESET);
  Command(engine, ENG_SET_MASTER_VOLUME, 0x8000);
  Command(engine, ENG_SET_A4_FREQUENCY, 440 << 16);
  Command(engine, ENG_SET_SPEED, 100 << 16);
  Command(engine, ENG_SET_FADE_STEP, 0);
  return kStatusOk;
}

inline int32_t PrepareRoadEngine(EngineHandle engine, Soundtrack* song) {
  Command(engine, ENG_BIND_SOUNDTRACK, reinterpret_cast<intptr_t>(song));
  return static_cast<int32_t>(Command(engine, ENG_PREPARE, 16, 1, static_cast<intptr_t>(kRoadHertz) << 16));
}

// What the offline road renders for the same song and settings: `buffers` buffers as bytes.
inline std::vector<uint8_t> OfflineRoadBytes(Soundtrack* song, int32_t buffers) {
  SoundEngine* engine = nullptr;
  std::vector<uint8_t> bytes;
  if (OpenRoadEngine(&engine, 0, kOfflineRoad) != kStatusOk) return bytes;
  if (PrepareRoadEngine(&engine, song) == kStatusOk && Command(&engine, ENG_START) == kStatusOk) {
    std::vector<int16_t> buffer(2 * kRoadFrames);
    for (int32_t i = 0; i < buffers; ++i) {
      renderOfflineBuffer(&engine, buffer.data());
      const auto* p = reinterpret_cast<const uint8_t*>(buffer.data());
      bytes.insert(bytes.end(), p, p + kRoadBytes);
    }
  }
  Command(&engine, ENG_CLOSE);
  return bytes;
}

}  // namespace tvp::test
