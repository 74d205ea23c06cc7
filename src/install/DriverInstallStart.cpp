// What the receipt and label paths do alike around their own steps: the
// port step, the spooler's driver directory, a refusal, and the driver's
// registration from its staged files (with the answer to a refused one).
#include "app/InstallDlg.h"
#include "install/DriverFiles.h"
#include "platform/platform.h"

namespace {

// The size the driver directory was always read into: a longer path is
// refused rather than cut.
constexpr DWORD kDirectorySize = 255;

}  // namespace

BOOL CInstallDlg::BeginDriverInstall(CString& driverDirectory, const char*& environment) {
  if (!SelectPortForInstall()) {
    NoteRefused("No port was chosen.");
    m_btnInstall.EnableWindow(TRUE);
    return FALSE;
  }
  // The driver directory of the machine's own word size.
  plat::ISpooler& spooler = plat::Spooler();
  char directory[kDirectorySize] = {};
  DWORD needed = 0;
  environment = kEnvironmentX86;
  BOOL found = spooler.GetPrinterDriverDirectoryA(kEnvironmentX86, directory, kDirectorySize, &needed);
  if (m_bIsWow64) {
    environment = kEnvironmentX64;
    found = spooler.GetPrinterDriverDirectoryA(kEnvironmentX64, directory, kDirectorySize, &needed);
  }
  // Without the folder the files would be staged at the root of the current
  // drive, where nothing removes them.
  if (!found) {
    RefuseDriverInstall(DriverDirectoryRefusal(needed, kDirectorySize, plat::System().GetLastError()));
    return FALSE;
  }
  driverDirectory = directory;
  return TRUE;
}

void CInstallDlg::RefuseDriverInstall(const char* text) {
  RefuseInstall(text);
  m_progress.SetPos(0);
}

void CInstallDlg::StageFile(const CString& source, const CString& target) {
  plat::Files().CopyFileA(source, target, FALSE);
  SetStatus(target);
}

BOOL CInstallDlg::RegisterDriver(const ModelDriver& driver, const CString& directory) {
  const CString driverName = driver.driverName.c_str();
  for (const StagedFile& file : driver.stagedFiles)
    StageFile(file.source.c_str(), directory + "\\" + file.name.c_str());
  m_progress.SetPos(10);
  SetStatus("Adding printer drive " + driverName);

  std::string dependents;
  if (!MakeDependentList(driver, dependents)) {
    RefuseDriverInstall(kFileListTooLong);
    return FALSE;
  }
  const plat::DriverInfo3 info = MakeDriverRecord(GetOsVersionCode(), driver, directory, dependents);
  // The label path made sure of the spooler before it added its monitor.
  const DriverKind kind = driver.label ? DriverKind::Label : DriverKind::Receipt;
  if (kind == DriverKind::Receipt) ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  if (!plat::Spooler().AddPrinterDriverExA(info, APD_COPY_ALL_FILES)) {
    OnDriverRefused(plat::System().GetLastError(), kind);
    return FALSE;
  }
  SetStatus("Driver " + driverName + " is added");

  // The spooler has its own copies now.
  for (const StagedFile& file : driver.stagedFiles)
    if (!file.kept) plat::Files().DeleteFileA(directory + "\\" + file.name.c_str());
  m_progress.SetPos(20);
  return TRUE;
}

void CInstallDlg::OnDriverRefused(DWORD error, DriverKind kind) {
  // The two paths have always asked differently, and are meant to: the
  // receipt path's own box captioned "Error" says "Exit", the label path's
  // application box (captioned with the window's title) says "exit".
  const bool receipt = kind == DriverKind::Receipt;
  CString text;
  text.Format(
      "Failed to add the driver %u\r\n\r\nClick Retry:You can retry\r\nClick Cancel：%s and abort "
      "installation",
      static_cast<unsigned>(error), receipt ? "Exit" : "exit");
  const int answer =
      receipt ? MessageBox(text, "Error", MB_RETRYCANCEL) : AfxMessageBox(text, MB_RETRYCANCEL);
  if (answer == IDRETRY) {
    OfferReinstall(text);
    return;
  }
  NoteRefused(text);
  OnOK();
}
