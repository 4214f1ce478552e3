#include "app/settings_reader.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "soundtrack/status.h"

namespace tvp {

namespace {

// A settings file is a few hundred bytes. Reading stops after this many, so that a settings file
// that is a device or an endless stream (a link to /dev/zero, a pipe) cannot hang the start-up.
constexpr int64_t kMaxFileBytes = int64_t{4} << 20;

// The whitespace of the settings format: space, carriage return, line feed and tab.
bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

void UpperCase(char* text) {
  for (; *text != '\0'; ++text)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

// Reads the next line, keeping its line feed, into `line` (room for kSettingsLineLength + 1): at
// most kSettingsLineLength characters, the rest of a longer line is left for the next call. A NUL
// byte in the file ends the line's text there. False at the end of the file or of `budget`.
bool ReadLine(std::FILE* file, char* line, int64_t* budget) {
  int32_t length = 0;
  while (length < kSettingsLineLength && *budget > 0) {
    int c = std::getc(file);
    if (c == EOF) break;
    --*budget;
    line[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[length] = '\0';
  return length > 0;
}

}  // namespace

SettingsReader::~SettingsReader() {
  for (char* line : lines_) std::free(line);
}

int32_t SettingsReader::Load(const char* path) {
  std::FILE* file = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (file == nullptr) return kStatusNotFound;

  char line[kSettingsLineLength + 1];
  int64_t budget = kMaxFileBytes;
  while (ReadLine(file, line, &budget)) {
    // A comment runs from the first "#" to the end of the line, wherever it starts.
    if (char* hash = std::strchr(line, '#')) *hash = '\0';
    if (std::strchr(line, '=') == nullptr) continue;
    size_t end = std::strlen(line);
    while (end > 0 && IsBlank(line[end - 1])) --end;
    line[end] = '\0';
    const char* start = line;
    while (IsBlank(*start)) ++start;
    if (*start != '\0') storeLine(start);
  }
  std::fclose(file);
  return kStatusOk;
}

// `text` holds an "=", has no whitespace at either end and is at most kSettingsLineLength long.
void SettingsReader::storeLine(const char* text) {
  char* buffer = static_cast<char*>(std::malloc(kSettingsLineBytes));
  if (buffer == nullptr) return;
  std::memcpy(buffer, text, std::strlen(text) + 1);

  // The key is the first word before the "="; further words before it are ignored.
  char* equals = std::strchr(buffer, '=');
  *equals = ' ';
  char* keyEnd = buffer;
  while (*keyEnd != '\0' && !IsBlank(*keyEnd)) ++keyEnd;
  *keyEnd = '\0';  // at the latest where the "=" stood
  // The value runs from its first non-blank character to the end of the line, "=" and all.
  char* value = equals + 1;
  while (IsBlank(*value)) ++value;
  if (*value == '\0') {
    std::free(buffer);
    return;
  }
  UpperCase(buffer);

  int32_t index = find(buffer);
  if (index < 0) {
    if (count_ >= kSettingsEntries) {
      std::free(buffer);
      return;
    }
    index = count_++;
  }
  std::free(lines_[index]);
  lines_[index] = buffer;
  keys_[index] = buffer;
  values_[index] = value;
}

int32_t SettingsReader::find(const char* key) const {
  if (key == nullptr) return -1;
  for (int32_t i = 0; i < count_; ++i)
    if (std::strcmp(keys_[i], key) == 0) return i;
  return -1;
}

const char* SettingsReader::GetString(const char* key, const char* fallback) const {
  int32_t index = find(key);
  return index < 0 ? fallback : values_[index];
}

int32_t SettingsReader::GetInteger(const char* key, int32_t fallback) const {
  int32_t index = find(key);
  if (index < 0) return fallback;
  // strtoll itself saturates at the 64-bit limits; the 32-bit ones are applied here.
  long long number = std::strtoll(values_[index], nullptr, 0);
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(number);
}

int32_t SettingsReader::GetBoolean(const char* key, int32_t fallback) {
  int32_t index = find(key);
  if (index < 0) return fallback;
  char* value = values_[index];
  UpperCase(value);
  return std::strcmp(value, "TRUE") == 0 || std::strcmp(value, "YES") == 0 ? 1 : 0;
}

}  // namespace tvp
