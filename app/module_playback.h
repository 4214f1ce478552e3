#pragma once
// Opening a module and the playback commands of the keys. Everything goes to the engine through
// its command entry point on the state's engine handle, so the output road is whichever the
// engine was opened with. Every user-visible outcome is a notice; engine results are not checked.
#include "app/player_state.h"

namespace tvp {

// Opens `path` (a POSIX or drive path) and makes it the one soundtrack the engine plays. When the
// file cannot be opened: notice "FILE OPEN FAILED", nothing else changes. Otherwise the engine is
// stopped and unbound and the old soundtrack released before the loaders (XM, S3M, MOD, IT) are
// offered the file; when none takes it: "FILE READ FAILED" and no soundtrack. On success the
// song is bound, the engine settings are sent again with RESETPARAMS, the engine is prepared,
// started with AUTOSTART, and the notice is "FILE READ SUCCESSFULLY". True when the song loaded.
bool OpenModuleFile(PlayerState& state, const char* path);

// Whether a loader takes the file at `path`; what plays is not touched.
bool LoadsAsModule(const char* path);

// Stops and unbinds the engine and releases the loaded soundtrack, if any.
void ReleaseModule(PlayerState& state);

// MASTERVOL, A4FREQ, SPEED and INTERPOLATION, in that order, as the settings hold them.
void SendEngineSettings(PlayerState& state);

// The master volume, 0 (silence) .. kFullVolume; values outside are taken to the nearer end.
inline constexpr int32_t kFullVolume = 65536;
void SetMasterVolume(PlayerState& state, int32_t volume);

// The playback commands. The notices show whatever the engine answers, also with no soundtrack.
// A start after the song's end plays it again from its first position.
void StartPlaying(PlayerState& state);    // "PLAY STARTED"
void StopPlaying(PlayerState& state);     // "PLAY STOPPED"
void StopAndRewind(PlayerState& state);   // "SOUNDTRACK REWINDED TO THE BEGINNING"
// Prepares the engine again: the song stands at its first frame, stopped.
void RewindSong(PlayerState& state);
// Ask for the play position before or after the current one; the engine jumps when it renders
// its next buffer. At position 0 the request is -1, which the engine reads as no request.
void PreviousPlayPosition(PlayerState& state);
void NextPlayPosition(PlayerState& state);

}  // namespace tvp
