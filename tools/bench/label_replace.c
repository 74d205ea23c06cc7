// label_replace: what the spooler itself needs for the calls the installer's label path makes when
// the printer is installed again, in the same order and with the same records, each call timed.
// The records are read back from the spooler after a real installation of the printer (driver,
// monitor, printer), so this program names no model and no file of its own.
//
//   label_replace.exe RUNS PRINTER [--readd-monitor]
//
// Each run: the driver directory, the service check (the spooler runs), the monitor list (the
// monitor is there with the same DLL: kept), the driver added again with its files staged in the
// driver directory as the installer stages them, the printer purged, deleted and added again.
// --readd-monitor deletes the monitor, restarts the spooler (stop, poll every 100 ms until stopped,
// start, poll until running) and adds the monitor back instead of keeping it: the replacement as
// it was before the monitor check. One line per run:
//   "run N calls MS files MS" then " STEP MS" for each step
// where calls is the sum of the spooler steps (the restart's pauses included) and files the
// staging and removal of the driver's files around the driver step (not spooler calls).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <winspool.h>
#include <winsvc.h>

#define POLL_MS 100
#define STATE_TIMEOUT_MS 30000
#define MAX_STEPS 16
#define MAX_FILES 64

typedef struct {
  const char* name;
  double ms;
} Step;

static Step steps[MAX_STEPS];
static int step_count;
static LARGE_INTEGER frequency, mark;

static double elapsed_ms(void) {
  LARGE_INTEGER now;
  double ms;
  QueryPerformanceCounter(&now);
  ms = (double)(now.QuadPart - mark.QuadPart) * 1000.0 / (double)frequency.QuadPart;
  mark = now;
  return ms;
}

// Ends the current step: the time since the previous one ended.
static void step(const char* name) {
  if (step_count < MAX_STEPS) {
    steps[step_count].name = name;
    steps[step_count].ms = elapsed_ms();
    step_count++;
  }
}

static int fail(const char* what) {
  fprintf(stderr, "label_replace: %s failed (error %lu)\n", what, GetLastError());
  return 0;
}

// The records of the installation being repeated, in the shape the installer passes them.
typedef struct {
  wchar_t directory[MAX_PATH];
  wchar_t environment[64];
  wchar_t driver[256], monitor[256], monitorDll[MAX_PATH], port[256], printer[256];
  wchar_t driverPath[MAX_PATH], dataFile[MAX_PATH], configFile[MAX_PATH], helpFile[MAX_PATH];
  wchar_t dependents[4096];  // "\NAME" entries, each NUL-terminated, ended by an empty one
  DWORD version;
  // Every file of the driver: where the spooler keeps it, where the installer stages it.
  wchar_t kept[MAX_FILES][MAX_PATH], staged[MAX_FILES][MAX_PATH];
  int files;
} Records;

static const wchar_t* base_name(const wchar_t* path) {
  const wchar_t* slash = wcsrchr(path, L'\\');
  return slash ? slash + 1 : path;
}

// Notes one file of the driver; its staged path goes to `out` (may be NULL).
static int add_file(Records* r, const wchar_t* kept, wchar_t* out) {
  if (r->files >= MAX_FILES) return 0;
  wcsncpy(r->kept[r->files], kept, MAX_PATH - 1);
  _snwprintf(r->staged[r->files], MAX_PATH - 1, L"%ls\\%ls", r->directory, base_name(kept));
  if (out) wcscpy(out, r->staged[r->files]);
  r->files++;
  return 1;
}

