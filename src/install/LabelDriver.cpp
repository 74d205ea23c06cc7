// Installing a label printer: the language monitor first, then the driver
// family, help and model data files staged from C:\Barcode into the
// spooler's driver directory and registered.
#include "app/InstallDlg.h"
#include "install/DriverFiles.h"
#include "install/LanguageMonitor.h"
#include "package/ModelTables.h"
#include "package/PackageLocations.h"
#include "platform/platform.h"

namespace {

constexpr UINT kFolderSize = MAX_PATH;
constexpr int kPathSize = 200;
constexpr size_t kDependentListSize = 500;

}  // namespace

void CInstallDlg::InstallLabelDriver() {
  CString driverDirectory;
  const char* environment = nullptr;
  if (!BeginDriverInstall(driverDirectory, environment)) return;
  const bool x64 = m_bIsWow64 != FALSE;
  const char* sourceFolder = x64 ? kLabelFilesX64 : kLabelFilesX86;
  plat::ISpooler& spooler = plat::Spooler();
  plat::IFiles& files = plat::Files();

  const int row = m_nDriverIndex - ReceiptModelCount();
  const CString driverName = kLabelModels[row].driverName;
  const CString dataName = kLabelModels[row].dataBaseName;
  // A label printer is named after the catalogue entry the user chose.
  CString printerName;
  m_cboDriver.GetWindowText(printerName);

  // The 64-bit monitor DLL goes where a 32-bit program finds 64-bit system
  // files; the 32-bit one into the system folder.
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

  char family[kLabelFamilySize][16] = {};
  for (int position = 0; position < kLabelFamilySize; ++position)
    LabelFamilyFileName(x64, position, family[position], sizeof family[position]);

  const CString driverPath = driverDirectory + "\\" + family[1];
  const CString dataFile = driverDirectory + "\\" + dataName + ".DAT";
  const CString configFile = driverDirectory + "\\" + family[2];
  const CString helpFile = driverDirectory + "\\" + kLabelHelpFile;
  for (const CString* path : {&driverPath, &dataFile, &configFile, &helpFile}) {
    if (path->GetLength() >= kPathSize || systemFolder.IsEmpty()) {
      RefuseDriverInstall(kDriverFolderTooLong);
      return;
    }
  }

  const CString monitorDll = systemFolder + "\\" + family[0];
  StageFile(sourceFolder + CString(family[0]), monitorDll);

  ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  // A printer installed again finds its monitor in place: replacing it by
  // the same record would only restart the spooler.
  if (!LanguageMonitorInPlace(kLabelMonitorName, monitorDll)) {
    if (spooler.DeleteMonitorA(environment, kLabelMonitorName)) ControlSpooler("Spooler", SPOOLER_RESTART);
    if (!spooler.AddMonitorA(kLabelMonitorName, environment, monitorDll) &&
        plat::System().GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) {
      AfxMessageBox("Failed to add Monitor\r\n", MB_OK);
      OnOK();
      return;
    }
  }
  SetStatus("Advanced Language Monitor is added");

  for (const char* name : family) StageFile(sourceFolder + CString(name), driverDirectory + "\\" + name);
  StageFile(CString(kLabelCommonFiles) + kLabelHelpFile, helpFile);
  for (const char* extension : kLabelDataExtensions)
    StageFile(kLabelCommonFiles + dataName + extension, driverDirectory + "\\" + dataName + extension);

  m_progress.SetPos(10);
  SetStatus("Adding printer drive " + driverName);

  std::string dependents;
  bool fits = true;
  for (int position = 3; position < kLabelFamilySize; ++position)
    fits = fits && AppendToFileList(dependents, CString("\\") + family[position], kDependentListSize);
  fits = fits && AppendToFileList(dependents, "\\" + dataName + ".BA0", kDependentListSize);
  EndFileList(dependents);
  if (!fits) {
    RefuseInstall("The driver's file list is too long; the driver was not installed.");
    m_progress.SetPos(0);
    return;
  }

  const plat::DriverInfo3 info =
      MakeDriverRecord(GetOsVersionCode(), driverName, environment, driverPath, dataFile, configFile,
                       helpFile, dependents, kLabelMonitorName);

  const BOOL added = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  const DWORD error = plat::System().GetLastError();
  if (!added) {
    CString text;
    text.Format(
        "Failed to add the driver %u\r\n\r\nClick Retry:You can retry\r\nClick Cancel：exit and abort "
        "installation",
        static_cast<unsigned>(error));
    if (AfxMessageBox(text, MB_RETRYCANCEL) == IDRETRY)
      OfferReinstall();
    else
      OnOK();
    return;
  }

  SetStatus("Driver " + driverName + " is added");
  PushUpdate();
  // The spooler has its own copies now; the monitor DLL stays in the
  // system folder.
  auto remove = [&](const CString& name) { files.DeleteFileA(driverDirectory + "\\" + name); };
  remove(kLabelHelpFile);
  remove(dataName + ".BA0");
  remove(dataName + ".PP0");
  remove(dataName + ".DAT");
  for (const char* name : family) remove(name);
  m_progress.SetPos(20);

  CreatePrinterAndFinish(printerName, driverName, DriverKind::Label);
}
