#pragma once
// Composes XM files in memory for tests: header fields, the order table, patterns of cells
// (packed or unpacked), instruments with 8- or 16-bit samples (delta-coded here) and envelopes,
// plus knobs that break the file (signature, byte 37, counts, header and sample sizes, lengths;
// callers cut or patch the returned bytes for the rest). Multi-byte fields are little-endian.
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/adpcm_encoder.h"

namespace tvp::test {

struct XmCell {
  int note = 0;        // 0 none, 1 .. 96, 97 key off
  int instrument = 0;  // 0 none
  int volume = 0;      // the volume column byte
  int effect = -1;     // effect type 0 .. 35 ('0' .. '9', 'A' .. 'Z'); -1 none
  int param = 0;
};

struct XmPatternSpec {
  int rows = 64;
  std::map<std::pair<int, int>, XmCell> cells;  // (row, channel)
  bool packed = true;            // false: five bytes a cell
  uint32_t headerLength = 9;     // longer headers are padded (up to 64 kB)
  std::vector<uint8_t> raw;      // when not empty, the packed data as it stands
  int packedSize = -1;           // the header's packed size; -1 the data's; 0 writes no data
};

struct XmEnvelopeSpec {
  std::vector<std::pair<int, int>> points;  // (tick, value), at most 12 stored
  int count = -1;                           // the point count byte; -1 points.size()
  int sustain = 0, loopStart = 0, loopEnd = 0;
  int type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
};

struct XmSampleSpec {
  std::vector<int> frames;  // -128 .. 127 for 8-bit samples, 16-bit values otherwise
  bool sixteenBit = false;
  int loopType = 0;  // 1 forward, 2 ping-pong
  uint32_t loopStart = 0, loopLength = 0;  // file bytes
  int volume = 64, fineTune = 0, panning = 128, relativeNote = 0;
  int64_t length = -1;  // the header's length in file bytes; -1 the data's
  bool adpcm = false;   // 8-bit frames packed in ADPCM, marked by the reserved byte 0xAD
};

struct XmInstrumentSpec {
  std::vector<XmSampleSpec> samples;
  int sampleCount = -1;  // the header's count; -1 samples.size()
  uint32_t size = 263;   // instrument header size; written as at least 29 (245 with samples)
  uint32_t sampleHeaderSize = 40;
  std::array<uint8_t, 96> noteMap{};
  XmEnvelopeSpec volumeEnvelope, panningEnvelope;
  int vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  int fadeout = 0;
};

// An instrument of one looping square wave, 64 frames a cycle: every note of it is heard.
inline XmInstrumentSpec LoopedSquare() {
  XmSampleSpec sample;
  for (int i = 0; i < 64; ++i) sample.frames.push_back(i < 32 ? 90 : -90);
  sample.loopType = 1;
  sample.loopLength = 64;
  XmInstrumentSpec instrument;
  instrument.samples = {sample};
  return instrument;
}

struct XmBuilder {
  std::string signature = "Extended Module: ";
  std::string title;
  int marker = 0x1A;           // byte 37
  uint32_t headerSize = 276;   // patterns follow at 60 + headerSize (at 336 when it is huge)
  int songLength = -1;         // -1: orders.size()
  int restart = 0;
  int channels = 2;
  int patternCount = -1;       // -1: patterns.size()
  int instrumentCount = -1;    // -1: instruments.size()
  int speed = 6, tempo = 125;
  std::vector<int> orders = {0};
  std::vector<XmPatternSpec> patterns;
  std::vector<XmInstrumentSpec> instruments;

  XmPatternSpec& pattern(int index) {
    if (static_cast<int>(patterns.size()) <= index) patterns.resize(index + 1);
    return patterns[index];
  }
  XmBuilder& cell(int pattern, int row, int channel, XmCell c) {
    this->pattern(pattern).cells[{row, channel}] = c;
    return *this;
  }

  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out(336, 0);
    std::copy_n(signature.begin(), std::min<size_t>(signature.size(), 17), out.begin());
    std::copy_n(title.begin(), std::min<size_t>(title.size(), 20), out.begin() + 17);
    out[37] = static_cast<uint8_t>(marker);
    put(out, 58, 0x0104, 2);
    put(out, 60, headerSize, 4);
    put(out, 64, songLength >= 0 ? songLength : static_cast<int>(orders.size()), 2);
    put(out, 66, restart, 2);
    put(out, 68, channels, 2);
    put(out, 70, patternCount >= 0 ? patternCount : static_cast<int>(patterns.size()), 2);
    put(out, 72, instrumentCount >= 0 ? instrumentCount : static_cast<int>(instruments.size()), 2);
    put(out, 74, 1, 2);
    put(out, 76, speed, 2);
    put(out, 78, tempo, 2);
    for (size_t k = 0; k < orders.size() && k < 256; ++k) out[80 + k] = static_cast<uint8_t>(orders[k]);
    if (headerSize > 276 && headerSize < 0x10000) out.resize(60 + headerSize, 0);

