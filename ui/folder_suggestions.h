#pragma once

// Folder suggestions in an edit box: as the user types a path, a list under
// the box offers the subfolders of the folder typed so far that begin with
// the rest. Built on the shell's autocompletion object with a folder list of
// our own, which works under Wine too (its SHAutoComplete does nothing).

#include <windows.h>

#include <string>

struct IAutoComplete2;
struct IAutoCompleteDropDown;
class CFolderList;

class CFolderSuggestions {
 public:
  CFolderSuggestions() = default;
  CFolderSuggestions(const CFolderSuggestions&) = delete;
  CFolderSuggestions& operator=(const CFolderSuggestions&) = delete;

  // Starts suggesting in `edit` until it is destroyed. Needs COM on this
  // thread; without the autocompletion object the box stays a plain edit box.
  // While the list is open, Enter and Escape in the box belong to the list:
  // Enter takes the chosen folder and Escape closes the list; neither ends
  // the dialog. Tab goes on to the next control with the chosen folder.
  void Attach(HWND edit);

  // Sets the box's text without opening the list.
  void SetText(const std::string& text);

 private:
  bool IsListOpen() const;
  void WidenList() const;
  void Detach();
  static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam,
                                   LPARAM lParam, UINT_PTR id, DWORD_PTR self);

  HWND m_hEdit = nullptr;
  IAutoComplete2* m_pAutoComplete = nullptr;
  IAutoCompleteDropDown* m_pDropDown = nullptr;
  CFolderList* m_pFolders = nullptr;  // what the list offers
};
