#include "drop_down_list.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

#include "dpi_icon.h"

namespace {

constexpr int kMostRows = 7;

// The entry line under a point in the list's client area, or -1.
int LineAt(HWND list, LPARAM point) {
  const LRESULT found = SendMessageW(list, LB_ITEMFROMPOINT, 0, point);
  return HIWORD(found) == 0 ? LOWORD(found) : -1;
}

// The rest of a double-click whose first click took an entry: the list has
// closed, so its second press and release would reach the window beneath.
// A mouse hook on the dialog's thread (the only one with lists) drops them
// while they come within the system's double-click time and distance; it
// goes at the first other press or once that time is over.
struct SecondClick {
  HHOOK hook = nullptr;
  DWORD time = 0;  // of the taking release
  POINT at = {};
  bool pressed = false;  // dropped the press; the release goes too
} g_secondClick;

void EndSecondClick() {
  if (g_secondClick.hook != nullptr) UnhookWindowsHookEx(g_secondClick.hook);
  g_secondClick = {};
}

LRESULT CALLBACK DropSecondClick(int code, WPARAM message, LPARAM info) {
  if (code < 0) return CallNextHookEx(nullptr, code, message, info);
  const POINT at = reinterpret_cast<const MOUSEHOOKSTRUCT*>(info)->pt;
  const bool press = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK ||
                     message == WM_NCLBUTTONDOWN || message == WM_NCLBUTTONDBLCLK;
  const bool release = message == WM_LBUTTONUP || message == WM_NCLBUTTONUP;
  const bool inTime = GetTickCount() - g_secondClick.time <= GetDoubleClickTime();
  const bool nearby =
      std::abs(at.x - g_secondClick.at.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
      std::abs(at.y - g_secondClick.at.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
  bool drop = false;
  if (press && inTime && nearby && !g_secondClick.pressed) {
    drop = true;
    if (code == HC_ACTION) g_secondClick.pressed = true;
  } else if (release && g_secondClick.pressed) {
    drop = true;
    if (code == HC_ACTION) EndSecondClick();
  } else if (press || (!inTime && !g_secondClick.pressed)) {
    EndSecondClick();
  }
  return drop ? 1 : CallNextHookEx(nullptr, code, message, info);
}

}  // namespace

bool CDropDownList::Open(HWND box, const std::vector<std::wstring>& entries,
                         const std::wstring& note, UINT message) {
  Close();
  if (entries.empty() && note.empty()) return false;
  m_hOwner = GetAncestor(box, GA_ROOT);
  // Never activated, so that the focus and the keys stay in the box.
  m_hList = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"ListBox", nullptr,
                            WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                            0, 0, m_hOwner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (m_hList == nullptr) return false;
  m_hBox = box;
  m_nMessage = message;
  m_bPressed = false;
  GetCursorPos(&m_ptPointer);
  SendMessageW(m_hList, WM_SETFONT, static_cast<WPARAM>(SendMessageW(box, WM_GETFONT, 0, 0)),
               FALSE);
  SetWindowSubclass(m_hList, &CDropDownList::ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(m_hOwner, &CDropDownList::OwnerProc, 0, reinterpret_cast<DWORD_PTR>(this));
  Update(entries, note);
  return true;
}

void CDropDownList::Update(const std::vector<std::wstring>& entries, const std::wstring& note) {
  if (m_hList == nullptr) return;
  if (entries.empty() && note.empty()) {
    Close();
    return;
  }
  const LRESULT chosen = SendMessageW(m_hList, LB_GETCURSEL, 0, 0);
  if (!m_strNote.empty()) SendMessageW(m_hList, LB_DELETESTRING, m_entries.size(), 0);
  for (std::size_t i = m_entries.size(); i < entries.size(); ++i) {
    SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].c_str()));
  }
  if (!note.empty()) SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(note.c_str()));
  m_entries = entries;
  m_strNote = note;
  SendMessageW(m_hList, LB_SETCURSEL, chosen, 0);
  Place();
}

