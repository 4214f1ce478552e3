#include "tools/render/wav_writer.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tvp {

namespace {

uint8_t* Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  return at + 2;
}

uint8_t* Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  return at + 4;
}

uint8_t* PutTag(uint8_t* at, const char tag[5]) {
  std::memcpy(at, tag, 4);
  return at + 4;
}

constexpr uint32_t kChannels = 2;
constexpr uint32_t kBitsPerSample = 16;
constexpr uint32_t kBlockAlign = kChannels * kBitsPerSample / 8;
constexpr uint32_t kFormatPcm = 1;

std::string Reason() { return std::strerror(errno); }

}  // namespace

void BuildWavHeader(uint8_t header[kWavHeaderBytes], uint32_t rate, uint32_t dataBytes) {
  uint8_t* at = header;
  at = PutTag(at, "RIFF");
  at = Put32(at, 36 + dataBytes);
  at = PutTag(at, "WAVE");
  at = PutTag(at, "fmt ");
  at = Put32(at, 16);
  at = Put16(at, kFormatPcm);
  at = Put16(at, kChannels);
  at = Put32(at, rate);
  at = Put32(at, rate * kBlockAlign);
  at = Put16(at, kBlockAlign);
  at = Put16(at, kBitsPerSample);
  at = PutTag(at, "data");
  Put32(at, dataBytes);
}

WavWriter::~WavWriter() { discard(); }

bool WavWriter::open(const std::string& path, uint32_t rate, std::string* error) {
  discard();
  rate_ = rate;
  frames_ = 0;
  raw_ = path == "-";
  path_ = path;
  // Unbuffered: every write is a whole engine buffer, which the stream would otherwise copy in
  // part into its own small buffer before writing it out.
  if (raw_) {
    file_ = stdout;
    std::setvbuf(file_, nullptr, _IONBF, 0);
    return true;
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    *error = Reason();
    return false;
  }
  std::setvbuf(file_, nullptr, _IONBF, 0);
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(header, rate, 0);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
    *error = Reason();
    discard();
    return false;
  }
  return true;
}

bool WavWriter::write(const int16_t* frames, int32_t frameCount, std::string* error) {
  if (file_ == nullptr) {
    *error = "not open";
    return false;
  }
  if (frameCount <= 0) return true;
  if (!raw_ && frames_ + frameCount > kWavMaxFrames) {
    *error = "the WAV format's 4 GB limit is reached";
    return false;
  }
  // Samples go out little-endian whatever the host's order; on a little-endian host as they are.
  const size_t size = static_cast<size_t>(frameCount) * 4;
  const void* out = frames;
  if constexpr (std::endian::native != std::endian::little) {
    swapped_.resize(size);
    for (size_t i = 0; i < size / 2; ++i) Put16(&swapped_[2 * i], static_cast<uint16_t>(frames[i]));
    out = swapped_.data();
  }
  if (std::fwrite(out, 1, size, file_) != size) {
    *error = Reason();
    return false;
  }
  frames_ += frameCount;
  return true;
}

bool WavWriter::close(std::string* error) {
  if (file_ == nullptr) return true;
  bool ok = true;
  if (raw_) {
    ok = std::fflush(file_) == 0;
    if (!ok) *error = Reason();
    file_ = nullptr;
    return ok;
  }
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(header, rate_, static_cast<uint32_t>(frames_ * 4));
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header ||
      std::fflush(file_) != 0) {
    *error = Reason();
    ok = false;
  }
  if (std::fclose(file_) != 0 && ok) {
    *error = Reason();
    ok = false;
  }
  file_ = nullptr;
  // A file whose sizes could not be written would pass for a shorter render.
  if (!ok) std::remove(path_.c_str());
  return ok;
}

void WavWriter::discard() {
  if (file_ == nullptr) return;
  if (raw_) {
    std::fflush(file_);
  } else {
    std::fclose(file_);
    std::remove(path_.c_str());
  }
  file_ = nullptr;
}

}  // namespace tvp
