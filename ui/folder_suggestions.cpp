#include "folder_suggestions.h"

#include <commctrl.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <algorithm>
#include <new>

#include "folder_list.h"
#include "under_wine.h"
#include "utf16_win32.h"

void CFolderSuggestions::Attach(HWND edit) {
  IAutoComplete2* autoComplete = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAutoComplete2,
                              reinterpret_cast<void**>(&autoComplete)))) {
    return;
  }
  CFolderList* folders = new (std::nothrow) CFolderList;
  if (folders == nullptr || FAILED(autoComplete->SetOptions(ACO_AUTOSUGGEST)) ||
      FAILED(autoComplete->Init(edit, static_cast<IEnumString*>(folders), nullptr,
                                nullptr))) {
    if (folders != nullptr) folders->Release();
    autoComplete->Release();
    return;
  }
  m_pFolders = folders;
  autoComplete->QueryInterface(IID_IAutoCompleteDropDown,
                               reinterpret_cast<void**>(&m_pDropDown));
  m_pAutoComplete = autoComplete;
  m_hEdit = edit;
  // After Init, so that the box sees the dialog's questions before the
  // autocompletion object does.
  SetWindowSubclass(edit, &CFolderSuggestions::EditProc, 0,
                    reinterpret_cast<DWORD_PTR>(this));
}

void CFolderSuggestions::SetText(const std::string& text) {
  if (m_pAutoComplete != nullptr) m_pAutoComplete->Enable(FALSE);
  SetWindowTextW(m_hEdit, ToUtf16ForDisplay(text).c_str());
  if (m_pAutoComplete != nullptr) m_pAutoComplete->Enable(TRUE);
}

bool CFolderSuggestions::IsListOpen() const {
  DWORD status = 0;
  LPWSTR chosen = nullptr;
  if (m_pDropDown == nullptr || FAILED(m_pDropDown->GetDropDownStatus(&status, &chosen))) {
    return false;
  }
  CoTaskMemFree(chosen);
  return (status & ACDD_VISIBLE) != 0;
}

// Wine's list is as wide as the box, which cuts a deep folder's entries off
// before the names that tell them apart; so it is widened to its widest
// entry, within the screen. It is the pop-up that opens right under the box.
// Only for Wine: on Windows the autocompletion object sizes the list itself
// (the user can widen it by its grip) and moves it after every update, and an
// input method's window may sit in that place.
void CFolderSuggestions::WidenList() const {
  struct Search {
    RECT box;
    HWND list;
  } search = {{}, nullptr};
  GetWindowRect(m_hEdit, &search.box);
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        RECT r;
        GetWindowRect(window, &r);
        if (IsWindowVisible(window) && (GetWindowLongW(window, GWL_STYLE) & WS_POPUP) &&
            r.left == s.box.left && r.top >= s.box.bottom && r.top <= s.box.bottom + 4) {
          s.list = window;
        }
        return s.list == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.list == nullptr) return;

  const HDC dc = GetDC(m_hEdit);
  const HGDIOBJ font = SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageW(m_hEdit, WM_GETFONT, 0, 0)));
  const int wanted = m_pFolders->WidestEntry(dc) + GetSystemMetrics(SM_CXVSCROLL) +
                     4 * GetSystemMetrics(SM_CXEDGE) + 8;
  SelectObject(dc, font);
  ReleaseDC(m_hEdit, dc);
  RECT list;
  GetWindowRect(search.list, &list);
  if (wanted <= list.right - list.left) return;
  MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(m_hEdit, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& screen = monitor.rcWork;
  const int width = std::min<int>(wanted, screen.right - screen.left);
  const int left = std::max<int>(screen.left, std::min<int>(list.left, screen.right - width));
  SetWindowPos(search.list, nullptr, left, list.top, width, list.bottom - list.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void CFolderSuggestions::Detach() {
  RemoveWindowSubclass(m_hEdit, &CFolderSuggestions::EditProc, 0);
  if (m_pDropDown != nullptr) m_pDropDown->Release();
  if (m_pAutoComplete != nullptr) m_pAutoComplete->Release();
  if (m_pFolders != nullptr) m_pFolders->Release();
  m_pDropDown = nullptr;
  m_pAutoComplete = nullptr;
  m_pFolders = nullptr;
}

LRESULT CALLBACK CFolderSuggestions::EditProc(HWND edit, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* suggestions = reinterpret_cast<CFolderSuggestions*>(self);
  switch (message) {
    case WM_GETDLGCODE: {
      // The dialog asks before it turns Enter into its OK command and Escape
      // into Cancel; while the list is open, both go to the list instead.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && key->message == WM_KEYDOWN &&
          (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE) &&
          suggestions->IsListOpen()) {
        return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
      }
      break;
    }
    case WM_KEYDOWN:
      // Enter takes the chosen folder and closes the list. Wine then selects
      // the whole text; the caret is put after the folder, where Windows
      // leaves it, so that typing goes into it.
      if (wParam == VK_RETURN && RunningUnderWine() && suggestions->IsListOpen()) {
        const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
        const int end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        return result;
      }
      break;
    case WM_NCDESTROY:
      suggestions->Detach();
      break;
  }
  const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
  // The list opens and changes as the text does.
  if ((message == WM_CHAR || message == WM_KEYDOWN || message == WM_PASTE) &&
      RunningUnderWine() && suggestions->IsListOpen()) {
    suggestions->WidenList();
  }
  return result;
}
