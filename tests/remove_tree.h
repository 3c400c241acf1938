#pragma once

// Removes a test's folder with all it holds, at any depth: MinGW's
// std::filesystem lists folders through an opendir that stops at MAX_PATH,
// so on Windows the folder is walked in the extended-length form.

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>

inline void RemoveExtended(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
    const std::wstring name = entry.cFileName, child = path + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      DeleteFileW(child.c_str());
    } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      RemoveDirectoryW(child.c_str());  // a link: never what it leads to
    } else {
      RemoveExtended(child);
    }
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  RemoveDirectoryW(path.c_str());
}

inline void RemoveTree(const std::filesystem::path& folder) {
  std::wstring path = std::filesystem::absolute(folder).wstring();
  while (path.ends_with(L'\\')) path.pop_back();
  RemoveExtended(L"\\\\?\\" + path);
}
#else
inline void RemoveTree(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
#endif
