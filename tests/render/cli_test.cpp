// The built tpw-render program on the corpus, and the loader chain it uses: --info on every
// module, full renders of every module as long as the engine counts them, raw output, and
// failures as one line with a non-zero exit.
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

const char* Name(ModuleFormat format) {
  return format == ModuleFormat::XM ? "XM" : format == ModuleFormat::S3M ? "S3M" : format == ModuleFormat::MOD ? "MOD" : "?";
}

TEST_F(RenderCli, InfoDescribesEveryCorpusModule) {
  std::vector<fs::path> files = Corpus();
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    Soundtrack* soundtrack = nullptr;
    ModuleFormat format = Load(file, &soundtrack);
    ReleaseSoundtrack(soundtrack);
    ASSERT_STRNE(Name(format), "?") << file;
    Result r = Run("--info '" + file.string() + "'");
    EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(0, "")) << file;
    for (const std::string& line : {std::string("Format: ") + Name(format) + "\n", std::string("PlayPositions Loaded\n"),
                                     std::string("Estimated Play Time:")}) {
      EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    }
    EXPECT_EQ(r.out.find("Channels: 0\n"), std::string::npos) << r.out;
  }
}

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

TEST_F(RenderCli, RawOutputIsTheFramesAlone) {
  Result r = Run("--seconds 0.5 -o - '" + (fs::path(TVP_CORPUS_DIR) / "xm_vibrato.xm").string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.size(), 22050u * 4);
  EXPECT_NE(r.out.find_first_not_of('\0'), std::string::npos);  // not silence
}

TEST_F(RenderCli, FailuresAreOneLineAndANonZeroExit) {
  fs::path text = dir_ / "notes.xm";
  std::ofstream(text) << std::string(4000, 'x');
  fs::path empty = dir_ / "empty.mod";
  std::ofstream(empty).flush();
  // Files that carry a format's signature and are refused by its loader: the reason is given.
  auto patched = [&](const char* name, const char* out, size_t keep, size_t at, const std::string& bytes) {
    std::vector<uint8_t> data = ReadAll(fs::path(TVP_CORPUS_DIR) / name);
    data.resize(std::min(keep, data.size()));
    std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    std::ofstream(dir_ / out, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return (dir_ / out).string();
  };
  const std::string cutXm = patched("xm_arpeggio.xm", "cut.xm", 400, 0, "");
  const std::string wideXm = patched("xm_arpeggio.xm", "wide.xm", SIZE_MAX, 68, std::string("\x28\x00", 2));
  const std::string wideMod = patched("mod_basic_notes.mod", "wide.mod", SIZE_MAX, 1080, "40CH");
  struct Case {
    std::string args;
    int status;
    std::string line;
  };
  const Case cases[] = {
      {"/nonexistent/song.xm", 1, "tpw-render: cannot open /nonexistent/song.xm: No such file or directory\n"},
      {"'" + dir_.string() + "'", 1, "tpw-render: cannot open " + dir_.string() + ": Is a directory\n"},
      {"'" + text.string() + "'", 1, "tpw-render: " + text.string() + ": not a module this player can read (XM, S3M, MOD)\n"},
      {"--info '" + empty.string() + "'", 1,
       "tpw-render: " + empty.string() + ": not a module this player can read (XM, S3M, MOD)\n"},
      {"'" + cutXm + "'", 1, "tpw-render: " + cutXm + ": XM data ends early\n"},
      {"--info '" + wideXm + "'", 1, "tpw-render: " + wideXm + ": XM with 40 channels is not supported\n"},
      {"'" + wideMod + "'", 1, "tpw-render: " + wideMod + ": MOD with 40 channels is not supported\n"},
      {"--rate 7 x.xm", 2, "tpw-render: --rate: expected a whole number of Hz from 1000 to 65535, got '7'\n"},
      {"", 2, "tpw-render: no module file given (see --help)\n"},
  };
  for (const Case& c : cases) {
    Result r = Run(c.args);
    EXPECT_EQ(std::tuple(r.status, r.err, r.out), std::tuple(c.status, c.line, "")) << c.args;
  }
  EXPECT_FALSE(fs::exists(dir_ / "notes.wav"));  // a failed load writes nothing

  Result help = Run("--help");
  EXPECT_EQ(std::tuple(help.status, help.out.find("Usage: tpw-render") != std::string::npos), std::tuple(0, true));
}

TEST_F(RenderCli, TheContentNotTheNameChoosesTheLoader) {
  const std::pair<const char*, ModuleFormat> cases[] = {{"area1-game2.mod", ModuleFormat::XM},
                                                        {"xm_arpeggio.xm", ModuleFormat::XM},
                                                        {"s3m_slides.s3m", ModuleFormat::S3M},
                                                        {"mod_basic_notes.mod", ModuleFormat::MOD}};
  for (auto [name, format] : cases) {
    Soundtrack* soundtrack = nullptr;
    EXPECT_STREQ(Name(Load(fs::path(TVP_CORPUS_DIR) / name, &soundtrack)), Name(format)) << name;
    EXPECT_NE(soundtrack, nullptr);
    ReleaseSoundtrack(soundtrack);
  }

  // Bytes that no loader takes: no soundtrack, an empty title and a failing status.
  std::vector<uint8_t> junk(3000, 0x5A);
  ModuleFile* file = FileOpenMemory(junk.data(), static_cast<int32_t>(junk.size()));
  char title[kTitleCapacity] = "stale";
  Soundtrack* soundtrack = nullptr;
  int16_t status = 0;
  EXPECT_EQ(LoadModule(file, title, &soundtrack, &status), ModuleFormat::None);
  EXPECT_TRUE(soundtrack == nullptr && status != 0 && title[0] == '\0') << status << " " << title;
  FileClose(file);
  EXPECT_EQ(LoadModule(nullptr, title, &soundtrack, &status), ModuleFormat::None);

  // The XM loader reads from where the file stands: a module after other bytes still loads.
  std::vector<uint8_t> xm = ReadAll(fs::path(TVP_CORPUS_DIR) / "xm_volslide.xm");
  std::vector<uint8_t> shifted(100 + xm.size(), 0);
  std::copy(xm.begin(), xm.end(), shifted.begin() + 100);
  file = FileOpenMemory(shifted.data(), static_cast<int32_t>(shifted.size()));
  ASSERT_EQ(FileSeek(file, kSeekFromStart, 100), 0);
  EXPECT_EQ(LoadModule(file, title, &soundtrack, &status), ModuleFormat::XM);
  EXPECT_EQ(status, 0);
  ReleaseSoundtrack(soundtrack);
  FileClose(file);
}

}  // namespace
}  // namespace tvp::test
