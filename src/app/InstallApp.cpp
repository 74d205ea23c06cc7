#include "app/InstallApp.h"

#include "app/InstallDlg.h"

CInstallApp theApp;

CInstallApp::CInstallApp() : CWinApp("Configure & Install v1.0") {}

BOOL CInstallApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControlsStatic();
  CInstallDlg dialog;
  dialog.DoModal();
  // The program ends with the dialog, however it was closed.
  return FALSE;
}
