/* A minimal print monitor for the sample package's label driver. The
   spooler (and Wine's AddMonitorA) loads the DLL and calls
   InitializePrintMonitor2; the table it gets back has only the calls a
   monitor without ports of its own needs. Sample only: it prints nothing. */
#include <windows.h>
#include <winsplp.h>

static BOOL WINAPI EnumPortsStub(HANDLE monitor, LPWSTR name, DWORD level, LPBYTE ports, DWORD size,
                                 LPDWORD needed, LPDWORD returned) {
  (void)monitor;
  (void)name;
  (void)level;
  (void)ports;
  (void)size;
  /* No ports of its own: an enumeration of all monitors' ports goes on. */
  if (needed) *needed = 0;
  if (returned) *returned = 0;
  return TRUE;
}

static VOID WINAPI ShutdownStub(HANDLE monitor) { (void)monitor; }

static MONITOR2 g_monitor;
static int g_handle;

__declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  (void)init;
  g_monitor.cbSize = sizeof g_monitor;
  g_monitor.pfnEnumPorts = EnumPortsStub;
  g_monitor.pfnShutdown = ShutdownStub;
  if (monitor) *monitor = (HANDLE)&g_handle;
  return &g_monitor;
}
