// Speed of the drawing the screens do every frame: a full screen of text in changing colours,
// with and without shadow, and the fill of a whole frame.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "screen/pixel_image.h"
#include "screen/pixmap.h"
#include "screen/screen_font.h"

namespace {

using namespace tvp;

constexpr int kColumns = 52, kRows = 30;  // 312 x 240 in 6 x 8 glyphs

struct Screen {
  Pixmap* frame = nullptr;
  ScreenFont font;
  bool ok = false;
  Screen() {
    Pixmap* picture = nullptr;
    if (LoadPixelImage(&picture, "PXL_MAIN_FONT") != 0) return;
    ok = font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted) == 0 &&
         PixmapCreate(&frame, 312, 240) == 0;
    PixmapDispose(picture);
  }
  ~Screen() { PixmapDispose(frame); }
};

template <bool kShadowed>
void BM_TextScreen(benchmark::State& state) {
  Screen screen;
  if (!screen.ok) {
    state.SkipWithError("no font resource");
    return;
  }
  char line[kColumns + 1];
  for (int i = 0; i < kColumns; ++i) line[i] = static_cast<char>(32 + (i * 7) % 95);
  line[kColumns] = 0;
  for (auto _ : state) {
    for (int row = 0; row < kRows; ++row) {
      // A few colours a frame, as the screens use them: every line changes colour.
      uint8_t colour = static_cast<uint8_t>(row % 6 == 0 ? 255 : 60 + row % 6 * 20);
      if (kShadowed)
        screen.font.DrawTextShadowedInColour(line, screen.frame, 0, static_cast<int16_t>(row * 8), colour);
      else
        screen.font.DrawTextInColour(line, screen.frame, 0, static_cast<int16_t>(row * 8), colour);
    }
    benchmark::DoNotOptimize(screen.frame->pixels);
  }
  state.counters["ns/glyph"] = benchmark::Counter(static_cast<double>(kColumns * kRows),
                                                  benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_TextScreen<false>)->Name("text_screen_52x30");
BENCHMARK(BM_TextScreen<true>)->Name("text_screen_52x30_shadowed");

void BM_FrameFill(benchmark::State& state) {
  Pixmap* frame = nullptr;
  if (PixmapCreate(&frame, 312, 240) != 0) return;
  uint8_t colour = 0;
  for (auto _ : state) {
    PixmapFillRect(frame, 0, 0, 312, 240, colour++);
    benchmark::DoNotOptimize(frame->pixels);
  }
  PixmapDispose(frame);
}
BENCHMARK(BM_FrameFill)->Name("fill_312x240");

}  // namespace

BENCHMARK_MAIN();
