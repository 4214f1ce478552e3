// Reading and sorting a directory of 10,000 module files for the open-file window, which must not
// hold up the player for long (the sound stalls while a key command runs). For comparison, the
// selection sort the listing could use instead of its stable sort, on the same entries.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/player_state.h"
#include "screens/popup_windows.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 10000;

// A directory of 10,000 files named in mixed case and order, with the three module extensions.
struct BigDirectory {
  fs::path path = fs::temp_directory_path() / ("tvp_bench_dir_" + std::to_string(::getpid()));
  BigDirectory() {
    fs::create_directories(path);
    const char* extensions[] = {".xm", ".S3M", ".mod", ".XM"};
    for (int i = 0; i < kFiles; ++i) {
      const int scrambled = (i * 7919) % kFiles;
      std::string name = (i % 3 ? "song_" : "Tune ") + std::to_string(scrambled) + extensions[i % 4];
      std::ofstream(path / name) << "x";
    }
  }
  ~BigDirectory() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

BigDirectory& Directory() {
  static BigDirectory directory;
  return directory;
}

void BM_ListAndSortTenThousandFiles(benchmark::State& state) {
  tvp::PlayerState player;
  const std::string path = Directory().path.string();
  for (auto _ : state) {
    tvp::SetDirectory(player, path.c_str());
    benchmark::DoNotOptimize(player.openFileWindow.entries);
  }
  state.counters["entries"] = player.openFileWindow.entryCount;
  tvp::DisposePopupWindows(player);
}
BENCHMARK(BM_ListAndSortTenThousandFiles)->Unit(benchmark::kMillisecond);

// Directories first, then byte-wise by name, by repeatedly taking the least remaining entry.
void BM_SelectionSortTenThousandEntries(benchmark::State& state) {
  tvp::PlayerState player;
  tvp::SetDirectory(player, Directory().path.string().c_str());
  std::vector<std::pair<int32_t, const char*>> listed;
  for (const tvp::FileEntry* e = player.openFileWindow.entries; e; e = e->next)
    listed.emplace_back(e->isDirectory, e->name);
  for (auto _ : state) {
    auto order = listed;
    for (size_t i = 0; i + 1 < order.size(); ++i) {
      size_t least = i;
      for (size_t j = i + 1; j < order.size(); ++j) {
        const bool before = order[j].first != order[least].first
                                ? order[j].first > order[least].first
                                : std::strcmp(order[j].second, order[least].second) < 0;
        if (before) least = j;
      }
      std::swap(order[i], order[least]);
    }
    benchmark::DoNotOptimize(order.data());
  }
  tvp::DisposePopupWindows(player);
}
BENCHMARK(BM_SelectionSortTenThousandEntries)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
