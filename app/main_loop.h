#pragma once
// The main loop: one frame drawn and presented, at most one window event handled, the pad
// polled, and the engine asked to render what the sound device has room for, over and over until
// the window is closed. Audio is rendered only here, so a frame must never take longer than the
// device takes to play a buffer.
#include <cstdint>
#include <string>
#include <vector>

#include "app/player_state.h"

namespace tvp {

// One iteration: status screen, the help notice at frame 120, RunFrame, then the pad's channel
// control (or the variables window's refresh when a window or a non-list display is up) and its
// play-list buttons.
void RunMainLoopIteration(PlayerState& state);

// Notice line, pop-up slide, frame counter, presentation, one event, pad poll, sound service with
// the following of the song after each service call, the window title.
void RunFrame(PlayerState& state);

// Takes one window event: 0, or -1 when the window is gone (the loop then ends).
int32_t PumpMessages(PlayerState& state);

// The command of one key-down (a virtual-key code).
void RunKeyCommand(PlayerState& state, uint32_t key);

// Mutes every channel but `channel`, or, when it is already the only one enabled, enables all.
void ToggleSolo(PlayerState& state, int32_t channel);

// The pad's channel control: vertical moves select with repeat, button 0 switches the selected
// channel, button 1 solos it.
void PadChannelControl(PlayerState& state);

// The pad's shoulder buttons, every frame: the previous and the next file of the play list; its
// X and Y buttons: the previous and the next song of the module.
inline constexpr int32_t kPadX = 2;  // previous sub-song
inline constexpr int32_t kPadY = 3;  // next sub-song
inline constexpr int32_t kPadLeftShoulder = 6;
inline constexpr int32_t kPadRightShoulder = 7;
void PadPlayListControl(PlayerState& state);

// Files and folders dropped on the window become the play list, which plays from its start.
void PlayDroppedFiles(PlayerState& state, const std::vector<std::string>& paths);

// Gives the display the title of the song loaded, when it changed.
void ShowSongInTitle(PlayerState& state);

}  // namespace tvp
