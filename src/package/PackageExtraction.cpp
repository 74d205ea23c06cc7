// Unpacking the driver package at start-up.
#include <cstring>

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

  // Only what the installation reads is asked for, by its path below the
  // unpack root; the library refuses a package holding anything else.
  CStringArray names;
  for (const char* path : kPackageContents) names.Add(path + std::strlen(kPackageUnpackRoot));
  const BYTE result = m_archive.Extract(archive, kPackageUnpackRoot, names);
  m_archive.FreeArchiveLibrary();
  if (result == CArchiveTool::kUnexpectedEntries) {
    AfxMessageBox(
        "The driver package was not unpacked: it holds files for other places than DriverName.cfg and the "
        "Ticket and Barcode folders, and this installer writes nowhere else.\r\n\r\nAsk your supplier for a "
        "driver package that holds only those.",
        MB_OK | MB_ICONWARNING);
  }
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
