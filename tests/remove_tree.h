#pragma once

// Removes a test's folder with all it holds, at any depth. MinGW's
// std::filesystem lists folders through its opendir, which stops at
// MAX_PATH, so on Windows the folder is walked in the extended-length form.

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>

namespace remove_tree_detail {
inline void RemoveAt(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName, child = path + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileW(child.c_str());
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(child.c_str());  // the link, never what it leads to
      } else {
        RemoveAt(child);
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}
}  // namespace remove_tree_detail

inline void RemoveTree(const std::filesystem::path& folder) {
  std::error_code error;
  std::wstring full = std::filesystem::absolute(folder, error).wstring();
  while (full.ends_with(L'\\')) full.pop_back();
  if (!error) remove_tree_detail::RemoveAt(L"\\\\?\\" + full);
}
#else
inline void RemoveTree(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
#endif
