#pragma once
// Composes IT files in memory for tests: the header with its order list and offset tables, the
// song message, instruments in the current layout and in the one before 2.00, sample headers with
// 8- or 16-bit data (signed or unsigned, mono or stereo, plain or compressed) and patterns packed
// from cells, re-using each channel's last mask and values unless told to write every field; plus
// knobs that break the file (sample length and data offset fields, raw flag bytes, patterns at
// offset 0, a cut at any byte) and the offsets of the parts, for tests that patch them.
// Multi-byte fields are little-endian.
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/it_sample_encoder.h"

namespace tvp::test {

inline constexpr uint16_t kItStereo = 1, kItInstruments = 4, kItLinear = 8, kItOldEffects = 16, kItCompatibleGxx = 32;
inline constexpr int kItNoteFade = 253, kItNoteCut = 254, kItNoteOff = 255;

struct ItCell {
  int note = -1;        // 0..119 (C-0 = 0, C-5 = 60), 253 fade, 254 cut, 255 off; any other byte as given; -1 none
  int instrument = 0;   // 1-based instrument, or sample in sample mode; 0 none
  int volume = -1;      // the volume column byte (0..64 volume, 128..192 panning, ...); -1 none
  char effect = 0;      // 'A'..'Z', stored as letter - '@'; 0 none (a param alone is stored with command 0)
  int param = 0;
};

struct ItSampleSpec {
  std::string name = {};
  int globalVolume = 64, volume = 64;
  int defaultPan = -1;  // 0..64; -1: not used (bit 7 of the byte clear)
  bool sixteenBit = false, stereo = false, signedData = true, compressed = false, it215 = false;
  std::vector<int16_t> frames = {};  // 8-bit data stores frame >> 8; stereo: the left frames, then the right
  bool loop = false, pingPong = false;
  uint32_t loopBegin = 0, loopEnd = 0;
  bool sustainLoop = false, sustainPingPong = false;
  uint32_t sustainBegin = 0, sustainEnd = 0;
  uint32_t c5Speed = 8363;
  int vibratoSpeed = 0, vibratoDepth = 0, vibratoRate = 0, vibratoType = 0;
  int64_t lengthField = -1;   // the length written; -1: the frames per channel
  int64_t pointerField = -1;  // the data offset written; -1: where the data lies
  std::string fileName = {};  // the 12-byte DOS file name
  int flagsField = -1;        // the Flg byte written; -1: from the fields above
  int convertField = -1;      // the Cvt byte written; -1: from the fields above
};

struct ItEnvelopeSpec {
  bool on = false, loop = false, sustain = false, filter = false;  // filter: bit 7, for the pitch envelope
  int loopBegin = 0, loopEnd = 0, sustainBegin = 0, sustainEnd = 0;
  std::vector<std::pair<int, int>> nodes = {};  // (tick, value): volume 0..64, panning and pitch -32..32; 25 stored
  int count = -1;                          // the node count byte (current layout); -1: nodes.size()
};

inline std::array<std::pair<int, int>, 120> ItDefaultKeyboard() {
  std::array<std::pair<int, int>, 120> keys{};
  for (int n = 0; n < 120; ++n) keys[n] = {n, 1};
  return keys;
}

struct ItInstrumentSpec {
  bool oldFormat = false;  // the layout before 2.00, which loaders expect when the header's cmwt < 0x200
  std::string name = {};
  int newNoteAction = 0, duplicateCheckType = 0, duplicateCheckAction = 0;  // the old layout keeps the type
  // The current layout's field. The old layout's fade-out counts in steps twice as large, so it
  // is written halved there.
  int fadeOut = 0;
  int pitchPanSeparation = 0, pitchPanCenter = 60;
  int globalVolume = 128, defaultPan = -1;  // 0..64, -1 off (bit 7 set)
  int randomVolume = 0, randomPan = 0;
  int filterCutoff = -1, filterResonance = -1;  // 0..127; -1: not set (bit 7 clear)
  std::array<std::pair<int, int>, 120> keyboard = ItDefaultKeyboard();  // (note, sample 1-based) per note
  ItEnvelopeSpec volume = {}, panning = {}, pitch = {};  // the old layout keeps the volume envelope only
  std::string fileName = {};
};

class ItBuilder {
 public:
  ItBuilder() {
    pan_.fill(32);
    volume_.fill(64);
  }

