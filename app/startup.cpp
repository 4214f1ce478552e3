#include "app/startup.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/main_loop.h"
#include "app/module_playback.h"
#include "app/play_list.h"
#include "engine/engine_api.h"
#include "resources/resources.h"
#include "screen/pixel_image.h"
#include "screens/display_area.h"
#include "screens/popup_windows.h"
#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"

namespace tvp {

namespace {

constexpr int32_t kEngineVoices = 256;
constexpr int32_t kFrameDepth = 8;
// Sizes tried after the one the settings ask for.
constexpr int32_t kFallbackSizes[2][2] = {{320, 240}, {640, 480}};


void LoadBanner(PlayerState& state) {
  ResourceBytes banner;
  state.bannerText[0] = '\0';
  if (!FindResource("BANNER_STRING_128", &banner)) return;  // the notice line stays blank
  int32_t length = banner.size < kBannerCapacity - 1 ? banner.size : kBannerCapacity - 1;
  std::memcpy(state.bannerText, banner.data, static_cast<size_t>(length));
  state.bannerText[length] = '\0';
}

std::string Describe(const char* what, int32_t status) { return std::string(what) + " (status " + std::to_string(status) + ")"; }

int32_t Fail(Player& player, std::string* error, const std::string& message, int32_t status) {
  *error = message;
  ShutDownPlayer(player);
  return status;
}

int32_t OpenDisplay(Player& player, std::string* error) {
  PlayerState& state = player.state;
  DisplayWindow& display = *player.platform.display;
  bool fullScreen = !state.settings.window;
  int32_t usableWidth = 0, usableHeight = 0;
  if (!fullScreen && !state.settings.resolutionGiven && display.UsableDesktopArea(&usableWidth, &usableHeight)) {
    // The frame itself is the surface; the window shows it at a whole multiple.
    const int32_t scale = WindowScale(usableWidth, usableHeight);
    display.SetWindowSize(FRAME_WIDTH * scale, FRAME_HEIGHT * scale);
    state.settings.resolutionX = FRAME_WIDTH;
    state.settings.resolutionY = FRAME_HEIGHT;
  }
  int32_t status = display.Open(kWindowTitle, state.settings.resolutionX, state.settings.resolutionY, kFrameDepth,
                                fullScreen);
  for (const auto& size : kFallbackSizes) {
    if (status == kStatusOk) break;
    status = display.Open(kWindowTitle, size[0], size[1], kFrameDepth, fullScreen);
  }
  if (status != kStatusOk) {
    *error = Describe(("cannot open a " + std::to_string(state.settings.resolutionX) + " x " +
                       std::to_string(state.settings.resolutionY) + " display, nor 320 x 240 or 640 x 480")
                          .c_str(),
                      status);
  }
  return status;
}

// The modules named on the command line, played as the play list; a folder without modules is
// said on standard error.
void PlayStartFiles(Player& player, const StartOptions& options) {
  PlayerState& state = player.state;
  std::vector<std::string> files = CollectModules(options.files, options.recursive);
  if (files.empty()) {
    for (const std::string& path : options.files) std::fprintf(stderr, "tpw: %s: no module files\n", path.c_str());
    return;
  }
  PlayFiles(state, std::move(files), 0, true);
}

// The open-file window's first folder: OPENDIR, or else the folder of the first file named on
// the command line, or else the working directory.
void ChooseFirstDirectory(PlayerState& state, const StartOptions& options) {
  if (state.settings.openDir && state.settings.openDir[0] != '\0' && SetDirectory(state, state.settings.openDir)) return;
  if (!options.files.empty()) {
    const std::string& first = state.playList.files.empty() ? options.files[0] : state.playList.files[0];
    std::string folder = FolderOf(first);
    if (folder.empty()) folder = ".";
    if (SetDirectory(state, folder.c_str())) {
      state.playList.folderFollowed = folder;
      return;
    }
  }
  SetDirectory(state, ".");
}

}  // namespace

int32_t WindowScale(int32_t width, int32_t height) {
  const int64_t across = int64_t{width} * kWindowShareNumerator / kWindowShareDenominator / FRAME_WIDTH;
  const int64_t down = int64_t{height} * kWindowShareNumerator / kWindowShareDenominator / FRAME_HEIGHT;
  return static_cast<int32_t>(std::clamp<int64_t>(std::min(across, down), 1, 64));
}

void PlaceFrame(PlayerState& state, int32_t width, int32_t height) {
  state.scale = width >= 640 && height >= 480 ? 1 : 0;
  state.offsetX = (width - (FRAME_WIDTH << state.scale)) >> 1;
  state.offsetY = (height - (FRAME_HEIGHT << state.scale)) >> 1;
}

int32_t StartPlayer(Player& player, const PlayerPlatform& platform, const StartOptions& options,
                    std::string* error) {
  PlayerState& state = player.state;
  player.platform = platform;
  std::srand(static_cast<unsigned>(platform.clock->CalendarSeconds()));
  state.playList.randomState = static_cast<uint32_t>(platform.clock->CalendarSeconds()) ^ 0x9E3779B9u;
  state.playList.recursive = options.recursive;
  LoadBanner(state);

  state.display = platform.display;
  state.inputDevices = &player.inputDevices;
  state.font = &player.font;
  state.soundDevices = platform.sound;
  state.settingsReader = &player.settingsReader;
  state.clock = platform.clock;
  state.running = true;
  state.selectedChannel = state.firstVisibleChannel = 0;
  state.currentPopup = state.pendingPopup = nullptr;
  state.noticeText[0] = '\0';
  state.displayMode = 1;

  ReadPlayerSettings(state, options.settingsPath.c_str());
  if (options.window >= 0) state.settings.window = options.window == 1;

  // One 16-bit stereo frame per sample frame, for the oscilloscope's captures.
  state.sampleBuffer = static_cast<int16_t*>(std::calloc(static_cast<size_t>(state.settings.framesPerBuffer), 4));
  if (!state.sampleBuffer) return Fail(player, error, "out of memory for the sample buffer", kStatusOutOfMemory);

  state.soundtrack = nullptr;
  state.currentFilePath = nullptr;
  state.vsyncMode = state.settings.vsync ? kVsyncOn : kVsyncOff;
  state.offsetX = state.offsetY = 0;
  state.frameCount = 0;

  int32_t status = PixmapCreate(&state.frameBitmap, FRAME_WIDTH, FRAME_HEIGHT);
  if (status != kStatusOk) return Fail(player, error, Describe("cannot make the frame bitmap", status), status);
  Pixmap* picture = nullptr;
  status = LoadPixelImage(&picture, "PXL_MAIN_FONT");
  if (status == kStatusOk) status = player.font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted);
  PixmapDispose(picture);
  if (status != kStatusOk) return Fail(player, error, Describe("cannot read the screen font", status), status);

