// The player variables (F2): the output facts and four fields the keys change live on the engine:
// master volume, A4 frequency, speed and interpolation.
#include <algorithm>
#include <cstdio>

#include "engine/sound_engine.h"
#include "platform/virtual_keys.h"
#include "screens/popup_windows.h"
#include "screens/window_frame.h"

namespace tvp {

namespace {

constexpr int32_t kColumns = 39;
constexpr int32_t kRows = 18;
constexpr int32_t kFieldCount = 4;
constexpr int32_t kBlinkPeriod = 16;
constexpr int32_t kBlinkShownUpTo = 9;  // the selected value shows while the counter is at most this

struct Field {
  const char* label[2];
  uint32_t getCommand;
  uint32_t setCommand;
  int32_t fixedShift;  // the engine holds A4 and speed in 16.16
  int32_t smallStep, bigStep, reset, min, max;
};

constexpr Field kFields[kFieldCount] = {
    {{"Master-", "  volume"}, ENG_GET_MASTER_VOLUME, ENG_SET_MASTER_VOLUME, 0, 256, 4096, 32768, 0, 65536},
    {{"A4Freq", "        "}, ENG_GET_A4_FREQUENCY, ENG_SET_A4_FREQUENCY, 16, 1, 10, 440, 55, 3520},
    {{"Speed", "        "}, ENG_GET_SPEED, ENG_SET_SPEED, 16, 1, 10, 100, 1, 1000},
    {{"Inter-", "polation"}, ENG_GET_INTERPOLATION, ENG_SET_INTERPOLATION, 0, 1, 1, 0, 0, 7},
};
constexpr int32_t kInterpolationField = 3;

// Indexed by the mode; each eight characters.
constexpr const char* kInterpolationNames[8] = {"    NONE", "  LINEAR", "  STAIRS", "   CUBIC",
                                                "MR      ", "MR+LNEAR", "MR+ QUAD", "MR+CUBIC"};


int32_t ReadField(PlayerState& state, int32_t f) {
  return static_cast<int32_t>(SendEngineCommand(state, kFields[f].getCommand) >> kFields[f].fixedShift);
}

void WriteField(PlayerState& state, int32_t f, int32_t value) {
  SendEngineCommand(state, kFields[f].setCommand, static_cast<intptr_t>(value) << kFields[f].fixedShift);
}

// Modes 4 and 6 are never given to the engine: stepping runs 0, 1, 2, 3, 7 and back.
int32_t LimitField(int32_t f, int32_t value) {
  value = std::max(kFields[f].min, std::min(kFields[f].max, value));
  if (f == kInterpolationField) {
    if (value == 4) value = 7;
    if (value == 6) value = 3;
  }
  return value;
}

void FormatField(char* out, size_t capacity, int32_t f, int32_t value) {
  switch (f) {
    case 0: std::snprintf(out, capacity, "%8d", value); break;
    case 1: std::snprintf(out, capacity, "%6dHz", value); break;
    case 2: std::snprintf(out, capacity, "%7d%%", value); break;
    default:
      std::snprintf(out, capacity, "%s", value >= 0 && value < 8 ? kInterpolationNames[value] : "");
      break;
  }
}

void DrawOutputFacts(PlayerState& state, Pixmap* picture) {
  ScreenFont& font = *state.font;
  const SoundEngine* engine = state.engine;
  const int32_t rate = engine ? static_cast<int32_t>(engine->sampleRate >> 16) : 0;
  const int32_t frames = engine ? engine->framesPerBuffer : 0;
  const uint32_t tickRate = engine ? engine->tickRate : 0;
  // The buffer's length at speed 100 %; an engine not yet prepared has no tick rate.
  const double milliseconds = tickRate ? frames * 1000.0 / tickRate : 0.0;
  char lines[4][64];
  std::snprintf(lines[0], sizeof lines[0], "SampleRate:    %5dHz", rate);
  std::snprintf(lines[1], sizeof lines[1], "Bits/Sample:      %2d", engine ? engine->bits : 0);
  std::snprintf(lines[2], sizeof lines[2], "Stereo:            %1d", engine ? engine->stereo : 0);
  std::snprintf(lines[3], sizeof lines[3], "Frames/Buffer: %5d (%.2fms)", frames, milliseconds);
  const int16_t w = static_cast<int16_t>(font.glyphWidth()), h = static_cast<int16_t>(font.glyphHeight());
  PixmapFillRect(picture, w, 2 * h, static_cast<int16_t>(picture->width - w),
                 static_cast<int16_t>(picture->height - 2 * h), kColourDarkRed);
  for (int i = 0; i < 4; ++i) DrawWindowText(font, picture, 2, 3 + i, lines[i]);
}

}  // namespace

void ShowVariablesWindow(PlayerState& state) {
  VariablesWindowState& window = state.variablesWindow;
  if (IsCurrentPopup(state.currentPopup, window.picture)) return;
  if (!window.picture) {
    window.picture = MakeWindowPicture(*state.font, kColumns, kRows);
    if (!window.picture) return;
    DrawWindowFrame(*state.font, window.picture, kColourDarkRed);
    DrawWindowText(*state.font, window.picture, 1, 1, "\xFE====== PLAYER VARIABLES (F2) =======");
    DrawWindowText(*state.font, window.picture, 1, 16, "---------------- Press ESC to dismiss");
    window.selectedField = 0;
    window.blinkCounter = 0;
  }
  DrawOutputFacts(state, window.picture);
  ShowPopup(state, window.picture);
}

void RefreshVariablesWindow(PlayerState& state) {
  VariablesWindowState& window = state.variablesWindow;
  if (!IsCurrentPopup(state.currentPopup, window.picture)) return;
  ScreenFont& font = *state.font;
  const int32_t w = font.glyphWidth(), h = font.glyphHeight();
  for (int32_t f = 0; f < kFieldCount; ++f) {
    char value[32];
    FormatField(value, sizeof value, f, ReadField(state, f));
    // Each field is a box of 8 columns on rows 8 to 11: two label lines, a blank, the value.
    const int32_t column = 9 * f + 2;
    const bool selected = f == window.selectedField;
    PixmapFillRect(window.picture, static_cast<int16_t>(column * w), static_cast<int16_t>(8 * h),
                   static_cast<int16_t>((column + 8) * w), static_cast<int16_t>(12 * h),
                   selected ? kColourDarkBlue : 0);
    DrawWindowText(font, window.picture, column, 8, kFields[f].label[0]);
    DrawWindowText(font, window.picture, column, 9, kFields[f].label[1]);
    bool shown = true;
    if (selected) {
      window.blinkCounter = (window.blinkCounter + 1) % kBlinkPeriod;
      shown = window.blinkCounter <= kBlinkShownUpTo;
    }
    if (shown) DrawWindowText(font, window.picture, column, 11, value);
  }
}

bool VariablesWindowKey(PlayerState& state, int32_t key) {
  VariablesWindowState& window = state.variablesWindow;
  if (!IsCurrentPopup(state.currentPopup, window.picture)) return false;
  const int32_t f = window.selectedField;
  const Field& field = kFields[f];
  int32_t value = 0;
  switch (key) {
    case kVkUp: value = ReadField(state, f) + field.smallStep; break;
    case kVkDown: value = ReadField(state, f) - field.smallStep; break;
    case kVkPrior: value = ReadField(state, f) + field.bigStep; break;
    case kVkNext: value = ReadField(state, f) - field.bigStep; break;
    case kVkSpace:
    case 'R': value = field.reset; break;
    case kVkTab:
    case kVkRight: window.selectedField = (f + 1) % kFieldCount; return true;
    case kVkLeft: window.selectedField = (f + kFieldCount - 1) % kFieldCount; return true;
    default: return false;
  }
  WriteField(state, f, LimitField(f, value));
  window.blinkCounter = 0;  // the new value shows at once
  return true;
}

}  // namespace tvp
