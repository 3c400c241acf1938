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
  // What the list tells the box, in the wParam of the box's message.
  enum Event : WPARAM {
    kChoiceMoved,  // the pointer chose another entry (sent)
    kTaken,        // a click took the chosen entry (posted: taking closes the list)
  };

  CDropDownList() = default;
  ~CDropDownList() { Close(); }
  CDropDownList(const CDropDownList&) = delete;
  CDropDownList& operator=(const CDropDownList&) = delete;

  // Shows `entries` in their order under `box` (above it where the screen has
  // no room below), with none chosen, and `note`, unless empty, as a last
  // line that cannot be chosen: as wide as the box or its widest line within
  // the screen, and at most seven lines high. The pointer chooses an entry
  // only by moving onto it after the list has opened, as in a menu. A click
  // takes an entry on its release, when it was pressed on the list too, and
  // no press of the same click, nor of a double-click, reaches the window
  // beneath. The list tells the box with `message`. With no line at all
  // nothing opens, and it returns false.
  bool Open(HWND box, const std::vector<std::wstring>& entries, const std::wstring& note,
            UINT message);
  // Shows `entries`, which begin with those shown, and `note` instead,
  // keeping the choice; closes the list when there is no line left.
  void Update(const std::vector<std::wstring>& entries, const std::wstring& note);
  void Close();
  bool IsOpen() const { return m_hList != nullptr; }

  // Moves the choice `step` entries down (up when negative), through no
  // choice past either end; returns the entry then chosen, or nullptr.
  const std::wstring* Move(int step);
  const std::wstring* Chosen() const;

 private:
  void Place();
  void Choose(LPARAM point, bool tell);
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK OwnerProc(HWND owner, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);

  HWND m_hList = nullptr;   // the pop-up list box while open
  HWND m_hBox = nullptr;
  HWND m_hOwner = nullptr;  // the box's top-level window
  UINT m_nMessage = 0;
  std::vector<std::wstring> m_entries;
  std::wstring m_strNote;
  POINT m_ptPointer = {};   // where the pointer was last seen, on the screen
  bool m_bPressed = false;  // the left button went down on an entry
};
