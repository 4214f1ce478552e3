// tpw-render: renders a module with the player's loaders and engine into a WAV file, or prints
// what the module holds (--info, --dump). Every failure is one line on standard error and a
// non-zero exit status: 1 for a file or engine failure, 2 for a bad command line.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/sound_engine.h"
#include "soundtrack/event_dump.h"
#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"
#include "soundtrack/soundtrack.h"
#include "soundtrack/status.h"
#include "tools/render/render_options.h"
#include "tools/render/render_session.h"
#include "tools/render/wav_writer.h"

namespace tvp {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tpw-render: %s\n", message.c_str());
  return kExitFailure;
}


// Titles are bytes from the file: anything unprintable is shown as '?', trailing blanks cut.
std::string PrintableTitle(const char* title) {
  std::string out;
  for (const char* c = title; *c != '\0'; ++c) {
    unsigned char u = static_cast<unsigned char>(*c);
    out += u >= 0x20 && u < 0x7F ? static_cast<char>(u) : '?';
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Clock(double seconds) {
  char text[32];
  int64_t tenths = static_cast<int64_t>(seconds * 10);
  std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ".%" PRId64, tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

// The information window's lines, with the format, title and channel count in front.
void PrintInfo(const std::string& path, ModuleFormat format, const char* title, const Soundtrack* s) {
  std::printf("File Path: %s\n", path.c_str());
  std::printf("Format: %s\n", FormatName(format));
  std::printf("Title: %s\n", PrintableTitle(title).c_str());
  std::printf("Channels: %d\n", CountChannels(s));
  std::printf("%4d Instruments Loaded in %d Slots.\n", CountFilledInstrumentSlots(s), s->instrumentCount);
  std::printf("%4d Samples Loaded in %d Slots.\n", CountFilledSampleSlots(s), s->sampleCount);
  std::printf("%4d Envelopes Loaded in %d Slots.\n", CountFilledEnvelopeSlots(s), s->envelopeCount);
  std::printf("%4d Patterns Loaded in %d Slots.\n", CountFilledPatternSlots(s), s->patternCount);
  std::printf("%4d PlayPositions Loaded\n", s->playPositionCount);
  int32_t seconds = 0;
  if (EstimatePlayTime(s, &seconds, nullptr) == 0)
    std::printf("Estimated Play Time:  %4dm%02ds\n", seconds / 60, seconds % 60);
  SubSong songs[kMaxSubSongs];
  const int32_t count = FindSubSongs(s, songs, kMaxSubSongs);
  std::printf("Sub-Songs:            %4d\n", count);
  for (int32_t i = 0; i < count; ++i)
    std::printf("  Sub-Song %3d: PlayPosition %3d, %4dm%02ds\n", i, songs[i].firstPosition, songs[i].seconds / 60,
                songs[i].seconds % 60);
}

class Progress {
 public:
  Progress(bool shown, const RenderSession& session, int32_t rate, int32_t positions)
      : shown_(shown), session_(session), rate_(rate), positions_(positions) {}

  void update(bool force) {
    if (!shown_) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    constexpr int kWidth = 30;
    int64_t expected = session_.expectedFrames();
    double part = expected > 0 ? static_cast<double>(session_.framesRendered()) / expected : 0;
    part = part > 1 ? 1 : part;
    int filled = static_cast<int>(part * kWidth);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%%  position %3d/%-3d  %s ", bar.c_str(), static_cast<int>(part * 100),
                 position(), positions_,
                 Clock(static_cast<double>(session_.framesRendered()) / rate_).c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  // An ended song's engine stands at position 0; the bar keeps showing where it ended.
  int32_t position() {
    const SoundEngine* engine = session_.engine();
    if (engine != nullptr && !(engine->flags & kEngineEnded)) position_ = engine->playPosition;
    return position_;
  }

  void clear() {
    if (drawn_) std::fprintf(stderr, "\r%*s\r", 79, "");
  }

 private:
  bool shown_;
  const RenderSession& session_;
  int32_t rate_;
  int32_t positions_;
  bool drawn_ = false;
  int32_t position_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

int Render(const RenderOptions& options, Soundtrack* soundtrack) {
  std::string out = options.outputPath.empty() ? DefaultOutputPath(options.modulePath) : options.outputPath;
  if (out != "-" && SameFile(out, options.modulePath))
    return Fail(out + ": the output would overwrite the module");

  SubSong songs[kMaxSubSongs];
  const int32_t songCount = FindSubSongs(soundtrack, songs, kMaxSubSongs);
  if (options.subSong >= songCount)
    return Fail(options.modulePath + ": --subsong " + std::to_string(options.subSong) + ": the module has " +
                std::to_string(songCount) + " sub-song" + (songCount == 1 ? "" : "s") + ", 0 to " +
                std::to_string(songCount - 1));
  const int32_t first = options.subSong == kAllSubSongs ? 0 : options.subSong;
  const int32_t last = options.subSong == kAllSubSongs ? songCount - 1 : options.subSong;

  WavWriter writer;
  std::string error;
  if (!writer.open(out, static_cast<uint32_t>(options.rate), &error))
    return Fail("cannot write " + out + ": " + error);

  // Every sub-song plays with the same settings (--start and --seconds each), one after the other.
  RenderSession session;
  for (int32_t song = first; song <= last; ++song) {
    RenderSettings settings = RenderSettingsFrom(options);
    settings.entryPosition = songs[song].firstPosition;
    int32_t status = session.open(settings, soundtrack);
    if (status != 0) {
      writer.discard();
      return Fail(options.modulePath + ": the sound engine could not start (status " + std::to_string(status) + ")");
    }
    Progress progress(!options.quiet && isatty(STDERR_FILENO) == 1, session, options.rate, soundtrack->playPositionCount);
    while (!session.finished()) {
      int32_t frames = session.renderNext();
      if (frames > 0 && !writer.write(session.frames(), frames, &error)) {
        progress.clear();
        writer.discard();
        return Fail("cannot write " + (out == "-" ? std::string("to standard output") : out) + ": " + error);
      }
      progress.update(false);
    }
    progress.update(true);
    progress.clear();
    if (session.stopReason() == StopReason::EngineFailed) {
      writer.discard();
      return Fail(options.modulePath + ": " + StopReasonText(session.stopReason()));
    }
  }
  if (!writer.close(&error)) return Fail("cannot write " + out + ": " + error);

  double seconds = static_cast<double>(writer.framesWritten()) / options.rate;
  if (session.stopReason() == StopReason::SafetyLimit) {
    std::fprintf(stderr, "tpw-render: %s: stopped after %s: the song neither ended nor looped back\n",
                 options.modulePath.c_str(), Clock(seconds).c_str());
  } else if (!options.quiet) {
    std::fprintf(stderr, "%s: %s, %" PRId64 " frames at %d Hz (%s)\n", out == "-" ? "stdout" : out.c_str(),
                 Clock(seconds).c_str(), writer.framesWritten(), options.rate, StopReasonText(session.stopReason()));
  }
  return 0;
}

int Run(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  if (!ParseRenderOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "tpw-render: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(RenderUsage(), stdout);
    return 0;
  }

  const std::string& path = options.modulePath;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return Fail("cannot open " + path + ": " + std::strerror(EISDIR));
  errno = 0;
  ModuleFile* file = FileOpen(path.c_str(), kFileRead);
  if (file == nullptr) return Fail("cannot open " + path + ": " + std::strerror(errno != 0 ? errno : ENOENT));

  char title[kTitleCapacity] = {};
  Soundtrack* soundtrack = nullptr;
  int16_t status = 0;
  ModuleFormat format = LoadModule(file, title, &soundtrack, &status);
  if (format == ModuleFormat::None || soundtrack == nullptr) {
    ReleaseSoundtrack(soundtrack);
    const Refusal refusal = FileSeek(file, kSeekFromStart, 0) == 0 ? DescribeRefusal(file) : Refusal{};
    FileClose(file);
    return Fail(path + ": " + RefusalText(refusal));
  }
  FileClose(file);

  int result = 0;
  if (options.info || options.dump) {
    if (options.info) PrintInfo(path, format, title, soundtrack);
    if (options.dump) WriteSoundtrackEvents(stdout, soundtrack);
    if (std::fflush(stdout) != 0) result = Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
  } else {
    result = Render(options, soundtrack);
  }
  ReleaseSoundtrack(soundtrack);
  return result;
}

}  // namespace
}  // namespace tvp

int main(int argc, char** argv) { return tvp::Run(argc, argv); }