    for (const XmPatternSpec& p : patterns) {
      std::vector<uint8_t> data = p.raw.empty() ? encode(p) : p.raw;
      if (p.packedSize == 0) data.clear();
      const size_t start = out.size();
      out.resize(start + (p.headerLength > 9 && p.headerLength < 0x10000 ? p.headerLength : 9), 0);
      put(out, start, p.headerLength, 4);
      put(out, start + 5, p.rows, 2);
      put(out, start + 7, p.packedSize >= 0 ? p.packedSize : static_cast<int64_t>(data.size()), 2);
      out.insert(out.end(), data.begin(), data.end());
    }
    for (const XmInstrumentSpec& i : instruments) writeInstrument(out, i);
    return out;
  }

 private:
  static void put(std::vector<uint8_t>& out, size_t at, int64_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) out[at + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  static void append(std::vector<uint8_t>& out, int64_t value, int bytes) {
    out.resize(out.size() + bytes);
    put(out, out.size() - bytes, value, bytes);
  }

  std::vector<uint8_t> encode(const XmPatternSpec& p) const {
    std::vector<uint8_t> data;
    for (int row = 0; row < p.rows; ++row) {
      for (int channel = 0; channel < channels; ++channel) {
        auto it = p.cells.find({row, channel});
        const XmCell c = it != p.cells.end() ? it->second : XmCell{};
        if (!p.packed) {
          for (int v : {c.note, c.instrument, c.volume, std::max(c.effect, 0), c.param}) data.push_back(static_cast<uint8_t>(v));
          continue;
        }
        const int fields[5] = {c.note, c.instrument, c.volume, c.effect + 1, c.param};
        uint8_t present = 0x80;
        for (int f = 0; f < 5; ++f) present |= fields[f] != 0 ? (1 << f) : 0;
        data.push_back(present);
        for (int f = 0; f < 5; ++f) {
          if (fields[f] != 0) data.push_back(static_cast<uint8_t>(f == 3 ? c.effect : fields[f]));
        }
      }
    }
    return data;
  }

  static void writeEnvelopePoints(std::vector<uint8_t>& out, const XmEnvelopeSpec& e) {
    for (size_t p = 0; p < 12; ++p) {
      append(out, p < e.points.size() ? e.points[p].first : 0, 2);
      append(out, p < e.points.size() ? e.points[p].second : 0, 2);
    }
  }

  static void writeInstrument(std::vector<uint8_t>& out, const XmInstrumentSpec& i) {
    const size_t start = out.size();
    const int count = i.sampleCount >= 0 ? i.sampleCount : static_cast<int>(i.samples.size());
    append(out, i.size, 4);
    out.resize(out.size() + 23, 0);  // name, type
    append(out, count, 2);
    if (i.samples.empty()) {
      out.resize(std::max<size_t>(out.size(), start + std::min<uint32_t>(i.size, 0x10000)), 0);
      return;
    }
    append(out, i.sampleHeaderSize, 4);
    out.insert(out.end(), i.noteMap.begin(), i.noteMap.end());
    writeEnvelopePoints(out, i.volumeEnvelope);
    writeEnvelopePoints(out, i.panningEnvelope);
    const XmEnvelopeSpec& v = i.volumeEnvelope;
    const XmEnvelopeSpec& p = i.panningEnvelope;
    for (int b : {v.count >= 0 ? v.count : static_cast<int>(v.points.size()),
                  p.count >= 0 ? p.count : static_cast<int>(p.points.size()), v.sustain, v.loopStart, v.loopEnd,
                  p.sustain, p.loopStart, p.loopEnd, v.type, p.type, i.vibratoType, i.vibratoSweep, i.vibratoDepth,
                  i.vibratoRate}) {
      out.push_back(static_cast<uint8_t>(b));
    }
    append(out, i.fadeout, 2);
    append(out, 0, 4);  // reserved
    out.resize(std::max<size_t>(out.size(), start + std::min<uint32_t>(i.size, 0x10000)), 0);

    std::vector<std::vector<uint8_t>> data;
    for (const XmSampleSpec& s : i.samples) {
      data.push_back(s.adpcm ? EncodeAdpcm(s.frames) : deltas(s));
      const size_t header = out.size();
      append(out, s.length >= 0 ? s.length : static_cast<int64_t>(s.adpcm ? s.frames.size() : data.back().size()), 4);
      append(out, s.loopStart, 4);
      append(out, s.loopLength, 4);
      for (int b : {s.volume, s.fineTune, s.loopType | (s.sixteenBit ? 0x10 : 0), s.panning, s.relativeNote, s.adpcm ? 0xAD : 0}) {
        out.push_back(static_cast<uint8_t>(b));
      }
      out.resize(out.size() + 22, 0);  // name
      out.resize(std::max<size_t>(out.size(), header + std::min<uint32_t>(i.sampleHeaderSize, 0x10000)), 0);
    }
    for (const auto& d : data) out.insert(out.end(), d.begin(), d.end());
  }

  static std::vector<uint8_t> deltas(const XmSampleSpec& s) {
    std::vector<uint8_t> out;
    int previous = 0;
    for (int v : s.frames) {
      const int d = v - previous;
      previous = v;
      out.push_back(static_cast<uint8_t>(d));
      if (s.sixteenBit) out.push_back(static_cast<uint8_t>(d >> 8));
    }
    return out;
  }
};

}  // namespace tvp::test
