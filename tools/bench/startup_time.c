// startup_time: how long the installer takes from its launch until Install is enabled, measured
// from inside Wine (no driver start-up or harness pauses in the figure).
//
//   startup_time.exe INSTALLER.exe RUNS
//
// Each run starts the installer with its own folder as the current folder (where it looks for the
// package), polls every 2 ms for the window, the driver list being filled and the Install button
// being enabled, closes the window and waits for the process to end. One line per run:
// "run N window MS listed MS enabled MS" (listed -1: the list stayed empty).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#define TITLE L"Configure & Install v1.0"
#define IDC_DRIVER_COMBO 1000
#define IDC_INSTALL 1012
#define POLL_MS 2
#define TIMEOUT_MS 60000

static double ms_since(LARGE_INTEGER start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)freq.QuadPart;
}

// The installer's visible main window, once it exists.
static HWND window_of(DWORD pid) {
  HWND h = FindWindowW(NULL, TITLE);
  DWORD owner = 0;
  if (!h || !IsWindowVisible(h)) return NULL;
  GetWindowThreadProcessId(h, &owner);
  return owner == pid ? h : NULL;
}

static int run_once(const WCHAR *exe, const WCHAR *folder, int index) {
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  LARGE_INTEGER start;
  WCHAR command[MAX_PATH + 3];
  double shown = -1, listed = -1, enabled = -1;
  HWND window = NULL;

  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  swprintf(command, MAX_PATH + 3, L"\"%ls\"", exe);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(exe, command, NULL, NULL, FALSE, 0, NULL, folder, &si, &pi)) {
    fprintf(stderr, "startup_time: cannot start %ls (error %lu)\n", exe, GetLastError());
    return 1;
  }
  while (enabled < 0 && ms_since(start) < TIMEOUT_MS) {
    if (!window && (window = window_of(pi.dwProcessId))) shown = ms_since(start);
    if (window) {
      HWND install = GetDlgItem(window, IDC_INSTALL);
      DWORD_PTR count = 0;
      if (listed < 0 &&
          SendMessageTimeoutW(GetDlgItem(window, IDC_DRIVER_COMBO), CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000,
                              &count) &&
          (int)count > 0)
        listed = ms_since(start);
      if (install && IsWindowEnabled(install)) enabled = ms_since(start);
    }
    if (WaitForSingleObject(pi.hProcess, POLL_MS) == WAIT_OBJECT_0) break;
  }
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (enabled < 0) {
    fprintf(stderr, "startup_time: run %d: Install not enabled within %d ms\n", index, TIMEOUT_MS);
    return 1;
  }
  printf("run %d window %.1f listed %.1f enabled %.1f\n", index, shown, listed, enabled);
  fflush(stdout);
  return 0;
}

int wmain(int argc, WCHAR **argv) {
  WCHAR exe[MAX_PATH], folder[MAX_PATH], *slash;
  int runs, i;
  if (argc != 3 || (runs = _wtoi(argv[2])) < 1) {
    fprintf(stderr, "usage: startup_time.exe INSTALLER.exe RUNS\n");
    return 2;
  }
  if (!GetFullPathNameW(argv[1], MAX_PATH, exe, NULL)) return 2;
  wcscpy(folder, exe);
  if ((slash = wcsrchr(folder, L'\\'))) *slash = 0;
  for (i = 1; i <= runs; i++)
    if (run_once(exe, folder, i)) return 1;
  return 0;
}
