#include "platform/directory.h"

namespace tvp {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool NameMatches(const char* pattern, const char* name) {
  // Greedy match with one backtrack point: the last '*' seen and where its run ends so far.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || Upper(*pattern) == Upper(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

uint32_t LogicalDriveMask() { return 1u << ('C' - 'A'); }

}  // namespace tvp