static int read_records(const wchar_t* printerName, Records* r) {
  HANDLE printer = NULL;
  BYTE* buffer;
  DWORD needed = 0, count = 0, i;
  PRINTER_INFO_2W* p;
  DRIVER_INFO_3W* d;
  MONITOR_INFO_2W* m;
  size_t used = 0;
  const wchar_t* dep;
  int ok = 1;

  memset(r, 0, sizeof *r);
  wcsncpy(r->printer, printerName, 255);
  if (!OpenPrinterW(r->printer, &printer, NULL)) return fail("OpenPrinterW");
  GetPrinterW(printer, 2, NULL, 0, &needed);
  buffer = malloc(needed ? needed : 1);
  if (!buffer || !GetPrinterW(printer, 2, buffer, needed, &needed)) return fail("GetPrinterW");
  p = (PRINTER_INFO_2W*)buffer;
  wcsncpy(r->port, p->pPortName, 255);
  wcsncpy(r->driver, p->pDriverName, 255);
  free(buffer);

  needed = 0;
  GetPrinterDriverW(printer, NULL, 3, NULL, 0, &needed);
  buffer = malloc(needed ? needed : 1);
  if (!buffer || !GetPrinterDriverW(printer, NULL, 3, buffer, needed, &needed))
    return fail("GetPrinterDriverW");
  ClosePrinter(printer);
  d = (DRIVER_INFO_3W*)buffer;
  r->version = d->cVersion;
  wcsncpy(r->environment, d->pEnvironment, 63);
  wcsncpy(r->monitor, d->pMonitorName ? d->pMonitorName : L"", 255);
  if (!GetPrinterDriverDirectoryW(NULL, r->environment, 1, (BYTE*)r->directory, sizeof r->directory, &needed))
    return fail("GetPrinterDriverDirectoryW");
  ok = add_file(r, d->pDriverPath, r->driverPath) && add_file(r, d->pDataFile, r->dataFile) &&
       add_file(r, d->pConfigFile, r->configFile) && add_file(r, d->pHelpFile, r->helpFile);
  for (dep = d->pDependentFiles; ok && dep && *dep; dep += wcslen(dep) + 1) {
    size_t length = wcslen(base_name(dep)) + 2;
    if (used + length + 1 >= sizeof r->dependents / sizeof r->dependents[0]) return fail("dependent list");
    _snwprintf(r->dependents + used, length, L"\\%ls", base_name(dep));
    used += length;
    ok = add_file(r, dep, NULL);
  }
  r->dependents[used] = 0;
  free(buffer);
  if (!ok) return fail("file list");

  needed = 0;
  EnumMonitorsW(NULL, 2, NULL, 0, &needed, &count);
  buffer = malloc(needed ? needed : 1);
  if (!buffer || !EnumMonitorsW(NULL, 2, buffer, needed, &needed, &count)) return fail("EnumMonitorsW");
  m = (MONITOR_INFO_2W*)buffer;
  for (i = 0; i < count; i++)
    if (_wcsicmp(m[i].pName, r->monitor) == 0) wcsncpy(r->monitorDll, m[i].pDLLName, MAX_PATH - 1);
  free(buffer);
  if (!r->monitorDll[0]) return fail("finding the driver's monitor");
  return 1;
}

static int wait_for(SC_HANDLE service, SERVICE_STATUS* status, DWORD wanted) {
  DWORD waited;
  for (waited = 0; status->dwCurrentState != wanted; waited += POLL_MS) {
    if (waited >= STATE_TIMEOUT_MS) return 0;
    Sleep(POLL_MS);
    if (!QueryServiceStatus(service, status)) return 0;
  }
  return 1;
}

