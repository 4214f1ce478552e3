#include "app/main_loop.h"

#include <cstdio>
#include <cstring>

#include "app/media_session.h"
#include "app/module_playback.h"
#include "app/play_list.h"
#include "app/song_choice.h"
#include "engine/sound_engine.h"
#include "platform/clock.h"
#include "platform/display_window.h"
#include "platform/input_devices.h"
#include "platform/virtual_keys.h"
#include "screen/screen_font.h"
#include "screens/popup_windows.h"
#include "screens/status_screen.h"

namespace tvp {

namespace {

constexpr uint8_t kNoticeColour = 70;
constexpr int32_t kNoticeStep = 3;      // pixels a frame, right to left
constexpr uint32_t kHelpNoticeFrame = 120;
constexpr int32_t kVolumeStep = 4096;   // the volume keys land on multiples of this
constexpr int32_t kVisibleChannels = 22;

// F11's one line about the program.
constexpr char kAboutBanner[] =
    "TONVALE PLAYER - XM, S3M AND MOD TRACKER MODULES ON AN INTEGER SOFTWARE MIXER - (C) 2026";


int32_t GlyphHeight(const PlayerState& state) { return state.font->glyphHeight(); }

void SwitchChannel(PlayerState& state, int32_t channel) {
  SendEngineCommand(state, ENG_SET_CHANNEL_ENABLED, channel, SendEngineCommand(state, ENG_GET_CHANNEL_ENABLED, channel) == 0);
}

void SelectChannel(PlayerState& state, int32_t channel) {
  if (channel < 0) channel = 0;
  if (channel > kMaxVoices - 1) channel = kMaxVoices - 1;
  state.selectedChannel = channel;
}

void DrawNoticeLine(PlayerState& state) {
  const int16_t y = static_cast<int16_t>(FRAME_HEIGHT - GlyphHeight(state));
  if (state.noticeText[0] != '\0') {
    state.font->DrawTextInColour(state.noticeText, state.frameBitmap, static_cast<int16_t>(state.noticeX), y,
                                 kNoticeColour);
    state.noticeX -= kNoticeStep;
    if (state.noticeX <= state.noticeEndX) state.noticeText[0] = '\0';
  } else {
    int32_t width = 6 * static_cast<int32_t>(std::strlen(state.bannerText));
    state.font->DrawTextInColour(state.bannerText, state.frameBitmap,
                                 static_cast<int16_t>((FRAME_WIDTH - width) / 2), y, kNoticeColour);
  }
}

void SlidePopup(PlayerState& state) {
  Pixmap* popup = state.currentPopup;
  if (!popup) return;
  if (state.popupRequest == kPopupSlideIn) {
    state.popupX = (FRAME_WIDTH - popup->width) >> 1;
    state.popupY = -popup->height;
    state.popupTargetY = ((FRAME_HEIGHT - popup->height) >> 1) - GlyphHeight(state);
    state.popupVelocity = 1;
    state.popupRequest = kPopupNoRequest;
  } else if (state.popupRequest == kPopupSlideOut) {
    state.popupTargetY = -popup->height;
    state.popupVelocity = -1;
    state.popupRequest = kPopupNoRequest;
  }
  if (state.popupVelocity > 0) {
    int32_t step = (state.popupTargetY - state.popupY) >> 2;
    state.popupY += step < 1 ? 1 : step;
    if (state.popupY >= state.popupTargetY) state.popupVelocity = 0;
  } else if (state.popupVelocity < 0) {
    state.popupY += state.popupVelocity;
    state.popupVelocity -= 3;  // slides out faster and faster
    if (state.popupY <= state.popupTargetY) {
      state.popupVelocity = 0;
      state.currentPopup = nullptr;
      if (state.pendingPopup) {
        state.currentPopup = state.pendingPopup;
        state.pendingPopup = nullptr;
        state.popupRequest = kPopupSlideIn;
      }
    }
  }
  if (state.popupRequest == kPopupNoRequest && state.currentPopup) {
    Pixmap* shown = state.currentPopup;
    PixmapCopyBitsClipped(shown, state.frameBitmap, static_cast<int16_t>(state.popupX),
                          static_cast<int16_t>(state.popupY), shown->width, shown->height);
  }
}

void DrawFramesPerSecond(PlayerState& state) {
  MainLoopState& loop = state.loop;
  int64_t now = state.clock->CalendarSeconds();
  if (now >= loop.fpsClock + 2) {
    std::snprintf(loop.fpsText, sizeof loop.fpsText, "%3uFPS", (state.frameCount - loop.fpsFrames) / 2);
    loop.fpsFrames = state.frameCount;
    loop.fpsClock = now;
  }
  state.font->DrawTextShadowedInColour(loop.fpsText, state.frameBitmap, 222, 0, 255);
  if (state.vsyncMode == kVsyncOn) state.font->DrawTextShadowedInColour("VSYNC", state.frameBitmap, 228, 8, 255);
}

void Present(PlayerState& state) {
  DisplayWindow& display = *state.display;
  SurfaceView view{};
  if (display.LockSurface(&view) != kStatusOk) return;  // nothing shown this frame
  OffsetView(&view, state.offsetX, state.offsetY);
  if (state.scale == 1)
    CopyPixmapToViewDoubled(state.frameBitmap, &view);
  else
    CopyPixmapToView(state.frameBitmap, &view);
  display.UnlockSurface(&view);
  if (state.vsyncMode == kVsyncOn) display.WaitVerticalBlank();
  const MainLoopState& loop = state.loop;
  DisplayRect rect{loop.presentLeft, loop.presentTop, loop.presentRight, loop.presentBottom};
  if (state.settings.flip || display.CopyRectToPrimary(rect) != kStatusOk) display.PresentFrame();
  ++state.frameCount;
}

void ChangeMasterVolume(PlayerState& state, bool up) {
  int32_t volume = static_cast<int32_t>(SendEngineCommand(state, ENG_GET_MASTER_VOLUME));
  const int32_t rest = volume % kVolumeStep;
  volume += up ? kVolumeStep - rest : -(rest == 0 ? kVolumeStep : rest);
  SetMasterVolume(state, volume);  // taken to 0 .. kFullVolume
}

// Without OPENDIR the open-file window follows the song: it opens in the playing file's folder
// when that changed since the window last went there, and otherwise where the user left it.
void FollowPlayingFolder(PlayerState& state) {
  if ((state.settings.openDir && state.settings.openDir[0] != '\0') || !state.soundtrack || !state.currentFilePath)
    return;
  const std::string folder = FolderOf(state.currentFilePath);
  if (folder.empty() || folder == state.playList.folderFollowed) return;
  state.playList.folderFollowed = folder;
  SetDirectory(state, folder.c_str());
}

}  // namespace

void ToggleSolo(PlayerState& state, int32_t channel) {
  int32_t enabled = 0;
  bool thisOne = false;
  for (int32_t v = 0; v < kMaxVoices; ++v) {
    if (SendEngineCommand(state, ENG_GET_CHANNEL_ENABLED, v) == 1) {
      ++enabled;
      thisOne = thisOne || v == channel;
    }
  }
  bool all = enabled == 1 && thisOne;
  for (int32_t v = 0; v < kMaxVoices; ++v) SendEngineCommand(state, ENG_SET_CHANNEL_ENABLED, v, all || v == channel);
}

void PadChannelControl(PlayerState& state) {
  MainLoopState& loop = state.loop;
  InputDevices& pad = *state.inputDevices;
  int32_t v = pad.AxisValue(kDirectionVertical);
  if (v == 0) {
    loop.repeatDelay = 24;
    loop.repeatCountdown = 0;
    loop.firstRepeat = true;
  } else if (--loop.repeatCountdown < 0) {
    SelectChannel(state, state.selectedChannel + v);
    if (state.selectedChannel < state.firstVisibleChannel) state.firstVisibleChannel = state.selectedChannel;
    if (state.selectedChannel > state.firstVisibleChannel + kVisibleChannels - 1)
      state.firstVisibleChannel = state.selectedChannel - (kVisibleChannels - 1);
    if (loop.firstRepeat) {
      loop.repeatCountdown = 20;
    } else {
      loop.repeatCountdown = loop.repeatDelay / 8;
      if (loop.repeatDelay > 0) --loop.repeatDelay;
    }
    loop.firstRepeat = false;
  }
  if (pad.ButtonPressed(0)) SwitchChannel(state, state.selectedChannel);
  if (pad.ButtonPressed(1)) ToggleSolo(state, state.selectedChannel);
}

void RunKeyCommand(PlayerState& state, uint32_t key) {
  DisplayWindow& display = *state.display;
  if (key == kVkEscape) {
    ClosePopup(state);
    if (!state.currentPopup) {
      // The window closes itself for this same key: the program ends.
      display.closeKeyMask |= kCloseKeyEscape;
      SendEngineCommand(state, ENG_STOP);
    } else {
      display.closeKeyMask &= ~kCloseKeyEscape;  // a window is sliding out: stay
    }
  }
  if (OpenFileWindowKey(state, static_cast<int32_t>(key))) return;
  if (VariablesWindowKey(state, static_cast<int32_t>(key))) return;

  switch (key) {
    case kVkSpace: SwitchChannel(state, state.selectedChannel); break;
    case kVkPrior: PreviousPlayPosition(state); break;
    case kVkNext: NextPlayPosition(state); break;
    case kVkLeft: ChangeMasterVolume(state, false); break;
    case kVkRight: ChangeMasterVolume(state, true); break;
    case kVkUp:
      SelectChannel(state, state.selectedChannel - 1);
      if (state.selectedChannel < state.firstVisibleChannel) state.firstVisibleChannel = state.selectedChannel;
      break;
    case kVkDown:
      SelectChannel(state, state.selectedChannel + 1);
      if (state.selectedChannel > state.firstVisibleChannel + kVisibleChannels - 1) ++state.firstVisibleChannel;
      break;
    case kVk0 + 1: case kVk0 + 2: case kVk0 + 3: case kVk0 + 4:
      state.displayMode = static_cast<int32_t>(key - kVk0);
      break;
    case kVkA + ('M' - 'A'):
      state.mouseCursor = !state.mouseCursor;
      display.ShowCursor(state.mouseCursor);
      break;
    case kVkA + ('S' - 'A'): ToggleSolo(state, state.selectedChannel); break;
    case kVkA + ('N' - 'A'): PlayNextFile(state); break;
    case kVkLeftBracket: PlayPreviousSubSong(state); break;
    case kVkRightBracket: PlayNextSubSong(state); break;
    case kVkComma: SeekBy(state, -kSeekSeconds); break;
    case kVkPeriod: SeekBy(state, kSeekSeconds); break;
    case kVkA + ('P' - 'A'): PlayPreviousFile(state); break;
    case kVkA + ('V' - 'A'):
      state.vsyncMode = kVsyncOn + kVsyncOff - state.vsyncMode;
      ShowNotice(state, state.vsyncMode == kVsyncOn ? "VSYNC DRAWING ON" : "VSYNC DRAWING OFF");
      break;
    case kVkF1: ShowHelpWindow(state); break;
    case kVkF1 + 1: ShowVariablesWindow(state); break;
    case kVkF1 + 2: ShowInfoWindow(state); break;
    case kVkF1 + 3:
      FollowPlayingFolder(state);
      ShowOpenFileWindow(state);
      break;
    case kVkF1 + 4: StartPlaying(state); break;
    case kVkF1 + 6: StopAndRewind(state); break;
    case kVkF1 + 7: StopPlaying(state); break;
    case kVkF1 + 10: ShowNotice(state, kAboutBanner); break;
    case kVkF12: SendEngineCommand(state, ENG_STOP); break;  // F12 is a close key: the window goes too
    default: break;
  }
}

int32_t PumpMessages(PlayerState& state) {
  WindowEvent event;
  if (!state.display->TakeEvent(&event)) return 0;
  if (event.kind == WindowEventKind::kQuit) return -1;
  if (event.kind == WindowEventKind::kDrop) {
    PlayDroppedFiles(state, event.paths);
    return 0;
  }
  RunKeyCommand(state, event.key);
  // The window sees every key too, and closes itself for its close keys.
  state.display->DispatchEvent(event);
  return 0;
}

void RunFrame(PlayerState& state) {
  MainLoopState& loop = state.loop;
  if (!loop.placed) {
    loop.placed = true;
    loop.presentLeft = state.offsetX;
    loop.presentTop = state.offsetY;
    loop.presentRight = state.offsetX + (FRAME_WIDTH << state.scale);
    loop.presentBottom = state.offsetY + (FRAME_HEIGHT << state.scale);
    loop.fpsClock = state.clock->CalendarSeconds();
    loop.fpsFrames = 0;
    loop.fpsText[0] = '\0';
  }
  DrawNoticeLine(state);
  SlidePopup(state);
  if (state.settings.drawFps) DrawFramesPerSecond(state);
  Present(state);
  if (PumpMessages(state) == -1) state.running = false;
  state.inputDevices->Poll();
  const bool rendered = SendEngineCommand(state, ENG_SERVICE) != 0;
  FollowSong(state);
  if (rendered) {
    SendEngineCommand(state, ENG_SERVICE);
    FollowSong(state);
  }
  ServeMediaControls(state);
  ShowSongInTitle(state);
}

void RunMainLoopIteration(PlayerState& state) {
  DrawStatusScreen(state, state.soundtrackTitle);  // clears the frame first
  if (state.frameCount == kHelpNoticeFrame && state.noticeText[0] == '\0') ShowNotice(state, "PRESS [F1] FOR HELP");
  RunFrame(state);
  if (!state.currentPopup && state.displayMode < 3)
    PadChannelControl(state);
  else
    RefreshVariablesWindow(state);
  PadPlayListControl(state);
}

void PadPlayListControl(PlayerState& state) {
  if (state.inputDevices->ButtonPressed(kPadLeftShoulder)) PlayPreviousFile(state);
  if (state.inputDevices->ButtonPressed(kPadRightShoulder)) PlayNextFile(state);
  if (state.inputDevices->ButtonPressed(kPadX)) PlayPreviousSubSong(state);
  if (state.inputDevices->ButtonPressed(kPadY)) PlayNextSubSong(state);
}

void PlayDroppedFiles(PlayerState& state, const std::vector<std::string>& paths) {
  std::vector<std::string> files = CollectModules(paths, state.playList.recursive);
  if (files.empty()) {
    ShowNotice(state, "NO MODULE FILES DROPPED");
    return;
  }
  PlayFiles(state, std::move(files), 0);
}

void ShowSongInTitle(PlayerState& state) {
  std::string title = WindowTitle(state.soundtrack ? state.soundtrackTitle : nullptr,
                                  state.soundtrack ? state.currentFilePath : nullptr);
  if (title == state.windowTitle) return;
  state.windowTitle = title;
  state.display->SetTitle(title);
}

}  // namespace tvp
