#pragma once

#include <windows.h>

// Whether the program runs under Wine rather than Windows: Wine's ntdll
// exports wine_get_version, Windows' does not. A step that only makes up for
// a way in which Wine differs from Windows runs only when this holds, so that
// Windows keeps its own documented behaviour. Safe on any thread.
inline bool RunningUnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}
