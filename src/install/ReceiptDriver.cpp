// Installing a receipt printer: the universal printer driver with the
// model's description file, its resource DLL and the OEM plug-in, staged
// from C:\Ticket into the spooler's driver directory and registered.
#include "app/InstallDlg.h"
#include "install/DriverFiles.h"
#include "package/ModelDriver.h"
#include "platform/platform.h"

void CInstallDlg::InstallReceiptDriver() {
  CString driverDirectory;
  const char* environment = nullptr;
  if (!BeginDriverInstall(driverDirectory, environment)) return;

  CString printerName;
  GetDlgItemText(IDC_PRINTER_NAME, printerName);
  // Some groups' resource DLL depends on the catalogue name chosen.
  CString chosen;
  m_cboDriver.GetWindowText(chosen);
  const ModelDriver driver = DescribeModelDriver(m_nDriverIndex, chosen, m_bIsWow64 != FALSE);
  const CString driverName = driver.driverName.c_str();

  if (!DriverPathsFit(driver, driverDirectory)) {
    RefuseDriverInstall(kDriverFolderTooLong);
    return;
  }

  if (!RegisterDriver(driver, driverDirectory)) return;
  CreatePrinterAndFinish(printerName, driverName, DriverKind::Receipt);
}
