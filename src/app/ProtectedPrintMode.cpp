// Windows Protected Print mode keeps every third-party printer driver and
// monitor out of the spooler, so an installation here could only fail at
// the driver after the files were staged. Said once at start, as the
// missing administrator rights are; the start-up then goes on unchanged.
#include "app/InstallDlg.h"
#include "package/MachineChecks.h"

void CInstallDlg::WarnProtectedPrintMode() {
  if (IsProtectedPrintModeOn()) AfxMessageBox(kProtectedPrintBlocksDriver, MB_OK | MB_ICONWARNING);
}
