#pragma once
// The settings reader: loads a small text file of key = value lines into memory once and answers
// lookups of a value as text, as an integer or as a boolean. It never writes the file.
//
// Each stored line keeps its key (upper case) and its value inside one 512-byte buffer. Keys are
// unique: a later line with a known key replaces the entry in place, so entries stay in the order
// in which their keys first appeared. At most kSettingsEntries keys are kept; the rest are dropped.
#include <cstdint>

namespace tvp {

inline constexpr int32_t kSettingsEntries = 128;
inline constexpr int32_t kSettingsLineBytes = 512;
// One read takes at most this many characters; the rest of a longer line is read as a further
// line of its own.
inline constexpr int32_t kSettingsLineLength = 510;

class SettingsReader {
 public:
  SettingsReader() = default;
  ~SettingsReader();
  SettingsReader(const SettingsReader&) = delete;
  SettingsReader& operator=(const SettingsReader&) = delete;

  // 0 once the file has been read (also when it held no usable line); kStatusNotFound when it
  // cannot be opened, and the table stays as it was. Lines read add to the table.
  int32_t Load(const char* path);

  // Lookups compare the key byte for byte with the stored upper-case keys, so callers pass
  // upper-case keys. The text returned belongs to the reader and lives as long as it does.
  const char* GetString(const char* key, const char* fallback) const;
  // Decimal, "0x" hexadecimal or leading-0 octal, optionally signed; stops at the first character
  // that does not fit; text without digits gives 0; saturates at the signed 32-bit limits.
  int32_t GetInteger(const char* key, int32_t fallback) const;
  // Upper-cases the stored value in place, then 1 when it is exactly "TRUE" or "YES", else 0.
  int32_t GetBoolean(const char* key, int32_t fallback);

  // The entries in the order their keys first appeared; index 0 .. count() - 1.
  int32_t count() const { return count_; }
  const char* key(int32_t index) const { return keys_[index]; }
  const char* value(int32_t index) const { return values_[index]; }

 private:
  void storeLine(const char* line);
  int32_t find(const char* key) const;

  int32_t count_ = 0;
  char* lines_[kSettingsEntries] = {};
  char* keys_[kSettingsEntries] = {};
  char* values_[kSettingsEntries] = {};
};

}  // namespace tvp
