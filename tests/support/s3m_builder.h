#pragma once
// Composes S3M files in memory for tests: the 96-byte header, the order list (254 and 255
// included), instrument headers reached through parapointers with unsigned 8-bit data, channel
// settings, the channel panning table and packed patterns made from cells; plus knobs that break
// the file (counts, parapointers, packed lengths and raw packed bytes of any value, a foreign
// signature, a cut at any byte). Multi-byte fields are written little-endian.
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tvp::test {

inline constexpr int kS3MCut = 254;     // note byte of a note cut
inline constexpr int kS3MNoNote = 255;  // note byte of a cell that gives only an instrument
inline int S3MNote(int octave, int semitone) { return (octave << 4) | semitone; }

struct S3MCell {
  int note = -1;        // note byte; -1 writes no note and instrument bytes unless an instrument is given
  int instrument = 0;   // 1-based; 0 none
  int volume = -1;      // 0..64; -1 none
  char effect = 0;      // effect letter, stored as letter - 0x40 (any character goes); 0 none
  int param = 0;
};

struct S3MSampleSpec {
  std::vector<uint8_t> data = {};  // unsigned 8-bit frames stored in the file
  int64_t frames = -1;             // the length the header claims; -1: data.size()
  bool loop = false;
  uint32_t loopBegin = 0;  // frames
  uint32_t loopEnd = 0;
  int volume = 64;
  uint32_t c2 = 8363;
  bool scrs = true;         // "SCRS" at 0x4C
  int dataPointer = -1;     // the data parapointer stored; -1: where the data lies
  int headerPointer = -1;   // the instrument parapointer stored, and no header of its own; -1: its own header
  int pack = 0;             // the pack byte at 0x1E: 4 for ADPCM data (give `frames` then)
};

class S3MBuilder {
 public:
  // Channels 0..3 enabled as left, right, left, right; the others disabled.
  S3MBuilder() {
    channels_.fill(0xFF);
    channels_[0] = 0;
    channels_[1] = 8;
    channels_[2] = 1;
    channels_[3] = 9;
  }

  S3MBuilder& title(const std::string& text) { title_ = text; return *this; }
  S3MBuilder& orders(const std::vector<int>& entries) { orders_ = entries; return *this; }
  S3MBuilder& speed(int value) { speed_ = value; return *this; }
  S3MBuilder& tempo(int value) { tempo_ = value; return *this; }
  S3MBuilder& globalVolume(int value) { globalVolume_ = value; return *this; }
  S3MBuilder& mono() { masterVolume_ = 0x30; return *this; }
  S3MBuilder& amigaLimits() { flags_ |= 0x10; return *this; }
  S3MBuilder& channel(int c, int setting) { channels_[c] = static_cast<uint8_t>(setting); return *this; }
  S3MBuilder& panning(const std::array<uint8_t, 32>& table) { panning_ = table; return *this; }
  S3MBuilder& sample(int slot, S3MSampleSpec spec) { samples_[slot] = std::move(spec); return *this; }
  S3MBuilder& cell(int pattern, int row, int channel, S3MCell c) {
    patterns_[pattern];
    cells_[{pattern, row, channel}] = c;
    return *this;
  }
  // A stored pattern without cells: 64 empty rows.
  S3MBuilder& emptyPattern(int pattern) { patterns_[pattern]; return *this; }
  // A pattern whose parapointer is 0: absent from the file.
  S3MBuilder& absentPattern(int pattern) { patterns_[pattern].absent = true; return *this; }
  S3MBuilder& instrumentCount(int value) { instrumentCount_ = value; return *this; }
  S3MBuilder& patternCount(int value) { patternCount_ = value; return *this; }
  S3MBuilder& signature(const std::string& four) { signature_ = four; return *this; }
  S3MBuilder& truncate(size_t bytes) { truncate_ = bytes; return *this; }

  int instruments() const { return instrumentCount_ ? *instrumentCount_ : samples_.empty() ? 0 : samples_.rbegin()->first + 1; }
  int patternsStored() const {
    if (patternCount_) return *patternCount_;
    int count = patterns_.empty() ? 0 : patterns_.rbegin()->first + 1;
    for (int order : orders_) if (order < 254) count = std::max(count, order + 1);
    return count;
  }

  size_t sampleDataOffset(int slot) const { return layout().data.at(slot); }

  // The packed bytes of a pattern made from its cells: 64 rows, each ended by a 0 byte.
  std::vector<uint8_t> packedCells(int pattern) const {
    std::vector<uint8_t> out;
    for (int row = 0; row < 64; ++row) {
      for (auto it = cells_.lower_bound({pattern, row, 0}); it != cells_.end(); ++it) {
        auto [p, r, channel] = it->first;
        if (p != pattern || r != row) break;
        const S3MCell& c = it->second;
        bool noteBytes = c.note >= 0 || c.instrument != 0;
        out.push_back(static_cast<uint8_t>(channel | (noteBytes ? 0x20 : 0) | (c.volume >= 0 ? 0x40 : 0) | (c.effect ? 0x80 : 0)));
        if (noteBytes) {
          out.push_back(static_cast<uint8_t>(c.note >= 0 ? c.note : kS3MNoNote));
          out.push_back(static_cast<uint8_t>(c.instrument));
        }
        if (c.volume >= 0) out.push_back(static_cast<uint8_t>(c.volume));
        if (c.effect) {
          out.push_back(static_cast<uint8_t>(c.effect - 0x40));
          out.push_back(static_cast<uint8_t>(c.param));
        }
      }
      out.push_back(0);
    }
    return out;
  }

  std::vector<uint8_t> bytes() const {
    const Layout l = layout();
    std::vector<uint8_t> out(l.end, 0);
    std::copy_n(title_.begin(), std::min<size_t>(title_.size(), 28), out.begin());
    out[0x1C] = 0x1A;
    out[0x1D] = 16;
    put16(&out[0x20], orderCount_ ? *orderCount_ : static_cast<int>(orders_.size()));
    put16(&out[0x22], instruments());
    put16(&out[0x24], patternsStored());
    put16(&out[0x26], flags_);
    put16(&out[0x28], 0x1320);
    put16(&out[0x2A], 2);
    std::copy_n(signature_.begin(), std::min<size_t>(signature_.size(), 4), out.begin() + 0x2C);
    out[0x30] = static_cast<uint8_t>(globalVolume_);
    out[0x31] = static_cast<uint8_t>(speed_);
    out[0x32] = static_cast<uint8_t>(tempo_);
    out[0x33] = static_cast<uint8_t>(masterVolume_);
    out[0x35] = panning_ ? 252 : 0;
    std::copy(channels_.begin(), channels_.end(), out.begin() + 0x40);
    size_t at = 96;
    for (int order : orders_) out[at++] = static_cast<uint8_t>(order);
    for (int slot = 0; slot < instruments(); ++slot, at += 2) {
      auto it = samples_.find(slot);
      if (it == samples_.end()) continue;
      int pointer = it->second.headerPointer >= 0 ? it->second.headerPointer : static_cast<int>(l.instruments.at(slot) / 16);
      put16(&out[at], pointer);
    }
    for (int p = 0; p < patternsStored(); ++p, at += 2) {
      auto it = patterns_.find(p);
      if (it == patterns_.end()) continue;
      if (it->second.pointer >= 0) put16(&out[at], it->second.pointer);
      else if (!it->second.absent) put16(&out[at], static_cast<int>(l.patterns.at(p) / 16));
    }
    if (panning_) std::copy(panning_->begin(), panning_->end(), out.begin() + at);

    for (const auto& [slot, s] : samples_) {
      if (!l.instruments.count(slot)) continue;
      uint8_t* h = &out[l.instruments.at(slot)];
      h[0] = 1;
      put16(h + 0x0E, s.dataPointer >= 0 ? s.dataPointer : static_cast<int>(l.data.at(slot) / 16));
      put32(h + 0x10, static_cast<uint32_t>(s.frames >= 0 ? s.frames : static_cast<int64_t>(s.data.size())));
      put32(h + 0x14, s.loopBegin);
      put32(h + 0x18, s.loopEnd);
      h[0x1C] = static_cast<uint8_t>(s.volume);
      h[0x1E] = static_cast<uint8_t>(s.pack);
      h[0x1F] = s.loop ? 1 : 0;
      put32(h + 0x20, s.c2);
      if (s.scrs) std::copy_n("SCRS", 4, h + 0x4C);
      std::copy(s.data.begin(), s.data.end(), out.begin() + l.data.at(slot));
    }
    for (const auto& [p, pattern] : patterns_) {
      if (!l.patterns.count(p)) continue;
      std::vector<uint8_t> packed = packedOf(p);
      put16(&out[l.patterns.at(p)], pattern.lengthField >= 0 ? pattern.lengthField : static_cast<int>(packed.size()) + 2);
      std::copy(packed.begin(), packed.end(), out.begin() + l.patterns.at(p) + 2);
    }
    if (truncate_ < out.size()) out.resize(truncate_);
    return out;
  }

 private:
  struct Pattern {
    bool absent = false;
    std::optional<std::vector<uint8_t>> raw;
    int lengthField = -1;
    int pointer = -1;
  };
  struct Layout {
    std::map<int, size_t> instruments;
    std::map<int, size_t> patterns;
    std::map<int, size_t> data;
    size_t end = 0;
  };

  static void put16(uint8_t* p, int value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
  }
  static void put32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  static size_t align(size_t offset) { return (offset + 15) & ~size_t{15}; }

  std::vector<uint8_t> packedOf(int pattern) const {
    const Pattern& p = patterns_.at(pattern);
    return p.raw ? *p.raw : packedCells(pattern);
  }

  // Tables after the header, then instrument headers, patterns and sample data, each on a
  // 16-byte boundary.
  Layout layout() const {
    Layout l;
    size_t at = 96 + orders_.size() + 2 * static_cast<size_t>(std::max(instruments(), 0)) +
                2 * static_cast<size_t>(std::max(patternsStored(), 0)) + (panning_ ? 32 : 0);
    at = align(at);
    for (const auto& [slot, s] : samples_) {
      if (slot >= instruments() || s.headerPointer >= 0) continue;
      l.instruments[slot] = at;
      at += 80;
    }
    for (const auto& [p, pattern] : patterns_) {
      if (pattern.absent || p >= patternsStored()) continue;
      l.patterns[p] = at;
      at = align(at + 2 + packedOf(p).size());
    }
    for (const auto& [slot, s] : samples_) {
      l.data[slot] = at;
      at = align(at + s.data.size());
    }
    l.end = at;
    return l;
  }

  std::string title_;
  std::string signature_ = "SCRM";
  std::vector<int> orders_ = {0};
  int speed_ = 6;
  int tempo_ = 125;
  int globalVolume_ = 64;
  int masterVolume_ = 0xB0;  // bit 7: stereo
  int flags_ = 0;
  std::array<uint8_t, 32> channels_{};
  std::optional<std::array<uint8_t, 32>> panning_;
  std::map<int, S3MSampleSpec> samples_;
  std::map<int, Pattern> patterns_;
  std::map<std::tuple<int, int, int>, S3MCell> cells_;
  std::optional<int> orderCount_;
  std::optional<int> instrumentCount_;
  std::optional<int> patternCount_;
  size_t truncate_ = static_cast<size_t>(-1);
};

}  // namespace tvp::test
