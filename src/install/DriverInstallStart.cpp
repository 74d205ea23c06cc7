// What the receipt and label paths do alike before their own files: the
// port step, the spooler's driver directory, a refusal, and staging a file.
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
