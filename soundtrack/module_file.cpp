#include "soundtrack/module_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "soundtrack/zero_alloc.h"

namespace tvp {

struct ModuleFile {
  int fd;                 // -1 for a file over memory
  const uint8_t* memory;  // the bytes of a file over memory
  int64_t memorySize;
  int64_t memoryPosition;
};

namespace {

int16_t errorCode(int error) { return static_cast<int16_t>(error & 0xFFFF); }

ModuleFile* newFile() {
  ModuleFile* file = static_cast<ModuleFile*>(ZeroAlloc(sizeof(ModuleFile)));
  if (file) file->fd = -1;
  return file;
}

}  // namespace

bool DrivePathToPosix(const char* path, char* out, int32_t capacity) {
  if (!path || !out || capacity < 1) return false;
  size_t length = std::strlen(path);
  const bool drivePath = length >= 2 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':';
  const char* rest = drivePath ? path + 2 : path;
  size_t restLength = length - (rest - path);
  // A drive path names the root even when it lacks the separator after the colon.
  const bool addRoot = drivePath && (restLength == 0 || (rest[0] != '\\' && rest[0] != '/'));
  size_t needed = restLength + (addRoot ? 1 : 0) + 1;
  if (needed > static_cast<size_t>(capacity)) return false;
  char* cursor = out;
  if (addRoot) *cursor++ = '/';
  for (size_t i = 0; i < restLength; ++i) *cursor++ = drivePath && rest[i] == '\\' ? '/' : rest[i];
  *cursor = '\0';
  return true;
}

ModuleFile* FileOpen(const char* path, int16_t mode) {
  if (!path) return nullptr;
  std::string posix(std::strlen(path) + 2, '\0');
  if (!DrivePathToPosix(path, posix.data(), static_cast<int32_t>(posix.size()))) return nullptr;
  int flags = O_RDONLY;
  switch (mode & 3) {
    case 2: flags = O_WRONLY | O_CREAT | ((mode & kFileReplace) ? O_TRUNC : 0); break;
    case 3: flags = O_RDWR | O_CREAT; break;
    default: break;
  }
  int fd = ::open(posix.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat info;
  // A directory opens for reading on POSIX, but it is no module file.
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  ModuleFile* file = newFile();
  if (!file) {
    ::close(fd);
    return nullptr;
  }
  file->fd = fd;
  return file;
}

ModuleFile* FileOpenMemory(const uint8_t* data, int32_t size) {
  if (size < 0 || (size > 0 && !data)) return nullptr;
  ModuleFile* file = newFile();
  if (!file) return nullptr;
  file->memory = data;
  file->memorySize = size;
  return file;
}

void FileClose(ModuleFile* file) {
  if (!file) return;
  if (file->fd >= 0) ::close(file->fd);
  ZeroFree(file);
}

int32_t FileRead(ModuleFile* file, int32_t count, void* buffer) {
  if (!file || count <= 0 || !buffer) return 0;
  if (file->fd < 0) {
    int64_t left = file->memorySize - file->memoryPosition;
    int32_t n = left <= 0 ? 0 : static_cast<int32_t>(left < count ? left : count);
    if (n > 0) std::memcpy(buffer, file->memory + file->memoryPosition, static_cast<size_t>(n));
    file->memoryPosition += n;
    return n;
  }
  int32_t total = 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (total < count) {
    ssize_t n = ::read(file->fd, bytes + total, static_cast<size_t>(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<int32_t>(n);
  }
  return total;
}

int16_t FileSeek(ModuleFile* file, int16_t origin, int32_t offset) {
  if (!file) return errorCode(EBADF);
  if (origin < kSeekFromStart || origin > kSeekFromEnd) return errorCode(EINVAL);
  if (file->fd < 0) {
    int64_t base = origin == kSeekFromStart ? 0 : origin == kSeekFromCurrent ? file->memoryPosition : file->memorySize;
    int64_t target = base + offset;
    if (target < 0) return errorCode(EINVAL);
    file->memoryPosition = target;
    return 0;
  }
  int whence = origin == kSeekFromStart ? SEEK_SET : origin == kSeekFromCurrent ? SEEK_CUR : SEEK_END;
  if (::lseek(file->fd, offset, whence) < 0) return errorCode(errno);
  return 0;
}

int32_t FilePosition(ModuleFile* file) {
  if (!file) return 0;
  int64_t position = file->fd < 0 ? file->memoryPosition : ::lseek(file->fd, 0, SEEK_CUR);
  if (position < 0) return 0;
  return position > INT32_MAX ? INT32_MAX : static_cast<int32_t>(position);
}

int32_t FileLength(ModuleFile* file) {
  if (!file) return 0;
  int64_t length = file->memorySize;
  if (file->fd >= 0) {
    struct stat info;
    length = ::fstat(file->fd, &info) == 0 ? info.st_size : 0;
  }
  return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

}  // namespace tvp
