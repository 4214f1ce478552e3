#include "screens/oscilloscope.h"

#include <algorithm>
#include <cstring>

#include "engine/sound_engine.h"

namespace tvp {

namespace {

constexpr int kMid = kScopeHeight / 2;
constexpr int kLeftBaseline = kMid - 16;
constexpr int kRightBaseline = kMid + 16;

// Full scale is 64 pixels either side of the baseline.
int16_t TraceY(int baseline, int16_t sample) { return static_cast<int16_t>(baseline - (sample >> 9)); }

// The sample buffer holds the settings' frames per buffer and the engine was opened with as
// many; never copy or read more than both hold.
int32_t CaptureFrames(const PlayerState& state) {
  return std::min(state.engine->framesPerBuffer, state.settings.framesPerBuffer);
}

// Takes the engine's capture into the sample buffer when one is ready: true when it did.
bool TakeCapture(PlayerState& state) {
  if (SendEngineCommand(state, ENG_GET_SCOPE_REQUEST) >= 0) return false;
  const auto* captured = reinterpret_cast<const int16_t*>(SendEngineCommand(state, ENG_GET_SCOPE_BUFFER));
  int32_t frames = CaptureFrames(state);
  if (!captured || !state.sampleBuffer || frames < 1) return false;
  std::memcpy(state.sampleBuffer, captured, static_cast<size_t>(frames) * 4);
  return true;
}

}  // namespace

void DrawScopeTraces(Pixmap* panel, const int16_t* samples, int32_t frames) {
  const int k = frames / kScopeWidth - 1;
  if (k <= 0) return;
  // Frame 0 starts both traces; 1 + 312 k frames are used, never more than the buffer holds.
  int16_t leftY = TraceY(kLeftBaseline, samples[0]);
  int16_t rightY = TraceY(kRightBaseline, samples[1]);
  int16_t previousX = 0;
  const int16_t* next = samples + 2;
  for (int16_t c = 0; c < kScopeWidth; ++c) {
    for (int i = 0; i < k; ++i, next += 2) {
      int16_t l = TraceY(kLeftBaseline, next[0]);
      int16_t r = TraceY(kRightBaseline, next[1]);
      PixmapDrawLine(panel, previousX, leftY, c, l, kColourScopeLeft);
      PixmapDrawLine(panel, previousX, rightY, c, r, kColourScopeRight);
      previousX = c;
      leftY = l;
      rightY = r;
    }
  }
}

void DrawOscilloscope(PlayerState& state, int x, int y) {
  OscilloscopeState& scope = state.oscilloscope;
  if (!scope.panel) {
    if (PixmapCreate(&scope.panel, kScopeWidth, kScopeHeight) != 0) return;  // again next frame
    PixmapFillPixels(scope.panel, 0);
  }
  if (state.engine) {
    bool fresh = TakeCapture(state);
    if (SendEngineCommand(state, ENG_GET_SCOPE_REQUEST) < 1) SendEngineCommand(state, ENG_SET_SCOPE_REQUEST, 1);
    if (fresh) {
      PixmapFillPixels(scope.panel, 0);
      DrawScopeTraces(scope.panel, state.sampleBuffer, CaptureFrames(state));
    }
  }
  PixmapCopyBitsClipped(scope.panel, state.frameBitmap, static_cast<int16_t>(x), static_cast<int16_t>(y),
                        scope.panel->width, scope.panel->height);
}

}  // namespace tvp
