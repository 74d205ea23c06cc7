// Installing a label printer: the language monitor first, then the driver
// family, help and model data files staged from C:\Barcode into the
// spooler's driver directory and registered.
#include "app/InstallDlg.h"
#include "install/DriverFiles.h"
#include "install/LanguageMonitor.h"
#include "package/ModelDriver.h"
#include "platform/platform.h"

namespace {

constexpr UINT kFolderSize = MAX_PATH;

}  // namespace

void CInstallDlg::InstallLabelDriver() {
  CString driverDirectory;
  const char* environment = nullptr;
  if (!BeginDriverInstall(driverDirectory, environment)) return;
  const bool x64 = m_bIsWow64 != FALSE;
  plat::ISpooler& spooler = plat::Spooler();
  plat::IFiles& files = plat::Files();

  // A label printer is named after the catalogue entry the user chose.
  CString printerName;
  m_cboDriver.GetWindowText(printerName);
  const ModelDriver driver = DescribeModelDriver(m_nDriverIndex, printerName, x64);
  const CString driverName = driver.driverName.c_str();

  // The 32-bit monitor DLL goes into the system folder. The 64-bit one goes
  // into %windir%\SysWOW64, where this 32-bit program's copy to System32
  // would land anyway (File System Redirector), and AddMonitorA is given
  // that full path; the native spooler then loads it from there rather
  // than from its own System32 (docs/WINE.md says what Windows promises).
  // https://learn.microsoft.com/windows/win32/winprog64/file-system-redirector
  char folder[kFolderSize] = {};
  CString systemFolder;
  const UINT length =
      x64 ? files.GetWindowsDirectoryA(folder, kFolderSize) : files.GetSystemDirectoryA(folder, kFolderSize);
  // A failed call is no path too long: the user is told which folder.
  if (length == 0) {
    RefuseDriverInstall(SystemFolderRefusal(x64, plat::System().GetLastError()));
    return;
  }
  if (length < kFolderSize) {
    if (x64)
      systemFolder.Format("%s\\%s", folder, "SysWOW64");
    else
      systemFolder = folder;
  }
  if (systemFolder.IsEmpty() || !DriverPathsFit(driver, driverDirectory)) {
    RefuseDriverInstall(kDriverFolderTooLong);
    return;
  }

  const CString monitorDll = systemFolder + "\\" + driver.monitorFile.c_str();
  StageFile(driver.monitorSource.c_str(), monitorDll);

  ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  // A printer installed again finds its monitor in place: replacing it by
  // the same record would only restart the spooler.
  if (!LanguageMonitorInPlace(driver.monitorName, monitorDll)) {
    if (spooler.DeleteMonitorA(environment, driver.monitorName)) ControlSpooler("Spooler", SPOOLER_RESTART);
    if (!spooler.AddMonitorA(driver.monitorName, environment, monitorDll) &&
        plat::System().GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
      AfxMessageBox("Failed to add Monitor\r\n", MB_OK);
      NoteRefused("Failed to add Monitor");
      OnOK();
      return;
    }
  }
  SetStatus("Advanced Language Monitor is added");

  // The monitor DLL stays in the system folder.
  if (!RegisterDriver(driver, driverDirectory)) return;
  CreatePrinterAndFinish(printerName, driverName, DriverKind::Label);
}
