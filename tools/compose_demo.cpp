// Composes the demo song, an XM of our own: its instruments are synthesized here and its score
// is written out below. It runs at build time:
//   compose_demo <output file>
//
// The piece is in A minor at 120 beats a minute (speed 6, tempo 120: four rows a beat, sixteen a
// bar, four bars a pattern) in eight channels: a pulse-wave lead, three voices of a detuned pad,
// a bass, a plucked string playing broken chords, a kick, and snare with hi-hat. Six patterns of
// 8 s: intro, theme, theme varied, bridge, the theme from the high A, and a closing cadence whose
// last row ends the song (F00) after the notes have faded.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/xm_builder.h"

namespace {

using tvp::test::XmBuilder;
using tvp::test::XmCell;
using tvp::test::XmEnvelopeSpec;
using tvp::test::XmInstrumentSpec;
using tvp::test::XmSampleSpec;

constexpr double kPi = 3.14159265358979323846;

// Tonal samples hold one cycle in kCycle frames and are tuned two octaves up, so that C-4 plays
// a cycle at 8363 x 4 / 128 Hz, about 261 Hz. Drums are synthesized at that rate too.
constexpr int kCycle = 128;
constexpr int kRelativeNote = 24;
constexpr double kSynthRate = 8363.0 * 4;

// XM effect numbers and the volume column's "set volume".
constexpr int kFxPortamento = 0x3, kFxVibrato = 0x4, kFxPanning = 0x8, kFxSpeed = 0xF;
constexpr int kKeyOff = 97;
int Volume(int v) { return 0x10 + v; }

// Instruments, numbered as the patterns name them.
enum Instrument { kLead = 1, kPad, kBass, kPluck, kKick, kSnare, kHat };
// Channels.
enum Channel { kLeadCh = 0, kPadCh = 1, kBassCh = 4, kPluckCh = 5, kKickCh = 6, kBeatCh = 7, kChannels = 8 };

struct Noise {  // a small deterministic generator: the song is the same on every build
  uint32_t state = 0x2468ACE1u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / double(1 << 23) - 1.0;
  }
};

// Scales to `peak` and converts to 16-bit frames.
std::vector<int> ToFrames(const std::vector<double>& wave, double peak) {
  double most = 1e-9;
  for (double v : wave) most = std::max(most, std::fabs(v));
  std::vector<int> frames;
  frames.reserve(wave.size());
  for (double v : wave) frames.push_back(static_cast<int>(std::lround(v / most * peak)));
  return frames;
}

XmSampleSpec ToSample(const std::vector<double>& wave, bool looped, int panning) {
  XmSampleSpec s;
  s.frames = ToFrames(wave, 24000);
  s.sixteenBit = true;
  if (looped) {
    s.loopType = 1;
    s.loopLength = static_cast<uint32_t>(wave.size() * 2);
  }
  s.relativeNote = kRelativeNote;
  s.panning = panning;
  return s;
}

// A band-limited pulse whose width sweeps from 50 % to 22 % and back over 64 cycles, with its
// upper harmonics softened: a warm lead that moves.
XmSampleSpec LeadSample() {
  const int cycles = 64;
  std::vector<double> wave(cycles * kCycle);
  for (size_t n = 0; n < wave.size(); ++n) {
    const double width = 0.36 + 0.14 * std::cos(2 * kPi * n / wave.size());
    const double phase = 2 * kPi * n / kCycle;
    for (int k = 1; k <= 24; ++k) {
      const double soft = 1.0 / (1.0 + (k / 5.0) * (k / 5.0));
      wave[n] += 2.0 / (k * kPi) * std::sin(kPi * k * width) * std::cos(k * (phase - kPi * width)) * soft;
    }
  }
  return ToSample(wave, true, 0x70);
}

