// Installing a receipt printer: the universal printer driver with the
// model's description file, its resource DLL and the OEM plug-in, staged
// from C:\Ticket into the spooler's driver directory and registered.
#include "app/InstallDlg.h"
#include "install/DriverFiles.h"
#include "package/ModelTables.h"
#include "package/PackageLocations.h"
#include "platform/platform.h"

namespace {

// The sizes the driver records were always built in: text that would not
// fit is refused rather than cut.
constexpr int kPathSize = 260;
constexpr size_t kDependentListSize = 255;

// Three models also carry the OEM plug-in in their dependent files.
bool ListsPluginFiles(const CString& driverName) {
  return driverName == "KX-702" || driverName == "RV-640" || driverName == "RV-820F";
}

}  // namespace

void CInstallDlg::InstallReceiptDriver() {
  CString driverDirectory;
  const char* environment = nullptr;
  if (!BeginDriverInstall(driverDirectory, environment)) return;
  const char* sourceFolder = m_bIsWow64 ? kReceiptFilesX64 : kReceiptFilesX86;
  plat::ISpooler& spooler = plat::Spooler();
  plat::IFiles& files = plat::Files();

  const int row = m_nDriverIndex;
  const CString driverName = kReceiptModels[row].driverName;
  const CString gpdName = kReceiptModels[row].gpdBaseName;
  CString printerName;
  GetDlgItemText(IDC_PRINTER_NAME, printerName);

  CString chosen;
  m_cboDriver.GetWindowText(chosen);
  CString resourceName = kDefaultResourceName;
  const int group2 = m_nReceiptGroup1;
  const int group3 = group2 + m_nReceiptGroup2;
  const int group4 = group3 + m_nReceiptGroup3;
  if (row >= group2 && row < group3)
    resourceName = chosen == "DM4 Series" ? kAlternateResourceName : kDefaultResourceName;
  else if (row >= group3 && row < group4)
    resourceName = kGroup3ResourceName;
  else if (row >= group4)
    resourceName = chosen == "KX-702" ? kDefaultResourceName : kAlternateResourceName;

  // Every path the driver record names must fit its 260-byte field.
  const CString driverPath = driverDirectory + "\\uniDRV.DLL";
  const CString dataFile = driverDirectory + "\\" + gpdName + ".GPD";
  const CString configFile = driverDirectory + "\\uniDRVui.DLL";
  const CString helpFile = driverDirectory + "\\uniDRV.HLP";
  for (const CString* path : {&driverPath, &dataFile, &configFile, &helpFile}) {
    if (path->GetLength() >= kPathSize) {
      RefuseDriverInstall(kDriverFolderTooLong);
      return;
    }
  }

  // Stage the files, each shown on the status line as it lands.
  auto stage = [&](const CString& base, const char* extension) {
    CString source, target;
    source.Format("%s%s%s", sourceFolder, base.GetString(), extension);
    target.Format("%s\\%s%s", driverDirectory.GetString(), base.GetString(), extension);
    StageFile(source, target);
  };
  stage(resourceName, ".DLL");
  stage(gpdName, ".GPD");
  PushUpdate();
  stage(kOemPluginBaseName, ".dll");
  stage(kOemPluginBaseName, ".ini");
  for (const char* unidrvFile : kUnidrvFiles) stage(unidrvFile, "");

  m_progress.SetPos(10);
  SetStatus("Adding printer drive " + driverName);

  std::string dependents;
  bool fits = AppendToFileList(dependents, "\\ttfsub.GPD", kDependentListSize) &&
              AppendToFileList(dependents, "\\unires.DLL", kDependentListSize) &&
              AppendToFileList(dependents, "\\stdnames.GPD", kDependentListSize);
  if (ListsPluginFiles(driverName))
    fits = fits && AppendToFileList(dependents, "\\ZOEMUNI.ini", kDependentListSize) &&
           AppendToFileList(dependents, "\\ZOEMUNI.dll", kDependentListSize);
  fits = fits && AppendToFileList(dependents, resourceName + ".DLL", kDependentListSize);
  EndFileList(dependents);
  if (!fits) {
    RefuseInstall("The driver's file list is too long; the driver was not installed.");
    m_progress.SetPos(0);
    return;
  }

  const plat::DriverInfo3 info = MakeDriverRecord(GetOsVersionCode(), driverName, environment, driverPath,
                                                  dataFile, configFile, helpFile, dependents, "");

  ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  const BOOL added = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  const DWORD error = plat::System().GetLastError();
  if (!added) {
    CString text;
    text.Format(
        "Failed to add the driver %u\r\n\r\nClick Retry:You can retry\r\nClick Cancel：Exit and abort "
        "installation",
        static_cast<unsigned>(error));
    if (MessageBox(text, "Error", MB_RETRYCANCEL) == IDRETRY)
      OfferReinstall();
    else
      OnOK();
    return;
  }

  SetStatus("Driver " + driverName + " is added");
  // The spooler has its own copies now; the plug-in pair stays behind.
  auto remove = [&](const CString& name) { files.DeleteFileA(driverDirectory + "\\" + name); };
  remove(resourceName + ".DLL");
  remove(gpdName + ".GPD");
  for (const char* unidrvFile : kUnidrvFiles) remove(unidrvFile);
  m_progress.SetPos(20);

  CreatePrinterAndFinish(printerName, driverName, DriverKind::Receipt);
}
