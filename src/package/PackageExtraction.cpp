// Unpacking the driver package at start-up.
#include "app/InstallDlg.h"
#include "package/PackageLocations.h"
#include "platform/platform.h"

void CInstallDlg::ExtractDriverPackage() {
  SetStatus("Reading driver file...");
  m_archive.SetOwnerWindow(m_hWnd);

  // The package is looked for in the current folder (the shortcut's
  // working folder), not beside the program. A folder path that does not
  // fit leaves it empty: the package is then looked for at the root.
  char folder[MAX_PATH] = {};
  const DWORD length = plat::Files().GetCurrentDirectoryA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) folder[0] = '\0';
  CString archive;
  archive.Format("%s\\DriverData.Drv", folder);
  if (!m_strPackagePath.IsEmpty()) archive = m_strPackagePath;

  const BYTE result = m_archive.Extract(archive, kPackageUnpackRoot);
  m_archive.FreeArchiveLibrary();
  if (result == CArchiveTool::kNotInCodePage) {
    CString text;
    text.Format(
        "The driver package could not be unpacked: the path \"%s\" has characters this Windows' code page "
        "cannot express.\r\n\r\nPut DriverData.Drv in a folder whose path has none of them and run the "
        "installer again.",
        archive.GetString());
    AfxMessageBox(text, MB_OK | MB_ICONWARNING);
  }
}