// Three soft saws a few cents apart (128, 127 and 129 cycles in one loop): a slow chorus.
XmSampleSpec PadSample() {
  const int cycles = 128;
  std::vector<double> wave(cycles * kCycle);
  for (size_t n = 0; n < wave.size(); ++n) {
    for (auto [count, level] : {std::pair{cycles, 1.0}, {cycles - 1, 0.7}, {cycles + 1, 0.7}}) {
      const double phase = 2 * kPi * count * n / wave.size();
      for (int k = 1; k <= 16; ++k) wave[n] += level * std::sin(k * phase) / k / (1.0 + (k / 4.0) * (k / 4.0));
    }
  }
  return ToSample(wave, true, 0x80);
}

// A round bass: a sine with a little of its second and third harmonics.
XmSampleSpec BassSample() {
  std::vector<double> wave(kCycle);
  for (int n = 0; n < kCycle; ++n) {
    const double phase = 2 * kPi * n / kCycle;
    wave[n] = std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.12 * std::sin(3 * phase);
  }
  return ToSample(wave, true, 0x80);
}

// A plucked string: a delay line of one cycle of soft noise, averaged around each pass, so
// that the upper harmonics die first. About a second long, without a loop.
XmSampleSpec PluckSample() {
  Noise noise;
  std::vector<double> wave(static_cast<size_t>(kSynthRate * 1.1));
  double smooth = 0;
  for (int n = 0; n < kCycle; ++n) wave[n] = smooth = 0.6 * smooth + 0.4 * noise.next();
  wave[kCycle] = wave[0];
  for (size_t n = kCycle + 1; n < wave.size(); ++n) {
    wave[n] = 0.996 * (0.25 * wave[n - kCycle + 1] + 0.5 * wave[n - kCycle] + 0.25 * wave[n - kCycle - 1]);
  }
  for (size_t n = wave.size() * 9 / 10; n < wave.size(); ++n) {
    wave[n] *= static_cast<double>(wave.size() - n) / (wave.size() / 10.0);
  }
  return ToSample(wave, false, 0xB0);
}

// Drums: a falling sine for the kick, noise over a short tone for the snare, bright noise for
// the hi-hat. They are played at C-4, where one frame is 1 / kSynthRate s.
XmSampleSpec Drum(int instrument) {
  Noise noise;
  const double seconds = instrument == kKick ? 0.35 : instrument == kSnare ? 0.25 : 0.08;
  std::vector<double> wave(static_cast<size_t>(kSynthRate * seconds));
  double phase = 0, previous = 0, low = 0;
  for (size_t n = 0; n < wave.size(); ++n) {
    const double t = n / kSynthRate;
    const double white = noise.next();
    if (instrument == kKick) {
      phase += 2 * kPi * (45 + 110 * std::exp(-t / 0.035)) / kSynthRate;
      wave[n] = std::sin(phase) * std::exp(-t / 0.11);
    } else if (instrument == kSnare) {
      low = 0.5 * low + 0.5 * white;
      wave[n] = (0.8 * (white - low) * std::exp(-t / 0.06) + 0.5 * std::sin(2 * kPi * 185 * t) * std::exp(-t / 0.04));
    } else {
      wave[n] = (white - previous) * std::exp(-t / 0.018);
    }
    previous = white;
  }
  wave.back() = 0;
  return ToSample(wave, false, instrument == kKick ? 0x80 : instrument == kSnare ? 0x90 : 0xA8);
}

XmInstrumentSpec MakeInstrument(XmSampleSpec sample, std::vector<std::pair<int, int>> envelope, int sustain,
                                int fadeout) {
  XmInstrumentSpec i;
  i.samples.push_back(std::move(sample));
  if (!envelope.empty()) {
    i.volumeEnvelope.points = std::move(envelope);
    i.volumeEnvelope.sustain = sustain;
    i.volumeEnvelope.type = 1 | 2;
  }
  i.fadeout = fadeout;
  return i;
}

// ---- The score -------------------------------------------------------------------------------

constexpr int kRowsPerBar = 16;
constexpr int kBarsPerPattern = 4;

