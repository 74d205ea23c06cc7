// The start-up worker: prepares the machine while the window is already
// shown, then enables Install. It reaches the dialog only through
// SendMessage and, as its last act, the Install button.
#include "app/InstallDlg.h"

DWORD WINAPI CInstallDlg::StartupThreadProc(LPVOID param) {
  static_cast<CInstallDlg*>(param)->RunStartup();
  return 0;
}

void CInstallDlg::RunStartup() {
  // No step's failure stops the sequence; closing the window does.
  if (IsClosing()) return;
  WarnWithoutAdministratorRights();
  if (IsClosing()) return;
  WarnProtectedPrintMode();
  if (IsClosing()) return;
  ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  if (IsClosing()) return;
  EnumeratePorts();
  if (IsClosing()) return;
  ExtractDriverPackage();
  if (IsClosing()) return;
  LoadCatalogue();
  if (IsClosing()) return;
  DetectPlatform();
  if (IsClosing()) return;
  m_btnInstall.EnableWindow(TRUE);
}
