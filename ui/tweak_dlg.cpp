#include "tweak_dlg.h"

#include <commctrl.h>

#include <algorithm>

#include "dpi_icon.h"
#include "folder_drop.h"
#include "game_finder.h"
#include "game_status.h"
#include "resource.h"
#include "runs.h"
#include "utf16_win32.h"

namespace {

// Posted to the dialog by its workers while results wait: those of the
// search for the game (a folder found, or the end), and of a reading of the
// game's state.
constexpr UINT kGameSearch = WM_APP + 1;
constexpr UINT kStateRead = WM_APP + 2;
// Posted to the dialog when its DPI changes, to come after its scaling.
constexpr UINT kFitStatus = WM_APP + 3;

// The status is read again once typing in the path box has paused for this
// long; a reading that takes longer than kSlowReadingMs says so.
constexpr UINT_PTR kTypingPausedTimer = 1;
constexpr UINT kTypingPauseMs = 400;
constexpr UINT_PTR kSlowReadingTimer = 2;
constexpr UINT kSlowReadingMs = 300;

// A run waits this long at most for a stopped reading to close a car's
// files, which a replace of one would meet; the dialog's end waits as long
// for all its work.
constexpr DWORD kStoppedWorkWaitMs = 500;

std::wstring LoadResourceString(UINT id) {
  wchar_t text[256] = L"";
  const int length = LoadStringW(AfxGetInstanceHandle(), id, text, ARRAYSIZE(text));
  return std::wstring(text, length > 0 ? length : 0);
}

// A control's rectangle in its dialog's client coordinates.
RECT ChildRect(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The template is laid out for the classic "MS Sans Serif". Where the system
// draws a wider face in its place (Wine's stand-in, for one), a one-line
// label can come out wider than its box and wrap, losing its last word below
// the box. Such a label is widened to its text, but never past `rightLimit`;
// a label whose text fits, as with the classic face, is left as it is.
void FitLabelToText(HWND label, int rightLimit) {
  const std::wstring text = WindowText(label);
  const HDC dc = GetDC(label);
  const HGDIOBJ previous = SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE extent = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, previous);
  ReleaseDC(label, dc);

  const RECT box = ChildRect(label);
  if (extent.cx <= box.right - box.left) return;
  const int width = std::min<int>(extent.cx, rightLimit - box.left);
  SetWindowPos(label, nullptr, 0, 0, width, box.bottom - box.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CTweakDlg::CTweakDlg(CDialog* parent) : CDialog(IDD_TWEAK_DIALOG, parent) {}

// The window that showed the icons is gone by now.
CTweakDlg::~CTweakDlg() {
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
}

void CTweakDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Text(exchange, IDC_PATH, m_strPath);
  DDX_CBIndex(exchange, IDC_BRAKES, m_nBrakeLevel);
}

BOOL CTweakDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The level list's label comes just before the list in the template.
  const HWND levels = GetDlgItem(m_hWnd, IDC_BRAKES);
  FitLabelToText(GetWindow(levels, GW_HWNDPREV), ChildRect(levels).left);

  if (const HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
    const std::wstring about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.empty()) {
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }

  SetIcons();

  AcceptDroppedFiles(m_hWnd);
  // The cue shows in the empty box, grey, also while it has the focus.
  const HWND pathBox = GetDlgItem(m_hWnd, IDC_PATH);
  const std::wstring cue = LoadResourceString(IDS_PATH_CUE);
  SendMessageW(pathBox, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue.c_str()));
  m_folderSuggestions.Attach(pathBox);
  m_folderSuggestions.Offer({}, true);
  // The search's thread only makes the results, which run on this one.
  const bool searching = m_gameSearch.Start(
      m_hWnd, kGameSearch, [this](const std::atomic<bool>& stop, const CWindowWorker::Post& post) {
        FindGameOnThisPC(stop, [&](const std::string& folder) {
          post([this, folder] { OnGameFound({folder}, true); });
        });
        post([this] { OnGameFound({}, false); });
      });
  if (!searching) OnGameFound({}, false);
  return TRUE;  // the focus goes to the first control with a tab stop
}

