#pragma once

// A very small application and dialog framework over plain Win32: just what
// the tweaker's two dialogs use. Text is UTF-8 here, as in the engine, and
// crosses into Windows as UTF-16.

#include <windows.h>

#include <string>
#include <string_view>

class CDialog;

// The one application object. Construct exactly one global instance of a
// derived class; WinMain (in framework.cpp) calls its InitInstance and the
// program ends when that returns. There is no message loop of the
// application's own: modal dialogs run their own loops.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Returns FALSE to end the program, which is the only outcome supported.
  virtual BOOL InitInstance() = 0;

  HINSTANCE m_hInstance = nullptr;
  CDialog* m_pMainWnd = nullptr;  // owner of message boxes and other dialogs
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// A modal message box over the main window. The caption is the program's
// file name without its extension. An OK box without an icon of its own gets
// the exclamation icon, as framework message boxes always have. A message
// box wraps its text only at spaces, so a long path in it is broken to fit
// the screen (BreakLongWords).
int AfxMessageBox(const std::string& text, UINT type = MB_OK, UINT helpId = 0);

// `text` with a line break put into each run of it without spaces that is
// wider than `width` pixels in the font selected into `dc`: after the last
// path separator that fits, else after the last '-', '_' or '.', else after
// the last character. Taking out every '\n' that it adds gives `text` back.
std::wstring BreakLongWords(std::wstring_view text, HDC dc, int width);

// A window's text, of any length.
std::wstring WindowText(HWND window);

// Direction and target of one data exchange between a dialog's members and
// its controls.
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;  // TRUE: controls to members
};

// Edit control text <-> string.
void DDX_Text(CDataExchange* exchange, int id, std::string& value);
// Combo box selection index <-> int (-1: no selection).
void DDX_CBIndex(CDataExchange* exchange, int id, int& index);

// A modal dialog from a dialog template resource. The one dialog procedure
// keeps `this` with the window from WM_INITDIALOG on and hands every message
// to OnMessage; no exception leaves it.
class CDialog {
 public:
  explicit CDialog(UINT templateId, CDialog* parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog until EndDialog; returns its result, or -1 when the
  // dialog could not be created. The owner is the parent given at
  // construction, else the application's main window if it is open.
  INT_PTR DoModal();

  // Fills list controls from the template's initialisation data, then
  // exchanges members to controls. Returns TRUE: the focus goes to the first
  // control with a tab stop (FALSE: the dialog has set it itself).
  virtual BOOL OnInitDialog();
  // Exchanges controls to members, then ends the dialog with IDOK.
  virtual void OnOK();
  // Ends the dialog with IDCANCEL.
  virtual void OnCancel();

  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  void EndDialog(INT_PTR result);

  HWND m_hWnd = nullptr;

 protected:
  virtual void DoDataExchange(CDataExchange* exchange);

  // One message. Return TRUE when handled, with `result` as the dialog
  // procedure's return value (TRUE, or the value itself for the few messages
  // that return one directly); FALSE hands the message to the system's
  // default dialog processing. The base handles WM_INITDIALOG and the IDOK
  // and IDCANCEL commands.
  virtual BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                         INT_PTR& result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam);
  void ExecuteDlgInit();

  UINT m_nIDTemplate;
  CDialog* m_pParentWnd;
};
