#include "folder_drop.h"

#include "car_files.h"

namespace {

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The folder that holds `folder` (which ends with a separator), with its own
// separator; empty above the top.
std::string Parent(const std::string& folder) {
  if (folder.size() < 2) return "";
  const std::size_t cut = folder.find_last_of("\\/", folder.size() - 2);
  return cut == std::string::npos ? "" : folder.substr(0, cut + 1);
}

bool HoldsCars(const std::string& folder) {
  return FileExists(ProbeFilePath(folder));
}

}  // namespace

void AcceptDroppedFiles(HWND window) {
  DragAcceptFiles(window, TRUE);
  // Run as administrator, the program gets no messages from programs of a
  // lower level, Explorer among them, but those it lets in: the drop and the
  // two messages that carry a drop's data. Windows before 7 has no filter.
  using AllowMessage = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
  const auto allow = reinterpret_cast<AllowMessage>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
  if (allow == nullptr) return;
  constexpr UINT kCopyGlobalData = 0x0049;
  for (const UINT message : {static_cast<UINT>(WM_DROPFILES),
                             static_cast<UINT>(WM_COPYDATA), kCopyGlobalData}) {
    allow(window, message, MSGFLT_ALLOW, nullptr);
  }
}

std::string TakeFirstDroppedItem(HDROP drop) {
  std::string item;
  if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    item.resize(DragQueryFileA(drop, 0, nullptr, 0) + 1);
    item.resize(DragQueryFileA(drop, 0, item.data(), static_cast<UINT>(item.size())));
  }
  DragFinish(drop);
  return item;
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
  for (std::string above = Parent(folder); !above.empty(); above = Parent(above)) {
    if (HoldsCars(above)) return above;
  }
  return folder;
}
