// The directory search on POSIX systems: opendir/readdir, with stat where the entry's type or
// size is needed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/directory.h"

namespace tvp {

bool SearchDirectory(const char* path, const char* pattern, DirectoryVisitor visit, void* context) {
  if (!path || !pattern || !visit) return false;
  DIR* dir = ::opendir(path);
  if (!dir) return false;
  const int dirFd = ::dirfd(dir);
  struct stat self, root;
  const bool isRoot = ::fstat(dirFd, &self) == 0 && ::stat("/", &root) == 0 && self.st_dev == root.st_dev &&
                      self.st_ino == root.st_ino;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    const bool dots = std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
    if (dots && isRoot) continue;
    if (!NameMatches(pattern, name)) continue;
    DirectoryHit hit{name, entry->d_type == DT_DIR, 0};
    // Links are followed, so a link to a directory can be entered and a link to a module opened.
    if (entry->d_type != DT_DIR) {
      struct stat info;
      if (::fstatat(dirFd, name, &info, 0) == 0) {
        hit.isDirectory = S_ISDIR(info.st_mode);
        if (!hit.isDirectory) hit.size = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size));
      }
    }
    visit(context, hit);
  }
  ::closedir(dir);
  return true;
}

bool WorkingDirectory(char* out, int32_t capacity) {
  return out && capacity > 0 && ::getcwd(out, static_cast<size_t>(capacity)) != nullptr;
}

}  // namespace tvp
