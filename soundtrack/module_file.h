#pragma once
// The file layer under the loaders: open a module by path, read a count of bytes and learn how
// many arrived, move and ask for the read position, close. There is no buffering of its own;
// every read goes to the system. A file can also be opened over a block of memory, which the
// tests and the fuzzing harnesses use to feed composed bytes through the same calls.
#include <cstdint>

namespace tvp {

struct ModuleFile;

// Mode, by its low two bits: 0 or 1 read an existing file; 2 write, creating the file (with
// kFileReplace also truncating it); 3 read and write, creating the file when needed.
inline constexpr int16_t kFileRead = 1;
inline constexpr int16_t kFileWrite = 2;
inline constexpr int16_t kFileReadWrite = 3;
inline constexpr int16_t kFileReplace = 0x10;

inline constexpr int16_t kSeekFromStart = 0;
inline constexpr int16_t kSeekFromCurrent = 1;
inline constexpr int16_t kSeekFromEnd = 2;

// `path` is a POSIX path or a drive path ("C:\home\ana\x.xm" is /home/ana/x.xm). Null when the
// system refuses.
ModuleFile* FileOpen(const char* path, int16_t mode);
// Reads from `size` bytes at `data`, which must outlive the file; the bytes are not copied.
ModuleFile* FileOpenMemory(const uint8_t* data, int32_t size);
void FileClose(ModuleFile* file);
// The number of bytes actually read, 0 .. count; 0 for a negative count.
int32_t FileRead(ModuleFile* file, int32_t count, void* buffer);
// 0, or the system's error code (low 16 bits) when the position is invalid.
int16_t FileSeek(ModuleFile* file, int16_t origin, int32_t offset);
int32_t FilePosition(ModuleFile* file);
// The file's length in bytes (saturated to INT32_MAX), so that a loader can check a count or an
// offset from the file against what is there before it allocates anything.
int32_t FileLength(ModuleFile* file);

// Turns a drive path into a POSIX one (drive C: is the file-system root, backslashes become
// slashes); any other path is returned unchanged.
// Writes at most `capacity` bytes including the terminator; false when it does not fit.
bool DrivePathToPosix(const char* path, char* out, int32_t capacity);

}  // namespace tvp
