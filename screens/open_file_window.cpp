// The open-file window (F4): a column of drives and the current directory's subdirectories and
// module files, walked with the keyboard; Enter on a file slides the window out and opens it.
//
// Directories are drive paths ("C:\home\ana\mods\"); drive C: is the file-system root. The
// listing is read by SetDirectory and kept until the next one, across openings of the window.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/module_playback.h"
#include "app/play_list.h"
#include "platform/directory.h"
#include "platform/virtual_keys.h"
#include "screens/popup_windows.h"
#include "screens/window_frame.h"
#include "soundtrack/module_file.h"

namespace tvp {

namespace {

constexpr int32_t kColumns = 42;
constexpr int32_t kRows = 26;
constexpr int32_t kListRows = 18;        // rows 5 to 22
constexpr int32_t kPageStep = 17;
constexpr int16_t kListTop = 40;         // row 5
constexpr int16_t kListBottom = 184;     // below row 22
constexpr int16_t kPathY = 24;           // row 3
constexpr int16_t kDriveLeft = 12;       // columns 2 to 5
constexpr int16_t kDriveRight = 36;
constexpr int16_t kEntryLeft = 42;       // column 7: the icon
constexpr int16_t kNameLeft = 48;
constexpr int16_t kScrollBarX = 234;     // column 39
constexpr int16_t kAreaRight = 240;
constexpr int32_t kPathColumns = 38;
constexpr int32_t kNameColumns = (kScrollBarX - kNameLeft) / 6;  // names stay clear of the scroll bar
constexpr int32_t kScrollTrackCells = 16;
constexpr uint8_t kColourSelection = kColourDarkRed;
constexpr uint8_t kColourIdle = 126;
constexpr uint8_t kColourLit = 70;
constexpr uint8_t kColourDirectory = 250;
constexpr uint8_t kGlyphArrowUp = 0xB4;
constexpr uint8_t kGlyphArrowDown = 0xB6;
constexpr uint8_t kGlyphTrackIdle = 0x85;
constexpr uint8_t kGlyphTrack = 0x95;
constexpr uint8_t kGlyphThumb = 0xCF;
constexpr uint8_t kGlyphDirectory = 0xBD;
constexpr uint8_t kGlyphFile = 0xB5;

int16_t RowY(int32_t row) { return static_cast<int16_t>(kListTop + 8 * row); }

// --- Drives ---

uint32_t DriveMask(OpenFileWindowState& window) {
  if (!window.driveMaskRead) {
    window.driveMask = LogicalDriveMask();
    window.driveMaskRead = true;
  }
  return window.driveMask;
}

bool DrivePresent(OpenFileWindowState& window, char letter) {
  return letter >= 'A' && letter <= 'Z' && (DriveMask(window) & (1u << (letter - 'A'))) != 0;
}

// The letter of the n-th present drive, or 0.
char NthDrive(OpenFileWindowState& window, int32_t n) {
  const uint32_t mask = DriveMask(window);
  for (int32_t bit = 0; bit < 26; ++bit)
    if (mask & (1u << bit) && n-- == 0) return static_cast<char>('A' + bit);
  return 0;
}

// --- The listing ---

void FreeEntries(OpenFileWindowState& window) {
  for (FileEntry* entry = window.entries; entry;) {
    FileEntry* next = entry->next;
    std::free(entry);
    entry = next;
  }
  window.entries = nullptr;
  window.entryCount = 0;
}

struct ListingBuilder {
  FileEntry** tail;
  int32_t count;
  bool directoriesOnly;
};

void AppendHit(void* context, const DirectoryHit& hit) {
  auto& builder = *static_cast<ListingBuilder*>(context);
  if (builder.directoriesOnly && !hit.isDirectory) return;
  // A name holding a backslash cannot be told apart in a drive path.
  if (std::strchr(hit.name, '\\')) return;
  const size_t length = std::strlen(hit.name);
  auto* entry = static_cast<FileEntry*>(std::malloc(sizeof(FileEntry) + length + 1));
  if (!entry) return;  // left out
  entry->next = nullptr;
  entry->index = 0;
  entry->isDirectory = hit.isDirectory ? 1 : 0;
  entry->size = hit.size;
  entry->name = reinterpret_cast<char*>(entry + 1);
  std::memcpy(entry->name, hit.name, length + 1);
  *builder.tail = entry;
  builder.tail = &entry->next;
  ++builder.count;
}

// Directories first, then byte-wise by name: upper case before lower case, "." and ".." first.
bool ListedBefore(const FileEntry* a, const FileEntry* b) {
  if (a->isDirectory != b->isDirectory) return a->isDirectory > b->isDirectory;
  return std::strcmp(a->name, b->name) < 0;
}

void SortEntries(OpenFileWindowState& window) {
  std::vector<FileEntry*> order;
  order.reserve(static_cast<size_t>(window.entryCount));
  for (FileEntry* entry = window.entries; entry; entry = entry->next) order.push_back(entry);
  // A stable sort gives the order of a selection sort that takes the first of equal entries, in
  // n log n: a directory of 10,000 files sorts in milliseconds.
  std::stable_sort(order.begin(), order.end(), ListedBefore);
  FileEntry** link = &window.entries;
  for (size_t i = 0; i < order.size(); ++i) {
    order[i]->index = static_cast<int32_t>(i);
    *link = order[i];
    link = &order[i]->next;
  }
  *link = nullptr;
}

void ReadListing(OpenFileWindowState& window) {
  FreeEntries(window);
  ListingBuilder builder{&window.entries, 0, true};
  char posix[2 * kDirectoryCapacity];
  if (DrivePresent(window, window.currentDirectory[0]) &&
      DrivePathToPosix(window.currentDirectory, posix, sizeof posix)) {
    // Subdirectories, then the module files; a directory whose name matches is listed again.
    if (SearchDirectory(posix, "*", AppendHit, &builder)) {
      builder.directoriesOnly = false;
      for (const char* pattern : kModuleNamePatterns) SearchDirectory(posix, pattern, AppendHit, &builder);
    }
  }
  window.entryCount = builder.count;
  SortEntries(window);
}

// Takes a directory text that already is a drive path ending in a backslash.
bool ChangeDirectory(PlayerState& state, const std::string& directory) {
  OpenFileWindowState& window = state.openFileWindow;
  if (directory.size() > kDirectoryCapacity - 1) {
    ShowNotice(state, "DIRECTORY PATH TOO LONG");
    return false;
  }
  std::memcpy(window.currentDirectory, directory.c_str(), directory.size() + 1);
  ReadListing(window);
  // In a subdirectory the entry after ".." is selected.
  window.entryCursor = 0;
  if (window.entryCount > 1)
    for (const FileEntry* entry = window.entries; entry; entry = entry->next)
      if (std::strcmp(entry->name, "..") == 0) {
        window.entryCursor = entry->index + 1 < window.entryCount ? entry->index + 1 : entry->index;
        break;
      }
  window.focus = kFocusEntries;
  window.firstVisibleEntry = 0;
  return true;
}

// A drive path ending in a backslash, from a drive path or a POSIX path (a relative one starts at
// the working directory). "." and empty parts are dropped and ".." takes the part before it away,
// so "/home/ana/./mods/../x" is "C:\home\ana\x\".
std::string DriveDirectory(const char* path) {
  std::string text;
  const bool drivePath = std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
  if (!drivePath) {
    text = "C:";
    if (path[0] != '/') {
      char cwd[4096];
      if (WorkingDirectory(cwd, sizeof cwd)) text += cwd;
      text += '/';
    }
  }
  text += path;
  std::replace(text.begin(), text.end(), '/', '\\');
  std::vector<std::string> parts;
  size_t start = 2;
  while (start <= text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string directory{static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))), ':', '\\'};
  for (const std::string& part : parts) directory += part + '\\';
  return directory;
}

