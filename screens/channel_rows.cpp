#include "screens/channel_rows.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/sound_engine.h"
#include "screen/screen_font.h"
#include "screens/status_screen.h"

namespace tvp {

namespace {

constexpr uint8_t kColourHighlight = 112;     // dark red bar behind the selected channel
constexpr uint8_t kColourPingPongLoop = 120;  // loop shading of a ping-pong loop
constexpr uint8_t kColourForwardLoop = 90;    // loop shading of a forward loop

constexpr uint8_t kGlyphLamp = 207;
constexpr uint8_t kGlyphEnvelope = 185;
constexpr uint8_t kGlyphWave = 126;  // a periodic modulation
constexpr uint8_t kGlyphRamp = 186;  // a slide
constexpr uint8_t kGlyphLess = 60;
constexpr uint8_t kGlyphGreater = 62;
constexpr uint8_t kGlyphStop = 46;

constexpr const char* kNoteNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                        "F#", "G-", "G#", "A-", "A#", "B-"};

constexpr int kHeaderRow = 6;

// The pitch a row shows: the arpeggio's current offset included.
int32_t ShownPitch(const Voice& voice) {
  int32_t p = voice.pitch;
  if (voice.arpeggioOn) {
    if (voice.arpeggioPhase == 1) p += voice.arpeggioOffset1;
    if (voice.arpeggioPhase == 2) p += voice.arpeggioOffset2;
  }
  return p;
}

// Nearest note number, and its name and octave character. A pitch envelope can take a pitch
// below 0, so the note is divided rounding down and its name index is never negative.
struct Note {
  const char* name;
  char octave;
};
Note NoteOf(int32_t pitch) {
  int32_t n = (pitch + 128) >> 8;
  int32_t octave = n >= 0 ? n / 12 : -((11 - n) / 12);
  return {kNoteNames[n - 12 * octave], static_cast<char>(octave + 47)};
}

// Where a marker sits in a bar w pixels wide: value / range of the way along, truncated. A
// voice without sample data has a sampleEnd of 0, and values beyond the range (a loop end left
// at its no-loop value) must not carry the marker out of its bar, so the share is kept to 0..1.
int BarOffset(double value, double range, int w) {
  if (!(range > 0)) return 0;
  double share = value / range;
  share = share < 0 ? 0 : share > 1 ? 1 : share;
  return static_cast<int>(std::trunc(share * w));
}

// One row being drawn: the running x and the text and glyph steps every field uses.
class RowWriter {
 public:
  RowWriter(PlayerState& state, int32_t channel, const Voice& voice, int x, int y)
      : font_(*state.font), frame_(state.frameBitmap), x_(x), y_(y),
        gw_(font_.glyphWidth()), gh_(font_.glyphHeight()) {
    enabled_ = SendEngineCommand(state, ENG_GET_CHANNEL_ENABLED, channel) != 0;
    lit_ = enabled_ && voice.active != 0;
    font_.SetColour(enabled_ ? kColourWhite : kColourGrey);
    if (channel == state.selectedChannel && state.currentPopup == nullptr)
      PixmapFillRect(frame_, s16(x), s16(y), frame_->width, s16(y + gh_), kColourHighlight);
    char number[8];
    std::snprintf(number, sizeof number, "%2X", static_cast<unsigned>(channel));
    text(number, enabled_ ? kColourGreen : kColourGrey);
    glyph(kGlyphLamp, (voice.active & kVoiceSounding) ? kColourGreen : kColourGrey);
    glyph(kGlyphLamp, (voice.active & kVoiceKeyHeld) ? kColourGreen : kColourGrey);
    space();
    if (voice.instrumentSlot < 0)
      text("--", kColourGrey);
    else
      format("%2X", static_cast<unsigned>(voice.instrumentSlot & 255));
    space();
    if (voice.sampleSlot < 0)
      text("---", kColourGrey);
    else
      format("%3X", static_cast<unsigned>(voice.sampleSlot & 0xFFF));
    space();
  }

