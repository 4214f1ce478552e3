#pragma once
// The pattern chart: the playing pattern as a time chart, one narrow column per channel, one dash
// per event, row lines across and time running upward. It is drawn once per pattern into a tall
// picture and then only shifted so that the present lies on a red line across the frame.
#include <cstdint>

#include "app/player_state.h"

namespace tvp {

inline constexpr int32_t kChartWidth = 128;
inline constexpr int32_t kChartHeight = 32760;
inline constexpr int32_t kChartBottom = kChartHeight - 1;
// Rows the chart can hold: a row takes at least one tick of two pixels.
inline constexpr int32_t kChartRows = kChartHeight / 2;
inline constexpr int32_t kChartX = (FRAME_WIDTH - kChartWidth) / 2;  // 92: centred
inline constexpr int32_t kChartNowY = 216;  // the frame row of the present

inline constexpr uint8_t kColourRowLine = 83;  // dark grey; every eighth row mid grey

// The colour of a dash standing for the `count`-th event of one channel at one time.
uint8_t ChartEventColour(int32_t count);

// Makes the chart's picture and row table when they are missing: false when memory is short.
bool CreatePatternChart(PatternChartState& chart);
void DisposePatternChart(PatternChartState& chart);

// Draws the pattern whose first event is `first` into the chart, rows `speed` ticks long until
// the pattern's own speed changes say otherwise, and remembers it as the chart's pattern.
void BuildPatternChart(PatternChartState& chart, const Event* first, int32_t speed);

// Rebuilds the chart when `pattern` is not the one it holds, then places it on the frame so that
// `positionCounter` (row x 256 + tick) lies on the red line, and draws the line.
void DrawPatternChart(PlayerState& state, const Event* pattern, int32_t positionCounter, int32_t speed);

}  // namespace tvp