const FileEntry* EntryAt(const OpenFileWindowState& window, int32_t index) {
  const FileEntry* entry = window.entries;
  while (entry && entry->index != index) entry = entry->next;
  return entry;
}

// --- Drawing ---

void DrawDriveColumn(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  ScreenFont& font = *state.font;
  Pixmap* picture = window.picture;
  PixmapFillRect(picture, kDriveLeft, kListTop, kDriveRight, kListBottom, 0);
  const uint32_t mask = DriveMask(window);
  int32_t count = 0;
  for (int32_t bit = 0; bit < 26 && RowY(count) < kListBottom; ++bit) {
    if (!(mask & (1u << bit))) continue;
    const char letter = static_cast<char>('A' + bit);
    const int16_t y = RowY(count);
    if (count == window.driveCursor && window.focus == kFocusDrives)
      PixmapFillRect(picture, kDriveLeft, y, kDriveRight, static_cast<int16_t>(y + 8), kColourSelection);
    const char text[] = {'[', letter, ':', ']', '\0'};
    if (letter == window.currentDirectory[0])
      font.DrawTextShadowedInColour(text, picture, kDriveLeft, y, kColourLit);
    else
      font.DrawTextInColour(text, picture, kDriveLeft, y, 255);
    ++count;
  }
  window.driveCount = count;
}

