// Speed of the status screen with each display mode on a playing song whose first 32 voices all
// sound, and of building the pattern chart of the corpus's largest pattern (most events).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/module_playback.h"
#include "engine/offline_output.h"
#include "engine/sound_engine.h"
#include "screen/pixel_image.h"
#include "screen/screen_font.h"
#include "screens/display_area.h"
#include "screens/pattern_chart.h"
#include "screens/status_screen.h"

namespace {

using namespace tvp;

const char* const kCorpus[] = {"area1-game.mod", "area1-game2.mod", "gardien-go.mod", "high-score.mod",
                               "mod_basic_notes.mod", "mod_effects_1_2_3_4.mod", "s3m_basic_notes.s3m",
                               "s3m_loops_breaks.s3m", "s3m_slides.s3m", "tecnoballz.mod", "xm_arpeggio.xm",
                               "xm_envelope_sustain_fadeout.xm", "xm_pattern_loop.xm", "xm_vibrato.xm",
                               "xm_volslide.xm"};
constexpr int kLitVoices = 32;

std::string CorpusFile(const char* name) { return std::string(TVP_CORPUS_DIR) + "/" + name; }

// The player's state as the start-up leaves it, with a corpus song loaded and playing.
struct Player {
  PlayerState state;
  ScreenFont font;
  std::vector<int16_t> scopeCopy;
  std::vector<int16_t> out;
  bool ok = false;

  Player() {
    Pixmap* picture = nullptr;
    if (LoadPixelImage(&picture, "PXL_MAIN_FONT") != 0) return;
    bool built = font.Build(picture, 256, 6, 8, ScreenFont::kGrid | ScreenFont::kInverted) == 0;
    PixmapDispose(picture);
    if (!built || PixmapCreate(&state.frameBitmap, FRAME_WIDTH, FRAME_HEIGHT) != 0) return;
    state.font = &font;
    const int32_t frames = state.settings.framesPerBuffer;
    scopeCopy.resize(2 * static_cast<size_t>(frames));
    out.resize(2 * static_cast<size_t>(frames));
    state.sampleBuffer = scopeCopy.data();
    ParamBlock open{{0, kOfflineRoad, kMaxVoices, frames}};
    if (engineCommand(state.engineHandle(), ENG_OPEN, &open) != 0) return;
    engineCommand(state.engineHandle(), ENG_RESET, nullptr);
    SendEngineSettings(state);
    ok = true;
  }
  ~Player() {
    DisposeDisplayArea(state);
    ReleaseModule(state);
    engineCommand(state.engineHandle(), ENG_CLOSE, nullptr);
    PixmapDispose(state.frameBitmap);
  }
  bool play(const char* name, int buffers) {
    OpenModuleFile(state, CorpusFile(name).c_str());
    if (!state.soundtrack) return false;
    StartPlaying(state);
    for (int i = 0; i < buffers; ++i) renderOfflineBuffer(state.engineHandle(), out.data());
    return true;
  }
};

void BM_StatusScreen(benchmark::State& bench) {
  Player player;
  if (!player.ok || !player.play("tecnoballz.mod", 20)) {
    bench.SkipWithError("no font resource or corpus song");
    return;
  }
  PlayerState& state = player.state;
  SoundEngine* engine = state.engine;
  // Every voice of the first 32 sounds like one of the song's four, with its sample and loop.
  for (int v = 4; v < kLitVoices; ++v) engine->voices[v] = engine->voices[v % 4];
  for (int v = 0; v < kLitVoices; ++v) engine->voices[v].active = kVoiceSounding | kVoiceKeyHeld;
  state.displayMode = static_cast<int32_t>(bench.range(0));
  for (auto _ : bench) {
    // A rendered buffer and a fresh capture every frame: the oscilloscope redraws its traces.
    engine->peakLeft = engine->peakRight = 20000;
    engine->scopeRequest = -1;
    DrawStatusScreen(state, state.soundtrackTitle);
    benchmark::DoNotOptimize(state.frameBitmap->pixels);
  }
}
BENCHMARK(BM_StatusScreen)->Name("status_screen_mode")->DenseRange(1, 4)->Unit(benchmark::kMicrosecond);

void BM_ChartBuild(benchmark::State& bench) {
  Player player;
  if (!player.ok) {
    bench.SkipWithError("no font resource");
    return;
  }
  // Find the song and pattern with the most events, then load that song for good.
  const char* bestSong = nullptr;
  int32_t bestSlot = -1, bestEvents = 0;
  for (const char* name : kCorpus) {
    if (!player.play(name, 0)) continue;
    const Soundtrack* song = player.state.soundtrack;
    for (int32_t p = 0; p < song->patternCount; ++p) {
      int32_t count = 0;
      for (const Event* e = song->patterns[p]; e; e = e->next) ++count;
      if (count > bestEvents) bestSong = name, bestSlot = p, bestEvents = count;
    }
  }
  if (!bestSong || !player.play(bestSong, 0) || !CreatePatternChart(player.state.patternChart)) {
    bench.SkipWithError("no corpus song");
    return;
  }
  const Event* pattern = player.state.soundtrack->patterns[bestSlot];
  for (auto _ : bench) {
    BuildPatternChart(player.state.patternChart, pattern, 6);
    benchmark::DoNotOptimize(player.state.patternChart.chart->pixels);
  }
  bench.SetLabel(std::string(bestSong) + " pattern " + std::to_string(bestSlot) + ", " +
                 std::to_string(bestEvents) + " events");
}
BENCHMARK(BM_ChartBuild)->Name("pattern_chart_build_largest")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
