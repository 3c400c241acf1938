#include "folder_drop.h"

#include "car_files.h"
#include "file_system.h"
#include "utf16_win32.h"

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

std::string DataFolderForDroppedItem(const std::string& item) {
  if (std::string found = DataFolderFor(item); !found.empty()) return found;
  if (!IsFolder(item)) return item.substr(0, item.find_last_of("\\/") + 1);
  return item.ends_with('\\') || item.ends_with('/') ? item : item + '\\';
}