void DrawScrollBar(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  ScreenFont& font = *state.font;
  Pixmap* picture = window.picture;
  const int32_t extra = window.entryCount - kListRows;
  if (extra < 1) {
    font.DrawGlyphInColour(kGlyphArrowUp, picture, kScrollBarX, RowY(0), kColourIdle);
    font.DrawGlyphInColour(kGlyphArrowDown, picture, kScrollBarX, RowY(kListRows - 1), kColourIdle);
    for (int32_t cell = 0; cell < kScrollTrackCells; ++cell)
      font.DrawGlyphInColour(kGlyphTrackIdle, picture, kScrollBarX, RowY(1 + cell), kColourIdle);
    return;
  }
  font.DrawGlyphShadowedInColour(kGlyphArrowUp, picture, kScrollBarX, RowY(0), kColourLit);
  font.DrawGlyphShadowedInColour(kGlyphArrowDown, picture, kScrollBarX, RowY(kListRows - 1), kColourLit);
  const int32_t thumb = std::min(window.firstVisibleEntry * (kScrollTrackCells - 1) / extra, kScrollTrackCells - 1);
  for (int32_t cell = 0; cell < kScrollTrackCells; ++cell) {
    if (cell == thumb)
      font.DrawGlyphShadowedInColour(kGlyphThumb, picture, kScrollBarX, RowY(1 + cell), kColourLit);
    else
      font.DrawGlyphInColour(kGlyphTrack, picture, kScrollBarX, RowY(1 + cell), kColourIdle);
  }
}

void DrawEntry(PlayerState& state, const FileEntry& entry, int16_t y) {
  ScreenFont& font = *state.font;
  Pixmap* picture = state.openFileWindow.picture;
  if (entry.isDirectory)
    font.DrawGlyphShadowedInColour(kGlyphDirectory, picture, kEntryLeft, y, kColourDirectory);
  else
    font.DrawGlyphShadowedInColour(kGlyphFile, picture, kEntryLeft, y, kColourLit);
  // A file's name stops a column short of its size; nothing runs into the scroll bar.
  char size[16] = {};
  int32_t nameColumns = kNameColumns;
  if (!entry.isDirectory) {
    std::snprintf(size, sizeof size, "%d", static_cast<int32_t>(entry.size));
    nameColumns -= static_cast<int32_t>(std::strlen(size)) + 1;
  }
  char name[kNameColumns + 1];
  std::snprintf(name, sizeof name, "%.*s", nameColumns, entry.name);
  const int16_t nameEnd = static_cast<int16_t>(kNameLeft + font.DrawTextInColour(name, picture, kNameLeft, y, 255));
  if (!entry.isDirectory)
    font.DrawTextInColour(size, picture, static_cast<int16_t>(kScrollBarX - 6 * std::strlen(size)), y, 255);
  else if (nameEnd < kScrollBarX)
    font.DrawGlyphInColour('\\', picture, nameEnd, y, 255);
}

void DrawEntryList(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  ScreenFont& font = *state.font;
  Pixmap* picture = window.picture;
  PixmapFillRect(picture, kDriveLeft, kPathY, kAreaRight, kPathY + 8, 0);
  char path[kPathColumns + 1];
  std::snprintf(path, sizeof path, "%.*s", kPathColumns, window.currentDirectory);
  font.DrawTextInColour(path, picture, kDriveLeft, kPathY, 255);
  PixmapFillRect(picture, kEntryLeft, kListTop, kAreaRight, kListBottom, 0);
  DrawScrollBar(state);

  // A list that ends before the first visible entry shows its last entry at the top.
  const FileEntry* entry = window.entries;
  while (entry && entry->index < window.firstVisibleEntry && entry->next) entry = entry->next;
  if (entry && entry->index < window.firstVisibleEntry) window.firstVisibleEntry = entry->index;
  for (int32_t row = 0; entry && row < kListRows; ++row, entry = entry->next) {
    const int16_t y = RowY(row);
    if (entry->index == window.entryCursor && window.focus == kFocusEntries)
      PixmapFillRect(picture, kEntryLeft, y, kScrollBarX, static_cast<int16_t>(y + 8), kColourSelection);
    DrawEntry(state, *entry, y);
  }
}

void Redraw(PlayerState& state) {
  DrawEntryList(state);
  DrawDriveColumn(state);
}

// --- Keys ---

