// WAV output: the header's bytes, sizes patched at close, samples little-endian, and no file left
// behind by a render that is thrown away.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/render/wav_writer.h"

namespace tvp::test {
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path TempPath(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("tvp_wav_") + std::to_string(::getpid()) + name);
}

TEST(WavWriter, TheHeaderIsLittleEndianPcmStereo16) {
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(header, 44100, 0x01020304);
  // 36 + data bytes; fmt chunk of 16 bytes: PCM, two channels, 44100 Hz, 176400 bytes a second,
  // 4 bytes a frame of 16-bit samples; the data bytes.
  const std::vector<uint8_t> expected = {'R', 'I', 'F', 'F', 0x28, 0x03, 0x02, 0x01, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                         16, 0, 0, 0, 1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,
                                         'd', 'a', 't', 'a', 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(std::vector<uint8_t>(header, header + kWavHeaderBytes), expected);
}

TEST(WavWriter, CloseWritesTheSizesOfWhatWasWritten) {
  std::filesystem::path path = TempPath("sizes.wav");
  WavWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(path.string(), 22050, &error)) << error;
  const int16_t first[] = {1, -2, 0x1234, -32768};
  const int16_t second[] = {32767, 0};
  ASSERT_TRUE(writer.write(first, 2, &error));
  ASSERT_TRUE(writer.write(second, 1, &error));
  EXPECT_EQ(writer.framesWritten(), 3);
  ASSERT_TRUE(writer.close(&error)) << error;

  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u + 12u);
  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(header, 22050, 12);
  EXPECT_TRUE(std::equal(header, header + kWavHeaderBytes, bytes.begin()));
  const std::vector<uint8_t> samples = {1, 0, 0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 44, bytes.end()), samples);
  std::filesystem::remove(path);
}

TEST(WavWriter, ADiscardedRenderLeavesNoFile) {
  std::filesystem::path path = TempPath("discard.wav");
  {
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path.string(), 44100, &error));
    const int16_t frame[] = {5, 5};
    ASSERT_TRUE(writer.write(frame, 1, &error));
    EXPECT_TRUE(std::filesystem::exists(path));
    writer.discard();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  {
    // A writer dropped without close is a render that did not finish.
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path.string(), 44100, &error));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WavWriter, AnUnwritablePlaceGivesTheSystemsReason) {
  WavWriter writer;
  std::string error;
  EXPECT_FALSE(writer.open("/nonexistent-dir/x.wav", 44100, &error));
  EXPECT_EQ(error, "No such file or directory");
  const int16_t frame[] = {0, 0};
  EXPECT_FALSE(writer.write(frame, 1, &error));
}

}  // namespace
}  // namespace tvp::test
