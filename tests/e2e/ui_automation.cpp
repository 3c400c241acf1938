#include "ui_automation.h"

#include <cstdio>
#include <stdexcept>

namespace {

int g_failures = 0;
std::string g_shots;

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0,
                                       nullptr, nullptr);
  narrow.resize(size > 0 ? size : 1);
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr,
                      nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

void Send(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Sleep(60);
}

INPUT KeyInput(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

// `count` left clicks at a point of the screen, sent at once.
void ClicksAt(int x, int y, int count) {
  SetCursorPos(x, y);
  Sleep(40);
  INPUT down = {};
  down.type = INPUT_MOUSE;
  down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  INPUT up = down;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  std::vector<INPUT> inputs;
  for (int i = 0; i < count; ++i) inputs.insert(inputs.end(), {down, up});
  Send(inputs);
}

}  // namespace

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

void CheckText(const std::string& actual, const std::string& expected,
               const std::string& what) {
  if (actual == expected) {
    Check(true, what + ": \"" + actual + "\"");
  } else {
    Check(false, what + ": \"" + actual + "\", expected \"" + expected + "\"");
  }
}

int Failures() { return g_failures; }

// Read as wide text: some controls hand narrow text to another process in
// their wide form under Wine.
std::string WindowText(HWND window) {
  wchar_t text[1024] = L"";
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  return Narrow(text);
}

std::string ClassOf(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

RECT RectIn(HWND window, HWND parent) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT ScreenRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

Program::Program(const std::string& exe, const std::string& folder) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::string command = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, folder.c_str(), &startup, &info_)) {
    throw std::runtime_error("cannot start " + exe);
  }
  WaitForInputIdle(info_.hProcess, 15000);
}

Program::~Program() {
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

std::vector<HWND> Program::Windows(const std::string& cls,
                                   const std::string& title) const {
  struct Search {
    DWORD process;
    std::string cls, title;
    std::vector<HWND> found;
  } search{info_.dwProcessId, cls, title, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == s.process && IsWindowVisible(window) &&
            ClassOf(window) == s.cls &&
            (s.title.empty() || WindowText(window) == s.title)) {
          s.found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Program::WaitWindow(const std::string& cls, const std::string& title,
                         int ms) const {
  HWND window = nullptr;
  WaitFor(
      [&] {
        const std::vector<HWND> found = Windows(cls, title);
        window = found.empty() ? nullptr : found.front();
        return window != nullptr;
      },
      ms);
  return window;
}

HWND Program::Focus() const {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  return GetGUIThreadInfo(info_.dwThreadId, &gui) ? gui.hwndFocus : nullptr;
}

bool Program::WaitExit(int ms, DWORD* code) const {
  if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(info_.hProcess, code);
  return true;
}

void Program::Sync(HWND window) const {
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
}

void ClickAt(int x, int y) { ClicksAt(x, y, 1); }

void DoubleClickAt(int x, int y) { ClicksAt(x, y, 2); }

void Click(HWND window) {
  const RECT rect = ScreenRect(window);
  ClickAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

void Key(WORD key, WORD modifier) {
  std::vector<INPUT> inputs;
  if (modifier != 0) inputs.push_back(KeyInput(modifier, false));
  inputs.push_back(KeyInput(key, false));
  inputs.push_back(KeyInput(key, true));
  if (modifier != 0) inputs.push_back(KeyInput(modifier, true));
  Send(inputs);
}

void Type(const std::string& text) {
  for (const char c : text) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = static_cast<unsigned char>(c);
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    INPUT release = input;
    release.ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof input);
    SendInput(1, &release, sizeof release);
    Sleep(5);
  }
  Sleep(60);
}

void SetShotFolder(const std::string& folder) { g_shots = folder; }

// The helper watches the folder for <name>.request files holding an
// ImageMagick crop geometry, writes <name>.png and then removes the request.
void Screenshot(const std::string& name, RECT screen) {
  if (g_shots.empty()) return;
  const std::string request = g_shots + "\\" + name + ".request";
  const std::string image = g_shots + "\\" + name + ".png";
  DeleteFileA(image.c_str());
  Sleep(300);  // let the windows finish painting
  std::FILE* file = std::fopen(request.c_str(), "wb");
  if (file == nullptr) {
    Check(false, "screenshot request " + request);
    return;
  }
  if (screen.left < 0) screen.left = 0;
  if (screen.top < 0) screen.top = 0;
  std::fprintf(file, "%ldx%ld+%ld+%ld", screen.right - screen.left,
               screen.bottom - screen.top, screen.left, screen.top);
  std::fclose(file);
  const bool saved = WaitFor(
      [&] {
        return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetFileAttributesA(image.c_str()) != INVALID_FILE_ATTRIBUTES;
      },
      20000);
  Check(saved, "screenshot " + name + ".png");
}
