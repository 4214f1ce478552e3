#include "screens/pattern_chart.h"

#include <algorithm>
#include <new>

#include "engine/sound_engine.h"
#include "screens/status_screen.h"

namespace tvp {

namespace {

constexpr uint8_t kEventColours[8] = {129, 75, 144, 250, 220, 220, 220, 220};
constexpr int32_t kDashWidth = 4;
// The engine counts at most 256 ticks in a row (its tick is the low byte of the position
// counter), whatever a speed event asks for.
constexpr int32_t kMaxTicksPerRow = 256;

int16_t S16(int32_t v) { return static_cast<int16_t>(v); }

void LineAcross(Pixmap* chart, int32_t y, uint8_t colour) {
  PixmapDrawLine(chart, 0, S16(y), S16(kChartWidth), S16(y), colour);
}

}  // namespace

uint8_t ChartEventColour(int32_t count) {
  return count < 31 ? kEventColours[count >> 2] : kColourRed;
}

bool CreatePatternChart(PatternChartState& chart) {
  if (!chart.rowY) chart.rowY = new (std::nothrow) int32_t[kChartRows];
  if (!chart.chart && chart.rowY) PixmapCreate(&chart.chart, kChartWidth, kChartHeight);
  return chart.chart && chart.rowY;
}

void DisposePatternChart(PatternChartState& chart) {
  PixmapDispose(chart.chart);
  delete[] chart.rowY;
  chart = PatternChartState{};
}

void BuildPatternChart(PatternChartState& chart, const Event* first, int32_t speed) {
  Pixmap* picture = chart.chart;
  PixmapFillPixels(picture, 0);
  std::fill(chart.rowY, chart.rowY + kChartRows, 0);
  std::fill(std::begin(chart.counters), std::end(chart.counters), 0);
  chart.pattern = first;
  if (!first) return;

  int32_t y = kChartBottom;
  int32_t t = first->time;
  int32_t s = std::clamp(speed, 1, kMaxTicksPerRow);
  if (t >= 0 && (t >> 8) < kChartRows) chart.rowY[t >> 8] = y;
  bool full = false;
  for (const Event* e = first; e && !full; e = e->next) {
    // Row lines up to the event's row. The chart holds kChartRows rows at most; a longer
    // pattern (an XM may claim 65535 rows) ends the walk where the chart is full, and the rows
    // beyond stay unreached rather than wrapping onto the first ones.
    while ((e->time >> 8) > (t >> 8)) {
      y -= 2 * (s - (t & 0xFF));
      t = ((t >> 8) + 1) << 8;
      int32_t row = t >> 8;
      if (y < 1 || row >= kChartRows) {
        full = true;
        break;
      }
      chart.rowY[row] = y;
      std::fill(std::begin(chart.counters), std::end(chart.counters), 0);
      LineAcross(picture, y, row % 8 == 0 ? kColourGrey : kColourRowLine);
    }
    if (full) break;
    // An event at or past the row's last tick never plays: it is not drawn.
    if ((e->time & 0xFF) >= s) continue;
    if (e->time > t) {
      y -= 2 * (e->time - t);
      t = e->time;
      std::fill(std::begin(chart.counters), std::end(chart.counters), 0);
    }
    bool last = false;
    if (e->code == EventCode::SetSpeed && e->param > 0) s = std::min(e->param, kMaxTicksPerRow);
    if (e->code == EventCode::NextPlayPosition) last = true;
    if (e->channel >= 0 && e->channel < kChartChannels) {
      int32_t x = kDashWidth * e->channel;
      int32_t count = ++chart.counters[e->channel];
      PixmapDrawLine(picture, S16(x), S16(y), S16(x + kDashWidth), S16(y), ChartEventColour(count));
    }
    if (last) break;
  }
  LineAcross(picture, y - 1, kColourWhite);  // the end of the pattern
}

void DrawPatternChart(PlayerState& state, const Event* pattern, int32_t positionCounter, int32_t speed) {
  PatternChartState& chart = state.patternChart;
  const SoundEngine* engine = state.engine;
  if (!engine || !CreatePatternChart(chart)) return;  // tried again next frame
  if (pattern && pattern != chart.pattern) BuildPatternChart(chart, pattern, speed);

  // Half a tick on once the current tick is half rendered, so the chart moves a pixel at a time.
  int32_t half = engine->rowDelayCounter == 0 &&
                         static_cast<uint32_t>(std::max(engine->samplesIntoTick, 0)) >= engine->samplesPerTick / 2
                     ? 1
                     : 0;
  int32_t row = positionCounter >> 8;
  // A row the chart never reached has no place on it: only the red line shows.
  if (pattern && row >= 0 && row < kChartRows && chart.rowY[row] != 0) {
    int32_t nowY = chart.rowY[row] - 2 * (positionCounter & 0xFF) - half;
    PixmapCopyBitsClipped(chart.chart, state.frameBitmap, S16(kChartX), S16(kChartNowY - nowY), S16(kChartWidth),
                          S16(kChartHeight));
  }
  PixmapDrawLine(state.frameBitmap, 0, S16(kChartNowY), S16(FRAME_WIDTH), S16(kChartNowY), kColourRed);
}

}  // namespace tvp
