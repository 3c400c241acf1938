#pragma once

#include <windows.h>

#include <string>

// Whether the program runs under Wine rather than Windows: Wine's ntdll
// exports wine_get_version, Windows' does not. A step that only makes up for
// a way in which Wine differs from Windows runs only when this holds, so that
// Windows keeps its own documented behaviour. Safe on any thread.
inline bool RunningUnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// Under Wine, the drive that Linux's root folder is ("Z:"), as Wine's
// kernel32 names "/"; empty on Windows, and where no drive is that folder.
inline const std::wstring& LinuxRootDrive() {
  static const std::wstring drive = [] {
    using DosName = WCHAR*(CDECL*)(LPCSTR);
    const auto dosName = RunningUnderWine()
                             ? reinterpret_cast<DosName>(reinterpret_cast<void (*)()>(
                                   GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                  "wine_get_dos_file_name")))
                             : nullptr;
    WCHAR* root = dosName != nullptr ? dosName("/") : nullptr;
    std::wstring name = root != nullptr ? root : L"";
    if (root != nullptr) HeapFree(GetProcessHeap(), 0, root);
    const bool isDrive = name.size() == 3 && name[1] == L':' && name[2] == L'\\';
    return isDrive ? name.substr(0, 2) : std::wstring();
  }();
  return drive;
}