void EnterDirectory(PlayerState& state, const char* name) {
  if (std::strcmp(name, ".") == 0) return;
  std::string directory = state.openFileWindow.currentDirectory;
  while (!directory.empty() && directory.back() == '\\') directory.pop_back();
  if (std::strcmp(name, "..") == 0) {
    // The root "C:\" becomes the bare drive "C:" and so the root again.
    const size_t last = directory.rfind('\\');
    if (last != std::string::npos) directory.resize(last);
  } else {
    directory += '\\';
    directory += name;
  }
  ChangeDirectory(state, directory + '\\');
}

void SelectEntry(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  const FileEntry* entry = EntryAt(window, window.entryCursor);
  if (!entry) return;
  if (entry->isDirectory) {
    EnterDirectory(state, entry->name);
    return;
  }
  std::string directory = window.currentDirectory;
  if (directory.empty() || directory.back() != '\\') directory += '\\';
  // The folder's files, in the window's order, become the play list.
  std::vector<std::string> files;
  int32_t chosen = 0;
  for (const FileEntry* file = window.entries; file; file = file->next) {
    if (file->isDirectory) continue;
    if (file == entry) chosen = static_cast<int32_t>(files.size());
    files.push_back(directory + file->name);
  }
  ClosePopup(state);
  ChooseListedFile(state, std::move(files), chosen);
}

void ChangeDrive(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  const char letter = NthDrive(window, window.driveCursor);
  if (letter == 0) return;
  if (letter == window.currentDirectory[0]) {
    window.focus = kFocusEntries;
    return;
  }
  ChangeDirectory(state, std::string{letter, ':', '\\'});
}

int32_t Limit(int32_t value, int32_t count) { return std::max(0, std::min(value, count - 1)); }

// The new cursor of a cursor key, or -1 for another key.
int32_t MovedCursor(int32_t key, int32_t cursor, int32_t count) {
  switch (key) {
    case kVkUp: return Limit(cursor - 1, count);
    case kVkDown: return Limit(cursor + 1, count);
    case kVkPrior: return Limit(cursor - kPageStep, count);
    case kVkNext: return Limit(cursor + kPageStep, count);
    case kVkHome: return 0;
    case kVkEnd: return Limit(count - 1, count);
    default: return -1;
  }
}

}  // namespace

bool SetDirectory(PlayerState& state, const char* path) {
  if (!path) return false;
  return ChangeDirectory(state, DriveDirectory(path));
}

void ShowOpenFileWindow(PlayerState& state) {
  OpenFileWindowState& window = state.openFileWindow;
  if (IsCurrentPopup(state.currentPopup, window.picture)) return;
  if (!window.picture) {
    window.picture = MakeWindowPicture(*state.font, kColumns, kRows);
    if (!window.picture) return;
    DrawWindowFrame(*state.font, window.picture, kColourDarkCyan);
    DrawWindowText(*state.font, window.picture, 1, 1, "\xFE=========== OPEN FILE (F4) ============");
    DrawWindowText(*state.font, window.picture, 1, 24, "------[ENTER] to Select, [ESC] to Cancel");
  }
  Redraw(state);
  ShowPopup(state, window.picture);
}

bool OpenFileWindowKey(PlayerState& state, int32_t key) {
  OpenFileWindowState& window = state.openFileWindow;
  if (!IsCurrentPopup(state.currentPopup, window.picture)) return false;
  const bool onEntries = window.focus == kFocusEntries;
  switch (key) {
    case kVkBack:
      if (onEntries) EnterDirectory(state, "..");
      break;
    case kVkTab:
    case kVkLeft:
    case kVkRight: window.focus = onEntries ? kFocusDrives : kFocusEntries; break;
    case kVkReturn:
      if (onEntries) SelectEntry(state);
      else ChangeDrive(state);
      break;
    default: {
      const int32_t count = onEntries ? window.entryCount : window.driveCount;
      const int32_t cursor = MovedCursor(key, onEntries ? window.entryCursor : window.driveCursor, count);
      if (cursor < 0) return false;
      if (!onEntries) {
        window.driveCursor = cursor;
        break;
      }
      window.entryCursor = cursor;
      if (cursor < window.firstVisibleEntry) window.firstVisibleEntry = cursor;
      if (cursor >= window.firstVisibleEntry + kListRows) window.firstVisibleEntry = cursor - (kListRows - 1);
      break;
    }
  }
  Redraw(state);
  return true;
}

void DisposePopupWindows(PlayerState& state) {
  for (Pixmap** picture : {&state.helpWindow.picture, &state.variablesWindow.picture, &state.infoWindow.picture,
                           &state.openFileWindow.picture}) {
    PixmapDispose(*picture);
    *picture = nullptr;
  }
  FreeEntries(state.openFileWindow);
}

}  // namespace tvp
