#pragma once
// Writes 16-bit stereo frames as a RIFF WAVE file, or raw to standard output. The header is
// written first with zero sizes and patched with the real ones at close, so a file cut short by
// a crash still starts with a well-formed header.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tvp {

inline constexpr int32_t kWavHeaderBytes = 44;
// The RIFF size field counts 36 header bytes plus the data in 32 bits.
inline constexpr int64_t kWavMaxDataBytes = 0xFFFFFFFFll - 36;
inline constexpr int64_t kWavMaxFrames = kWavMaxDataBytes / 4;

// The 44 header bytes of a PCM file of 16-bit stereo frames at `rate` Hz holding `dataBytes`
// bytes of samples, every field little-endian.
void BuildWavHeader(uint8_t header[kWavHeaderBytes], uint32_t rate, uint32_t dataBytes);

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // "-" writes raw frames, no header, to standard output. False with `error` set ("reason").
  bool open(const std::string& path, uint32_t rate, std::string* error);
  // Appends interleaved left/right frames; false once the file refuses or would pass the format's
  // 4 GB limit.
  bool write(const int16_t* frames, int32_t frameCount, std::string* error);
  // Patches the sizes and closes. False when the final writes fail.
  bool close(std::string* error);
  // Closes and removes a file that must not stand as a finished render.
  void discard();

  int64_t framesWritten() const { return frames_; }
  bool raw() const { return raw_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool raw_ = false;
  uint32_t rate_ = 0;
  int64_t frames_ = 0;
  std::vector<uint8_t> swapped_;  // the samples in file order, on big-endian hosts
};

}  // namespace tvp
