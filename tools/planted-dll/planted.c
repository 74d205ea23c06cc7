/* A stand-in for a DLL someone planted where a program might look for its
 * archive library: loading it leaves C:\planted-dll-loaded.txt behind, so
 * the Wine runs can tell whether the installer took it. It exports the
 * archive library's names so a program that loads it would use it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    HANDLE marker = CreateFileA("C:\\planted-dll-loaded.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
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
