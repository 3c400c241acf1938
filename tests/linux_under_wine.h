#pragma once

// Linux itself, for tests under Wine that make what a Windows program
// cannot: Linux's symbolic links (which Wine shows as reparse points), and
// many folders at once.

#include <windows.h>

#include <cstdio>
#include <string>

#include "utf16_win32.h"

// The Linux path of a Windows one, as Wine's kernel32 gives it; empty on
// Windows.
inline std::string LinuxPath(const std::string& path) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName != nullptr ? unixName(ToUtf16(path).value_or(L"").c_str()) : nullptr;
  const std::string linux = name != nullptr ? name : "";
  if (name != nullptr) HeapFree(GetProcessHeap(), 0, name);
  return linux;
}

// Runs `script` (without double quotes: a path goes in single quotes) in
// Linux's shell, which Wine starts as Linux would, and waits for it; returns
// its exit code, or -1 when it did not end within a minute. Wine's process
// handle ends as the shell starts, so the shell writes the code to a file as
// it ends.
inline int RunLinux(const std::string& script) {
  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  const std::wstring done = temp + std::wstring(L"linux-") + std::to_wstring(GetTickCount64()) +
                            L"-" + std::to_wstring(GetCurrentProcessId());
  const std::string marker = "'" + LinuxPath(ToUtf8(done)) + "'";
  std::wstring command = ToUtf16("/bin/sh -c \"" + script + "; echo $? >" + marker +
                                 ".part && mv " + marker + ".part " + marker + "\"")
                             .value_or(L"");
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int waited = 0; waited < 60000; waited += 20, Sleep(20)) {
    if (std::FILE* file = _wfopen(done.c_str(), L"rb")) {
      int code = -1;
      if (std::fscanf(file, "%d", &code) != 1) code = -1;
      std::fclose(file);
      DeleteFileW(done.c_str());
      return code;
    }
  }
  return -1;
}
