#pragma once
// Directory search and the set of drives, as the open-file window needs them. Paths here are
// POSIX paths; the window keeps drive paths ("C:\home\ana\" is /home/ana/) and converts.
#include <cstdint>

namespace tvp {

// One entry a search found. `size` is the low 32 bits of a file's size (0 for a directory).
struct DirectoryHit {
  const char* name;
  bool isDirectory;
  uint32_t size;
};
using DirectoryVisitor = void (*)(void* context, const DirectoryHit& hit);

// Calls `visit` for every entry of the directory `path` whose name matches `pattern`, in the
// order the system gives them. The root lists no "." and "..", as a drive's root has none.
// False when the directory cannot be read; nothing is visited then.
bool SearchDirectory(const char* path, const char* pattern, DirectoryVisitor visit, void* context);

// Wildcard match of a whole name: '*' any run of characters, '?' one character, letters compared
// without regard to case ("*.XM" matches "song.xm").
bool NameMatches(const char* pattern, const char* name);

// Present drives, bit 0 = A:. The file-system root is drive C:, the only one.
uint32_t LogicalDriveMask();

// The process's working directory as a POSIX path; false when it does not fit `capacity` bytes.
bool WorkingDirectory(char* out, int32_t capacity);

}  // namespace tvp