  bool lit() const { return lit_; }
  int x() const { return x_; }
  int gw() const { return gw_; }

  void advance(int pixels) { x_ += pixels; }
  void space() { x_ += gw_; }
  void text(const char* s) { x_ += font_.DrawText(s, frame_, s16(x_), s16(y_)); }
  void text(const char* s, uint8_t colour) { x_ += font_.DrawTextInColour(s, frame_, s16(x_), s16(y_), colour); }
  template <typename... Args>
  void format(const char* pattern, Args... args) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, args...);
    text(buffer);
  }
  void glyph(uint8_t code, uint8_t colour) { x_ += font_.DrawGlyphInColour(code, frame_, s16(x_), s16(y_), colour); }
  // A lamp that is green while the channel is lit and the condition holds, else grey.
  void lamp(uint8_t code, bool on) { glyph(code, lit_ && on ? kColourGreen : kColourGrey); }

  // A grey bar box of width w at the running x, and a vertical marker at mx.
  void box(int w) const {
    PixmapFillRect(frame_, s16(x_), s16(y_), s16(x_ + w - 1), s16(y_ + gh_ - 1), kColourGrey);
  }
  void fill(int left, int right, uint8_t colour) const {
    PixmapFillRect(frame_, s16(left), s16(y_), s16(right), s16(y_ + gh_ - 1), colour);
  }
  void marker(int mx, uint8_t colour) const {
    PixmapDrawLine(frame_, s16(mx), s16(y_), s16(mx), s16(y_ + gh_ - 2), lit_ ? colour : kColourBlack);
  }

 private:
  static int16_t s16(int v) { return static_cast<int16_t>(v); }

  ScreenFont& font_;
  Pixmap* frame_;
  int x_, y_;
  int gw_, gh_;
  bool enabled_ = false;
  bool lit_ = false;
};

uint8_t DirectionColour(const RowWriter& row, bool backward) {
  if (!row.lit()) return kColourGrey;
  return backward ? kColourYellow : kColourGreen;
}

}  // namespace

void FormatNoteAndDeviation(int32_t pitch, char* text) {
  Note note = NoteOf(pitch);
  bool below = (pitch & 128) != 0;
  unsigned deviation = below ? 256 - static_cast<unsigned>(pitch & 255) : static_cast<unsigned>(pitch & 255);
  std::snprintf(text, 7, "%s%c%c%02X", note.name, note.octave, below ? '-' : '+', deviation & 0xFF);
}

void DrawDigitalRow(PlayerState& state, int32_t channel, const Voice& voice, int x, int y) {
  RowWriter row(state, channel, voice, x, y);
  row.format("%5X", static_cast<unsigned>(voice.position >> 1));
  row.space();
  bool backward = (voice.loopFlags & kVoiceMovingBackward) != 0;
  row.glyph(backward ? kGlyphLess : kGlyphGreater, DirectionColour(row, backward));
  // Whole frames per output frame and a 12-bit fraction.
  row.format("%1X.%03X", static_cast<unsigned>(voice.stepWhole >> 1), static_cast<unsigned>(voice.stepFraction >> 4));
  row.space();

  row.glyph(kGlyphEnvelope, kColourGrey);  // pitch envelopes have no lamp of their own
  row.lamp(kGlyphWave, voice.autoVibratoOn || voice.vibratoOn || voice.periodVibratoOn || voice.arpeggioOn);
  row.lamp(kGlyphRamp, voice.pitchSlideMode != 0 || voice.periodSlideMode != 0);
  char note[8];
  FormatNoteAndDeviation(ShownPitch(voice), note);
  row.text(note);
  row.space();

  row.lamp(kGlyphEnvelope, voice.volumeEnvelope != nullptr);
  row.lamp(kGlyphWave, voice.tremoloOn != 0);
  row.lamp(kGlyphRamp, voice.volumeSlideMode != 0);
  row.format("%5X", static_cast<unsigned>(voice.volume));
  row.space();

  row.lamp(kGlyphEnvelope, voice.panningEnvelope != nullptr);
  row.glyph(kGlyphWave, kColourGrey);  // panning has no modulator
  row.lamp(kGlyphRamp, voice.panningSlideMode != 0);
  if (voice.panning == 0)
    row.glyph(kGlyphStop, row.lit() ? kColourWhite : kColourGrey);
  else if (voice.panning < 0)
    row.glyph(kGlyphLess, row.lit() ? kColourCyan : kColourGrey);
  else
    row.glyph(kGlyphGreater, row.lit() ? kColourMagenta : kColourGrey);
  row.format("%4X", static_cast<unsigned>(std::abs(voice.panning)));
}

