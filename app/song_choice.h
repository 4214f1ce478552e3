#pragma once
// The songs of one module and moving through a song by time. A module can hold several songs
// (sub-songs); the player plays one at a time, each from the module's initial settings, and
// follows it until it repeats or comes into another song's positions. Seeking plays the song
// silently to the time sought, so what follows is what playing through would have given.
#include <cstdint>

#include "app/player_state.h"
#include "engine/sound_engine.h"

namespace tvp {

inline constexpr int32_t kSeekSeconds = 10;

// After a load: finds the module's songs and makes the first the one to play.
void FindModuleSongs(PlayerState& state);

// Plays song `index` (0 the first) of the loaded module from its start, with the notice
// "SUBSONG 2 OF 5"; at either end of the list the notice says so and nothing changes.
void PlaySubSong(PlayerState& state, int32_t index);
void PlayNextSubSong(PlayerState& state);
void PlayPreviousSubSong(PlayerState& state);

// Moves the playing song `seconds` on (back when negative), to no earlier than its start; the
// notice names the time reached. A move past the end ends the song.
void SeekBy(PlayerState& state, int32_t seconds);
// The same, to `frame` frames (of the output rate) from the song's start.
void SeekToFrame(PlayerState& state, int64_t frame);

// Where the song stands, in frames of the output rate from its start, and that rate in Hz.
int64_t SongFrame(const SoundEngine& engine);
int32_t SongRate(const SoundEngine& engine);

}  // namespace tvp
