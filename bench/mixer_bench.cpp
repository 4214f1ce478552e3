// Speed of the voice mixing loops: output frames per second for one voice, for every
// interpolation mode, loop kind (one-shot, forward, ping-pong) and audible or silent voice, plus
// the arpeggio loops and the forward loops at a step under one frame. items_per_second is frames
// per second; "s/voice-frame" the time of one voice's frame (n = nanoseconds); "voices@44k1" is
// how many such voices one core could mix in real time at 44100 Hz.
//
//   mixer_bench [--benchmark_filter=<regex>] [other Google Benchmark options]
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/sound_engine.h"
#include "engine/voice.h"
#include "mixer/const_tables.h"
#include "mixer/mix_routines.h"
#include "resources/resources.h"
#include "soundtrack/status.h"

namespace {

using namespace tvp;

constexpr int32_t kStretchFrames = 1024;     // about one tick at 44100 Hz and 125 BPM
constexpr int32_t kSampleFrames = 1 << 16;
constexpr uint32_t kStep = 0x12345;          // 1.07 source frames per output frame: real resampling
constexpr uint32_t kLowStep = 0xC28F;        // 0.76: a note high in a MOD's range, mixed at 44100 Hz

enum class Loop { kOneShot, kForward, kPingPong };

struct Bench {
  SoundEngine* engine = nullptr;
  std::vector<int16_t> block;  // guard frame, data, two guard frames
  std::vector<uint32_t> stepTable;
  std::vector<int32_t> mix;
};

Voice makeVoice(const Bench& b, Loop loop, bool audible, bool arpeggio, uint32_t step) {
  Voice v{};
  v.active = kVoiceSounding;
  v.enabled = kVoiceEnabled;
  v.sampleData = b.block.data() + 1;
  v.sampleEnd = 2 * kSampleFrames;
  v.loopEnd = kVoiceNoLoopEnd;
  if (loop != Loop::kOneShot) {
    // The whole sample loops; the guard frames after it were written for a forward loop, which
    // matters to the sound, not to the speed.
    v.loopFlags = loop == Loop::kForward ? kVoiceLoopForward : kVoiceLoopPingPong;
    v.loopStart = 2 * 1000;
    v.loopEnd = 2 * kSampleFrames;
    v.loopLength = v.loopEnd - v.loopStart;
  }
  v.volume = audible ? 50000 : 0;
  v.rampVolume = audible ? 20000 : 0;  // the ramped loops ramp for the first few hundred frames
  v.panning = -1000;
  v.rampPanning = 1000;
  v.pitch = 0x3C00;
  v.pitchOrigin = 0x3C00;
  v.stepTable = b.stepTable.data();
  v.stepWhole = static_cast<int32_t>((step >> 15) & 0x1FFFE);
  v.stepFraction = static_cast<int32_t>(step & 0xFFFF);
  if (arpeggio) {
    v.arpeggioOn = 1;
    v.arpeggioOffset1 = 4 * 256;  // a major chord
    v.arpeggioOffset2 = 7 * 256;
  }
  return v;
}

void mixFrames(benchmark::State& state, Bench* b, MixIsa isa, int32_t mode, Loop loop, bool audible, bool arpeggio,
               uint32_t step) {
  const MixRoutinePair pair = mixRoutinesFor(mode, isa);
  const MixRoutine routine = arpeggio ? pair.arpeggio : pair.plain;
  Voice v = makeVoice(*b, loop, audible, arpeggio, step);
  for (auto _ : state) {
    routine(b->engine, &v, 0, kStretchFrames);
    benchmark::ClobberMemory();
    if (loop == Loop::kOneShot && v.position > 2 * (kSampleFrames - 4 * kStretchFrames)) {
      v.position = 0;  // start over well before the end, so every call mixes all its frames
      v.active = kVoiceSounding;
    }
  }
  const double frames = static_cast<double>(state.iterations()) * kStretchFrames;
  state.SetItemsProcessed(static_cast<int64_t>(frames));
  state.counters["voices@44k1"] = benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsRate);
  state.counters["s/voice-frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

bool setUp(Bench* b) {
  b->engine = static_cast<SoundEngine*>(std::calloc(1, sizeof(SoundEngine)));
  ResourceBytes bytes{};
  if (!b->engine || !FindResource(kConstTablesResource, &bytes) ||
      loadConstTables(b->engine, bytes.data, bytes.size) != kStatusOk)
    return false;
  b->engine->arpeggioStepFrames = 882;  // 44100 / 50

  std::mt19937 rng(1234);
  std::uniform_int_distribution<int32_t> value(-32768, 32767);
  b->block.assign(kSampleFrames + 3, 0);
  int16_t* d = b->block.data() + 1;
  for (int32_t i = 0; i < kSampleFrames; ++i) d[i] = static_cast<int16_t>(value(rng));
  d[kSampleFrames] = d[kSampleFrames + 1] = d[kSampleFrames - 1];

  b->stepTable.resize(kStepTableEntries);
  for (int32_t i = 0; i < kStepTableEntries; ++i)
    b->stepTable[i] = kStep + static_cast<uint32_t>(i) * 20;  // rising through the octave
  b->mix.assign(2 * kStretchFrames, 0);
  b->engine->mixBuffer = b->mix.data();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Bench bench;
  if (!setUp(&bench)) {
    std::fprintf(stderr, "mixer_bench: cannot load the constant tables\n");
    return 1;
  }
  const struct {
    int32_t mode;
    const char* name;
  } modes[] = {{kInterpolationNone, "NONE"},
               {kInterpolationLinear, "LINEAR"},
               {kInterpolationStairs, "STAIRS"},
               {kInterpolationCubic, "CUBIC"},
               {kInterpolationRampedCubic, "MR+CUBIC"}};
  const struct {
    Loop loop;
    const char* name;
  } loops[] = {{Loop::kOneShot, "one-shot"}, {Loop::kForward, "forward"}, {Loop::kPingPong, "ping-pong"}};

  // Every instruction set this processor runs the loops in; SSE2 names have no suffix.
  for (MixIsa isa : {MixIsa::kSse2, MixIsa::kAvx2}) {
    if (!mixIsaSupported(isa)) continue;
    const std::string suffix = isa == MixIsa::kAvx2 ? "/avx2" : "";
    for (const auto& m : modes) {
      for (const auto& l : loops) {
        for (bool audible : {true, false}) {
          const std::string name =
              std::string("Mix/") + m.name + "/" + l.name + (audible ? "/audible" : "/silent") + suffix;
          benchmark::RegisterBenchmark(name.c_str(), mixFrames, &bench, isa, m.mode, l.loop, audible, false, kStep);
        }
      }
      const std::string name = std::string("MixArpeggio/") + m.name + "/forward/audible" + suffix;
      benchmark::RegisterBenchmark(name.c_str(), mixFrames, &bench, isa, m.mode, Loop::kForward, true, true, kStep);
      // A step under one frame, where the eight-lane loops work out the terms of frames.
      const std::string low = std::string("MixLowStep/") + m.name + "/forward/audible" + suffix;
      benchmark::RegisterBenchmark(low.c_str(), mixFrames, &bench, isa, m.mode, Loop::kForward, true, false, kLowStep);
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  freeConstTables(bench.engine);
  std::free(bench.engine);
  return 0;
}