void DrawBarGraphRow(PlayerState& state, int32_t channel, const Voice& voice, int x, int y) {
  RowWriter row(state, channel, voice, x, y);
  const int gw = row.gw();

  // Phase: the sample from start to end, its loop shaded, the play position marked.
  int w = 8 * gw - 1;
  int bx = row.x();
  row.box(w);
  if (voice.loopFlags != 0) {
    uint8_t shade = (voice.loopFlags & kVoiceLoopPingPong) ? kColourPingPongLoop : kColourForwardLoop;
    row.fill(bx + BarOffset(voice.loopStart, voice.sampleEnd, w), bx + BarOffset(voice.loopEnd, voice.sampleEnd, w),
             shade);
  }
  bool backward = (voice.loopFlags & kVoiceMovingBackward) != 0;
  row.marker(bx + BarOffset(voice.position, voice.sampleEnd, w), backward ? kColourYellow : kColourGreen);
  row.advance(9 * gw);

  // Pitch: four octaves from 8192 on; a pitch outside them is pinned to an end in yellow.
  w = 10 * gw - 1;
  bx = row.x();
  row.box(w);
  int32_t p = ShownPitch(voice);
  double v = (p - 8192) / 16384.0;
  uint8_t colour = kColourGreen;
  if (v < 0 || v > 1) {
    v = v < 0 ? 0 : 1;
    colour = kColourYellow;
  }
  row.marker(bx + static_cast<int>(std::trunc(w * v)), colour);
  row.advance(10 * gw);
  Note note = NoteOf(p);
  row.format("%s%c", note.name, note.octave);
  row.space();

  // Volume: filled up to the level while lit.
  w = 8 * gw - 1;
  bx = row.x();
  row.box(w);
  int vx = bx + BarOffset(voice.volume, 65536, w);
  if (row.lit())
    row.fill(bx, vx, kColourGreen);
  else
    row.marker(vx, kColourBlack);
  row.advance(9 * gw);

  // Panning: left in cyan, centre in green, right in magenta.
  bx = row.x();
  row.box(w);
  colour = voice.panning == 0 ? kColourGreen : voice.panning < 0 ? kColourCyan : kColourMagenta;
  row.marker(bx + BarOffset(voice.panning + 4096, 8192, w), colour);
}

void DrawChannelRows(PlayerState& state, bool digital) {
  ScreenFont& font = *state.font;
  const int h = font.glyphHeight();
  int y = kHeaderRow * h;
  font.DrawText(digital ? kDigitalHeader : kBarGraphHeader, state.frameBitmap, 0, static_cast<int16_t>(y));
  const SoundEngine* engine = state.engine;
  if (!engine) return;
  for (int32_t channel = state.firstVisibleChannel; channel < engine->voiceCount && channel < kMaxVoices;
       ++channel) {
    y += h;
    if (y >= FRAME_HEIGHT - h) break;  // the bottom row belongs to the notice line
    if (channel < 0) continue;
    const Voice& voice = engine->voices[channel];
    if (digital)
      DrawDigitalRow(state, channel, voice, 0, y);
    else
      DrawBarGraphRow(state, channel, voice, 0, y);
  }
}

}  // namespace tvp
