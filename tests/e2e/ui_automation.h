#pragma once

// Drives another program's windows the way a user does (mouse clicks and key
// presses through SendInput) and reads what the user would see.

#include <windows.h>

#include <string>
#include <vector>

// Prints "ok" or "FAIL" with `what` and counts the failures.
void Check(bool ok, const std::string& what);
// Check that `actual` equals `expected`, showing both when not.
void CheckText(const std::string& actual, const std::string& expected,
               const std::string& what);
int Failures();

// Polls `done` every 20 ms until it holds or `ms` have passed.
template <class Done>
bool WaitFor(Done done, int ms = 10000) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= ms) return false;
    Sleep(20);
  }
}

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
// The window's rectangle in `parent`'s client coordinates.
RECT RectIn(HWND window, HWND parent);
RECT ScreenRect(HWND window);
// The children of `parent` in Z order, which for a dialog is template order.
std::vector<HWND> Children(HWND parent);

// The program under test, started in `folder`; ended when this object goes
// if it is still running.
class Program {
 public:
  Program(const std::string& exe, const std::string& folder);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The visible top-level windows of the program with this class and title.
  std::vector<HWND> Windows(const std::string& cls, const std::string& title) const;
  // Waits for such a window; nullptr after `ms`.
  HWND WaitWindow(const std::string& cls, const std::string& title,
                  int ms = 10000) const;
  // The window with the keyboard focus in the program's thread.
  HWND Focus() const;
  // Whether the program ended within `ms`, with its exit code.
  bool WaitExit(int ms, DWORD* code) const;
  // Returns once the program's thread has handled everything sent so far.
  void Sync(HWND window) const;

 private:
  PROCESS_INFORMATION info_ = {};
};

void ClickAt(int x, int y);
// Two left clicks at once, which the system takes as a double-click.
void DoubleClickAt(int x, int y);
// A left click in the middle of the window.
void Click(HWND window);
// Presses and releases `key`, with `modifier` held down if it is not 0.
void Key(WORD key, WORD modifier = 0);
// Types the text as characters.
void Type(const std::string& text);

// Asks the screenshot helper beside the display for an image of the screen
// rectangle, saved as <folder>\<name>.png; does nothing without a folder.
void SetShotFolder(const std::string& folder);
void Screenshot(const std::string& name, RECT screen);
