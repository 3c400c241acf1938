#include "tweak_app.h"

#include <commctrl.h>

#include "notice.h"
#include "tweak_dlg.h"

CTweakApp theApp;

BOOL CTweakApp::InitInstance() {
  // The embedded manifest selects Common Controls 6, whose visual styles
  // give the controls their modern look in place of the old 3-D controls
  // library; registering its classes is all that needs doing for that.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  CTweakDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

// The engine's way to tell the user something: a modal box with an OK
// button over the main dialog.
void ShowNotice(const std::string& text) { AfxMessageBox(text, MB_OK, 0); }