  ItBuilder& title(std::string text) { title_ = std::move(text); return *this; }
  ItBuilder& orders(std::vector<int> entries) { orders_ = std::move(entries); return *this; }  // written as given
  ItBuilder& speed(int value) { speed_ = value; return *this; }
  ItBuilder& tempo(int value) { tempo_ = value; return *this; }
  ItBuilder& globalVolume(int value) { globalVolume_ = value; return *this; }
  ItBuilder& mixVolume(int value) { mixVolume_ = value; return *this; }
  ItBuilder& separation(int value) { separation_ = value; return *this; }
  // Raw header flags. Unset, they are stereo and linear slides, plus instruments when some are given.
  ItBuilder& flags(uint16_t value) { flags_ = value; return *this; }
  ItBuilder& special(uint16_t bits) { special_ = bits; return *this; }  // ORed with bit 0 for the message
  ItBuilder& cwtv(uint16_t value) { cwtv_ = value; return *this; }
  ItBuilder& cmwt(uint16_t value) { cmwt_ = value; return *this; }
  ItBuilder& channelPan(int c, int value) { pan_.at(c) = value; return *this; }  // 0..64, 100 surround, +128 off
  ItBuilder& channelVolume(int c, int value) { volume_.at(c) = value; return *this; }
  ItBuilder& message(std::string text) { message_ = std::move(text); return *this; }  // '\n' is stored as CR
  ItBuilder& sample(int slot, ItSampleSpec spec) {
    if (slot < 0) throw std::out_of_range("ItBuilder: negative sample slot");
    if (spec.stereo && spec.frames.size() % 2 != 0) throw std::invalid_argument("ItBuilder: stereo frames come in pairs");
    samples_[slot] = std::move(spec);
    return *this;
  }
  ItBuilder& instrument(int slot, ItInstrumentSpec spec) {
    if (slot < 0) throw std::out_of_range("ItBuilder: negative instrument slot");
    instruments_[slot] = std::move(spec);
    return *this;
  }
  ItBuilder& rows(int pattern, int count) { patternAt(pattern).rows = count; return *this; }  // written as given
  // Cells on rows past the pattern's row count are not written.
  ItBuilder& cell(int pattern, int row, int channel, ItCell c) {
    if (row < 0 || channel < 0 || channel > 63) throw std::out_of_range("ItBuilder: cell outside the pattern");
    patternAt(pattern).cells[{row, channel}] = c;
    return *this;
  }
  ItBuilder& plainPacking(bool on) { plain_ = on; return *this; }              // every field in full
  ItBuilder& emptyPatternsAtZero(bool on) { zeroEmpty_ = on; return *this; }  // cell-less patterns: offset 0
  ItBuilder& absentPattern(int pattern) { patternAt(pattern).absent = true; return *this; }  // offset 0
  ItBuilder& truncate(size_t bytes) { truncate_ = bytes; return *this; }

  int orderCount() const { return static_cast<int>(orders_.size()); }
  int instrumentCount() const { return instruments_.empty() ? 0 : instruments_.rbegin()->first + 1; }
  int sampleCount() const { return samples_.empty() ? 0 : samples_.rbegin()->first + 1; }
  int patternCount() const { return patterns_.empty() ? 1 : patterns_.rbegin()->first + 1; }

  std::vector<uint8_t> bytes() const {
    Layout l;
    std::vector<uint8_t> out = compose(l);
    if (truncate_ < out.size()) out.resize(truncate_);
    return out;
  }

  // Offsets of the parts in the composed file (before the cut); 0 for a pattern stored at offset 0.
  size_t instrumentOffset(int slot) const { Layout l; compose(l); return l.instruments.at(slot); }
  size_t sampleHeaderOffset(int slot) const { Layout l; compose(l); return l.sampleHeaders.at(slot); }
  size_t sampleDataOffset(int slot) const { Layout l; compose(l); return l.sampleData.at(slot); }
  size_t patternOffset(int pattern) const { Layout l; compose(l); return l.patterns.at(pattern); }
  size_t messageOffset() const { Layout l; compose(l); return l.message; }

