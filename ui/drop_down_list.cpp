#include "drop_down_list.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdlib>

#include "dpi_icon.h"

namespace {

constexpr int kMostRows = 7;
constexpr UINT_PTR kLingerTimer = 1;

// The line under a point in the list's client area, or -1.
int LineAt(HWND list, POINT point) {
  const LRESULT found = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
  return HIWORD(found) == 0 ? LOWORD(found) : -1;
}

}  // namespace

bool CDropDownList::Open(HWND box, const std::vector<std::wstring>& entries,
                         const std::wstring& note, Taken taken) {
  Close();
  if (entries.empty() && note.empty()) return false;
  m_hOwner = GetAncestor(box, GA_ROOT);
  // Never activated, so that the focus and the keys stay in the box.
  m_hList = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"ListBox", nullptr,
                            WS_POPUP | WS_BORDER | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                            0, 0, m_hOwner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (m_hList == nullptr) return false;
  m_hBox = box;
  m_taken = std::move(taken);
  GetCursorPos(&m_ptPointer);
  SendMessageW(m_hList, WM_SETFONT, static_cast<WPARAM>(SendMessageW(box, WM_GETFONT, 0, 0)),
               FALSE);
  SetWindowSubclass(m_hList, &CDropDownList::ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(m_hOwner, &CDropDownList::OwnerProc, 0, reinterpret_cast<DWORD_PTR>(this));
  Update(entries, note);
  SetCapture(m_hList);
  return true;
}

void CDropDownList::Update(const std::vector<std::wstring>& entries, const std::wstring& note) {
  if (!IsOpen()) return;
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

// The list is forgotten as its window goes, also when its owner takes it
// along. The mouse it lets go of on the way is no news to it.
void CDropDownList::Close() {
  if (m_hList == nullptr || m_bClosing) return;
  m_bClosing = true;
  if (GetCapture() == m_hList) ReleaseCapture();
  DestroyWindow(m_hList);
}

const std::wstring* CDropDownList::Move(int step) {
  if (!IsOpen()) return nullptr;
  const int count = static_cast<int>(m_entries.size());
  const int chosen = static_cast<int>(SendMessageW(m_hList, LB_GETCURSEL, 0, 0));
  int next = chosen + step;
  if (chosen < 0) next = step > 0 ? step - 1 : count + step;
  if (next < 0 || next >= count) next = -1;
  SendMessageW(m_hList, LB_SETCURSEL, next, 0);
  return Chosen();
}

const std::wstring* CDropDownList::Chosen() const {
  if (!IsOpen()) return nullptr;
  const LRESULT chosen = SendMessageW(m_hList, LB_GETCURSEL, 0, 0);
  return chosen >= 0 && chosen < static_cast<LRESULT>(m_entries.size())
             ? &m_entries[static_cast<std::size_t>(chosen)]
             : nullptr;
}

// The entry at `point` in the list's client area, or -1.
int CDropDownList::EntryAt(POINT point) const {
  RECT client;
  GetClientRect(m_hList, &client);
  const int line = PtInRect(&client, point) ? LineAt(m_hList, point) : -1;
  return line < static_cast<int>(m_entries.size()) ? line : -1;
}

// A list that opens, moves or grows under a resting pointer gets moves to
// the same place, which highlight nothing.
void CDropDownList::OnMouseMove(POINT point) {
  POINT at = point;
  ClientToScreen(m_hList, &at);
  if (at.x == m_ptPointer.x && at.y == m_ptPointer.y) return;
  m_ptPointer = at;
  if (const int entry = EntryAt(point); entry >= 0) SendMessageW(m_hList, LB_SETCURSEL, entry, 0);
}

// A press on an entry readies its taking; one on the list's scroll bar works
// it; one outside the list closes it.
void CDropDownList::OnPress(UINT message, POINT point) {
  POINT at = point;
  ClientToScreen(m_hList, &at);
  RECT window;
  GetWindowRect(m_hList, &window);
  if (!PtInRect(&window, at)) {
    Close();
    return;
  }
  const bool left = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK;
  const int entry = left ? EntryAt(point) : -1;
  m_bPressed = entry >= 0;
  if (m_bPressed) SendMessageW(m_hList, LB_SETCURSEL, entry, 0);
  const LRESULT hit = SendMessageW(m_hList, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
  if (left && (hit == HTVSCROLL || hit == HTHSCROLL)) {
    // The scroll bar takes the mouse while it is dragged, then gives it back.
    m_bScrolling = true;
    SendMessageW(m_hList, WM_NCLBUTTONDOWN, hit, MAKELPARAM(at.x, at.y));
    m_bScrolling = false;
    if (m_hList != nullptr) SetCapture(m_hList);
  }
}

// The release of a press on an entry takes the entry under it, if any.
void CDropDownList::OnRelease(POINT point) {
  if (!m_bPressed) return;
  m_bPressed = false;
  const int entry = EntryAt(point);
  if (entry < 0) return;
  const std::wstring taken = m_entries[static_cast<std::size_t>(entry)];
  const Taken tell = m_taken;
  m_bLingering = true;
  m_bSecondPress = false;
  m_ptTaken = point;
  ClientToScreen(m_hList, &m_ptTaken);
  ShowWindow(m_hList, SW_HIDE);
  SetTimer(m_hList, kLingerTimer, GetDoubleClickTime(), nullptr);
  if (tell) tell(taken);
}

// The mouse after a click took an entry: one more press and its release
// within the system's double-click time and rectangle are swallowed; the
// time running out, a move out of the rectangle or any other press ends it.
void CDropDownList::WhileLingering(UINT message, POINT point) {
  POINT at = point;
  ClientToScreen(m_hList, &at);
  const bool nearby = std::abs(at.x - m_ptTaken.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                      std::abs(at.y - m_ptTaken.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
  switch (message) {
    case WM_MOUSEMOVE:
      if (nearby || m_bSecondPress) return;
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (nearby && !m_bSecondPress) {
        m_bSecondPress = true;
        return;
      }
      break;
    case WM_LBUTTONUP:
      if (!m_bSecondPress) return;
      break;
    case WM_TIMER:
      if (m_bSecondPress) return;
      break;
  }
  Close();
}

// The list box's own handling of the mouse would take the focus, so the
// mouse's messages do not reach it. Once Close has run, the window is gone.
LRESULT CALLBACK CDropDownList::ListProc(HWND list, UINT message, WPARAM wParam,
                                         LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* dropDown = reinterpret_cast<CDropDownList*>(self);
  const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const bool mouse = message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
  if (dropDown->m_bLingering &&
      (mouse || (message == WM_TIMER && wParam == kLingerTimer))) {
    dropDown->WhileLingering(message, point);
    return 0;
  }
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_MOUSEMOVE:
      dropDown->OnMouseMove(point);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      dropDown->OnPress(message, point);
      return 0;
    case WM_LBUTTONUP:
      dropDown->OnRelease(point);
      return 0;
    case WM_CAPTURECHANGED:
      if (!dropDown->m_bClosing && !dropDown->m_bScrolling) dropDown->Close();
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list, &CDropDownList::ListProc, 0);
      RemoveWindowSubclass(dropDown->m_hOwner, &CDropDownList::OwnerProc, 0);
      dropDown->m_hList = nullptr;
      dropDown->m_taken = nullptr;
      dropDown->m_entries.clear();
      dropDown->m_strNote.clear();
      dropDown->m_bPressed = dropDown->m_bLingering = dropDown->m_bSecondPress = false;
      dropDown->m_bClosing = false;
      break;
    default:
      if (mouse && message != WM_MOUSEWHEEL) return 0;  // the other buttons' releases
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
