/* A stand-in for a DLL someone planted where a program might look for one
 * of its libraries: loading it leaves C:\planted-NAME-loaded.txt behind,
 * NAME being the file name it was planted under (7-zip32.dll,
 * winspool.drv), so the Wine runs can tell whether the installer took it.
 * It exports the archive library's names so a program that loads it as
 * that library would use it; planted as a system DLL it exports nothing
 * the program needs, and its marker is written before anything fails. */
#include <windows.h>

static void LeaveMarker(HINSTANCE instance) {
  char path[MAX_PATH];
  char marker[MAX_PATH + 32];
  const DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
  const char* name = path;
  const char* at;
  if (length == 0 || length >= MAX_PATH) lstrcpyA(path, "unknown");
  for (at = path; *at; ++at) {
    if (*at == '\\' || *at == '/') name = at + 1;
  }
  wsprintfA(marker, "C:\\planted-%s-loaded.txt", name);
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(instance);
  return TRUE;
}

__declspec(dllexport) int WINAPI SevenZip(HWND window, LPCSTR command, LPSTR output, DWORD size) {
  (void)window;
  (void)command;
  if (output && size) output[0] = '\0';
  return 0;
}

__declspec(dllexport) BOOL WINAPI SevenZipSetOwnerWindowEx(HWND window, LPVOID callback) {
  (void)window;
  (void)callback;
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI SevenZipKillOwnerWindowEx(HWND window) {
  (void)window;
  return TRUE;
}
