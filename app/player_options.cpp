#include "app/player_options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/virtual_keys.h"

namespace tvp {

const char kPlayerUsage[] =
    "usage: tpw [--window | --fullscreen] [--recursive] [--no-mpris] [FILE | DIR]...\n"
    "       tpw --snapshot OUT.png [--at SECONDS] [--display 1..4] [--keys K1,K2,...] [FILE]\n"
    "\n"
    "Plays XM, S3M, MOD and IT tracker modules. Files and folders given (a folder's modules by name)\n"
    "play one after the other; N and P move in the list.\n"
    "  --window          run in a window (the settings' WINDOW otherwise)\n"
    "  --fullscreen      run on the whole screen\n"
    "  --recursive       folders given or dropped on the window play with their sub-folders\n"
    "  --no-mpris        keep off the desktop's media controls (the session bus)\n"
    "  --snapshot OUT    run headless for a while and write the screen, doubled, as a PNG file\n"
    "  --at SECONDS      how much of the song plays before the snapshot (default 3)\n"
    "  --display N       the display mode of the snapshot: 1 bars, 2 digits, 3 scope, 4 pattern\n"
    "  --keys LIST       keys pressed one a frame from the start of the snapshot, e.g. F2,UP\n"
    "  --help, --version\n"
    "Settings: tpw32.ini in the working directory, else $XDG_CONFIG_HOME/tonvale/tpw32.ini.\n";

uint32_t KeyFromName(const std::string& name) {
  std::string n;
  for (char c : name) n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (n.size() == 1 && (std::isupper(static_cast<unsigned char>(n[0])) || std::isdigit(static_cast<unsigned char>(n[0]))))
    return static_cast<uint32_t>(n[0]);
  if (n.size() >= 2 && n.size() <= 3 && n[0] == 'F') {
    int f = std::atoi(n.c_str() + 1);
    if (f >= 1 && f <= 12 && std::isdigit(static_cast<unsigned char>(n[1]))) return kVkF1 + static_cast<uint32_t>(f - 1);
  }
  static const struct {
    const char* name;
    uint32_t key;
  } kNames[] = {{"UP", kVkUp},       {"DOWN", kVkDown},     {"LEFT", kVkLeft},     {"RIGHT", kVkRight},
                {"PGUP", kVkPrior},  {"PGDN", kVkNext},     {"HOME", kVkHome},     {"END", kVkEnd},
                {"RETURN", kVkReturn}, {"ENTER", kVkReturn}, {"ESCAPE", kVkEscape}, {"ESC", kVkEscape},
                {"SPACE", kVkSpace}, {"TAB", kVkTab},       {"BACKSPACE", kVkBack}, {"LBRACKET", kVkLeftBracket},
                {"RBRACKET", kVkRightBracket}, {"COMMA", kVkComma}, {"PERIOD", kVkPeriod}};
  for (const auto& k : kNames)
    if (n == k.name) return k.key;
  return 0;
}

bool ParsePlayerOptions(int argc, const char* const* argv, PlayerOptions* options, std::string* error) {
  auto value = [&](int* i, const char* option, std::string* out) {
    if (*i + 1 >= argc) {
      *error = std::string(option) + " needs a value";
      return false;
    }
    *out = argv[++*i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], text;
    if (arg == "--help" || arg == "-h") {
      options->action = PlayerOptions::Action::kHelp;
    } else if (arg == "--version") {
      options->action = PlayerOptions::Action::kVersion;
    } else if (arg == "--window") {
      options->window = 1;
    } else if (arg == "--fullscreen") {
      options->window = 0;
    } else if (arg == "--recursive") {
      options->recursive = true;
    } else if (arg == "--no-mpris") {
      options->mediaControls = false;
    } else if (arg == "--snapshot") {
      if (!value(&i, "--snapshot", &options->snapshotPath)) return false;
      if (options->action == PlayerOptions::Action::kRun) options->action = PlayerOptions::Action::kSnapshot;
    } else if (arg == "--at") {
      if (!value(&i, "--at", &text)) return false;
      char* end = nullptr;
      options->snapshotSeconds = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(options->snapshotSeconds >= 0) || options->snapshotSeconds > 3600) {
        *error = "--at takes seconds from 0 to 3600, not " + text;
        return false;
      }
    } else if (arg == "--display") {
      if (!value(&i, "--display", &text)) return false;
      if (text.size() != 1 || text[0] < '1' || text[0] > '4') {
        *error = "--display takes 1, 2, 3 or 4, not " + text;
        return false;
      }
      options->snapshotDisplay = text[0] - '0';
    } else if (arg == "--keys") {
      if (!value(&i, "--keys", &text)) return false;
      size_t start = 0;
      while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        uint32_t key = KeyFromName(name);
        if (key == 0) {
          *error = "--keys: unknown key \"" + name + "\"";
          return false;
        }
        options->snapshotKeys.push_back(key);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->files.push_back(arg);
    }
  }
  bool snapshotOnly = options->snapshotDisplay != 0 || !options->snapshotKeys.empty();
  if (snapshotOnly && options->action != PlayerOptions::Action::kSnapshot &&
      options->action == PlayerOptions::Action::kRun) {
    *error = "--at, --display and --keys go with --snapshot";
    return false;
  }
  return true;
}

}  // namespace tvp
