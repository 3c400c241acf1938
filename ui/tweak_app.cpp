#include "tweak_app.h"

#include <commctrl.h>
#include <objbase.h>

#include "notice.h"
#include "tweak_dlg.h"

CTweakApp theApp;

BOOL CTweakApp::InitInstance() {
  // The embedded manifest selects Common Controls 6, whose visual styles
  // give the controls their modern look in place of the old 3-D controls
  // library; registering its classes is all that needs doing for that.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // The path box's folder suggestions are COM objects: COM is set up once
  // for the program's one thread and torn down once the dialog is gone.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CTweakDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return FALSE;
}

// The engine's way to tell the user something: a modal box with an OK
// button over the main dialog.
void ShowNotice(const std::string& text) { AfxMessageBox(text, MB_OK, 0); }
