#include "framework.h"

#include <algorithm>
#include <cstring>

#include "under_wine.h"
#include "utf16_win32.h"

namespace {

CWinApp* g_app = nullptr;

// Resource type of a dialog's initialisation data: records of control id,
// message, byte count and bytes, ended by a zero id.
constexpr WORD kDlgInitType = 240;
// The messages such records use (the old 16-bit numbers of LB_ADDSTRING and
// CB_ADDSTRING).
constexpr WORD kInitListAdd = 0x0401;
constexpr WORD kInitComboAdd = 0x0403;

// The program's file name without folder and extension. The folder may be
// longer than MAX_PATH.
std::wstring ProgramTitle() {
  std::wstring title(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = GetModuleFileNameW(nullptr, title.data(),
                                      static_cast<DWORD>(title.size()))) == title.size()) {
    title.resize(2 * title.size());
  }
  title.resize(length);
  title.erase(0, title.find_last_of(L"\\/") + 1);
  const std::size_t dot = title.rfind(L'.');
  if (dot != std::wstring::npos) title.erase(dot);
  return title;
}

// Before the program loads a DLL of its own accord: a probe or a folder
// suggestion that touches an empty card reader or disc drive fails as a
// missing file instead of asking for a disk, and the DLLs that COM and the
// shell load by name come from System32 only, never from the folder the
// program was started in (a Downloads folder, maybe as administrator).
// Windows 7 has SetDefaultDllDirectories only with update KB2533623.
void HardenProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS);
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto setDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() {
  return g_app != nullptr ? g_app->m_hInstance : GetModuleHandleW(nullptr);
}

namespace {

HWND MainWindow() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr || app->m_pMainWnd == nullptr) return nullptr;
  const HWND hwnd = app->m_pMainWnd->m_hWnd;
  return IsWindow(hwnd) ? hwnd : nullptr;
}

// `text` with its long words broken (BreakLongWords) to half the width of the
// work area of `owner`'s monitor, in the font of message boxes: the box then
// keeps within the screen with its icon, margins and frame.
std::wstring FitToScreen(const std::wstring& text, HWND owner) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) ||
      !GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    return text;
  }
  const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  const std::wstring broken =
      BreakLongWords(text, dc, (monitor.rcWork.right - monitor.rcWork.left) / 2);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return broken;
}

}  // namespace

std::wstring BreakLongWords(std::wstring_view text, HDC dc, int width) {
  std::wstring broken;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find_first_of(L" \t\r\n", start), text.size());
    std::wstring_view word = text.substr(start, end - start);
    for (;;) {
      int fit = 0;
      SIZE size = {};
      GetTextExtentExPointW(dc, word.data(), static_cast<int>(word.size()), width, &fit,
                            nullptr, &size);
      if (fit >= static_cast<int>(word.size())) break;
      const std::wstring_view fits = word.substr(0, fit);
      std::size_t cut = fits.find_last_of(L"\\/");
      if (cut == std::wstring_view::npos) cut = fits.find_last_of(L"-_.");
      cut = cut != std::wstring_view::npos ? cut + 1 : std::max(fit, 1);
      if (IS_SURROGATE_PAIR(word[cut - 1], word[cut])) cut += cut > 1 ? -1 : 1;
      broken.append(word.substr(0, cut)).push_back(L'\n');
      word.remove_prefix(cut);
    }
    broken.append(word);
    if (end < text.size()) broken.push_back(text[end]);
    start = end + 1;
  }
  return broken;
}

int AfxMessageBox(const std::string& text, UINT type, UINT /*helpId*/) {
  if ((type & MB_ICONMASK) == 0 &&
      ((type & MB_TYPEMASK) == MB_OK || (type & MB_TYPEMASK) == MB_OKCANCEL)) {
    type |= MB_ICONEXCLAMATION;
  }
  const HWND owner = MainWindow();
  return MessageBoxW(owner, FitToScreen(ToUtf16ForDisplay(text), owner).c_str(),
                     ProgramTitle().c_str(), type);
}

