#include "tools/render/render_options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "soundtrack/soundtrack.h"

namespace tvp {

namespace {

const char kUsage[] =
    "Usage: tpw-render [options] MODULE [OUT.wav]\n"
    "Renders an XM, S3M, MOD or IT module into a 16-bit stereo WAV file (OUT.wav, or MODULE's name\n"
    "with .wav). Rendering stops on the frame where the song ends or goes back to a row it played.\n"
    "\n"
    "  -o, --output FILE         write to FILE; '-' writes raw 16-bit stereo frames to stdout\n"
    "      --rate HZ             output rate, 1000..65535 (44100)\n"
    "      --interpolation MODE  none (0), linear (1), stairs (2), cubic (3), mr-cubic (7) (none)\n"
    "      --speed PERCENT       playback speed, 1..1000 (100)\n"
    "      --a4 HZ               tuning of A4, 55..3520 (440)\n"
    "      --volume N            master volume, 0..65536 where 65536 is full scale (32768)\n"
    "      --frames-per-buffer N engine buffer, a multiple of 16 from 16 to 65536 (4096)\n"
    "      --seconds S           stop after S seconds of audio\n"
    "      --loops N             let the song run N more passes after it first loops back\n"
    "      --fade SECONDS        once the song loops back (after --loops passes), fade out\n"
    "                            over SECONDS instead of stopping\n"
    "      --subsong N           render sub-song N (0 the first; -1 each in turn, in one file)\n"
    "      --start SECONDS       begin the output SECONDS into the (sub-)song\n"
    "      --info                print the soundtrack's format, title, counts and sub-songs; no audio\n"
    "      --dump                print the soundtrack's patterns as event lists; no audio\n"
    "  -q, --quiet               no progress bar\n"
    "  -h, --help                show this help\n";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ParseWhole(std::string_view text, int64_t* value) {
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDecimal(const std::string& text, double* value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(*value);
}

class Parser {
 public:
  Parser(RenderOptions* options, std::string* error) : o_(options), error_(error) {}

  bool Fail(const std::string& message) {
    *error_ = message;
    return false;
  }

  bool WholeInRange(const std::string& name, const std::string& text, int64_t low, int64_t high,
                    const char* unit, int32_t* out) {
    int64_t value = 0;
    if (!ParseWhole(text, &value) || value < low || value > high)
      return Fail(name + ": expected a whole number" + unit + " from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", got '" + text + "'");
    *out = static_cast<int32_t>(value);
    return true;
  }

  bool SecondsInRange(const std::string& name, const std::string& text, bool zeroAllowed, double* out) {
    double value = 0;
    bool ok = ParseDecimal(text, &value) && value <= kMaxSeconds && (zeroAllowed ? value >= 0 : value > 0);
    if (!ok)
      return Fail(name + ": expected a number of seconds " + (zeroAllowed ? "from 0" : "above 0") + " to " +
                  std::to_string(static_cast<int>(kMaxSeconds)) + ", got '" + text + "'");
    *out = value;
    return true;
  }

  bool Option(const std::string& name, const std::string& value) {
    if (name == "--output" || name == "-o") {
      if (value.empty()) return Fail(name + ": the output name is empty");
      o_->outputPath = value;
      return true;
    }
    if (name == "--rate") return WholeInRange(name, value, kMinRate, kMaxRate, " of Hz", &o_->rate);
    if (name == "--speed") return WholeInRange(name, value, kMinSpeed, kMaxSpeed, " of percent", &o_->speedPercent);
    if (name == "--a4") return WholeInRange(name, value, kMinA4, kMaxA4, " of Hz", &o_->a4Frequency);
    if (name == "--volume") return WholeInRange(name, value, 0, kMaxMasterVolume, "", &o_->masterVolume);
    if (name == "--loops") return WholeInRange(name, value, 0, kMaxLoops, "", &o_->loops);
    if (name == "--frames-per-buffer") {
      if (!WholeInRange(name, value, kMinRenderFramesPerBuffer, kMaxRenderFramesPerBuffer, " of frames", &o_->framesPerBuffer))
        return false;
      if (o_->framesPerBuffer % 16 != 0) return Fail(name + ": " + value + " is not a multiple of 16");
      return true;
    }
    if (name == "--interpolation") {
      o_->interpolation = ParseInterpolation(value);
      if (o_->interpolation < 0)
        return Fail(name + ": expected 0, 1, 2, 3, 7, none, linear, stairs, cubic or mr-cubic, got '" + value + "'");
      return true;
    }
    if (name == "--seconds") return SecondsInRange(name, value, false, &o_->seconds);
    if (name == "--fade") return SecondsInRange(name, value, true, &o_->fadeSeconds);
    if (name == "--start") return SecondsInRange(name, value, true, &o_->startSeconds);
    if (name == "--subsong") return WholeInRange(name, value, kAllSubSongs, kMaxSubSongs - 1, "", &o_->subSong);
    return Fail("unknown option '" + name + "' (see --help)");
  }

  static bool TakesValue(const std::string& name) {
    static const char* const kValued[] = {"-o", "--output", "--rate", "--interpolation", "--speed", "--a4",
                                          "--volume", "--frames-per-buffer", "--seconds", "--loops", "--fade",
                                          "--start", "--subsong"};
    for (const char* v : kValued)
      if (name == v) return true;
    return false;
  }

  bool Flag(const std::string& name) {
    if (name == "--info") o_->info = true;
    else if (name == "--dump") o_->dump = true;
    else if (name == "--quiet" || name == "-q") o_->quiet = true;
    else if (name == "--help" || name == "-h") o_->help = true;
    else return Fail("unknown option '" + name + "' (see --help)");
    return true;
  }

  bool Run(int argc, const char* const* argv) {
    std::string positional[2];
    int positionals = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
      std::string arg = argv[i] != nullptr ? argv[i] : "";
      bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
      if (isOption && arg == "--") {
        optionsEnded = true;
        continue;
      }
      if (!isOption) {
        if (positionals == 2) return Fail("unexpected argument '" + arg + "' (see --help)");
        positional[positionals++] = arg;
        continue;
      }
      std::string name = arg;
      std::string value;
      bool inlineValue = false;
      size_t equals = arg.find('=');
      if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
        inlineValue = true;
      }
      if (!TakesValue(name)) {
        if (inlineValue) return Fail("option '" + name + "' takes no value");
        if (!Flag(name)) return false;
        continue;
      }
      if (!inlineValue) {
        if (i + 1 >= argc || argv[i + 1] == nullptr) return Fail(name + " needs a value");
        value = argv[++i];
      }
      if (!Option(name, value)) return false;
    }
    if (o_->help) return true;
    if (positionals == 0) return Fail("no module file given (see --help)");
    o_->modulePath = positional[0];
    if (positionals == 2) {
      if (!o_->outputPath.empty()) return Fail("the output is given twice ('" + positional[1] + "' and -o)");
      o_->outputPath = positional[1];
    }
    if (o_->modulePath.empty()) return Fail("the module file name is empty");
    return true;
  }

 private:
  RenderOptions* o_;
  std::string* error_;
};

}  // namespace

int32_t ParseInterpolation(const std::string& text) {
  static const struct {
    const char* name;
    int32_t mode;
  } kModes[] = {{"0", 0}, {"none", 0},  {"1", 1},     {"linear", 1}, {"2", 2},
                {"stairs", 2}, {"3", 3}, {"cubic", 3}, {"7", 7},      {"mr-cubic", 7}};
  std::string lower = Lower(text);
  for (const auto& m : kModes)
    if (lower == m.name) return m.mode;
  return -1;
}

std::string DefaultOutputPath(const std::string& modulePath) {
  size_t nameStart = modulePath.find_last_of('/');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = modulePath.find_last_of('.');
  // A leading dot names a hidden file, not an extension.
  bool hasExtension = dot != std::string::npos && dot > nameStart;
  std::string stem = hasExtension ? modulePath.substr(0, dot) : modulePath;
  if (hasExtension && Lower(modulePath.substr(dot)) == ".wav") stem = modulePath;  // never the module itself
  return stem + ".wav";
}

bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions* options, std::string* error) {
  *options = RenderOptions{};
  error->clear();
  return Parser(options, error).Run(argc, argv);
}

const char* RenderUsage() { return kUsage; }

}  // namespace tvp
