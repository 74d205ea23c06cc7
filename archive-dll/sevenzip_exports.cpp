// 7-zip32.dll: the archive library the installer loads at run time. It
// extracts ZIP archives with the reader of this folder; the owner window
// and progress callback are kept but no window of its own is ever shown.
#include <windows.h>

#include "sevenzip_command.h"

typedef BOOL(CALLBACK* ArchiveCallbackFn)(HWND window, UINT message, UINT state, void* progress);

namespace {

HWND g_owner = nullptr;
ArchiveCallbackFn g_callback = nullptr;

}  // namespace

extern "C" {

int WINAPI SevenZip(HWND owner, LPCSTR commandLine, LPSTR output, DWORD outputSize) {
  (void)owner;
  // Windows paths are used as they are.
  return RunSevenZipCommand(commandLine, output, static_cast<unsigned>(outputSize), nullptr);
}

BOOL WINAPI SevenZipSetOwnerWindowEx(HWND owner, void* callback) {
  g_owner = owner;
  g_callback = reinterpret_cast<ArchiveCallbackFn>(callback);
  return TRUE;
}

BOOL WINAPI SevenZipKillOwnerWindowEx(HWND owner) {
  if (owner == g_owner) {
    g_owner = nullptr;
    g_callback = nullptr;
  }
  return TRUE;
}

}  // extern "C"
