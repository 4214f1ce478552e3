#pragma once
// A module loaded for a test or a benchmark, from bytes composed in memory or from a file, and
// what tpw-render's session renders of it.
#include <cstdint>
#include <string>
#include <vector>

#include "soundtrack/loaders.h"
#include "soundtrack/module_file.h"
#include "tools/render/render_session.h"

namespace tvp::test {

// Owns the soundtrack; null when no loader takes the module.
class LoadedSong {
 public:
  explicit LoadedSong(const std::vector<uint8_t>& bytes) {
    Load(FileOpenMemory(bytes.data(), static_cast<int32_t>(bytes.size())));
  }
  explicit LoadedSong(const std::string& path) { Load(FileOpen(path.c_str(), kFileRead)); }
  ~LoadedSong() { ReleaseSoundtrack(soundtrack_); }
  LoadedSong(const LoadedSong&) = delete;
  LoadedSong& operator=(const LoadedSong&) = delete;

  Soundtrack* get() const { return soundtrack_; }

 private:
  void Load(ModuleFile* file) {
    LoadModule(file, nullptr, &soundtrack_, nullptr);
    FileClose(file);
  }
  Soundtrack* soundtrack_ = nullptr;
};

// The 16-bit stereo frames a render session makes of `soundtrack` with `settings`, as bytes;
// the session is left closed, with its stop reason and counts to read.
inline std::vector<uint8_t> RenderBytes(Soundtrack* soundtrack, const RenderSettings& settings, RenderSession* session) {
  std::vector<uint8_t> rendered;
  if (soundtrack && session->open(settings, soundtrack) == 0) {
    while (int32_t frames = session->renderNext()) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(session->frames());
      rendered.insert(rendered.end(), bytes, bytes + frames * 4);
    }
  }
  session->close();
  return rendered;
}

inline std::vector<uint8_t> RenderBytes(Soundtrack* soundtrack, const RenderSettings& settings) {
  RenderSession session;
  return RenderBytes(soundtrack, settings, &session);
}

}  // namespace tvp::test