  DisplayWindow& display = *platform.display;
  display.RegisterClass(false);
  status = OpenDisplay(player, error);
  if (status != kStatusOk) return Fail(player, error, *error, status);
  display.ClearSurfaces(0, nullptr);
  display.closeKeyMask |= kCloseKeyF12;
  state.settings.resolutionX = display.width();
  state.settings.resolutionY = display.height();
  PlaceFrame(state, display.width(), display.height());

  // The loop must come round to the sound device at least twice a buffer, whatever the refresh.
  display.SetLongestPresentWait(static_cast<uint32_t>(
      std::min<int64_t>(int64_t{state.settings.framesPerBuffer} * 1000000 / 2 / std::max(1, state.settings.sampleRate),
                        1000000)));

  status = platform.sound->Create();
  if (status != kStatusOk) return Fail(player, error, "no audio device: the sound device cannot be opened", status);

  const PlayerSettings& s = state.settings;
  status = static_cast<int32_t>(SendEngineCommand(state, ENG_OPEN, 0, reinterpret_cast<intptr_t>(platform.sound->device()),
                                     kEngineVoices, s.framesPerBuffer));
  if (status != kStatusOk) return Fail(player, error, Describe("cannot open the sound engine", status), status);
  SendEngineCommand(state, ENG_RESET);
  SendEngineCommand(state, ENG_SET_MASTER_VOLUME, s.masterVolume);
  SendEngineCommand(state, ENG_SET_A4_FREQUENCY, static_cast<intptr_t>(s.a4Frequency) * 65536);
  SendEngineCommand(state, ENG_SET_SPEED, static_cast<intptr_t>(s.speed) * 65536);
  SendEngineCommand(state, ENG_SET_FADE_STEP, 0);
  SendEngineCommand(state, ENG_SET_INTERPOLATION, s.interpolation);

  // Without controllers the player runs on without a pad; one plugged in later is taken then.
  player.inputCreated = player.inputDevices.Create(platform.input, 0) == kStatusOk;
  player.inputDevices.SelectFirstController();

  if (platform.openMediaControls && options.mediaControls && state.settings.mediaControls) {
    player.mediaControls = platform.openMediaControls();
    state.mediaControls = player.mediaControls.get();
    state.mediaPlayer = &player.mediaSession;
  }

  if (state.settings.window) state.mouseCursor = true;
  display.ShowCursor(state.mouseCursor);
  if (!options.files.empty()) PlayStartFiles(player, options);
  ChooseFirstDirectory(state, options);
  if (state.settings.autoOpen) ShowOpenFileWindow(state);
  return kStatusOk;
}

void RunPlayerLoop(Player& player) {
  while (player.state.running) RunMainLoopIteration(player.state);
}

void ShutDownPlayer(Player& player) {
  PlayerState& state = player.state;
  // The bus hears the last replies (to a Quit, say) before the player goes.
  state.mediaControls = nullptr;
  state.mediaPlayer = nullptr;
  player.mediaControls.reset();
  if (state.engine) SendEngineCommand(state, ENG_CLOSE);
  if (player.platform.display) player.platform.display->ShowCursor(true);
  // The settings reader goes with the Player: OPENDIR points into its storage until the end.
  player.font.Dispose();
  if (player.platform.sound) player.platform.sound->Destroy();
  if (player.inputCreated) player.inputDevices.Destroy();
  player.inputCreated = false;
  if (player.platform.display) player.platform.display->Close();
  ReleaseSoundtrack(state.soundtrack);
  state.soundtrack = nullptr;
  DisposeDisplayArea(state);
  DisposePopupWindows(state);
  PixmapDispose(state.frameBitmap);
  state.frameBitmap = nullptr;
  std::free(state.sampleBuffer);
  state.sampleBuffer = nullptr;
}

}  // namespace tvp
