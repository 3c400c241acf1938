#include "folder_drop.h"

#include <cstring>
#include <optional>

#include "car_files.h"
#include "utf16_win32.h"

namespace {

bool IsFolder(const std::string& path) {
  const std::optional<std::wstring> name = ToSystemPath(path);
  const DWORD attributes = name ? GetFileAttributesW(name->c_str()) : INVALID_FILE_ATTRIBUTES;
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The end of the name that starts at `from`, past the separator after it;
// npos when no such name and separator are there.
std::size_t PastName(const std::string& path, std::size_t from) {
  const std::size_t end = path.find_first_of("\\/", from);
  return end == std::string::npos || end == from ? std::string::npos : end + 1;
}

// The length of the volume root that `path` begins with (see FolderAbove);
// 0 without one.
std::size_t RootLength(const std::string& path) {
  const bool prefixed = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                        (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
  const std::size_t at = prefixed ? 4 : 0;
  if (path.size() >= at + 3 && IsDriveLetter(path[at]) && path[at + 1] == ':' &&
      IsSeparator(path[at + 2])) {
    return at + 3;
  }
  std::size_t server = 0;
  if (!prefixed && path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    server = 2;
  } else if (prefixed && _strnicmp(path.c_str() + 4, "UNC\\", 4) == 0) {
    server = 8;
  } else {
    return 0;
  }
  const std::size_t share = PastName(path, server);
  const std::size_t end = share == std::string::npos ? share : PastName(path, share);
  return end == std::string::npos ? 0 : end;
}

bool HoldsCars(const std::string& folder) {
  return FileExists(ProbeFilePath(folder));
}

}  // namespace

void AcceptDroppedFiles(HWND window) {
  DragAcceptFiles(window, TRUE);
  // Run as administrator, the program gets no messages from programs of a
  // lower level, Explorer among them, but those it lets in: the drop and the
  // message that carries a drop's data (0x0049). Windows before 7 has no
  // filter.
  using AllowMessage = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
  const auto allow = reinterpret_cast<AllowMessage>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
  if (allow == nullptr) return;
  constexpr UINT kCopyGlobalData = 0x0049;
  for (const UINT message : {static_cast<UINT>(WM_DROPFILES), kCopyGlobalData}) {
    allow(window, message, MSGFLT_ALLOW, nullptr);
  }
}

std::string TakeFirstDroppedItem(HDROP drop) {
  std::wstring item;
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    item.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    item.resize(DragQueryFileW(drop, 0, item.data(), static_cast<UINT>(item.size())));
  }
  DragFinish(drop);
  return ToUtf8(item);
}

std::string FolderAbove(const std::string& folder) {
  const std::size_t root = RootLength(folder);
  if (root == 0 || folder.size() <= root) return "";
  const std::size_t cut = folder.find_last_of("\\/", folder.size() - 2);
  return cut == std::string::npos || cut + 1 < root ? "" : folder.substr(0, cut + 1);
}

std::string DataFolderForDroppedItem(const std::string& item) {
  std::string folder = item;
  if (!IsFolder(folder)) {
    folder.erase(folder.find_last_of("\\/") + 1);
  } else if (!folder.empty() && !IsSeparator(folder.back())) {
    folder += '\\';
  }
  if (folder.empty()) return folder;  // a drop names its items in full
  if (HoldsCars(folder)) return folder;
  if (HoldsCars(folder + "data\\")) return folder + "data\\";
  for (std::string above = FolderAbove(folder); !above.empty(); above = FolderAbove(above)) {
    if (HoldsCars(above)) return above;
  }
  return folder;
}
