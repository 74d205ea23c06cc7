// Removing what the driver package put on drive C: when the window goes.
#include "app/InstallDlg.h"
#include "platform/platform.h"

BOOL DeleteFolderTree(const char* folder) {
  plat::IFiles& files = plat::Files();
  CString pattern;
  pattern.Format("%s//*.*", folder);
  plat::FindData entry;
  HANDLE search = files.FindFirstFileA(pattern, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (entry.fileName == "." || entry.fileName == "..") continue;
      CString path;
      path.Format("%s//%s", folder, entry.fileName.c_str());
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteFolderTree(path);
      else
        files.DeleteFileA(path);  // a file that stays keeps its folder
    } while (files.FindNextFileA(search, &entry));
    files.FindClose(search);
  }
  return files.RemoveDirectoryA(folder);
}
