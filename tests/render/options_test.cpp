// The renderer's command line: names and numbers map onto the settings, bad values and unknown
// options come back as one clear message.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/render/render_options.h"

namespace tvp::test {
namespace {

// Parses the arguments after the program name; `joined` gets them for messages.
bool Parse(const std::vector<std::string>& args, RenderOptions* options, std::string* error, std::string* joined) {
  std::vector<const char*> argv = {"tpw-render"};
  for (const std::string& a : args) {
    argv.push_back(a.c_str());
    *joined += a + " ";
  }
  return ParseRenderOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(RenderOptions, ValuesAndNamesMapOntoTheSettings) {
  struct Case {
    std::vector<std::string> args;
    std::function<bool(const RenderOptions&)> holds;
  };
  const Case cases[] = {
      {{"--rate", "48000", "m"}, [](auto& o) { return o.rate == 48000; }},
      {{"--rate=22050", "m"}, [](auto& o) { return o.rate == 22050; }},
      {{"--interpolation", "cubic", "m"}, [](auto& o) { return o.interpolation == 3; }},
      {{"--interpolation", "MR-Cubic", "m"}, [](auto& o) { return o.interpolation == 7; }},
      {{"--interpolation=stairs", "m"}, [](auto& o) { return o.interpolation == 2; }},
      {{"--interpolation", "1", "m"}, [](auto& o) { return o.interpolation == 1; }},
      {{"--interpolation", "none", "m"}, [](auto& o) { return o.interpolation == 0; }},
      {{"--speed", "250", "--a4", "432", "m"}, [](auto& o) { return o.speedPercent == 250 && o.a4Frequency == 432; }},
      {{"--volume", "65536", "m"}, [](auto& o) { return o.masterVolume == 65536; }},
      {{"--volume", "0", "m"}, [](auto& o) { return o.masterVolume == 0; }},
      {{"--frames-per-buffer", "1024", "m"}, [](auto& o) { return o.framesPerBuffer == 1024; }},
      {{"--seconds", "2.5", "--loops", "3", "--fade", "4", "m"},
       [](auto& o) { return o.seconds == 2.5 && o.loops == 3 && o.fadeSeconds == 4; }},
      {{"m", "out.wav"}, [](auto& o) { return o.modulePath == "m" && o.outputPath == "out.wav"; }},
      {{"-o", "-", "m"}, [](auto& o) { return o.outputPath == "-"; }}, {{"m", "-"}, [](auto& o) { return o.outputPath == "-"; }},
      {{"--info", "--dump", "-q", "m"}, [](auto& o) { return o.info && o.dump && o.quiet; }},
      {{"--", "-odd-name.xm"}, [](auto& o) { return o.modulePath == "-odd-name.xm"; }},
      {{"--help"}, [](auto& o) { return o.help; }},
  };
  for (const Case& c : cases) {
    RenderOptions o;
    std::string error, joined;
    ASSERT_TRUE(Parse(c.args, &o, &error, &joined)) << joined << ": " << error;
    EXPECT_TRUE(c.holds(o)) << joined;
  }
}

TEST(RenderOptions, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "no module file given"},
      {{"--rate", "fast", "m"}, "--rate: expected a whole number of Hz from 1000 to 65535, got 'fast'"},
      {{"--rate", "96000", "m"}, "--rate: expected a whole number of Hz from 1000 to 65535, got '96000'"},
      {{"--rate", "44100.5", "m"}, "got '44100.5'"}, {{"--rate", "", "m"}, "got ''"},
      {{"--interpolation", "5", "m"}, "--interpolation: expected 0, 1, 2, 3, 7, none, linear"},
      {{"--interpolation", "quad", "m"}, "got 'quad'"},
      {{"--speed", "0", "m"}, "--speed: expected a whole number of percent from 1 to 1000"},
      {{"--a4", "20000", "m"}, "--a4: expected a whole number of Hz from 55 to 3520"},
      {{"--volume", "-1", "m"}, "--volume: expected a whole number from 0 to 65536"},
      {{"--volume", "99999999999999999999", "m"}, "--volume: expected"},
      {{"--frames-per-buffer", "1000", "m"}, "--frames-per-buffer: 1000 is not a multiple of 16"},
      {{"--frames-per-buffer", "8", "m"}, "from 16 to 65536"},
      {{"--seconds", "0", "m"}, "--seconds: expected a number of seconds above 0"}, {{"--seconds", "nan", "m"}, "--seconds: expected"},
      {{"--fade", "-1", "m"}, "--fade: expected a number of seconds from 0"},
      {{"--loops", "x", "m"}, "--loops: expected a whole number from 0 to 1000"},
      {{"--rate"}, "--rate needs a value"}, {{"--bogus", "m"}, "unknown option '--bogus'"},
      {{"--info=yes", "m"}, "option '--info' takes no value"},
      {{"m", "a.wav", "b.wav"}, "unexpected argument 'b.wav'"},
      {{"-o", "x.wav", "m", "y.wav"}, "the output is given twice"},
  };
  for (const Case& c : cases) {
    RenderOptions o;
    std::string error, joined;
    EXPECT_FALSE(Parse(c.args, &o, &error, &joined)) << joined;
    EXPECT_NE(error.find(c.message), std::string::npos) << joined << " gave: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
  }
}

TEST(RenderOptions, TheDefaultOutputReplacesTheExtension) {
  const std::pair<const char*, const char*> cases[] = {{"song.xm", "song.wav"}, {"dir/song.mod", "dir/song.wav"},
      {"dir.v2/song", "dir.v2/song.wav"}, {".hidden", ".hidden.wav"}, {"a.b.s3m", "a.b.wav"}, {"odd.WAV", "odd.WAV.wav"}};
  for (auto [module, wav] : cases) EXPECT_EQ(DefaultOutputPath(module), wav) << module;
}

}  // namespace
}  // namespace tvp::test
