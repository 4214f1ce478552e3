// The built tpw-render program on the corpus: full renders of every module as long as the engine
// counts them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/sound_engine.h"
#include "soundtrack/loaders.h"
#include "tools/render/render_session.h"

namespace tvp::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RenderCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(TVP_CORPUS_DIR)) GTEST_SKIP() << "no corpus at " << TVP_CORPUS_DIR;
    dir_ = fs::temp_directory_path() / ("tpw_render_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  struct Result {
    int status;
    std::string out, err;
  };
  Result Run(const std::string& args) {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const int raw = std::system(("'" TPW_RENDER_PATH "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null").c_str());
    auto text = [](const fs::path& path) { std::vector<uint8_t> b = ReadAll(path); return std::string(b.begin(), b.end()); };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text(out), text(err)};
  }

  static std::vector<fs::path> Corpus() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(TVP_CORPUS_DIR)) {
      if (std::set<std::string>{".xm", ".s3m", ".mod"}.count(entry.path().extension())) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  // Loads through the loader chain; the caller releases the soundtrack.
  static ModuleFormat Load(const fs::path& path, Soundtrack** soundtrack, char* title = nullptr) {
    ModuleFile* file = FileOpen(path.c_str(), kFileRead);
    if (file == nullptr) return ModuleFormat::None;
    int16_t status = 0;
    ModuleFormat format = LoadModule(file, title, soundtrack, &status);
    FileClose(file);
    return format;
  }

  fs::path dir_;
};

TEST_F(RenderCli, EveryModuleRendersToItsEndAsLongAsTheEngineCounts) {
  int rendered = 0;
  for (const fs::path& file : Corpus()) {
    Soundtrack* soundtrack = nullptr;
    Load(file, &soundtrack);
    ASSERT_NE(soundtrack, nullptr) << file;
    ++rendered;
    fs::path wav = dir_ / (file.stem().string() + ".wav");
    Result r = Run("-q '" + file.string() + "' '" + wav.string() + "'");
    ASSERT_EQ(std::tuple(r.status, r.err), std::tuple(0, "")) << file;

    std::vector<uint8_t> bytes = ReadAll(wav);
    ASSERT_GE(bytes.size(), 44u) << file;
    auto u32 = [&](size_t at) {
      return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 | uint32_t{bytes[at + 3]} << 24;
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    const uint32_t dataBytes = u32(40);
    EXPECT_EQ(std::tuple(u32(4), u32(24), dataBytes), std::tuple(bytes.size() - 8, 44100u, bytes.size() - 44));

    // The same render in this process: the engine's own count of buffers and its elapsed time.
    RenderSession session;
    ASSERT_EQ(session.open(RenderSettings{}, soundtrack), 0);
    while (!session.finished()) session.renderNext();
    const int64_t frames = dataBytes / 4;
    EXPECT_EQ(frames, session.framesRendered()) << file;
    EXPECT_GT(frames, int64_t{session.engine()->buffersRendered - 1} * 4096) << file;  // the song's last buffer is cut
    // A song that reaches its end goes on at its restart position: that is a loop back.
    EXPECT_TRUE(session.stopReason() == StopReason::Ended || session.stopReason() == StopReason::LoopedBack)
        << file << ": " << StopReasonText(session.stopReason());
    // ... and the play-time estimate, which walks the patterns without playing them, agrees
    // within a tick (it counts in units of 256 frames).
    int32_t units = 0;
    EstimatePlayTime(soundtrack, nullptr, &units);
    EXPECT_LE(std::abs(frames - int64_t{units} * 256), int64_t{session.engine()->samplesPerTick} + 256)
        << file << ": " << frames << " frames, estimated " << int64_t{units} * 256;
    session.close();
    ReleaseSoundtrack(soundtrack);
  }
  EXPECT_GE(rendered, 15);
}

}  // namespace
}  // namespace tvp::test