// XM note number of a name such as "A4", "G#3" or "Bb2" (C-4 is 49).
int NoteOf(const std::string& name) {
  static const int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  int semitone = kSemitone[name[0] - 'A'];
  size_t at = 1;
  if (name[at] == '#') ++semitone, ++at;
  if (name[at] == 'b') --semitone, ++at;
  return 12 * (name[at] - '0') + semitone + 1;
}

struct Chord {
  const char* voices[3];  // the pad's three notes, low to high
  const char* root;       // the bass note
  int fifth;              // semitones from the root to the bass's second note
};
const Chord kAm{{"A3", "C4", "E4"}, "A2", 7}, kF{{"A3", "C4", "F4"}, "F2", 7}, kC{{"G3", "C4", "E4"}, "C3", -5},
    kG{{"G3", "B3", "D4"}, "G2", 7}, kDm{{"A3", "D4", "F4"}, "D3", -5}, kE{{"G#3", "B3", "E4"}, "E2", 7};

class Score {
 public:
  explicit Score(XmBuilder& xm) : xm_(xm) {}

  void put(int pattern, int row, int channel, XmCell cell) { xm_.cell(pattern, row, channel, cell); }

  // A melody line of one token a row: a note ("E5"), a note slid to ("~D5"), "." to hold, "^" to
  // release. Notes held for six rows or more get vibrato from their fourth row.
  void melody(int pattern, int channel, int instrument, int volume, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(token);
    for (int row = 0; row < static_cast<int>(tokens.size()); ++row) {
      const std::string& token = tokens[row];
      if (token == "^") {
        put(pattern, row, channel, {kKeyOff, 0, 0, -1, 0});
      } else if (token[0] == '~') {
        put(pattern, row, channel, {NoteOf(token.substr(1)), 0, 0, kFxPortamento, 0x20});
      } else if (token != ".") {
        put(pattern, row, channel, {NoteOf(token), instrument, Volume(volume), -1, 0});
        int end = row + 1;
        while (end < static_cast<int>(tokens.size()) && tokens[end] == ".") ++end;
        for (int hold = row + 3; end - row >= 6 && hold < end; ++hold) {
          put(pattern, hold, channel, {0, 0, 0, kFxVibrato, 0x43});
        }
      }
    }
  }

  // The pad: a voice sounds its note again only where the chord changes it.
  void pads(int pattern, const std::vector<Chord>& bars, int volume) {
    static const int kPan[3] = {0x58, 0x80, 0xA8};
    for (size_t bar = 0; bar < bars.size(); ++bar) {
      for (int v = 0; v < 3; ++v) {
        const int note = NoteOf(bars[bar].voices[v]);
        if (note == lastPad_[v]) continue;
        put(pattern, static_cast<int>(bar) * kRowsPerBar, kPadCh + v, {note, kPad, Volume(volume), kFxPanning, kPan[v]});
        lastPad_[v] = note;
      }
    }
  }

  // The bass: whole notes, or a pushing figure of root, root, root, root, fifth, octave, fifth.
  void bass(int pattern, const std::vector<Chord>& bars, bool groove, int volume, int firstBar = 0) {
    for (size_t bar = 0; bar < bars.size(); ++bar) {
      const int root = NoteOf(bars[bar].root), base = (firstBar + static_cast<int>(bar)) * kRowsPerBar;
      if (!groove) {
        put(pattern, base, kBassCh, {root, kBass, Volume(volume), -1, 0});
        continue;
      }
      const int fifth = bars[bar].fifth;
      const std::pair<int, int> figure[] = {{0, 0}, {3, 0}, {6, 0}, {8, 0}, {10, fifth}, {12, 12}, {14, fifth}};
      for (auto [row, step] : figure) {
        put(pattern, base + row, kBassCh, {root + step, kBass, Volume(row % 4 == 0 ? volume : volume - 8), -1, 0});
      }
    }
  }