std::wstring WindowText(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

void DDX_Text(CDataExchange* exchange, int id, std::string& value) {
  const HWND control = GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
  if (!exchange->m_bSaveAndValidate) {
    SetWindowTextW(control, ToUtf16ForDisplay(value).c_str());
    return;
  }
  value = ToUtf8(WindowText(control));
}

void DDX_CBIndex(CDataExchange* exchange, int id, int& index) {
  const HWND control = GetDlgItem(exchange->m_pDlgWnd->m_hWnd, id);
  if (exchange->m_bSaveAndValidate) {
    index = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
  } else {
    SendMessageW(control, CB_SETCURSEL, index, 0);
  }
}

CDialog::CDialog(UINT templateId, CDialog* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : MainWindow();
  const INT_PTR result = DialogBoxParamW(
      AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), owner,
      &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::OnInitDialog() {
  ExecuteDlgInit();
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      return TRUE;
    case WM_COMMAND:
      // Enter (when no push button has the focus) and Escape arrive here as
      // IDOK and IDCANCEL; so does the close box, through the system.
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
        OnOK();
        result = TRUE;
        return TRUE;
      }
      if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        result = TRUE;
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void CDialog::ExecuteDlgInit() {
  const HINSTANCE instance = AfxGetInstanceHandle();
  const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(m_nIDTemplate),
                                    MAKEINTRESOURCEW(kDlgInitType));
  if (found == nullptr) return;
  const auto* data = static_cast<const BYTE*>(
      LockResource(LoadResource(instance, found)));
  const auto* end = data + SizeofResource(instance, found);
  while (data != nullptr && data + sizeof(WORD) <= end) {
    WORD id = 0;
    WORD initMessage = 0;
    DWORD length = 0;
    std::memcpy(&id, data, sizeof id);
    if (id == 0 || data + 8 > end) break;
    std::memcpy(&initMessage, data + 2, sizeof initMessage);
    std::memcpy(&length, data + 4, sizeof length);
    data += 8;
    if (length > static_cast<DWORD>(end - data)) break;
    // The text is stored narrow, as the resource script (UTF-8) has it, with
    // its terminating NUL.
    const std::wstring text = ToUtf16ForDisplay(std::string_view(
        reinterpret_cast<const char*>(data),
        strnlen(reinterpret_cast<const char*>(data), length)));
    if (initMessage == kInitComboAdd) {
      SendDlgItemMessageW(m_hWnd, id, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(text.c_str()));
    } else if (initMessage == kInitListAdd) {
      SendDlgItemMessageW(m_hWnd, id, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(text.c_str()));
    }
    data += length;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (dialog == nullptr) return FALSE;
  try {
    INT_PTR result = FALSE;
    const BOOL handled = dialog->OnMessage(message, wParam, lParam, result);
    if (message == WM_INITDIALOG && handled && result) {
      // The system gives the focus to the first control with a tab stop. A
      // push button taking it must also look and act as the default button,
      // which Enter presses; Windows' dialog manager does that as it sets the
      // focus, Wine leaves it out when the window was not active yet.
      const HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE);
      if (RunningUnderWine() && first != nullptr &&
          (SendMessageW(first, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)) {
        SendMessageW(first, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      }
    }
    return handled ? result : FALSE;
  } catch (...) {
    // Only running out of memory can get here. The window stays usable
    // unless it could not even be set up.
    MessageBoxW(hwnd, L"Not enough memory to complete the operation.", nullptr,
                MB_OK | MB_ICONSTOP);
    if (message == WM_INITDIALOG) ::EndDialog(hwnd, -1);
    return TRUE;
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HardenProcess();
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->m_hInstance = instance;
  try {
    app->InitInstance();
  } catch (...) {
    return 1;
  }
  return 0;
}
