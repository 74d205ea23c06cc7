#include "app/InstallApp.h"

#include "app/InstallDlg.h"
#include "app/InstallationLock.h"

CInstallApp theApp;

CInstallApp::CInstallApp() : CWinApp("Configure & Install v1.0") {}

BOOL CInstallApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControlsStatic();
  // An unattended installation (printer-setup) is running: two at once
  // would unpack the same package into C:\ and restart the spooler under
  // each other. A lock that cannot be made at all does not stop the user.
  CInstallationLock lock;
  if (lock.GetState() == CInstallationLock::State::HeldElsewhere) {
    AfxMessageBox(kInstallationRunningText, MB_OK | MB_ICONWARNING);
    return FALSE;
  }
  CInstallDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  // The program ends with the dialog, however it was closed.
  return FALSE;
}