BOOL CTweakDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                          INT_PTR& result) {
  switch (message) {
    case WM_SYSCOMMAND:
      result = TRUE;
      return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
      result = TRUE;
      return OnPaint();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
      return TRUE;
    case WM_DPICHANGED:
      SetIcons();
      PostMessageW(m_hWnd, kFitStatus, 0, 0);
      return FALSE;  // the system still scales the dialog
    case kFitStatus:
      SetStatus(m_strStatus);  // its long words broken anew for its new width
      result = 0;
      return TRUE;
    case kGameSearch:
      m_gameSearch.Deliver();
      result = 0;
      return TRUE;
    case kStateRead:
      m_stateReading.Deliver();
      result = 0;
      return TRUE;
    case WM_TIMER:
      if (wParam != kTypingPausedTimer && wParam != kSlowReadingTimer) break;
      KillTimer(m_hWnd, wParam);
      if (wParam == kTypingPausedTimer) ReadGameState();
      if (wParam == kSlowReadingTimer && m_stateReading.Busy()) SetStatus(kReadingStatus);
      result = 0;
      return TRUE;
    case WM_DESTROY: {
      // The work ends with the window, within the time a run gives a reading.
      const ULONGLONG start = GetTickCount64();
      m_gameSearch.Stop();
      StopReading(kStoppedWorkWaitMs);
      const ULONGLONG spent = GetTickCount64() - start;
      m_gameSearch.WaitStopped(spent < kStoppedWorkWaitMs ? kStoppedWorkWaitMs - spent : 0);
      return FALSE;
    }
    case WM_ACTIVATE:
      // The player may have played, updated or verified the game meanwhile.
      if (LOWORD(wParam) != WA_INACTIVE) ReadGameState();
      return FALSE;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      result = 0;
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == IDC_PATH) {
        m_folderSuggestions.TextChanged();
        // What the status said, or a reading was reading, was about the text
        // before.
        StopReading(0);
        if (GetWindowTextLengthW(GetDlgItem(m_hWnd, IDC_PATH)) == 0) {
          ReadGameState();
        } else {
          SetStatus("");
          SetTimer(m_hWnd, kTypingPausedTimer, kTypingPauseMs, nullptr);
        }
        result = 0;
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_RESTORE) {
        OnRestore();
        result = TRUE;
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_APPLY) {
        OnApply();
        result = TRUE;
        return TRUE;
      }
      break;
  }
  return CDialog::OnMessage(message, wParam, lParam, result);
}

// The big icon shows in the task switcher and the taskbar, the small one in
// the caption; the window keeps using the old ones until it has the new.
void CTweakDlg::SetIcons() {
  const HICON big = LoadIconForDpi(m_hWnd, IDR_MAINFRAME, SM_CXICON);
  const HICON smallIcon = LoadIconForDpi(m_hWnd, IDR_MAINFRAME, SM_CXSMICON);
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
  m_hIcon = big;
  m_hSmallIcon = smallIcon;
}

// FALSE leaves every command but About to the system.
BOOL CTweakDlg::OnSysCommand(UINT id, LPARAM) {
  if ((id & 0xFFF0) != IDM_ABOUTBOX) return FALSE;
  CAboutDlg about;
  about.DoModal();
  return TRUE;
}