  // The plucked string: the chord broken in eighths, up through the octave and back.
  void pluck(int pattern, const std::vector<Chord>& bars, int volume) {
    for (size_t bar = 0; bar < bars.size(); ++bar) {
      const int low = NoteOf(bars[bar].voices[0]) + 12, mid = NoteOf(bars[bar].voices[1]) + 12;
      const int high = NoteOf(bars[bar].voices[2]) + 12;
      const int line[8] = {low, mid, high, low + 12, high, mid, low, mid};
      for (int e = 0; e < 8; ++e) {
        put(pattern, static_cast<int>(bar) * kRowsPerBar + 2 * e, kPluckCh,
            {line[e], kPluck, Volume(e % 2 == 0 ? volume : volume - 6), -1, 0});
      }
    }
  }

  // Drums for one bar: kick on one and three (and the "and" of three where `push`), snare on two
  // and four, hi-hat on the eighths between.
  void drums(int pattern, int bar, bool push) {
    const int base = bar * kRowsPerBar;
    for (int row : {0, 8}) put(pattern, base + row, kKickCh, {NoteOf("C4"), kKick, Volume(56), -1, 0});
    if (push) put(pattern, base + 10, kKickCh, {NoteOf("C4"), kKick, Volume(36), -1, 0});
    for (int row : {4, 12}) put(pattern, base + row, kBeatCh, {NoteOf("C4"), kSnare, Volume(44), -1, 0});
    for (int row : {0, 2, 6, 8, 10, 14}) {
      put(pattern, base + row, kBeatCh, {NoteOf("C4"), kHat, Volume(row % 4 == 0 ? 18 : 26), -1, 0});
    }
  }

  // The whole band under the lead for the given bars: pad, bass figure, plucked chords and
  // drums, with the kick pushing in the bars whose bit is set in `pushBars`.
  void band(int pattern, const std::vector<Chord>& bars, int pluckVolume, unsigned pushBars) {
    pads(pattern, bars, 22);
    bass(pattern, bars, true, 48);
    pluck(pattern, bars, pluckVolume);
    for (int bar = 0; bar < static_cast<int>(bars.size()); ++bar) drums(pattern, bar, (pushBars >> bar) & 1);
  }

  // A snare run into the next pattern over the last half bar.
  void fill(int pattern, int bar) {
    const int base = bar * kRowsPerBar;
    int volume = 16;
    for (int row : {8, 10, 12, 13, 14, 15}) {
      put(pattern, base + row, kBeatCh, {NoteOf("C4"), kSnare, Volume(volume), -1, 0});
      volume += 5;
    }
  }

 private:
  XmBuilder& xm_;
  int lastPad_[3] = {0, 0, 0};
};

