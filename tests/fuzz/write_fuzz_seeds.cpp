// Writes the seed inputs of a fuzzing harness: small modules composed by the test builders, each
// with notes, instruments, loops and a spread of effects, so that the fuzzer starts from files
// every loader accepts and reaches the pattern decoders at once.
//   write_fuzz_seeds TARGET DIRECTORY      (TARGET: xm, s3m, mod, it, pipeline or picture)
// The picture harness starts from the program's own font picture and a few small pictures in
// each pixel coding.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "tests/support/it_builder.h"
#include "tests/support/mod_builder.h"
#include "tests/support/s3m_builder.h"
#include "tests/support/xm_builder.h"

namespace {

using namespace tvp::test;
using Bytes = std::vector<uint8_t>;

// Effects from `first` on, one a row, cycling over the channels, with notes on every fourth row.
std::vector<Bytes> xmSeeds() {
  std::vector<Bytes> seeds;
  for (int variant = 0; variant < 4; ++variant) {
    XmBuilder xm;
    xm.title = "seed";
    xm.channels = 4;
    xm.orders = {0, 1, 0};
    xm.restart = 1;
    XmInstrumentSpec instrument;
    XmSampleSpec sample;
    for (int i = 0; i < 64; ++i) sample.frames.push_back((i * 37 % 200) - 100);
    sample.sixteenBit = variant & 1;
    sample.loopType = 1 + (variant & 1);
    sample.loopStart = 8;
    sample.loopLength = sample.sixteenBit ? 64 : 32;
    instrument.samples = {sample};
    instrument.volumeEnvelope = {{{0, 64}, {10, 32}, {30, 48}, {60, 0}}, -1, 1, 1, 2, 7};
    instrument.panningEnvelope = {{{0, 32}, {20, 0}, {40, 64}}, -1, 0, 0, 2, 5};
    instrument.vibratoType = variant;
    instrument.vibratoDepth = 8;
    instrument.vibratoRate = 4;
    instrument.vibratoSweep = 16;
    instrument.fadeout = 512;
    xm.instruments = {instrument, instrument};
    for (int p = 0; p < 2; ++p) {
      xm.pattern(p).rows = 32;
      xm.pattern(p).packed = variant < 2;
      for (int row = 0; row < 32; ++row) {
        XmCell cell;
        if (row % 4 == 0) cell.note = 30 + row % 24 + variant;
        if (row % 8 == 0) cell.instrument = 1 + p;
        cell.volume = row % 3 == 0 ? 0x10 + row : 0x60 + row % 0x90;
        cell.effect = (row + 8 * variant + 16 * p) % 36;
        cell.param = (row * 17 + variant * 5) & 0xFF;
        xm.cell(p, row, row % 4, cell);
      }
    }
    seeds.push_back(xm.bytes());
  }
  return seeds;
}

std::vector<Bytes> s3mSeeds() {
  std::vector<Bytes> seeds;
  for (int variant = 0; variant < 3; ++variant) {
    S3MBuilder s3m;
    s3m.title("seed").orders({0, 1, 254, 0, 255});
    if (variant == 1) s3m.amigaLimits();
    if (variant == 2) s3m.mono();
    S3MSampleSpec sample;
    for (int i = 0; i < 64; ++i) sample.data.push_back(static_cast<uint8_t>(128 + (i * 29 % 160) - 80));
    sample.loop = variant != 2;
    sample.loopBegin = 4;
    sample.loopEnd = 60;
    s3m.sample(0, sample).sample(1, sample);
    for (int p = 0; p < 2; ++p) {
      for (int row = 0; row < 64; ++row) {
        S3MCell cell;
        if (row % 4 == 0) cell.note = row % 32 == 28 ? kS3MCut : S3MNote(4 + row % 3, row % 12);
        if (row % 8 == 0) cell.instrument = 1 + p;
        if (row % 3 == 0) cell.volume = row;
        cell.effect = static_cast<char>('A' + (row + 7 * variant + 13 * p) % 26);
        cell.param = (row * 23 + variant * 3) & 0xFF;
        s3m.cell(p, row, row % 4, cell);
      }
    }
    seeds.push_back(s3m.bytes());
  }
  return seeds;
}

std::vector<Bytes> modSeeds() {
  std::vector<Bytes> seeds;
  static const int kPeriods[] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453};
  for (int channels : {4, 6, 8}) {
    ModBuilder mod(channels);
    mod.title("seed").orders({0, 1, 0});
    ModSample sample;
    sample.words = 32;
    sample.fineTune = channels;
    sample.repeatStart = 4;
    sample.repeatLength = channels == 8 ? 1 : 20;
    mod.sample(0, sample).sample(1, sample);
    for (int p = 0; p < 2; ++p) {
      for (int row = 0; row < 64; ++row) {
        ModCell cell;
        if (row % 4 == 0) cell.period = kPeriods[row % 12];
        if (row % 8 == 0) cell.sample = 1 + p;
        cell.effect = (row + p * 5) % 16;
        cell.param = (row * 19 + channels) & 0xFF;
        mod.cell(p, row, row % channels, cell);
      }
    }
    seeds.push_back(mod.bytes());
  }
  return seeds;
}

