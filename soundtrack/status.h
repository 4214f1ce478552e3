#pragma once
// Status codes shared by every subsystem. Failures are negative, in the classic style where -50
// means a bad parameter. The loaders and the soundtrack model report them as 16-bit values, the
// engine as 32-bit results.
#include <cstdint>

namespace tvp {

inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusPlatformFailed = -1;    // a platform or device call failed
inline constexpr int32_t kStatusNoDisplayMode = -2;     // no matching display mode
inline constexpr int32_t kStatusNoControllerList = -2;  // the game controllers cannot be listed
inline constexpr int32_t kStatusDataEnded = -39;        // data ended early
inline constexpr int32_t kStatusS3MShortRead = 1;       // the S3M loader's own status for it
inline constexpr int32_t kStatusTooManyVoices = -42;
inline constexpr int32_t kStatusNotFound = -43;         // file, resource or chunk not found
inline constexpr int32_t kStatusNotPrepared = -47;      // start before prepare
inline constexpr int32_t kStatusBadParam = -50;
inline constexpr int32_t kStatusOutOfMemory = -108;
inline constexpr int32_t kStatusNoSoundtrack = -109;
inline constexpr int32_t kStatusWrongFormat = -208;     // not this loader's or picture's format
inline constexpr int32_t kStatusNotInUse = -623;        // soundtrack not marked in use
inline constexpr int32_t kStatusDisplayNotReady = -900;

}  // namespace tvp
