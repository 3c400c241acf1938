#pragma once

// UTF-8 <-> UTF-16 for the game finder's calls into Windows, kept apart so
// that the program's one conversion can take its place.

#include <windows.h>

#include <string>

inline std::wstring FinderUtf16(const std::string& text) {
  std::wstring wide(text.size(), L'\0');  // never more units than bytes
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

inline std::string FinderUtf8(const std::wstring& wide) {
  std::string text(wide.size() * 3, '\0');  // at most 3 bytes a unit
  text.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                  text.data(), static_cast<int>(text.size()), nullptr,
                                  nullptr));
  return text;
}
