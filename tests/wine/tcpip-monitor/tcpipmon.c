/* A port monitor for the Wine runs that reports network ports as Windows' TCP/IP monitor does:
   Wine has no such monitor, and every port of its Ports key is described as "Local Port", so
   without this DLL the installer never sees a TCP/IP port under Wine. Registered as the monitor
   "Standard TCP/IP Port", it lists one port for each subkey of its Ports key, as Windows keeps
   them, with the description "Standard TCP/IP Port", or the text of the monitor key's value
   "PortDescription" when it has one (a Windows of another language describes its ports in that
   language: "标准 TCP/IP 端口" on Simplified Chinese). It adds, configures and opens nothing: the
   spooler answers those calls as for a monitor that cannot do them. */
#include <windows.h>
#include <winsplp.h>
#include <wchar.h>

#define MONITOR_KEY L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port"
#define PORTS_KEY MONITOR_KEY L"\\Ports"
#define DESCRIPTION_MAX 128
#define MAX_PORTS 32

static const WCHAR kName[] = L"Standard TCP/IP Port";

// The ports' description: the monitor key's "PortDescription", else the monitor's name.
static void port_description(WCHAR *out) {
  HKEY key;
  DWORD type = 0, size = (DESCRIPTION_MAX - 1) * sizeof(WCHAR);
  wcscpy(out, kName);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MONITOR_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  if (RegQueryValueExW(key, L"PortDescription", NULL, &type, (BYTE *)out, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size < sizeof(WCHAR))
    wcscpy(out, kName);
  else
    out[size / sizeof(WCHAR)] = 0;
  RegCloseKey(key);
}

static BOOL WINAPI ListPorts(HANDLE monitor, LPWSTR server, DWORD level, LPBYTE buffer, DWORD size,
                             LPDWORD needed, LPDWORD returned) {
  WCHAR names[MAX_PORTS][MAX_PATH];
  DWORD count = 0, bytes, entry, i;
  HKEY key;
  WCHAR *text, description[DESCRIPTION_MAX];
  (void)monitor;
  (void)server;
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PORTS_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    while (count < MAX_PORTS && RegEnumKeyW(key, count, names[count], MAX_PATH) == ERROR_SUCCESS) count++;
    RegCloseKey(key);
  }
  port_description(description);
  entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  bytes = count * entry;
  for (i = 0; i < count; i++) {
    bytes += (DWORD)(wcslen(names[i]) + 1) * sizeof(WCHAR);
    if (level == 2) bytes += sizeof kName + (DWORD)(wcslen(description) + 1) * sizeof(WCHAR);
  }
  *needed = bytes;
  *returned = 0;
  if (size < bytes || !buffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  text = (WCHAR *)(buffer + count * entry);
  for (i = 0; i < count; i++) {
    PORT_INFO_2W *port = (PORT_INFO_2W *)(buffer + i * entry);
    port->pPortName = wcscpy(text, names[i]);
    text += wcslen(text) + 1;
    if (level == 2) {
      port->pMonitorName = wcscpy(text, kName);
      text += wcslen(text) + 1;
      port->pDescription = wcscpy(text, description);
      text += wcslen(text) + 1;
      port->fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
      port->Reserved = 0;
    }
  }
  *returned = count;
  return TRUE;
}

static VOID WINAPI ShutdownMonitor(HANDLE monitor) { (void)monitor; }

static MONITOR2 g_monitor;
static int g_handle;

__declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
  (void)init;
  g_monitor.cbSize = sizeof g_monitor;
  g_monitor.pfnEnumPorts = ListPorts;
  g_monitor.pfnShutdown = ShutdownMonitor;
  *monitor = (HANDLE)&g_handle;
  return &g_monitor;
}