  // The packed rows of a pattern, without its 8-byte header.
  std::vector<uint8_t> packedPattern(int pattern) const {
    const Pattern& p = patternOf(pattern);
    std::vector<uint8_t> out;
    std::array<int, 64> lastMask;
    std::array<std::array<int, 4>, 64> last;  // note, instrument, volume, command << 8 | param
    lastMask.fill(-1);
    for (auto& values : last) values.fill(-1);
    for (int row = 0; row < p.rows; ++row) {
      for (auto it = p.cells.lower_bound({row, 0}); it != p.cells.end() && it->first.first == row; ++it) {
        const int ch = it->first.second;
        const ItCell& c = it->second;
        const bool effect = c.effect != 0 || c.param != 0;
        const int fields[4] = {c.note < 0 ? -1 : c.note & 0xFF, c.instrument > 0 ? c.instrument & 0xFF : -1,
                               c.volume < 0 ? -1 : c.volume & 0xFF,
                               effect ? ((c.effect ? c.effect - '@' : 0) & 0xFF) << 8 | (c.param & 0xFF) : -1};
        int mask = 0;
        for (int f = 0; f < 4; ++f) {
          if (fields[f] < 0) continue;
          if (!plain_ && fields[f] == last[ch][f]) {
            mask |= 16 << f;
          } else {
            mask |= 1 << f;
            last[ch][f] = fields[f];
          }
        }
        if (mask == 0) continue;
        if (!plain_ && mask == lastMask[ch]) {
          out.push_back(static_cast<uint8_t>(ch + 1));
        } else {
          out.push_back(static_cast<uint8_t>((ch + 1) | 0x80));
          out.push_back(static_cast<uint8_t>(mask));
          lastMask[ch] = mask;
        }
        for (int f = 0; f < 3; ++f) {
          if (mask & (1 << f)) out.push_back(static_cast<uint8_t>(fields[f]));
        }
        if (mask & 8) {
          out.push_back(static_cast<uint8_t>(fields[3] >> 8));  // command, then param
          out.push_back(static_cast<uint8_t>(fields[3]));
        }
      }
      out.push_back(0);
    }
    return out;
  }

 private:
  struct Pattern {
    int rows = 64;
    bool absent = false;
    std::map<std::pair<int, int>, ItCell> cells;  // (row, channel)
  };
  struct Layout {
    std::map<int, size_t> instruments, sampleHeaders, sampleData, patterns;
    size_t message = 0;
  };

