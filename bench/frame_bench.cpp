// Speed of one whole frame of the player: the status screen with its display, the notice line, the
// doubled copy into the display's surface and the presentation, on the in-memory platform with a
// 32-channel song playing (a note in every channel on every row). The sound device does not move
// during the measurement, so no audio is rendered inside it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "app/headless_player.h"
#include "app/main_loop.h"
#include "tests/support/xm_builder.h"

namespace {

using namespace tvp;

std::string WriteSong() {
  test::XmBuilder xm;
  xm.title = "thirty-two channels";
  xm.channels = 32;
  xm.orders = {0};
  test::XmInstrumentSpec instrument;
  test::XmSampleSpec sample;
  for (int i = 0; i < 256; ++i) sample.frames.push_back((i * 53 % 200) - 100);
  sample.loopType = 1;
  sample.loopLength = 256;
  instrument.samples = {sample};
  xm.instruments = {instrument};
  for (int row = 0; row < 64; ++row)
    for (int c = 0; c < 32; ++c) xm.pattern(0).cells[{row, c}] = {1 + (row + c) % 60, 1, 0x30, 4, 0x44};
  std::string path = "/tmp/tvp_frame_bench_32ch.xm";
  auto bytes = xm.bytes();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

void BM_Frame(benchmark::State& bench) {
  HeadlessPlayer headless;
  std::string error;
  StartOptions options;
  options.window = 1;
  options.files = {WriteSong()};
  if (headless.Start(options, &error) != 0) {
    bench.SkipWithError(error.c_str());
    return;
  }
  PlayerState& state = headless.state();
  PlaceFrame(state, 640, 480);  // doubled, as on any display from 640 x 480 on
  state.displayMode = static_cast<int32_t>(bench.range(0));
  headless.Frame(120);  // two seconds of song: every voice sounding
  for (auto _ : bench) {
    if (state.noticeText[0] == '\0') ShowNotice(state, "FILE READ SUCCESSFULLY");
    RunMainLoopIteration(state);
  }
}
BENCHMARK(BM_Frame)->Name("whole_frame_mode")->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