// A minimised window that still has a client area shows the icon in its
// middle; otherwise the system paints the dialog.
BOOL CTweakDlg::OnPaint() {
  if (!IsIconic(m_hWnd)) return FALSE;
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int cx = GetSystemMetrics(SM_CXICON);
  const int cy = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(m_hWnd, &client);
  const int x = (client.right - client.left - cx + 1) / 2;
  const int y = (client.bottom - client.top - cy + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
  return TRUE;
}

// A reading in progress is dropped, and none starts until the run and its
// notices are done: the status then shows what the run left.
void CTweakDlg::OnRestore() {
  UpdateData(TRUE);
  m_bRunning = true;
  StopReading(kStoppedWorkWaitMs);
  RestoreRun(m_strPath);
  m_bRunning = false;
  ReadGameState();
}

// The engine may append a backslash to m_strPath; the path box keeps showing
// the path as typed.
void CTweakDlg::OnApply() {
  UpdateData(TRUE);
  m_bRunning = true;
  StopReading(kStoppedWorkWaitMs);
  ApplyRun(m_strPath, m_nBrakeLevel);
  m_bRunning = false;
  ReadGameState();
}

// The empty box's status says what the search has found.
void CTweakDlg::OnGameFound(const std::vector<std::string>& folders, bool searching) {
  m_folderSuggestions.Offer(folders, searching);
  if (GetWindowTextLengthW(GetDlgItem(m_hWnd, IDC_PATH)) == 0) ReadGameState();
}

// Reads the state of what the path box holds now, in place of any older
// reading. The box, the level list and the focus stay as they are.
void CTweakDlg::ReadGameState() {
  if (m_bRunning) return;
  KillTimer(m_hWnd, kTypingPausedTimer);
  const std::string typed = ToUtf8(WindowText(GetDlgItem(m_hWnd, IDC_PATH)));
  if (typed.empty()) {
    StopReading(0);
    SetStatus(EmptyBoxStatusText(static_cast<int>(m_folderSuggestions.FoundCount()),
                                 m_folderSuggestions.Searching()));
    return;
  }
  const bool reading = m_stateReading.Start(
      m_hWnd, kStateRead,
      [this, typed](const std::atomic<bool>& stop, const CWindowWorker::Post& post) {
        GameFolderState state = ReadGameFolderState(typed, stop);
        if (state.complete) post([this, typed, state] { ShowGameState(typed, state); });
      });
  if (reading) SetTimer(m_hWnd, kSlowReadingTimer, kSlowReadingMs, nullptr);
}

// Only while the box still holds what was read.
void CTweakDlg::ShowGameState(const std::string& typed, const GameFolderState& state) {
  if (ToUtf8(WindowText(GetDlgItem(m_hWnd, IDC_PATH))) != typed) return;
  KillTimer(m_hWnd, kSlowReadingTimer);
  SetStatus(GameStatusText(state));
}

// A stopped reading may still have a car's files open for a moment; up to
// `waitMs` are given it to close them.
void CTweakDlg::StopReading(DWORD waitMs) {
  m_stateReading.Stop();
  KillTimer(m_hWnd, kSlowReadingTimer);
  m_stateReading.WaitStopped(waitMs);
}

// A long word (a path) is broken to the control's width, which only breaks
// lines at spaces. The same text is not set again, so that a screen reader
// does not read it out again at every reading.
void CTweakDlg::SetStatus(const std::string& text) {
  m_strStatus = text;
  const HWND status = GetDlgItem(m_hWnd, IDC_STATUS);
  RECT client;
  GetClientRect(status, &client);
  const HDC dc = GetDC(status);
  const HGDIOBJ previous = SelectObject(
      dc, reinterpret_cast<HFONT>(SendMessageW(status, WM_GETFONT, 0, 0)));
  const std::wstring fitted = BreakLongWords(ToUtf16ForDisplay(text), dc, client.right);
  SelectObject(dc, previous);
  ReleaseDC(status, dc);
  if (WindowText(status) != fitted) SetWindowTextW(status, fitted.c_str());
}

// A drop anywhere on the dialog fills the path box and puts the keyboard
// there; nothing runs until the user clicks a button.
void CTweakDlg::OnDropFiles(HDROP drop) {
  const std::string item = TakeFirstDroppedItem(drop);
  if (item.empty()) return;
  const HWND pathBox = GetDlgItem(m_hWnd, IDC_PATH);
  m_folderSuggestions.SetText(DataFolderForDroppedItem(item));
  SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pathBox), TRUE);
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

CAboutDlg::~CAboutDlg() {
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
}

BOOL CAboutDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon();
  return TRUE;
}

BOOL CAboutDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == WM_DPICHANGED) SetIcon();  // and the system scales the dialog
  return CDialog::OnMessage(message, wParam, lParam, result);
}

// The template's icon control, first in the dialog, comes with the icon at
// the system's size; the one it is given here is the window's DPI's.
void CAboutDlg::SetIcon() {
  const HICON icon = LoadIconForDpi(m_hWnd, IDR_MAINFRAME, SM_CXICON);
  SendMessageW(GetWindow(m_hWnd, GW_CHILD), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  m_hIcon = icon;
}
