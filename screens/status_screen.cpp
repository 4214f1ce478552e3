#include "screens/status_screen.h"

#include <cstdio>

#include "engine/sound_engine.h"
#include "screen/screen_font.h"
#include "screens/display_area.h"

namespace tvp {

namespace {

constexpr uint8_t kGlyphTitleMark = 0xFE;
constexpr uint8_t kGlyphVolumeBar1 = 0xC1;  // 0xC1 .. 0xC7, rising
constexpr uint8_t kGlyphChannelLamp = 0xCF;
constexpr uint8_t kGlyphMeterHalf = 0xD3;
constexpr uint8_t kGlyphMeterLeftEnd = 0xD5;
constexpr uint8_t kGlyphMeterCell = 0xD6;
constexpr uint8_t kGlyphMeterRightEnd = 0xD7;
constexpr int kMeterX = 312 - 20 * 6;
constexpr int kPositionColumnX = 264;
constexpr uint32_t kVoicesHoldFrames = 60;

int16_t Row(int n, const ScreenFont& font) { return static_cast<int16_t>(n * font.glyphHeight()); }

void DrawLevelMeter(ScreenFont& font, Pixmap* frame, int x, int y, int32_t meter) {
  auto at = [&](int column) { return static_cast<int16_t>(x + 6 * column); };
  font.DrawGlyphInColour(kGlyphMeterLeftEnd, frame, at(0), static_cast<int16_t>(y),
                         meter != 0 ? kColourGreen : kColourGrey);
  for (int k = 0; k < 8; ++k) {
    int32_t d = meter - 2 * k;
    font.DrawGlyphInColour(kGlyphMeterCell, frame, at(1 + k), static_cast<int16_t>(y),
                           d >= 2 ? kColourGreen : kColourGrey);
    if (d == 1) font.DrawGlyphInColour(kGlyphMeterHalf, frame, at(1 + k), static_cast<int16_t>(y), kColourGreen);
  }
  // Above 16 only a clipped sample (a peak of 0x10000) can take the meter.
  font.DrawGlyphInColour(kGlyphMeterRightEnd, frame, at(9), static_cast<int16_t>(y),
                         meter > 16 ? kColourRed : kColourGrey);
}

void UpdateMeters(PlayerState& state) {
  SoundEngine* engine = state.engine;
  if (!engine || (engine->peakLeft < 0 && engine->peakRight < 0)) return;  // nothing rendered
  StatusScreenState& s = state.statusScreen;
  s.meterLeft = NextMeterLevel(s.meterLeft, engine->peakLeft);
  s.meterRight = NextMeterLevel(s.meterRight, engine->peakRight);
  engine->peakLeft = -1;
  engine->peakRight = -1;
}

void DrawPositionColumn(PlayerState& state, ScreenFont& font, Pixmap* frame) {
  const SoundEngine* engine = state.engine;
  const int32_t current = engine ? engine->playPosition : 0;
  const Soundtrack* bound = engine ? engine->boundSoundtrack : nullptr;
  char text[128];
  for (int i = 0; i < 5; ++i) {
    int32_t p = current + i - 2;
    if (p < 0) continue;
    if (bound && p < bound->playPositionCount)
      std::snprintf(text, sizeof text, "[%3X]%3X", static_cast<unsigned>(p),
                    static_cast<unsigned>(bound->playPositions[p]));
    else
      std::snprintf(text, sizeof text, "[%3X]---", static_cast<unsigned>(p));
    font.DrawTextInColour(text, frame, kPositionColumnX, Row(i, font), p == current ? kColourGreen : kColourWhite);
  }
}

}  // namespace

uint8_t ChannelLampColour(uint16_t active, int32_t volume) {
  switch (active & (kVoiceSounding | kVoiceKeyHeld)) {
    case kVoiceSounding: return volume > 0 ? kColourYellow : kColourBlue;
    case kVoiceKeyHeld: return kColourRed;
    case kVoiceSounding | kVoiceKeyHeld: return volume > 0 ? kColourGreen : kColourBlue;
    default: return kColourGrey;
  }
}

int32_t NextMeterLevel(int32_t meter, int32_t peak) {
  if (meter > 0) --meter;
  int32_t level = (peak + 1) >> 11;
  if (level > meter) meter = level;
  // A quiet but not silent buffer still lights the meter's end.
  if (meter == 0 && peak != 0) meter = -1;
  return meter > 17 ? 17 : meter;
}

void DrawStatusScreen(PlayerState& state, const char* title) {
  ScreenFont& font = *state.font;
  Pixmap* frame = state.frameBitmap;
  SoundEngine* engine = state.engine;
  StatusScreenState& s = state.statusScreen;
  char text[128];

  UpdateMeters(state);
  font.SetColour(kColourWhite);
  PixmapFillPixels(frame, 0);
  DrawDisplayArea(state);

  font.DrawGlyphInColour(kGlyphTitleMark, frame, 0, Row(0, font), kColourMagenta);
  font.DrawText(kPlayerNameLine, frame, 6, Row(0, font));

  int16_t x = font.DrawText("Title: ", frame, 0, Row(1, font));
  if (state.soundtrack)
    font.DrawText(title, frame, x, Row(1, font));
  else
    font.DrawTextInColour("NO SOUNDTRACK LOADED", frame, x, Row(1, font), kColourGrey);

  int32_t counter = engine ? engine->positionCounter : 0;
  std::snprintf(text, sizeof text, "Beat:  %3X.%02X   ", static_cast<uint32_t>(counter) >> 8,
                static_cast<unsigned>(counter & 0xFF));
  x = font.DrawText(text, frame, 0, Row(2, font));
  if (engine && engine->eventCursor)
    std::snprintf(text, sizeof text, "next:%3X.%02X", static_cast<unsigned>(engine->eventCursor->time >> 8),
                  static_cast<unsigned>(engine->eventCursor->time & 0xFF));
  else
    std::snprintf(text, sizeof text, "next:END.--");
  font.DrawText(text, frame, x, Row(2, font));
  font.DrawText("L", frame, kMeterX, Row(2, font));
  DrawLevelMeter(font, frame, kMeterX + 6, Row(2, font), s.meterLeft);

  intptr_t peakVoices = SendEngineCommand(state, ENG_TAKE_PEAK_VOICES);
  if (peakVoices >= 0) s.voicesNow = static_cast<int32_t>(peakVoices);
  if (state.frameCount >= s.voicesHeldFrame + kVoicesHoldFrames) s.voicesHeld = 0;
  if (s.voicesNow >= s.voicesHeld) {
    s.voicesHeld = s.voicesNow;
    s.voicesHeldFrame = state.frameCount;
  }
  std::snprintf(text, sizeof text, "TPS/BPM:%2d/%3d  Chs:%4d (%2d)", engine ? engine->speed : 0,
                engine ? engine->tempo : 0, s.voicesNow, s.voicesHeld);
  font.DrawText(text, frame, 0, Row(3, font));
  font.DrawText("R", frame, kMeterX, Row(3, font));
  DrawLevelMeter(font, frame, kMeterX + 6, Row(3, font), s.meterRight);

  int32_t seconds = state.soundtrack ? static_cast<int32_t>(SendEngineCommand(state, ENG_GET_ELAPSED_SECONDS)) : 0;
  if (seconds < 0) seconds = 0;
  std::snprintf(text, sizeof text, "Time: %4dm%02ds  Buf:%4d", seconds / 60, seconds % 60,
                engine ? engine->buffersRendered : 0);
  font.DrawText(text, frame, 0, Row(4, font));
  x = font.DrawText("Vol:", frame, kMeterX, Row(4, font));
  int64_t volume = SendEngineCommand(state, ENG_GET_MASTER_VOLUME);
  for (int i = 1; i <= 7; ++i) {
    bool lit = volume > int64_t{i - 1} * 65536 / 7;
    font.DrawGlyphInColour(static_cast<uint8_t>(kGlyphVolumeBar1 + i - 1), frame,
                           static_cast<int16_t>(kMeterX + x + 6 * (i - 1)), Row(4, font),
                           lit ? kColourGreen : kColourGrey);
  }

  // One lamp a voice, as many as fit the row (52); never past the engine's voices.
  int32_t voiceCount = engine ? engine->voiceCount : 0;
  for (int v = 0, lx = 0; lx < FRAME_WIDTH && v < voiceCount && v < kMaxVoices; ++v, lx += 6) {
    const Voice& voice = engine->voices[v];
    font.DrawGlyphInColour(kGlyphChannelLamp, frame, static_cast<int16_t>(lx), Row(5, font),
                           ChannelLampColour(voice.active, voice.volume));
  }

  DrawPositionColumn(state, font, frame);
}

}  // namespace tvp
