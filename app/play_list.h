#pragma once
// The play list: the module files the player plays one after the other, from the command line,
// a folder, a drop on the window or the folder of a file chosen in the open-file window; and the
// end of a song, which fades a song that loops back after its passes and then moves on as the
// PLAYLIST setting says. Everything goes through the opening of modules and the engine commands
// the keys use, so a file that does not load shows the notice any load shows.
#include <cstdint>
#include <string>
#include <vector>

#include "app/player_state.h"

namespace tvp {

// The names the player takes for modules when it lists a folder.
inline constexpr const char* kModuleNamePatterns[] = {"*.XM", "*.S3M", "*.MOD", "*.IT"};
// A list holds at most this many files; a folder tree with more is cut there.
inline constexpr int32_t kMaxPlayListFiles = 100000;
// Sub-folders deeper than this below a folder given are not walked.
inline constexpr int32_t kMaxFolderDepth = 32;
// The fade after a song's last pass, in seconds.
inline constexpr double kEndFadeSeconds = 4.0;

// The files that `paths` name, in their order: a file as it is (its content decides whether it is
// a module), a folder as its module files in the open-file window's order (byte-wise by name),
// and with `recursive` its sub-folders' too, each where the window lists it (before the files).
// Paths that are neither are kept, so that opening them says what is wrong.
std::vector<std::string> CollectModules(const std::vector<std::string>& paths, bool recursive);

// Makes `files` the list and plays it from files[first], skipping files that do not load; with
// `explain` each file skipped is named on standard error with the reason (the start-up's command
// line). With SHUFFLE the list plays in a random order that begins at files[first]. False when
// no file of the list from there on loads.
bool PlayFiles(PlayerState& state, std::vector<std::string> files, int32_t first, bool explain = false);

// The open-file window's choice: its folder's files become the list, at `chosen`, which opens as
// a chosen file always has (started only with AUTOSTART; a file that does not load is not skipped).
void ChooseListedFile(PlayerState& state, std::vector<std::string> files, int32_t chosen);

// N and P (and the pad's shoulder buttons): the next or previous file of the list that loads,
// played, with the notice "FILE 2 OF 5: name". At the ends of the list nothing changes and the
// notice says so.
void PlayNextFile(PlayerState& state);
void PlayPreviousFile(PlayerState& state);

// After every service call: follows the playing song's passes, starts the fade once the song has
// looped back LOOPS + 1 times, and once the song has ended and the device has played it out, goes
// on as PLAYLIST says.
void FollowSong(PlayerState& state);

// The song plays again from its start (a load, a rewind, a start after its end): no pass counted,
// no fade.
void RestartSongFollowing(PlayerState& state);
// The player asked the engine for a play position: a new pass starts there.
void FollowPositionRequest(PlayerState& state, int32_t position);
// The song is over: the next sub-song (SUBSONGS=ALL), the same song again (REPEAT), the next file
// (NEXT) or a stop, as the settings say.
void SongOver(PlayerState& state);

// The folder a file's path names ("/" for a file at the root), or "" for a bare file name.
std::string FolderOf(const std::string& path);

// "SONG TITLE - Tonvale Player", the file name standing in for an empty title; "Tonvale Player"
// with no song. Characters outside printable ASCII become '?'.
std::string WindowTitle(const char* songTitle, const char* path);
// The song's part of it: "SONG TITLE", or the file's name.
std::string SongName(const char* songTitle, const char* path);

}  // namespace tvp
