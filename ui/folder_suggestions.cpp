#include "folder_suggestions.h"

#include <commctrl.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <algorithm>
#include <new>
#include <optional>

#include "dpi_icon.h"
#include "folder_list.h"
#include "framework.h"
#include "under_wine.h"
#include "utf16_win32.h"

namespace {

// The found folders' list's last line while the search goes on, and its one
// line once the search has ended with none.
constexpr wchar_t kStillSearching[] = L"(Still searching this PC...)";
constexpr wchar_t kNoneFound[] =
    L"No game folder was found on this PC: type or drop the data folder.";

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

void CFolderSuggestions::Attach(HWND edit) {
  m_hEdit = edit;
  IAutoComplete2* autoComplete = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IAutoComplete2, reinterpret_cast<void**>(&autoComplete)))) {
    CFolderList* folders = new (std::nothrow) CFolderList;
    if (folders != nullptr && SUCCEEDED(autoComplete->SetOptions(ACO_AUTOSUGGEST)) &&
        SUCCEEDED(autoComplete->Init(edit, static_cast<IEnumString*>(folders), nullptr,
                                     nullptr))) {
      m_pFolders = folders;
      autoComplete->QueryInterface(IID_IAutoCompleteDropDown,
                                   reinterpret_cast<void**>(&m_pDropDown));
      m_pAutoComplete = autoComplete;
    } else {
      if (folders != nullptr) folders->Release();
      autoComplete->Release();
    }
  }
  // After Init, so that the box sees the dialog's questions and the keys
  // before the autocompletion object does.
  SetWindowSubclass(edit, &CFolderSuggestions::EditProc, 0,
                    reinterpret_cast<DWORD_PTR>(this));
}

// A folder whose name ToUtf16 refuses (one with a lone surrogate) could not
// be reached by the runs, so it is left out.
void CFolderSuggestions::Offer(const std::vector<std::string>& folders, bool searching) {
  for (const std::string& folder : folders) {
    if (std::optional<std::wstring> wide = ToUtf16(folder)) m_found.push_back(std::move(*wide));
  }
  m_bSearching = searching;
  m_foundList.Update(m_found, FoundListNote());
}

std::wstring CFolderSuggestions::FoundListNote() const {
  if (m_bSearching) return kStillSearching;
  return m_found.empty() ? kNoneFound : L"";
}

void CFolderSuggestions::SetText(const std::string& text) {
  m_foundList.Close();
  SetBoxText(ToUtf16ForDisplay(text));
}

// A folder list being expanded for a prefix that the box no longer begins
// with (on Windows, on the autocompletion object's thread) keeps its old list.
void CFolderSuggestions::TextChanged() {
  if (m_pFolders != nullptr) m_pFolders->SetTyped(WindowText(m_hEdit));
}

// The caret goes to the end, where typing goes on, and shows it.
void CFolderSuggestions::SetBoxText(const std::wstring& text) {
  if (m_pAutoComplete != nullptr) m_pAutoComplete->Enable(FALSE);
  SetWindowTextW(m_hEdit, text.c_str());
  if (m_pAutoComplete != nullptr) m_pAutoComplete->Enable(TRUE);
  const int end = GetWindowTextLengthW(m_hEdit);
  SendMessageW(m_hEdit, EM_SETSEL, end, end);
  SendMessageW(m_hEdit, EM_SCROLLCARET, 0, 0);
}

bool CFolderSuggestions::IsSuggestionListOpen() const {
  DWORD status = 0;
  LPWSTR chosen = nullptr;
  if (m_pDropDown == nullptr || FAILED(m_pDropDown->GetDropDownStatus(&status, &chosen))) {
    return false;
  }
  CoTaskMemFree(chosen);
  return (status & ACDD_VISIBLE) != 0;
}

// With nothing chosen; a click takes the folder clicked.
bool CFolderSuggestions::OpenFoundList() {
  return m_foundList.Open(m_hEdit, m_found, FoundListNote(),
                          [this](const std::wstring& folder) { SetBoxText(folder); });
}

