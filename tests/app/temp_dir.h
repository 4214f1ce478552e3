#pragma once
// A fresh directory under the system's temporary directory for one test, removed afterwards.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace tvp::test {

class TempDir {
 public:
  TempDir() : path_(std::filesystem::temp_directory_path() / ("tvp_app_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, std::string_view bytes) const {
    std::ofstream(file(name), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file(name);
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tvp::test