  static void put(std::vector<uint8_t>& out, size_t at, int64_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) out[at + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  static void append(std::vector<uint8_t>& out, int64_t value, int bytes) {
    out.resize(out.size() + bytes);
    put(out, out.size() - bytes, value, bytes);
  }
  static void text(std::vector<uint8_t>& out, size_t at, const std::string& s, size_t room) {
    for (size_t k = 0; k < s.size() && k < room; ++k) out[at + k] = static_cast<uint8_t>(s[k]);
  }

  Pattern& patternAt(int pattern) {
    if (pattern < 0) throw std::out_of_range("ItBuilder: negative pattern");
    return patterns_[pattern];
  }
  const Pattern& patternOf(int pattern) const {
    static const Pattern kEmpty;
    auto it = patterns_.find(pattern);
    return it != patterns_.end() ? it->second : kEmpty;
  }

  std::vector<uint8_t> compose(Layout& l) const {
    const int insNum = instrumentCount(), smpNum = sampleCount(), patNum = patternCount();
    std::vector<uint8_t> out(0xC0, 0);
    text(out, 0, "IMPM", 4);
    text(out, 4, title_, 26);
    out[0x1E] = 4;  // row highlights: minor, major
    out[0x1F] = 16;
    put(out, 0x20, orderCount(), 2);
    put(out, 0x22, insNum, 2);
    put(out, 0x24, smpNum, 2);
    put(out, 0x26, patNum, 2);
    put(out, 0x28, cwtv_, 2);
    put(out, 0x2A, cmwt_, 2);
    put(out, 0x2C, flags_ ? *flags_ : kItStereo | kItLinear | (insNum > 0 ? kItInstruments : 0), 2);
    put(out, 0x2E, special_ | (message_.empty() ? 0 : 1), 2);
    const int bytes30[6] = {globalVolume_, mixVolume_, speed_, tempo_, separation_, 0};  // GV MV IS IT Sep PWD
    for (int k = 0; k < 6; ++k) out[0x30 + k] = static_cast<uint8_t>(bytes30[k]);
    for (int c = 0; c < 64; ++c) {
      out[0x40 + c] = static_cast<uint8_t>(pan_[c]);
      out[0x80 + c] = static_cast<uint8_t>(volume_[c]);
    }
    for (int order : orders_) out.push_back(static_cast<uint8_t>(order));
    const size_t insTable = out.size(), smpTable = insTable + 4 * insNum, patTable = smpTable + 4 * smpNum;
    out.resize(patTable + 4 * patNum, 0);

    if (!message_.empty()) {
      l.message = out.size();
      for (char ch : message_) out.push_back(static_cast<uint8_t>(ch == '\n' ? '\r' : ch));
      out.push_back(0);
      put(out, 0x36, static_cast<int64_t>(message_.size()) + 1, 2);
      put(out, 0x38, static_cast<int64_t>(l.message), 4);
    }
    for (int i = 0; i < insNum; ++i) {
      auto it = instruments_.find(i);
      const ItInstrumentSpec spec = it != instruments_.end() ? it->second : ItInstrumentSpec{};
      l.instruments[i] = out.size();
      put(out, insTable + 4 * i, static_cast<int64_t>(out.size()), 4);
      if (spec.oldFormat) writeOldInstrument(out, spec); else writeInstrument(out, spec);
    }
    std::vector<ItSampleSpec> specs(smpNum);
    for (const auto& [slot, spec] : samples_) specs[slot] = spec;
    for (int s = 0; s < smpNum; ++s) {
      l.sampleHeaders[s] = out.size();
      put(out, smpTable + 4 * s, static_cast<int64_t>(out.size()), 4);
      writeSampleHeader(out, specs[s]);
    }
    for (int p = 0; p < patNum; ++p) {
      const Pattern& pattern = patternOf(p);
      if (pattern.absent || (zeroEmpty_ && pattern.cells.empty())) {
        l.patterns[p] = 0;
        continue;
      }
      l.patterns[p] = out.size();
      put(out, patTable + 4 * p, static_cast<int64_t>(out.size()), 4);
      const std::vector<uint8_t> packed = packedPattern(p);
      append(out, static_cast<int64_t>(packed.size()), 2);
      append(out, pattern.rows, 2);
      append(out, 0, 4);
      out.insert(out.end(), packed.begin(), packed.end());
    }
    for (int s = 0; s < smpNum; ++s) {
      l.sampleData[s] = out.size();
      const int64_t pointer = specs[s].pointerField >= 0 ? specs[s].pointerField : static_cast<int64_t>(out.size());
      put(out, l.sampleHeaders[s] + 0x48, pointer, 4);
      const std::vector<uint8_t> data = sampleBytes(specs[s]);
      out.insert(out.end(), data.begin(), data.end());
    }
    return out;
  }

  static void writeSampleHeader(std::vector<uint8_t>& out, const ItSampleSpec& s) {
    const size_t h = out.size();
    out.resize(h + 0x50, 0);
    text(out, h, "IMPS", 4);
    text(out, h + 4, s.fileName, 12);
    out[h + 0x11] = static_cast<uint8_t>(s.globalVolume);
    const int flags = (s.frames.empty() ? 0 : 1) | (s.sixteenBit ? 2 : 0) | (s.stereo ? 4 : 0) | (s.compressed ? 8 : 0) |
                      (s.loop ? 16 : 0) | (s.sustainLoop ? 32 : 0) | (s.pingPong ? 64 : 0) | (s.sustainPingPong ? 128 : 0);
    out[h + 0x12] = static_cast<uint8_t>(s.flagsField >= 0 ? s.flagsField : flags);
    out[h + 0x13] = static_cast<uint8_t>(s.volume);
    text(out, h + 0x14, s.name, 26);
    const int convert = (s.signedData ? 1 : 0) | (s.compressed && s.it215 ? 4 : 0);
    out[h + 0x2E] = static_cast<uint8_t>(s.convertField >= 0 ? s.convertField : convert);
    out[h + 0x2F] = static_cast<uint8_t>(s.defaultPan >= 0 ? 0x80 | s.defaultPan : 32);
    const int64_t length = static_cast<int64_t>(s.stereo ? s.frames.size() / 2 : s.frames.size());
    put(out, h + 0x30, s.lengthField >= 0 ? s.lengthField : length, 4);
    put(out, h + 0x34, s.loopBegin, 4);
    put(out, h + 0x38, s.loopEnd, 4);
    put(out, h + 0x3C, s.c5Speed, 4);
    put(out, h + 0x40, s.sustainBegin, 4);
    put(out, h + 0x44, s.sustainEnd, 4);
    const int vibrato[4] = {s.vibratoSpeed, s.vibratoDepth, s.vibratoRate, s.vibratoType};
    for (int k = 0; k < 4; ++k) out[h + 0x4C + k] = static_cast<uint8_t>(vibrato[k]);
  }

  // Plain data as Cvt says, or compressed blocks: for stereo, the left channel's, then the right's.
  static std::vector<uint8_t> sampleBytes(const ItSampleSpec& s) {
    std::vector<uint8_t> out;
    if (s.compressed) {
      const size_t half = s.stereo ? s.frames.size() / 2 : s.frames.size();
      for (size_t start = 0; half > 0 && start < s.frames.size(); start += half) {
        const std::vector<int16_t> channel(s.frames.begin() + start, s.frames.begin() + start + half);
        const std::vector<uint8_t> packed = EncodeItCompressed(channel, s.sixteenBit, s.it215);
        out.insert(out.end(), packed.begin(), packed.end());
      }
      return out;
    }
    for (int16_t f : s.frames) {
      if (s.sixteenBit) {
        append(out, static_cast<uint16_t>(f) ^ (s.signedData ? 0 : 0x8000), 2);
      } else {
        out.push_back(static_cast<uint8_t>((f >> 8) ^ (s.signedData ? 0 : 0x80)));
      }
    }
    return out;
  }

  static int samplesUsed(const ItInstrumentSpec& i) {
    std::set<int> used;
    for (const auto& key : i.keyboard) if (key.second > 0) used.insert(key.second);
    return static_cast<int>(used.size());
  }
  static void writeKeyboard(std::vector<uint8_t>& out, size_t at, const ItInstrumentSpec& i) {
    for (int n = 0; n < 120; ++n) {
      out[at + 2 * n] = static_cast<uint8_t>(i.keyboard[n].first);
      out[at + 2 * n + 1] = static_cast<uint8_t>(i.keyboard[n].second);
    }
  }

  void writeInstrument(std::vector<uint8_t>& out, const ItInstrumentSpec& i) const {
    const size_t h = out.size();
    out.resize(h + 554, 0);
    text(out, h, "IMPI", 4);
    text(out, h + 4, i.fileName, 12);
    out[h + 0x11] = static_cast<uint8_t>(i.newNoteAction);
    out[h + 0x12] = static_cast<uint8_t>(i.duplicateCheckType);
    out[h + 0x13] = static_cast<uint8_t>(i.duplicateCheckAction);
    put(out, h + 0x14, i.fadeOut, 2);
    const int bytes16[6] = {i.pitchPanSeparation, i.pitchPanCenter, i.globalVolume,
                            i.defaultPan >= 0 ? i.defaultPan : 0x80 | 32, i.randomVolume, i.randomPan};
    for (int k = 0; k < 6; ++k) out[h + 0x16 + k] = static_cast<uint8_t>(bytes16[k]);
    put(out, h + 0x1C, cwtv_, 2);
    out[h + 0x1E] = static_cast<uint8_t>(samplesUsed(i));
    text(out, h + 0x20, i.name, 26);
    out[h + 0x3A] = static_cast<uint8_t>(i.filterCutoff >= 0 ? 0x80 | i.filterCutoff : 0);
    out[h + 0x3B] = static_cast<uint8_t>(i.filterResonance >= 0 ? 0x80 | i.filterResonance : 0);
    out[h + 0x3D] = 0xFF;  // no MIDI program, no MIDI bank
    put(out, h + 0x3E, 0xFFFF, 2);
    writeKeyboard(out, h + 0x40, i);
    size_t at = h + 0x130;
    for (const ItEnvelopeSpec* e : {&i.volume, &i.panning, &i.pitch}) {
      out[at] = static_cast<uint8_t>((e->on ? 1 : 0) | (e->loop ? 2 : 0) | (e->sustain ? 4 : 0) | (e->filter ? 0x80 : 0));
      out[at + 1] = static_cast<uint8_t>(e->count >= 0 ? e->count : static_cast<int>(e->nodes.size()));
      const int points[4] = {e->loopBegin, e->loopEnd, e->sustainBegin, e->sustainEnd};
      for (int k = 0; k < 4; ++k) out[at + 2 + k] = static_cast<uint8_t>(points[k]);
      for (size_t n = 0; n < e->nodes.size() && n < 25; ++n) {
        out[at + 6 + 3 * n] = static_cast<uint8_t>(e->nodes[n].second);
        put(out, at + 7 + 3 * n, e->nodes[n].first, 2);
      }
      at += 82;
    }
  }

  // The layout before 2.00: the volume envelope only, as 25 (tick, value) nodes ended by tick 0xFF
  // and as 200 bytes of its values tick by tick (ended by 0xFF) for display.
  void writeOldInstrument(std::vector<uint8_t>& out, const ItInstrumentSpec& i) const {
    const size_t h = out.size();
    const ItEnvelopeSpec& e = i.volume;
    out.resize(h + 554, 0);
    text(out, h, "IMPI", 4);
    text(out, h + 4, i.fileName, 12);
    const int bytes11[5] = {(e.on ? 1 : 0) | (e.loop ? 2 : 0) | (e.sustain ? 4 : 0), e.loopBegin, e.loopEnd,
                            e.sustainBegin, e.sustainEnd};
    for (int k = 0; k < 5; ++k) out[h + 0x11 + k] = static_cast<uint8_t>(bytes11[k]);
    put(out, h + 0x18, i.fadeOut / 2, 2);
    out[h + 0x1A] = static_cast<uint8_t>(i.newNoteAction);
    out[h + 0x1B] = static_cast<uint8_t>(i.duplicateCheckType);
    put(out, h + 0x1C, cwtv_, 2);
    out[h + 0x1E] = static_cast<uint8_t>(samplesUsed(i));
    text(out, h + 0x20, i.name, 26);
    writeKeyboard(out, h + 0x40, i);
    for (int t = 0; t < 200; ++t) {
      int value = 0xFF;
      for (size_t n = 0; n < e.nodes.size(); ++n) {
        const auto [t0, v0] = e.nodes[n];
        const auto [t1, v1] = n + 1 < e.nodes.size() ? e.nodes[n + 1] : e.nodes[n];
        if (t < t0 || t > t1) continue;
        value = t1 > t0 ? v0 + (v1 - v0) * (t - t0) / (t1 - t0) : v0;
        break;
      }
      out[h + 0x130 + t] = static_cast<uint8_t>(value);
    }
    for (size_t n = 0; n < 25; ++n) {
      const bool used = n < e.nodes.size();
      out[h + 0x1F8 + 2 * n] = static_cast<uint8_t>(used ? e.nodes[n].first : 0xFF);
      out[h + 0x1F9 + 2 * n] = static_cast<uint8_t>(used ? e.nodes[n].second : 0);
    }
  }

  std::string title_, message_;
  std::vector<int> orders_ = {0};
  int speed_ = 6, tempo_ = 125, globalVolume_ = 128, mixVolume_ = 48, separation_ = 128;
  std::optional<uint16_t> flags_;
  uint16_t special_ = 0, cwtv_ = 0x0214, cmwt_ = 0x0214;
  std::array<int, 64> pan_{}, volume_{};
  std::map<int, ItSampleSpec> samples_;
  std::map<int, ItInstrumentSpec> instruments_;
  std::map<int, Pattern> patterns_;
  bool plain_ = false, zeroEmpty_ = false;
  size_t truncate_ = static_cast<size_t>(-1);
};

}  // namespace tvp::test