// Returns whether the key was the found folders' list's. Closed, the list
// opens on Down, Up, F4, Alt+Down or Alt+Up in the empty box, with nothing
// chosen; these never reach the autocompletion object then. Open, Down and Up
// choose, Enter, F4 and Alt with an arrow take what the box shows, Escape
// empties it again; any other key (but Shift, Ctrl and Alt themselves)
// closes the list and does its own work.
bool CFolderSuggestions::OnFoundListKey(UINT message, WPARAM key) {
  const bool arrow = key == VK_DOWN || key == VK_UP;
  const bool toggle = message == WM_SYSKEYDOWN ? arrow : key == VK_F4;
  if (!m_foundList.IsOpen()) {
    return (arrow || toggle) && GetWindowTextLengthW(m_hEdit) == 0 && OpenFoundList();
  }
  if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) return false;
  if (arrow && !toggle) {
    m_foundList.Move(key == VK_DOWN ? 1 : -1);
    ShowChosen();
    return true;
  }
  if (!toggle && key != VK_RETURN && key != VK_ESCAPE) {
    m_foundList.Close();
    return false;
  }
  TakeChosen(key != VK_ESCAPE);
  // TranslateMessage has queued Enter's or Escape's character already; the
  // autocompletion object would take it as typing.
  MSG character;
  if (key == VK_RETURN || key == VK_ESCAPE) {
    PeekMessageW(&character, m_hEdit, WM_CHAR, WM_CHAR, PM_REMOVE);
  }
  return true;
}

// The box is empty without a choice, as the list found it.
void CFolderSuggestions::ShowChosen() {
  const std::wstring* chosen = m_foundList.Chosen();
  SetBoxText(chosen != nullptr ? *chosen : std::wstring());
}

// The box shows the choice already; not `take`n, it is empty again.
void CFolderSuggestions::TakeChosen(bool take) {
  if (!take && GetWindowTextLengthW(m_hEdit) != 0) SetBoxText(std::wstring());
  m_foundList.Close();
}

// The autocompletion object has the folder list expanded only when a
// separator is typed, and otherwise lists what it holds: once none is left
// in the box, the subfolders of a folder typed before. So before a character
// (other than a separator) or a paste replaces the selection, the list is
// emptied if the rest of the text holds no separator.
void CFolderSuggestions::ForgetFoldersWithoutSeparator(WPARAM character) const {
  if (m_pFolders == nullptr || IsSeparator(static_cast<wchar_t>(character))) return;
  std::wstring text = WindowText(m_hEdit);
  DWORD start = 0, end = 0;
  SendMessageW(m_hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  if (start <= end && end <= text.size()) text.erase(start, end - start);
  if (std::none_of(text.begin(), text.end(), IsSeparator)) m_pFolders->Expand(L"");
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
  const int wanted = m_pFolders->WidestEntry(dc) + MetricForWindow(m_hEdit, SM_CXVSCROLL) +
                     4 * MetricForWindow(m_hEdit, SM_CXEDGE) + 8;
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
  m_foundList.Close();
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
      // into Cancel; while a list is open, both go to the list instead.
      const auto* key = reinterpret_cast<const MSG*>(lParam);
      if (key != nullptr && key->message == WM_KEYDOWN &&
          (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE) &&
          (suggestions->m_foundList.IsOpen() || suggestions->IsSuggestionListOpen())) {
        return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
      }
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (suggestions->OnFoundListKey(message, wParam)) return 0;
      // Enter takes the chosen folder and closes the list. Wine then selects
      // the whole text; the caret is put after the folder, where Windows
      // leaves it, so that typing goes into it.
      if (message == WM_KEYDOWN && wParam == VK_RETURN && RunningUnderWine() &&
          suggestions->IsSuggestionListOpen()) {
        const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
        const int end = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, end, end);
        return result;
      }
      break;
    case WM_CHAR:
    case WM_PASTE:
      suggestions->ForgetFoldersWithoutSeparator(message == WM_CHAR ? wParam : 0);
      [[fallthrough]];
    case WM_KILLFOCUS:
      suggestions->m_foundList.Close();  // typing into the box or leaving it
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      suggestions->m_bPressedWhenEmpty =
          GetWindowTextLengthW(edit) == 0 && !suggestions->m_foundList.IsOpen();
      break;
    case WM_LBUTTONUP: {
      // A click in the empty box opens the list once the box has taken it.
      const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
      if (suggestions->m_bPressedWhenEmpty && GetWindowTextLengthW(edit) == 0 &&
          GetFocus() == edit) {
        suggestions->OpenFoundList();
      }
      suggestions->m_bPressedWhenEmpty = false;
      return result;
    }
    case WM_NCDESTROY:
      suggestions->Detach();
      break;
  }
  const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
  // The list opens and changes as the text does.
  if ((message == WM_CHAR || message == WM_KEYDOWN || message == WM_PASTE) &&
      RunningUnderWine() && suggestions->IsSuggestionListOpen()) {
    suggestions->WidenList();
  }
  return result;
}
