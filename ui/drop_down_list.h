#pragma once

// A list of entries that opens under an edit box without taking the focus
// from it, and that behaves as a combo box's list. The keys stay with the
// box, whose owner moves the choice through the list (Move) and takes it.
// The pointer only highlights an entry. While the list is open it has the
// mouse: a click on an entry takes it, and a click anywhere else closes the
// list and goes no further, as with a combo box. The list closes when the
// box's window moves, changes size or is no longer the active window, and
// when another window takes the mouse.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CDropDownList {
 public:
  // Called with the entry that a click took.
  using Taken = std::function<void(const std::wstring& entry)>;

  CDropDownList() = default;
  ~CDropDownList() { Close(); }
  CDropDownList(const CDropDownList&) = delete;
  CDropDownList& operator=(const CDropDownList&) = delete;

  // Shows `entries` in their order under `box` (above it where the screen has
  // no room below), with none chosen, and `note`, unless empty, as a last
  // line that cannot be chosen: as wide as the box or its widest line within
  // the screen, and at most seven lines high. The pointer highlights an entry
  // only by moving onto it after the list has opened. A click takes an entry
  // on its release, when it was pressed on the list too; the list then
  // closes, and keeps the mouse a double-click's time longer, so that the
  // second click of a double-click reaches nothing beneath. With no line at
  // all nothing opens, and it returns false.
  bool Open(HWND box, const std::vector<std::wstring>& entries, const std::wstring& note,
            Taken taken);
  // Shows `entries`, which begin with those shown, and `note` instead,
  // keeping the choice; closes the list when there is no line left.
  void Update(const std::vector<std::wstring>& entries, const std::wstring& note);
  void Close();
  bool IsOpen() const { return m_hList != nullptr && !m_bLingering; }

  // Moves the choice `step` entries down (up when negative) from the entry
  // highlighted, through no choice past either end; returns the entry then
  // chosen, or nullptr.
  const std::wstring* Move(int step);
  // The entry highlighted, by Move or under the pointer; nullptr for none.
  const std::wstring* Chosen() const;

 private:
  void Place();
  int EntryAt(POINT point) const;
  void OnMouseMove(POINT point);
  void OnPress(UINT message, POINT point);
  void OnRelease(POINT point);
  void WhileLingering(UINT message, POINT point);
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR self);
  static LRESULT CALLBACK OwnerProc(HWND owner, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR self);

  HWND m_hList = nullptr;     // the pop-up list box while open or lingering
  HWND m_hBox = nullptr;
  HWND m_hOwner = nullptr;    // the box's top-level window
  Taken m_taken;
  std::vector<std::wstring> m_entries;
  std::wstring m_strNote;
  POINT m_ptPointer = {};     // where the pointer was last seen, on the screen
  bool m_bPressed = false;    // the left button went down on an entry
  bool m_bScrolling = false;  // the list's scroll bar has the mouse for now
  bool m_bClosing = false;
  // After a click took an entry: hidden, the list keeps the mouse until the
  // double-click time is over or the pointer leaves the double-click
  // rectangle around `m_ptTaken`, and swallows one more click there.
  bool m_bLingering = false;
  bool m_bSecondPress = false;
  POINT m_ptTaken = {};
};