std::vector<Bytes> itSeeds() {
  std::vector<Bytes> seeds;
  for (const bool instruments : {false, true}) {
    tvp::test::ItBuilder it;
    it.title("seed").orders({0, 254, 1, 255});
    std::vector<int16_t> frames;
    for (int i = 0; i < 64; ++i) frames.push_back(static_cast<int16_t>(i * 900 - 28000));
    it.sample(0, {.frames = frames, .loop = true, .loopBegin = 8, .loopEnd = 64});
    it.sample(1, {.sixteenBit = true, .compressed = true, .it215 = instruments, .frames = frames});
    if (instruments) {
      tvp::test::ItInstrumentSpec instrument;
      instrument.keyboard = tvp::test::ItDefaultKeyboard();
      instrument.fadeOut = 64;
      instrument.volume = {.on = true, .loop = true, .sustain = true, .loopBegin = 0, .loopEnd = 2,
                           .sustainBegin = 1, .sustainEnd = 1, .nodes = {{0, 64}, {10, 20}, {30, 50}}};
      it.instrument(0, instrument).cmwt(0x214);
    }
    for (int p = 0; p < 2; ++p) {
      for (int row = 0; row < 64; row += 2) {
        tvp::test::ItCell cell{row % 8 == 0 ? 48 + row % 24 : -1, row % 8 == 0 ? 1 + p : 0, row % 6 == 0 ? row : -1,
                               static_cast<char>('A' + (row + p * 7) % 26), (row * 19) & 0xFF};
        it.cell(p, row, row % 5, cell);
      }
    }
    seeds.push_back(it.bytes());
  }
  return seeds;
}

bool writeAll(const std::string& directory, const char* prefix, const std::vector<Bytes>& seeds) {
  for (size_t i = 0; i < seeds.size(); ++i) {
    const std::string path = directory + "/" + prefix + "-" + std::to_string(i);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
      std::fprintf(stderr, "write_fuzz_seeds: cannot write %s\n", path.c_str());
      return false;
    }
    const bool ok = std::fwrite(seeds[i].data(), 1, seeds[i].size(), out) == seeds[i].size();
    if (std::fclose(out) != 0 || !ok) return false;
  }
  return true;
}

void put32(Bytes* b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b->push_back(static_cast<uint8_t>(v >> s));
}

Bytes pictureWith(const char* tag, const Bytes& pixels, uint8_t colourCountHigh) {
  Bytes area = {0, 0, 0, 18, 'I', 'I', 'N', 'F', 0, 0, 0, 8, 0, 12, 0, 8, colourCountHigh, 2, 0, 0,
                'M', 'G', 'I', 'N', 0, 0, 0, 5, 7, 1, 2, 1, 2};
  area.insert(area.end(), tag, tag + 4);
  put32(&area, static_cast<uint32_t>(pixels.size()));
  area.insert(area.end(), pixels.begin(), pixels.end());
  Bytes b = {'P', 'x', 'l', 'r'};
  put32(&b, static_cast<uint32_t>(area.size()));
  b.insert(b.end(), area.begin(), area.end());
  return b;
}

std::vector<Bytes> pictureSeeds() {
  std::vector<Bytes> seeds = {
      pictureWith("PIX1", {9, 1, 2, 9, 3, 20, 4, 9, 0, 0x81, 0x10}, 0),
      pictureWith("PIX5", {9, 1, 2, 9, 3, 20, 4, 9, 0, 0x81, 0x10}, 0),
      pictureWith("PIX1", {1, 2, 2, 5, 3, 3, 0x81, 0}, 1),
      pictureWith("PIXA", {0, 1, 2, 128, 3, 9, 1, 2, 3, 9, 5, 4, 1}, 0),
  };
  tvp::ResourceBytes font;
  if (tvp::FindResource("PXL_MAIN_FONT", &font)) seeds.emplace_back(font.data, font.data + font.size);
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_fuzz_seeds xm|s3m|mod|it|pipeline|picture DIRECTORY\n");
    return 2;
  }
  const std::string target = argv[1];
  const std::string directory = argv[2];
  if (target == "picture") return writeAll(directory, "pxlr", pictureSeeds()) ? 0 : 1;
  const bool all = target == "pipeline";
  bool ok = true;
  if (all || target == "xm") ok = ok && writeAll(directory, "xm", xmSeeds());
  if (all || target == "s3m") ok = ok && writeAll(directory, "s3m", s3mSeeds());
  if (all || target == "mod") ok = ok && writeAll(directory, "mod", modSeeds());
  if (all || target == "it") ok = ok && writeAll(directory, "it", itSeeds());
  if (!all && target != "xm" && target != "s3m" && target != "mod" && target != "it") {
    std::fprintf(stderr, "write_fuzz_seeds: no target %s\n", argv[1]);
    return 2;
  }
  return ok ? 0 : 1;
}
