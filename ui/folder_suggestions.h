#pragma once

// Folder suggestions in an edit box: as the user types a path, a list under
// the box offers the subfolders of the folder typed so far that begin with
// the rest. Built on the shell's autocompletion object with a folder list of
// our own, which works under Wine too (its SHAutoComplete does nothing).
// In the empty box, Down, Up, F4, Alt+Down or a click (a tap) open a list of
// the folders found for the user instead (Offer), or one line that says so
// while the search goes on or once it has found none.

#include <windows.h>

#include <string>
#include <vector>

#include "drop_down_list.h"

struct IAutoComplete2;
struct IAutoCompleteDropDown;
class CFolderList;

class CFolderSuggestions {
 public:
  CFolderSuggestions() = default;
  CFolderSuggestions(const CFolderSuggestions&) = delete;
  CFolderSuggestions& operator=(const CFolderSuggestions&) = delete;

  // Starts suggesting in `edit` until it is destroyed. Needs COM on this
  // thread; without the autocompletion object only the found folders are
  // offered. While a list is open, Enter and Escape in the box belong to the
  // list: Enter takes the chosen folder and Escape closes the list; neither
  // ends the dialog. Tab goes on to the next control with the chosen folder.
  // In the found folders' list the arrow keys choose a folder and the box
  // shows it, the pointer only highlights one, and a click takes one. Enter
  // takes what the box shows; Escape empties the box again, as the list found
  // it. Typing closes the list and goes into the box; a click elsewhere, the
  // focus moving on or another window becoming active close it too, and the
  // box keeps what the keys left in it.
  void Attach(HWND edit);

  // Adds `folders` to those that the empty box offers, in the list if open;
  // while `searching`, the list's last line says that the search goes on.
  void Offer(const std::vector<std::string>& folders, bool searching);
  std::size_t FoundCount() const { return m_found.size(); }
  bool Searching() const { return m_bSearching; }

  // Sets the box's text without opening a list, the caret at its end.
  void SetText(const std::string& text);
  // To be called whenever the box's text has changed (EN_CHANGE).
  void TextChanged();

 private:
  void SetBoxText(const std::wstring& text);
  bool IsSuggestionListOpen() const;
  void WidenList() const;
  std::wstring FoundListNote() const;
  bool OpenFoundList();
  bool OnFoundListKey(UINT message, WPARAM key);
  void ShowChosen();
  void TakeChosen(bool take);
  void ForgetFoldersWithoutSeparator(WPARAM character) const;
  void Detach();
  static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam,
                                   LPARAM lParam, UINT_PTR id, DWORD_PTR self);

  HWND m_hEdit = nullptr;
  IAutoComplete2* m_pAutoComplete = nullptr;
  IAutoCompleteDropDown* m_pDropDown = nullptr;
  CFolderList* m_pFolders = nullptr;  // what the list offers
  std::vector<std::wstring> m_found;   // what the empty box offers
  bool m_bSearching = false;           // for more of them
  bool m_bPressedWhenEmpty = false;    // the left button went down in the empty box
  CDropDownList m_foundList;
};
