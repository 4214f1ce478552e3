#pragma once
// The renderer's command line, parsed into one record. Parsing never prints or exits: a bad
// command line comes back as one message for the caller to show.
#include <cstdint>
#include <string>

namespace tvp {

struct RenderOptions {
  std::string modulePath;
  std::string outputPath;  // empty: the module's name with .wav; "-": raw frames on standard output
  int32_t rate = 44100;            // Hz
  int32_t interpolation = 0;       // 0, 1, 2, 3 or 7, as the engine takes it
  int32_t speedPercent = 100;
  int32_t a4Frequency = 440;       // Hz
  int32_t masterVolume = 32768;    // 65536 is full scale
  int32_t framesPerBuffer = 4096;  // the engine's buffer: a multiple of 16
  double seconds = 0;              // stop after this much audio; 0 = no limit
  int32_t loops = 0;               // passes played after the song first loops back
  double fadeSeconds = 0;          // fade out over this once the passes are done; 0 = stop there
  int32_t subSong = 0;             // the sub-song rendered, from 0; kAllSubSongs: each in turn
  double startSeconds = 0;         // the time of the song the output begins at
  bool info = false;
  bool dump = false;
  bool quiet = false;
  bool help = false;
};

// Limits of the numeric options (those of the player's own settings where it has them).
inline constexpr int32_t kMinRate = 1000;
inline constexpr int32_t kMaxRate = 65535;  // the engine keeps the rate in 16.16
inline constexpr int32_t kMinSpeed = 1;
inline constexpr int32_t kMaxSpeed = 1000;
inline constexpr int32_t kMinA4 = 55;
inline constexpr int32_t kMaxA4 = 3520;
inline constexpr int32_t kMaxMasterVolume = 65536;
inline constexpr int32_t kMinRenderFramesPerBuffer = 16;
inline constexpr int32_t kMaxRenderFramesPerBuffer = 65536;
inline constexpr int32_t kMaxLoops = 1000;
inline constexpr double kMaxSeconds = 24 * 3600.0;
inline constexpr int32_t kAllSubSongs = -1;

// Fills `options` from argv[1..argc-1]. False with `error` set for a bad command line.
bool ParseRenderOptions(int argc, const char* const* argv, RenderOptions* options, std::string* error);

// The interpolation mode for a number or a name ("none", "linear", "stairs", "cubic",
// "mr-cubic", in any letter case), or -1.
int32_t ParseInterpolation(const std::string& text);

// The module's path with its file name's extension replaced by ".wav" (added when it has none,
// appended when the module already ends in ".wav").
std::string DefaultOutputPath(const std::string& modulePath);

const char* RenderUsage();

}  // namespace tvp
