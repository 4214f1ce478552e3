#pragma once
// The engine's one entry point. The host keeps a variable holding the engine pointer and passes
// its address as the handle; ENG_OPEN stores the new engine there.
//
// Parameter slots and results are pointer-wide so that the commands which carry addresses
// (ENG_OPEN's device, ENG_BIND_SOUNDTRACK, ENG_TAKE_CHANNEL_LEVELS, ENG_SET_HOST_WORD and the
// address results) work on a 64-bit host. Numeric results are 32-bit values sign-extended; the
// ones marked 16-bit are 16-bit values sign-extended. A 16-bit argument is the low half of its
// slot.
#include <cstdint>

namespace tvp {

struct SoundEngine;

using EngineHandle = SoundEngine**;
using EngineResult = intptr_t;
struct ParamBlock {
  intptr_t p[4];
};

// ENG_OPEN p1 chooses the output road:
//   - a RingAudioDevice* (platform/audio_device.h): the ring road, four sections of one buffer
//     each in a looping ring the device plays; the player's road;
//   - 0: the queue road, two buffers queued in turn on the QueueAudioDevice* passed in p0 (null
//     p0: prepare fails as a device that cannot be opened);
//   - kOfflineRoad: no device, the caller renders (engine/offline_output.h).
// Both devices are the host's and must outlive the engine. ENG_SERVICE renders into them.
inline constexpr intptr_t kOfflineRoad = 1;

inline constexpr uint32_t ENG_NOP = 0x00000000;
inline constexpr uint32_t ENG_OPEN = 0x00000001;
inline constexpr uint32_t ENG_CLOSE = 0x00000002;
inline constexpr uint32_t ENG_RESET = 0x00000010;
inline constexpr uint32_t ENG_PREPARE = 0x00000011;
inline constexpr uint32_t ENG_START = 0x00000012;
inline constexpr uint32_t ENG_STOP = 0x00000014;
inline constexpr uint32_t ENG_IS_PLAYING = 0x0000001F;
inline constexpr uint32_t ENG_BIND_SOUNDTRACK = 0x00000101;
inline constexpr uint32_t ENG_UNBIND_SOUNDTRACK = 0x00000102;
inline constexpr uint32_t ENG_SERVICE = 0x00001001;
// p0: frames the song plays on silently, as if rendered (a seek from where it is).
inline constexpr uint32_t ENG_SKIP_FRAMES = 0x00001011;
inline constexpr uint32_t ENG_SET_MASTER_VOLUME = 0x00100001;
inline constexpr uint32_t ENG_GET_MASTER_VOLUME = 0x00100002;
inline constexpr uint32_t ENG_SET_FADE_STEP = 0x00100021;
inline constexpr uint32_t ENG_GET_FADE_STEP = 0x00100022;
inline constexpr uint32_t ENG_SET_CHANNEL_ENABLED = 0x00200001;
inline constexpr uint32_t ENG_GET_CHANNEL_ENABLED = 0x00200002;
inline constexpr uint32_t ENG_SET_A4_FREQUENCY = 0x00300001;
inline constexpr uint32_t ENG_GET_A4_FREQUENCY = 0x00300002;
inline constexpr uint32_t ENG_SET_SPEED = 0x00300011;
inline constexpr uint32_t ENG_GET_SPEED = 0x00300012;
inline constexpr uint32_t ENG_SET_USER_WORD = 0x00400001;
inline constexpr uint32_t ENG_GET_USER_WORD = 0x00400002;
inline constexpr uint32_t ENG_SET_INTERPOLATION = 0x00400011;
inline constexpr uint32_t ENG_GET_INTERPOLATION = 0x00400021;
inline constexpr uint32_t ENG_GET_ELAPSED_SECONDS = 0x01000001;
inline constexpr uint32_t ENG_RESET_PEAK_VOICES = 0x01600001;
inline constexpr uint32_t ENG_TAKE_PEAK_VOICES = 0x01600002;
inline constexpr uint32_t ENG_GET_ACTIVE_VOICES = 0x01600012;
inline constexpr uint32_t ENG_SET_HOST_SHORT = 0x01700001;
inline constexpr uint32_t ENG_GET_HOST_SHORT = 0x01700002;
inline constexpr uint32_t ENG_TAKE_CHANNEL_LEVELS = 0x0170000F;
inline constexpr uint32_t ENG_SET_SCOPE_REQUEST = 0x01800001;
inline constexpr uint32_t ENG_GET_SCOPE_REQUEST = 0x01800002;
inline constexpr uint32_t ENG_GET_SCOPE_BUFFER = 0x0180000F;
inline constexpr uint32_t ENG_GET_PLAY_POSITION = 0x02000012;
inline constexpr uint32_t ENG_REQUEST_PLAY_POSITION = 0x02001001;
// p0: the play position the song enters after its initial settings (position 0); 0 for the next
// one, as a song starts by itself. Kept until ENG_RESET; used whenever play leaves position 0.
inline constexpr uint32_t ENG_SET_ENTRY_POSITION = 0x02001011;
// p0: the song of each play position (const int32_t*, one entry per position of the bound
// soundtrack, negative for none; the host's, kept until it unbinds; null: no such table), p1:
// the song playing. Play that comes into another song's position ends the song there.
inline constexpr uint32_t ENG_SET_POSITION_SONGS = 0x02001021;
inline constexpr uint32_t ENG_SET_HOST_WORD = 0x03000001;
inline constexpr uint32_t ENG_GET_VERSION = 0x10000001;
inline constexpr uint32_t ENG_GET_VERSION_TEXT = 0x10001001;
inline constexpr uint32_t ENG_GET_RIGHTS_TEXT = 0x10001011;

inline constexpr uint32_t kEngineVersion = 0x8000000B;

EngineResult engineCommand(EngineHandle handle, uint32_t command, const ParamBlock* params);

}  // namespace tvp