XmBuilder Compose() {
  XmBuilder xm;
  xm.title = "Tonvale Morning";
  xm.channels = kChannels;
  xm.speed = 6;
  xm.tempo = 120;
  xm.restart = 0;

  xm.instruments.push_back(MakeInstrument(LeadSample(), {{0, 0}, {3, 64}, {14, 50}, {60, 44}}, 3, 0x300));
  xm.instruments.push_back(MakeInstrument(PadSample(), {{0, 0}, {18, 60}, {48, 50}}, 2, 0x200));
  xm.instruments.push_back(MakeInstrument(BassSample(), {{0, 64}, {10, 46}, {40, 38}}, 2, 0x800));
  xm.instruments.push_back(MakeInstrument(PluckSample(), {}, 0, 0));
  for (int drum : {kKick, kSnare, kHat}) xm.instruments.push_back(MakeInstrument(Drum(drum), {}, 0, 0));

  Score score(xm);
  const std::vector<Chord> theme = {kAm, kF, kC, kG}, bridge = {kDm, kG, kC, kE}, close = {kF, kG, kAm, kAm};

  // 0: intro. Pad, whole-note bass and the plucked chords; a snare run leads in.
  score.pads(0, theme, 24);
  score.bass(0, theme, false, 44);
  score.pluck(0, theme, 30);
  score.fill(0, 3);

  // 1: the theme.
  score.band(1, theme, 22, 0b1000);
  score.melody(1, kLeadCh, kLead, 32,
               "E5 . . . D5 . C5 . A4 . . . C5 . D5 . "
               "C5 . . . . . A4 . . . . . G4 . A4 . "
               "G4 . . . C5 . . . E5 . . . D5 . C5 . "
               "D5 . . . . . . . B4 . . . . . ^ . ");

  // 2: the theme again, reaching higher.
  score.band(2, theme, 22, 0b1010);
  score.melody(2, kLeadCh, kLead, 32,
               "E5 . . . D5 . C5 . A4 . . . C5 . E5 . "
               "F5 . . . E5 . C5 . A4 . . . . . C5 . "
               "E5 . . . G5 . . . E5 . D5 . C5 . . . "
               "D5 . . . . . . . . . . . ^ . . . ");
  score.fill(2, 3);

  // 3: the bridge, Dm G C E; the E major chord leads back to A minor.
  score.band(3, bridge, 20, 0);
  score.melody(3, kLeadCh, kLead, 31,
               "F5 . . . . . E5 . D5 . . . A4 . . . "
               "B4 . . . D5 . . . G5 . . . . . F5 . "
               "E5 . . . . . D5 . C5 . . . E5 . . . "
               "B4 . . . . . . . G#4 . . . B4 . . . ");

  // 4: the theme once more, from the high A, sliding into its last note.
  score.band(4, theme, 22, 0b1010);
  score.melody(4, kLeadCh, kLead, 29,
               "A5 . . . G5 . E5 . . . . . D5 . E5 . "
               "C5 . . . . . A4 . C5 . . . F5 . E5 . "
               "E5 . . . D5 . C5 . G5 . . . E5 . . . "
               "D5 . . . . . . . B4 . . . ~D5 . . . ");

  // 5: the close, F G Am, the last chord held and released; the last row ends the song at
  // speed 1, so the few silent rows the player adds after an end pass quickly.
  score.band(5, {kF, kG}, 22, 0b10);
  score.pads(5, close, 22);
  score.bass(5, {kAm}, false, 48, 2);
  score.put(5, 32, kPluckCh, {NoteOf("A4"), kPluck, Volume(24), -1, 0});
  score.put(5, 36, kPluckCh, {NoteOf("E5"), kPluck, Volume(20), -1, 0});
  score.put(5, 40, kPluckCh, {NoteOf("A5"), kPluck, Volume(18), -1, 0});
  score.put(5, 32, kKickCh, {NoteOf("C4"), kKick, Volume(56), -1, 0});
  score.melody(5, kLeadCh, kLead, 31,
               "C5 . . . A4 . . . C5 . . . . . D5 . "
               "B4 . . . . . . . D5 . . . . . B4 . "
               "A4 . . . . . . . . . . . . . . . "
               "^ . . . . . . . . . . . . . . . ");
  for (int v = 0; v < 3; ++v) score.put(5, 52, kPadCh + v, {kKeyOff, 0, 0, -1, 0});
  score.put(5, 52, kBassCh, {kKeyOff, 0, 0, -1, 0});
  score.put(5, 63, kKickCh, {0, 0, 0, kFxSpeed, 0x00});
  score.put(5, 63, kBeatCh, {0, 0, 0, kFxSpeed, 0x01});

  xm.orders = {0, 1, 2, 3, 4, 5};
  for (int p = 0; p < 6; ++p) xm.pattern(p).rows = kRowsPerBar * kBarsPerPattern;
  return xm;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: compose_demo <output file>\n");
    return 1;
  }
  const std::vector<uint8_t> bytes = Compose().bytes();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "compose_demo: cannot write %s\n", argv[1]);
    return 1;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "compose_demo: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
