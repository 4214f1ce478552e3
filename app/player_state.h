#pragma once
// The player's one shared application state: what the main loop, the opening of modules and the
// screens share for the whole run. The program makes one PlayerState and hands it to every part
// that needs it; there is no other mutable state outside it, so tests can make as many as they
// like.
#include <cstdint>
#include <string>
#include <vector>

#include "app/player_settings.h"
#include "app/settings_reader.h"
#include "engine/engine_api.h"
#include "engine/song_passes.h"
#include "screen/pixmap.h"
#include "screens/screen_states.h"
#include "soundtrack/loaders.h"
#include "soundtrack/soundtrack.h"

namespace tvp {

// The long-lived objects the start-up makes; the state only refers to them.
class Clock;
class DisplayWindow;
class InputDevices;
class MediaControls;
class MediaPlayer;
class ScreenFont;
class SoundDeviceHolder;

// The frame bitmap every screen draws into.
inline constexpr int32_t FRAME_WIDTH = 312;
inline constexpr int32_t FRAME_HEIGHT = 240;

inline constexpr int32_t kNoticeCapacity = 1024;  // 1023 characters and the terminator
inline constexpr int32_t kBannerCapacity = 1024;
inline constexpr int32_t kPathCapacity = 260;

// popupRequest
inline constexpr int32_t kPopupNoRequest = 0;
inline constexpr int32_t kPopupSlideIn = 1;
inline constexpr int32_t kPopupSlideOut = 2;

// vsyncMode
inline constexpr int32_t kVsyncOff = 1;
inline constexpr int32_t kVsyncOn = 2;

// What the main loop keeps for the life of the program besides the shared fields.
struct MainLoopState {
  // Channel selection by the pad: the first move at once, the next 21 frames later, then faster.
  int32_t repeatCountdown = 0;
  int32_t repeatDelay = 24;
  bool firstRepeat = true;
  // Where the frame lands on the drawing surface, fixed at the first frame.
  bool placed = false;
  int32_t presentLeft = 0, presentTop = 0, presentRight = 0, presentBottom = 0;
  // The frames-per-second counter.
  int64_t fpsClock = 0;
  uint32_t fpsFrames = 0;
  char fpsText[32] = {};
};

// The play list and the following of the song that plays (app/play_list.h).
struct PlayListState {
  std::vector<std::string> files;  // paths, in the order given
  std::vector<int32_t> order;      // the play order: indices into files, shuffled with SHUFFLE
  int32_t at = -1;                 // index into order of the file loaded last, -1 none
  bool recursive = false;          // folders dropped on the window are walked to their depths
  std::string folderFollowed;      // the playing file's folder the open-file window went to last
  uint32_t randomState = 0x2545F491u;  // the shuffle's generator, seeded at start-up

  SongPasses passes;
  bool fading = false;
  int32_t seenBuffers = 0;     // the engine's buffersRendered when last followed
  int32_t endedAtBuffer = -1;  // buffersRendered when the song was seen to end, -1 while it plays
};

struct PlayerState {
  PlayerSettings settings;

  bool running = true;
  int32_t selectedChannel = 0;      // 0 .. 255, the channel the channel keys act on
  int32_t firstVisibleChannel = 0;  // top row of the channel list; selection within 22 rows of it
  int32_t displayMode = 1;          // 1 bar graphs, 2 digits, 3 oscilloscope, 4 pattern

  // The pop-up window machinery: the windows' pictures, owned by the windows.
  Pixmap* currentPopup = nullptr;
  Pixmap* pendingPopup = nullptr;
  int32_t popupRequest = kPopupNoRequest;

  // The scrolling notice: empty text means none runs. Positions are pixels on the frame.
  char noticeText[kNoticeCapacity] = {};
  int32_t noticeX = 0;
  int32_t noticeEndX = 0;

  uint32_t frameCount = 0;  // frames presented so far
  int32_t vsyncMode = kVsyncOff;
  bool mouseCursor = false;

  // The loaded song, owned here from a successful load until the next load begins; the engine
  // only borrows it while it is bound.
  Soundtrack* soundtrack = nullptr;
  char soundtrackTitle[kTitleCapacity] = {};
  // The songs the loaded module holds (at least one with a module), the play positions each
  // owns, and the one playing.
  std::vector<SubSong> subSongs;
  std::vector<int32_t> subSongOwners;
  int32_t subSong = 0;
  const char* currentFilePath = nullptr;  // into pathBuffer after a successful load, else null
  char pathBuffer[kPathCapacity] = {};
  std::string filePath;       // the whole path of the file loaded, however long
  uint32_t songsLoaded = 0;   // successful loads so far
  uint32_t songRestarts = 0;  // times the song playing started again or jumped (loads, seeks)

  // Placement of the frame bitmap on the display: scale 1 doubles it.
  int32_t scale = 0;
  int32_t offsetX = 0;
  int32_t offsetY = 0;

  Pixmap* frameBitmap = nullptr;  // FRAME_WIDTH x FRAME_HEIGHT
  char bannerText[kBannerCapacity] = {};
  // framesPerBuffer 16-bit stereo frames (4 bytes each) for the oscilloscope, zero-filled at
  // start-up.
  int16_t* sampleBuffer = nullptr;

  // The pop-up slide: positions in pixels of the frame, velocity in pixels a frame (0 at rest).
  int32_t popupX = 0;
  int32_t popupY = 0;
  int32_t popupTargetY = 0;
  int32_t popupVelocity = 0;

  MainLoopState loop;
  PlayListState playList;
  std::string windowTitle;  // the title given to the display last

  // What the screens keep between frames.
  StatusScreenState statusScreen;
  OscilloscopeState oscilloscope;
  PatternChartState patternChart;
  HelpWindowState helpWindow;
  VariablesWindowState variablesWindow;
  InfoWindowState infoWindow;
  OpenFileWindowState openFileWindow;

  // The long-lived objects, made and destroyed by the start-up and shut-down.
  DisplayWindow* display = nullptr;
  InputDevices* inputDevices = nullptr;
  ScreenFont* font = nullptr;
  SoundDeviceHolder* soundDevices = nullptr;
  Clock* clock = nullptr;
  SettingsReader* settingsReader = nullptr;
  // The variable the engine handle points at: ENG_OPEN stores the engine here.
  SoundEngine* engine = nullptr;
  EngineHandle engineHandle() { return &engine; }
  // The desktop's media controls, when there is a session bus, and the player's side of them.
  MediaControls* mediaControls = nullptr;
  MediaPlayer* mediaPlayer = nullptr;
};

// A command to the state's engine through its entry point (engine/engine_api.h).
EngineResult SendEngineCommand(PlayerState& state, uint32_t code, intptr_t p0 = 0, intptr_t p1 = 0,
                               intptr_t p2 = 0, intptr_t p3 = 0);

// Starts a notice, replacing one that runs: it enters at the frame's right edge (x 392, 80 pixels
// beyond it) and has ended once its left end is 80 pixels past the left edge (6-pixel glyphs).
// Text beyond kNoticeCapacity - 1 characters is cut off.
void ShowNotice(PlayerState& state, const char* text);

// Slides a window's picture in: at once when no window is shown, otherwise after the shown one
// has slid out. A window that is already current does not ask again.
void ShowPopup(PlayerState& state, Pixmap* picture);
// Slides the current window out; a window waiting to follow it is dropped.
void ClosePopup(PlayerState& state);

}  // namespace tvp
