// Which USB port the new printer is on: it is put on each USB port in
// turn, the spooler restarted, and the spooler's on-line flag for it read.
#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {

constexpr DWORD kFlagBufferSize = 50;

const char kNoUsbPrinter[] =
    "Failed to select USB port,please check the port is connected.\r\n\r\nClick Retry:Retry to select usb "
    "port\r\nClick Cancel:Continue installation, you can select the port after installation";

}  // namespace

void CInstallDlg::DetectUsbPort() {
  SetStatus("Checking USB ports...");
  const int version = GetOsVersionCode();
  const CString printerName = m_strNewPrinter;
  const CString flagKey =
      "SYSTEM\\CurrentControlSet\\Hardware "
      "Profiles\\Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\" +
      printerName;
  plat::IRegistry& registry = plat::Registry();

  int confirmation = 0;
  for (int i = 0; i < m_arrUsbPorts.GetSize(); ++i) {
    const CString port = m_arrUsbPorts[i];
    CString status;
    status.Format("%s %s %s", "Checking ", port.GetString(), "....");
    SetStatus(status);
    SetPrinterPort(printerName, port);
    m_progress.SetPos(50);

    // Windows 7 is not asked: the printer ends on the last USB port.
    if (version == OSVER_WIN7) {
      confirmation = 1;
      continue;
    }
    ControlSpooler("Spooler", SPOOLER_RESTART);
    m_progress.SetPos(60);
    CStringArray names, ports;
    EnumeratePrinters(names, ports);

    HKEY key = nullptr;
    if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, flagKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      continue;
    BYTE flag[kFlagBufferSize] = {};
    DWORD size = kFlagBufferSize;
    if (registry.RegQueryValueExA(key, "PrinterOnLine", nullptr, flag, &size) != ERROR_SUCCESS) {
      AfxMessageBox("Failed to read Registry", MB_OK);
      registry.RegCloseKey(key);
      continue;
    }
    confirmation = flag[0];
    registry.RegCloseKey(key);
    if (confirmation == 1) {
      m_progress.SetPos(70);
      break;
    }
  }

  if (confirmation == 0 && MessageBox(kNoUsbPrinter, "Fail to select port", MB_RETRYCANCEL) == IDRETRY)
    DetectUsbPort();
  m_progress.SetPos(80);
}