// Sized with the metrics of the box's monitor.
void CDropDownList::Place() {
  const HDC dc = GetDC(m_hList);
  const HGDIOBJ previous =
      SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(m_hList, WM_GETFONT, 0, 0)));
  int widest = 0;
  const int lines = static_cast<int>(SendMessageW(m_hList, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < lines; ++i) {
    const std::wstring& line = i < static_cast<int>(m_entries.size()) ? m_entries[i] : m_strNote;
    SIZE size = {};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, previous);
  ReleaseDC(m_hList, dc);

  RECT boxRect;
  GetWindowRect(m_hBox, &boxRect);
  MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(m_hBox, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& screen = monitor.rcWork;
  const int height = std::min(lines, kMostRows) *
                         static_cast<int>(SendMessageW(m_hList, LB_GETITEMHEIGHT, 0, 0)) +
                     2 * MetricForWindow(m_hBox, SM_CYBORDER);
  const int wanted =
      std::max<int>(boxRect.right - boxRect.left,
                    widest + MetricForWindow(m_hBox, SM_CXVSCROLL) +
                        2 * MetricForWindow(m_hBox, SM_CXBORDER) + 8);
  const int width = std::min<int>(wanted, screen.right - screen.left);
  const int left = std::max<int>(screen.left, std::min<int>(boxRect.left, screen.right - width));
  const int top = boxRect.bottom + height <= screen.bottom ? boxRect.bottom
                                                           : boxRect.top - height;
  SetWindowPos(m_hList, HWND_TOP, left, top, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// The list is forgotten as its window goes, also when its owner takes it along.
void CDropDownList::Close() {
  if (m_hList != nullptr) DestroyWindow(m_hList);
}

const std::wstring* CDropDownList::Move(int step) {
  if (m_hList == nullptr) return nullptr;
  const int count = static_cast<int>(m_entries.size());
  const int chosen = static_cast<int>(SendMessageW(m_hList, LB_GETCURSEL, 0, 0));
  int next = chosen + step;
  if (chosen < 0) next = step > 0 ? step - 1 : count + step;
  if (next < 0 || next >= count) next = -1;
  SendMessageW(m_hList, LB_SETCURSEL, next, 0);
  return Chosen();
}

const std::wstring* CDropDownList::Chosen() const {
  if (m_hList == nullptr) return nullptr;
  const LRESULT chosen = SendMessageW(m_hList, LB_GETCURSEL, 0, 0);
  return chosen >= 0 && chosen < static_cast<LRESULT>(m_entries.size())
             ? &m_entries[static_cast<std::size_t>(chosen)]
             : nullptr;
}

// Chooses the entry at `point` in the list's client area, if any, and tells
// the box when the choice moved.
void CDropDownList::Choose(LPARAM point, bool tell) {
  const int line = LineAt(m_hList, point);
  if (line < 0 || line >= static_cast<int>(m_entries.size()) ||
      line == SendMessageW(m_hList, LB_GETCURSEL, 0, 0)) {
    return;
  }
  SendMessageW(m_hList, LB_SETCURSEL, line, 0);
  if (tell) SendMessageW(m_hBox, m_nMessage, kChoiceMoved, 0);
}

// The list box's own handling of the mouse would take the focus, so the
// mouse's messages do not reach it.
LRESULT CALLBACK CDropDownList::ListProc(HWND list, UINT message, WPARAM wParam,
                                         LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* dropDown = reinterpret_cast<CDropDownList*>(self);
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_MOUSEMOVE: {
      // A list that opens, moves or grows under a resting pointer gets moves
      // to the same place.
      POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(list, &at);
      if (at.x == dropDown->m_ptPointer.x && at.y == dropDown->m_ptPointer.y) return 0;
      dropDown->m_ptPointer = at;
      dropDown->Choose(lParam, true);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      const int line = LineAt(list, lParam);
      dropDown->m_bPressed = line >= 0 && line < static_cast<int>(dropDown->m_entries.size());
      if (dropDown->m_bPressed) {
        dropDown->Choose(lParam, true);
        SetCapture(list);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (!dropDown->m_bPressed) return 0;
      dropDown->m_bPressed = false;
      ReleaseCapture();
      RECT client;
      GetClientRect(list, &client);
      const POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const int line = LineAt(list, lParam);
      if (PtInRect(&client, at) && line >= 0 &&
          line < static_cast<int>(dropDown->m_entries.size())) {
        dropDown->Choose(lParam, true);
        EndSecondClick();
        g_secondClick.hook = SetWindowsHookExW(WH_MOUSE, &DropSecondClick, nullptr,
                                               GetCurrentThreadId());
        g_secondClick.time = GetTickCount();
        g_secondClick.at = at;
        ClientToScreen(list, &g_secondClick.at);
        PostMessageW(dropDown->m_hBox, dropDown->m_nMessage, kTaken, 0);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      dropDown->m_bPressed = false;
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, &CDropDownList::ListProc, 0);
      RemoveWindowSubclass(dropDown->m_hOwner, &CDropDownList::OwnerProc, 0);
      dropDown->m_hList = nullptr;
      dropDown->m_entries.clear();
      dropDown->m_strNote.clear();
      break;
  }
  return DefSubclassProc(list, message, wParam, lParam);
}

LRESULT CALLBACK CDropDownList::OwnerProc(HWND owner, UINT message, WPARAM wParam,
                                          LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  const LRESULT result = DefSubclassProc(owner, message, wParam, lParam);
  if (message == WM_MOVE || message == WM_SIZE ||
      (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE)) {
    reinterpret_cast<CDropDownList*>(self)->Close();
  }
  return result;
}
