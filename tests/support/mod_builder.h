#pragma once
// Composes MOD files in memory for tests: title, 31 sample headers, order table, signature,
// patterns of cells and sample data, plus knobs that break the file (a foreign signature, the
// old 15-sample layout, a cut at any byte). Multi-byte fields are written big-endian.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/adpcm_encoder.h"

namespace tvp::test {

struct ModCell {
  int sample = 0;  // 0 none; the file holds 8 bits
  int period = 0;  // 0 none; 12 bits
  int effect = 0;  // 0x0 .. 0xF
  int param = 0;   // 0x00 .. 0xFF
};

struct ModSample {
  int words = 0;  // length in words of two 8-bit frames
  int fineTune = 0;
  int volume = 64;
  int repeatStart = 0;   // words
  int repeatLength = 1;  // words; 1 means no loop
  // The bytes stored for the sample; when empty, words x 2 bytes of DefaultByte.
  std::vector<int8_t> data = {};
  bool adpcm = false;  // stored as "ADPCM" and the frames packed in 4-bit ADPCM
};

class ModBuilder {
 public:
  // Picks the signature that announces `channels`: "M.K." for 4, "dCHN" below 10, "ddCH" above.
  explicit ModBuilder(int channels = 4) : channels_(channels) {
    if (channels == 4) {
      signature_ = "M.K.";
    } else if (channels < 10) {
      signature_ = std::to_string(channels) + "CHN";
    } else {
      signature_ = std::to_string(channels) + "CH";
    }
  }

  // The byte a sample's generated data holds at `index`: distinct per slot, negative ones too.
  static int8_t DefaultByte(int slot, int index) { return static_cast<int8_t>(slot * 16 + index * 3 - 100); }

  ModBuilder& title(const std::string& text) {
    title_ = text;
    return *this;
  }
  ModBuilder& sample(int slot, ModSample sample) {
    samples_[slot] = std::move(sample);
    return *this;
  }
  // Sets the song length and the first order entries.
  ModBuilder& orders(const std::vector<int>& entries) {
    songLength_ = static_cast<int>(entries.size());
    for (size_t i = 0; i < entries.size() && i < 128; ++i) orders_[i] = entries[i];
    return *this;
  }
  ModBuilder& songLength(int length) {
    songLength_ = length;
    return *this;
  }
  ModBuilder& orderEntry(int index, int value) {
    orders_[index] = value;
    return *this;
  }
  ModBuilder& cell(int pattern, int row, int channel, ModCell c) {
    cells_[{pattern, row, channel}] = c;
    return *this;
  }
  // How many patterns are stored; by default the highest order entry + 1, as a loader expects.
  ModBuilder& storedPatterns(int count) {
    storedPatterns_ = count;
    return *this;
  }
  ModBuilder& signature(const std::string& four) {
    signature_ = four;
    return *this;
  }
  ModBuilder& truncate(size_t bytes) {
    truncate_ = bytes;
    return *this;
  }

  // Offset of sample data of `slot` in the composed file (before truncation).
  size_t sampleDataOffset(int slot) const {
    size_t offset = patternsOffset() + static_cast<size_t>(patternCount()) * 64 * channels_ * 4;
    for (int s = 0; s < slot; ++s) offset += storedBytes(s).size();
    return offset;
  }

  std::vector<uint8_t> bytes() const {
    const int sampleSlots = fifteen_ ? 15 : 31;
    std::vector<uint8_t> out(patternsOffset(), 0);
    std::copy_n(title_.begin(), std::min<size_t>(title_.size(), 20), out.begin());
    for (int slot = 0; slot < sampleSlots; ++slot) {
      auto it = samples_.find(slot);
      if (it == samples_.end()) continue;
      const ModSample& s = it->second;
      uint8_t* h = out.data() + 20 + slot * 30;
      std::copy_n(("sample " + std::to_string(slot)).c_str(), 9, h);
      put16(h + 22, s.words);
      h[24] = static_cast<uint8_t>(s.fineTune & 0x0F);
      h[25] = static_cast<uint8_t>(s.volume);
      put16(h + 26, s.repeatStart);
      put16(h + 28, s.repeatLength);
    }
    const size_t lengthOffset = 20 + sampleSlots * 30;
    out[lengthOffset] = static_cast<uint8_t>(songLength_);
    out[lengthOffset + 1] = 127;
    for (int i = 0; i < 128; ++i) out[lengthOffset + 2 + i] = static_cast<uint8_t>(orders_[i]);
    if (!fifteen_) std::copy_n(signature_.c_str(), std::min<size_t>(signature_.size(), 4), out.begin() + 1080);

    for (int p = 0; p < patternCount(); ++p) {
      for (int row = 0; row < 64; ++row) {
        for (int channel = 0; channel < channels_; ++channel) {
          auto it = cells_.find({p, row, channel});
          ModCell c = it != cells_.end() ? it->second : ModCell{};
          out.push_back(static_cast<uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F)));
          out.push_back(static_cast<uint8_t>(c.period & 0xFF));
          out.push_back(static_cast<uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F)));
          out.push_back(static_cast<uint8_t>(c.param));
        }
      }
    }
    for (int slot = 0; slot < sampleSlots; ++slot) {
      for (int8_t b : storedBytes(slot)) out.push_back(static_cast<uint8_t>(b));
    }
    if (truncate_ < out.size()) out.resize(truncate_);
    return out;
  }

 private:
  static void put16(uint8_t* p, int value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
  }
  size_t patternsOffset() const { return fifteen_ ? 600 : 1084; }
  int patternCount() const {
    if (storedPatterns_ >= 0) return storedPatterns_;
    return *std::max_element(std::begin(orders_), std::end(orders_)) + 1;
  }
  std::vector<int8_t> storedBytes(int slot) const {
    auto it = samples_.find(slot);
    if (it == samples_.end()) return {};
    std::vector<int8_t> data = it->second.data;
    if (data.empty()) {
      data.resize(static_cast<size_t>(it->second.words) * 2);
      for (size_t i = 0; i < data.size(); ++i) data[i] = DefaultByte(slot, static_cast<int>(i));
    }
    if (!it->second.adpcm) return data;
    const std::vector<uint8_t> packed = EncodeAdpcm(std::vector<int>(data.begin(), data.end()));
    std::vector<int8_t> out = {'A', 'D', 'P', 'C', 'M'};
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
  }

  int channels_;
  std::string signature_;
  std::string title_;
  std::map<int, ModSample> samples_;
  int songLength_ = 1;
  int orders_[128] = {};
  std::map<std::tuple<int, int, int>, ModCell> cells_;
  int storedPatterns_ = -1;
  bool fifteen_ = false;
  size_t truncate_ = static_cast<size_t>(-1);
};

}  // namespace tvp::test
