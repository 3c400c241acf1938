#pragma once

// A list of entries that opens under an edit box without taking the focus
// from it: the keys stay with the box, whose owner moves the choice through
// the list and takes it. It closes when the box's window moves, changes size
// or is no longer the active window.

#include <windows.h>

#include <string>
#include <vector>

class CDropDownList {
 public:
  CDropDownList() = default;
  ~CDropDownList() { Close(); }
  CDropDownList(const CDropDownList&) = delete;
  CDropDownList& operator=(const CDropDownList&) = delete;

  // Shows `entries` in their order under `box` (above it where the screen has
  // no room below), with none chosen: as wide as the box or its widest entry
  // within the screen, and at most seven entries high. A click on an entry
  // chooses it and sends `takeMessage` to the box. With no entries nothing
  // opens and it returns false.
  bool Open(HWND box, const std::vector<std::wstring>& entries, UINT takeMessage);
  void Close();
  bool IsOpen() const { return m_hList != nullptr; }

  // Moves the choice `step` entries down (up when negative), through no
  // choice past either end; returns the entry then chosen, or nullptr.
  const std::wstring* Move(int step);
  const std::wstring* Chosen() const;

 private:
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK OwnerProc(HWND owner, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);

  HWND m_hList = nullptr;   // the pop-up list box while open
  HWND m_hBox = nullptr;
  HWND m_hOwner = nullptr;  // the box's top-level window
  UINT m_nTakeMessage = 0;
  std::vector<std::wstring> m_entries;
};
