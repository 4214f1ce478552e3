// What a seek costs: a 10-minute, 8-channel song played silently from its start to a point near
// its end (every voice busy on looped samples, envelopes and effects all the way), against the
// 93 ms of one 4096-frame buffer at 44100 Hz; and the sub-song search over the same song.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/sound_engine.h"
#include "soundtrack/soundtrack.h"
#include "tests/support/loaded_song.h"
#include "tests/support/xm_builder.h"

namespace {

using namespace tvp;
using tvp::test::LoadedSong;
using tvp::test::XmBuilder;

constexpr int32_t kChannels = 8;
constexpr int32_t kOrders = 79;  // 7.68 s each: 10 min 7 s

std::vector<uint8_t> TenMinuteSong() {
  XmBuilder xm;
  xm.channels = kChannels;
  xm.orders.assign(kOrders, 0);
  test::XmSampleSpec sample;
  for (int i = 0; i < 256; ++i) sample.frames.push_back(static_cast<int>(std::lround(100 * std::sin(i * M_PI / 8))));
  sample.loopType = 1;
  sample.loopLength = 256;
  test::XmInstrumentSpec instrument;
  instrument.samples = {sample};
  instrument.volumeEnvelope = {{{0, 64}, {30, 40}, {60, 64}}, -1, 0, 0, 2, 5};
  xm.instruments = {instrument};
  for (int row = 0; row < 64; ++row)
    for (int c = 0; c < kChannels; ++c)
      xm.cell(0, row, c, row % 4 == 0 ? test::XmCell{37 + (row + 5 * c) % 24, 1, 0, 4, 0x34} : test::XmCell{0, 0, 0, 0xA, 0x01});
  return xm.bytes();
}

void BM_SeekTenMinutesIn(benchmark::State& state) {
  const LoadedSong song(TenMinuteSong());
  RenderSettings settings;
  settings.interpolation = static_cast<int32_t>(state.range(0));
  settings.startFrames = int64_t{600} * 44100;
  for (auto _ : state) {
    RenderSession session;
    if (session.open(settings, song.get()) != 0 || session.finished()) state.SkipWithError("the seek did not land in the song");
    benchmark::DoNotOptimize(session.engine()->playPosition);
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(settings.startFrames), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SeekTenMinutesIn)->Arg(0)->Arg(7)->Unit(benchmark::kMillisecond);

void BM_FindSubSongsOfTenMinutes(benchmark::State& state) {
  const LoadedSong song(TenMinuteSong());
  std::vector<SubSong> songs(kMaxSubSongs);
  for (auto _ : state) benchmark::DoNotOptimize(FindSubSongs(song.get(), songs.data(), kMaxSubSongs));
}
BENCHMARK(BM_FindSubSongsOfTenMinutes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