// The installer's service control: "ensure running" (restart 0) or a restart.
static int control_spooler(int restart) {
  SC_HANDLE manager = OpenSCManagerW(NULL, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE query = manager ? OpenServiceW(manager, L"Spooler", SERVICE_ALL_ACCESS) : NULL;
  SC_HANDLE control = NULL;
  SERVICE_STATUS status;
  int ok = query && QueryServiceStatus(query, &status);
  if (ok && (restart || status.dwCurrentState == SERVICE_STOPPED)) {
    control = OpenServiceW(manager, L"Spooler", SERVICE_ALL_ACCESS);
    if (status.dwCurrentState != SERVICE_STOPPED) {
      ControlService(control, SERVICE_CONTROL_STOP, &status);
      ok = wait_for(query, &status, SERVICE_STOPPED);
    }
    if (ok) {
      StartServiceW(control, 0, NULL);
      ok = wait_for(query, &status, SERVICE_RUNNING);
    }
  }
  if (control) CloseServiceHandle(control);
  if (query) CloseServiceHandle(query);
  if (manager) CloseServiceHandle(manager);
  return ok ? 1 : fail("the Spooler service control");
}

// The monitor check: the monitor listed with the DLL the installer would add.
static int monitor_in_place(const Records* r) {
  DWORD needed = 0, count = 0, i;
  BYTE* buffer;
  int found = 0;
  EnumMonitorsW(NULL, 2, NULL, 0, &needed, &count);
  buffer = malloc(needed ? needed : 1);
  if (buffer && EnumMonitorsW(NULL, 2, buffer, needed, &needed, &count)) {
    MONITOR_INFO_2W* m = (MONITOR_INFO_2W*)buffer;
    for (i = 0; i < count && !found; i++)
      found = _wcsicmp(m[i].pName, r->monitor) == 0 && _wcsicmp(m[i].pDLLName, r->monitorDll) == 0;
  }
  free(buffer);
  return found;
}

static int one_run(Records* r, int readd_monitor, double* files_ms) {
  DWORD needed = 0;
  wchar_t directory[MAX_PATH];
  DRIVER_INFO_3W driver;
  PRINTER_INFO_2W info;
  PRINTER_DEFAULTSW defaults;
  HANDLE printer = NULL;
  int i;

  step_count = 0;
  elapsed_ms();
  GetPrinterDriverDirectoryW(NULL, r->environment, 1, (BYTE*)directory, sizeof directory, &needed);
  step("driver-directory");
  if (!control_spooler(0)) return 0;
  step("service-check");
  if (readd_monitor) {
    MONITOR_INFO_2W monitor;
    if (DeleteMonitorW(NULL, r->environment, r->monitor)) {
      step("monitor-delete");
      if (!control_spooler(1)) return 0;
      step("restart");
    } else {
      step("monitor-delete");
    }
    monitor.pName = r->monitor;
    monitor.pEnvironment = r->environment;
    monitor.pDLLName = r->monitorDll;
    if (!AddMonitorW(NULL, 2, (BYTE*)&monitor) && GetLastError() != ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
      return fail("AddMonitorW");
    step("monitor-add");
  } else {
    if (!monitor_in_place(r)) return fail("the monitor check (the monitor is not in place)");
    step("monitor-check");
  }

  // The installer stages the files before the call and removes them after: not spooler time.
  for (i = 0; i < r->files; i++) CopyFileW(r->kept[i], r->staged[i], FALSE);
  *files_ms = elapsed_ms();
  memset(&driver, 0, sizeof driver);
  driver.cVersion = r->version;
  driver.pName = r->driver;
  driver.pEnvironment = r->environment;
  driver.pDriverPath = r->driverPath;
  driver.pDataFile = r->dataFile;
  driver.pConfigFile = r->configFile;
  driver.pHelpFile = r->helpFile;
  driver.pDependentFiles = r->dependents;
  driver.pMonitorName = r->monitor;
  driver.pDefaultDataType = L"";
  if (!AddPrinterDriverExW(NULL, 3, (BYTE*)&driver, APD_COPY_ALL_FILES)) return fail("AddPrinterDriverExW");
  step("driver-add");
  for (i = 0; i < r->files; i++) DeleteFileW(r->staged[i]);
  *files_ms += elapsed_ms();

  memset(&defaults, 0, sizeof defaults);
  defaults.pDatatype = L"RAW";
  defaults.DesiredAccess = PRINTER_ALL_ACCESS;
  if (!OpenPrinterW(r->printer, &printer, &defaults)) return fail("OpenPrinterW");
  SetPrinterW(printer, 0, NULL, PRINTER_CONTROL_PURGE);
  DeletePrinter(printer);
  ClosePrinter(printer);
  step("printer-delete");
  memset(&info, 0, sizeof info);
  info.pPrinterName = r->printer;
  info.pPortName = r->port;
  info.pDriverName = r->driver;
  info.pPrintProcessor = L"WinPrint";
  info.pDatatype = L"RAW";
  printer = AddPrinterW(NULL, 2, (BYTE*)&info);
  if (!printer) return fail("AddPrinterW");
  ClosePrinter(printer);
  step("printer-add");
  return 1;
}

int wmain(int argc, wchar_t** argv) {
  int runs = argc >= 3 ? _wtoi(argv[1]) : 0,
      readd_monitor = argc == 4 && wcscmp(argv[3], L"--readd-monitor") == 0;
  int run, i;
  Records records;
  if (runs < 1 || argc > 4 || (argc == 4 && !readd_monitor)) {
    fprintf(stderr, "usage: label_replace.exe RUNS PRINTER [--readd-monitor]\n");
    return 2;
  }
  QueryPerformanceFrequency(&frequency);
  if (!read_records(argv[2], &records)) return 1;
  for (run = 1; run <= runs; run++) {
    double calls = 0, files = 0;
    if (!one_run(&records, readd_monitor, &files)) return 1;
    for (i = 0; i < step_count; i++) calls += steps[i].ms;
    printf("run %d calls %.1f files %.1f", run, calls, files);
    for (i = 0; i < step_count; i++) printf(" %s %.1f", steps[i].name, steps[i].ms);
    printf("\n");
    fflush(stdout);
  }
  return 0;
}
