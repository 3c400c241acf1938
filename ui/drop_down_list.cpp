#include "drop_down_list.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr int kMostRows = 7;

// The entry under a point in the list's client area, or -1.
int EntryAt(HWND list, LPARAM point) {
  const LRESULT found = SendMessageW(list, LB_ITEMFROMPOINT, 0, point);
  return HIWORD(found) == 0 ? LOWORD(found) : -1;
}

}  // namespace

bool CDropDownList::Open(HWND box, const std::vector<std::wstring>& entries,
                         UINT takeMessage) {
  Close();
  if (entries.empty()) return false;
  m_hOwner = GetAncestor(box, GA_ROOT);
  // Never activated, so that the focus and the keys stay in the box.
  m_hList = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"ListBox", nullptr,
                            WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                            0, 0, m_hOwner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (m_hList == nullptr) return false;
  m_hBox = box;
  m_nTakeMessage = takeMessage;
  m_entries = entries;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
  SendMessageW(m_hList, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  const HDC dc = GetDC(m_hList);
  const HGDIOBJ previous = SelectObject(dc, font);
  int widest = 0;
  for (const std::wstring& entry : m_entries) {
    SendMessageW(m_hList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SIZE size = {};
    GetTextExtentPoint32W(dc, entry.c_str(), static_cast<int>(entry.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  SelectObject(dc, previous);
  ReleaseDC(m_hList, dc);

  RECT boxRect;
  GetWindowRect(box, &boxRect);
  MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& screen = monitor.rcWork;
  const int rows = std::min<int>(static_cast<int>(m_entries.size()), kMostRows);
  const int height = rows * static_cast<int>(SendMessageW(m_hList, LB_GETITEMHEIGHT, 0, 0)) +
                     2 * GetSystemMetrics(SM_CYBORDER);
  const int wanted = std::max<int>(boxRect.right - boxRect.left,
                                   widest + GetSystemMetrics(SM_CXVSCROLL) +
                                       2 * GetSystemMetrics(SM_CXBORDER) + 8);
  const int width = std::min<int>(wanted, screen.right - screen.left);
  const int left = std::max<int>(screen.left, std::min<int>(boxRect.left, screen.right - width));
  const int top = boxRect.bottom + height <= screen.bottom ? boxRect.bottom
                                                           : boxRect.top - height;
  SetWindowSubclass(m_hList, &CDropDownList::ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(m_hOwner, &CDropDownList::OwnerProc, 0, reinterpret_cast<DWORD_PTR>(this));
  SetWindowPos(m_hList, HWND_TOP, left, top, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  return true;
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

// The pointer chooses the entry it is over; a click takes it, after this
// message, since taking it closes the list. A list box would take the focus
// on a click, so the click does not reach it.
LRESULT CALLBACK CDropDownList::ListProc(HWND list, UINT message, WPARAM wParam,
                                         LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* dropDown = reinterpret_cast<CDropDownList*>(self);
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_MOUSEMOVE:
      if (const int entry = EntryAt(list, lParam); entry >= 0) {
        SendMessageW(list, LB_SETCURSEL, entry, 0);
      }
      return 0;
    case WM_LBUTTONDOWN:
      if (const int entry = EntryAt(list, lParam); entry >= 0) {
        SendMessageW(list, LB_SETCURSEL, entry, 0);
        PostMessageW(dropDown->m_hBox, dropDown->m_nTakeMessage, 0, 0);
      }
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, &CDropDownList::ListProc, 0);
      RemoveWindowSubclass(dropDown->m_hOwner, &CDropDownList::OwnerProc, 0);
      dropDown->m_hList = nullptr;
      dropDown->m_entries.clear();
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
