// spooler_restart: the CPU time a caller spends restarting the print spooler the way the installer
// does (stop, poll every 100 ms until stopped, start, poll every 100 ms until running), against the
// wall time of the restart. The pauses should make the CPU share small.
//
//   spooler_restart.exe RUNS [MARKER]
//
// One line per restart: "run N wall MS cpu MS linux-cpu MS stop-polls N start-polls N". cpu is
// GetProcessTimes, which Wine counts in 10 ms ticks. Under Wine, with a MARKER argument unique to
// this run, linux-cpu is the process's run time from Linux's /proc (through drive Z:), to the
// microsecond, after a first line "baseline linux-cpu MS" (the cost of one reading); otherwise -1.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winsvc.h>

#define POLL_MS 100
#define STATE_TIMEOUT_MS 30000

static double cpu_ms(void) {
  FILETIME created, exited, kernel, user;
  ULARGE_INTEGER k, u;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  k.LowPart = kernel.dwLowDateTime;
  k.HighPart = kernel.dwHighDateTime;
  u.LowPart = user.dwLowDateTime;
  u.HighPart = user.dwHighDateTime;
  return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

// Reads a small file; its length, or -1.
static int read_small(const char *path, char *text, DWORD size) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  DWORD got = 0;
  BOOL ok;
  if (f == INVALID_HANDLE_VALUE) return -1;
  ok = ReadFile(f, text, size - 1, &got, NULL);
  CloseHandle(f);
  if (!ok) return -1;
  text[got] = 0;
  return (int)got;
}

// Wine opens files in its server, so /proc/self is the server's: this process is found as the one
// whose Unix command line is this program with MARKER among its arguments.
static DWORD find_unix_pid(const char *marker) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
  DWORD found = 0;
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    char path[MAX_PATH], line[4096];
    int n, at, first = 1, mine = 0;
    if (entry.cFileName[0] < '1' || entry.cFileName[0] > '9') continue;
    snprintf(path, sizeof path, "Z:\\proc\\%s\\cmdline", entry.cFileName);
    if ((n = read_small(path, line, sizeof line)) <= 0) continue;
    for (at = 0; at < n; at += (int)strlen(line + at) + 1, first = 0) {
      if (first) mine = strstr(line + at, "spooler_restart") != NULL;
      else if (mine && strcmp(line + at, marker) == 0) found = (DWORD)strtoul(entry.cFileName, NULL, 10);
    }
  } while (!found && FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

// Run time of every thread of the Unix process, from Linux's scheduler statistics (nanoseconds).
static double linux_cpu_ms(DWORD pid) {
  WIN32_FIND_DATAA entry;
  char pattern[MAX_PATH];
  HANDLE search;
  double total = 0;
  if (!pid) return -1;
  snprintf(pattern, sizeof pattern, "Z:\\proc\\%lu\\task\\*", (unsigned long)pid);
  if ((search = FindFirstFileA(pattern, &entry)) == INVALID_HANDLE_VALUE) return -1;
  do {
    char path[MAX_PATH], text[128];
    if (entry.cFileName[0] == '.') continue;
    snprintf(path, sizeof path, "Z:\\proc\\%lu\\task\\%s\\schedstat", (unsigned long)pid, entry.cFileName);
    if (read_small(path, text, sizeof text) > 0) total += strtod(text, NULL) / 1e6;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return total;
}

static double ms_since(LARGE_INTEGER start) {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)freq.QuadPart;
}

// The installer's wait: the state in hand first, then a pause before each new query.
static int wait_for(SC_HANDLE service, SERVICE_STATUS *status, DWORD wanted, int *polls) {
  DWORD waited;
  for (waited = 0; status->dwCurrentState != wanted; waited += POLL_MS) {
    if (waited >= STATE_TIMEOUT_MS) return 0;
    Sleep(POLL_MS);
    ++*polls;
    if (!QueryServiceStatus(service, status)) return 0;
  }
  return 1;
}

int main(int argc, char **argv) {
  int runs = argc == 2 || argc == 3 ? atoi(argv[1]) : 0, i;
  DWORD unix_pid;
  if (runs < 1) {
    fprintf(stderr, "usage: spooler_restart.exe RUNS [MARKER]\n");
    return 2;
  }
  unix_pid = argc == 3 ? find_unix_pid(argv[2]) : 0;
  if (unix_pid) {
    // What one reading of /proc costs, as it falls inside each measured interval.
    double before = linux_cpu_ms(unix_pid);
    printf("baseline linux-cpu %.2f\n", linux_cpu_ms(unix_pid) - before);
  }
  for (i = 1; i <= runs; i++) {
    SC_HANDLE manager, query, control;
    SERVICE_STATUS status;
    LARGE_INTEGER start;
    int stop_polls = 0, start_polls = 0, ok;
    double cpu0 = cpu_ms(), linux0 = linux_cpu_ms(unix_pid), linux1;
    QueryPerformanceCounter(&start);

    manager = OpenSCManagerA(NULL, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
    query = manager ? OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS) : NULL;
    control = manager ? OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS) : NULL;
    if (!query || !control || !QueryServiceStatus(query, &status)) {
      fprintf(stderr, "spooler_restart: cannot reach the Spooler service (error %lu)\n", GetLastError());
      return 1;
    }
    ok = 1;
    if (status.dwCurrentState != SERVICE_STOPPED) {
      ControlService(control, SERVICE_CONTROL_STOP, &status);
      ok = wait_for(query, &status, SERVICE_STOPPED, &stop_polls);
    }
    if (ok) {
      StartServiceA(control, 0, NULL);
      ok = wait_for(query, &status, SERVICE_RUNNING, &start_polls);
    }
    CloseServiceHandle(control);
    CloseServiceHandle(query);
    CloseServiceHandle(manager);
    if (!ok) {
      fprintf(stderr, "spooler_restart: run %d: the service did not reach its state\n", i);
      return 1;
    }
    linux1 = linux_cpu_ms(unix_pid);
    printf("run %d wall %.1f cpu %.1f linux-cpu %.2f stop-polls %d start-polls %d\n", i, ms_since(start),
           cpu_ms() - cpu0, linux0 < 0 || linux1 < 0 ? -1.0 : linux1 - linux0, stop_polls, start_polls);
    fflush(stdout);
  }
  return 0;
}
