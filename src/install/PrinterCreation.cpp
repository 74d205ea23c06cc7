// What both installation paths share: the port choice before any file is
// touched, and the printer's creation, default-printer setting, port step
// and finish after the driver is registered.
#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {

void EnableLoadDriverPrivilege() {
  plat::ISystem& system = plat::System();
  HANDLE token = nullptr;
  if (!system.OpenProcessToken(system.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return;
  LUID luid = {};
  if (system.LookupPrivilegeValueA(nullptr, "SeLoadDriverPrivilege", &luid))
    system.AdjustTokenPrivileges(token, luid, SE_PRIVILEGE_ENABLED);
  plat::Threads().CloseHandle(token);
}

}  // namespace

BOOL CInstallDlg::SelectPortForInstall() {
  if (m_nPortType != PORT_TCPIP && m_nPortType != PORT_PARALLEL) return TRUE;
  const int result = m_nPortType == PORT_TCPIP ? ChooseTcpipPort() : ChooseParallelPort();
  const CStringArray& ports = m_nPortType == PORT_TCPIP ? m_arrTcpipPorts : m_arrParallelPorts;
  if (result == PORTDLG_ADDED && m_nPortType == PORT_TCPIP && ports.GetSize() > 0) {
    m_strPortName = ports[0];
    return TRUE;
  }
  const int row = result - PORTDLG_FIRST_ROW;
  if (result != PORTDLG_CANCEL && row >= 0 && row < ports.GetSize()) {
    m_strPortName = ports[row];
    return TRUE;
  }
  // Cancelled, or a dialog closed by Enter or Esc, or OK with no row (none
  // of them names a port): the port choice is cancelled and Install can be
  // pressed again.
  return FALSE;
}

BOOL CInstallDlg::RunPortStep() {
  if (m_nPortType == PORT_SERIAL) return AssignSerialPort();
  if (m_nPortType == PORT_USB) DetectUsbPort();
  return FALSE;
}

void CInstallDlg::CreatePrinterAndFinish(const CString& printerName, const CString& driverName,
                                         DriverKind kind) {
  plat::ISpooler& spooler = plat::Spooler();
  EnableLoadDriverPrivilege();

  // A printer of the same name makes way for the new one.
  HANDLE existing = nullptr;
  if (spooler.OpenPrinterA(printerName, &existing, "RAW", PRINTER_ALL_ACCESS)) {
    SetStatus("The printer " + printerName + " exists,Re-adding the printer...");
    spooler.SetPrinterA(existing, PRINTER_CONTROL_PURGE);
    spooler.DeletePrinter(existing);
    spooler.ClosePrinter(existing);
  }

  // Serial or USB chosen with no port of that kind: the printer starts on
  // the first parallel port (with none, on the chosen name, which the
  // spooler then refuses as an unknown port).
  const bool serialOrUsb = m_nPortType == PORT_SERIAL || m_nPortType == PORT_USB;
  CString port = m_strPortName;
  if (!g_bPortAvailable && serialOrUsb && m_arrParallelPorts.GetSize() > 0) port = m_arrParallelPorts[0];

  plat::PrinterInfo2 info;
  info.printerName = printerName.str();
  info.portName = port.str();
  info.driverName = driverName.str();
  info.printProcessor = "WinPrint";
  info.dataType = "RAW";
  m_strNewPrinter = printerName;
  m_strCreatedPort = port;
  m_strPrinterPort = port;
  HANDLE printer = spooler.AddPrinterA(info);
  if (!printer) {
    const DWORD error = plat::System().GetLastError();
    const char* retryReason = error == ERROR_UNKNOWN_PORT
                                  ? "There's no available useful port,please select other type of port"
                              : error == ERROR_MOD_NOT_FOUND ? "Missing system flies,please repair system"
                                                             : nullptr;
    if (retryReason) {
      MessageBox(retryReason, "Prompt", MB_OK);
      OfferReinstall(retryReason);
      return;
    }
    CString text;
    text.Format("Error AddPrinter %u", static_cast<unsigned>(error));
    MessageBox(text, "Error prompt", MB_OK);
    NoteRefused(text);
    m_btnInstall.EnableWindow(TRUE);
    m_progress.SetPos(0);
    return;
  }

  if (g_bPortAvailable) {
    m_strStatus = "Added the printer " + printerName;
  } else if (m_nPortType == PORT_SERIAL) {
    m_strStatus = "There's no serial port,the current port is" + port;
  } else if (m_nPortType == PORT_USB) {
    // The printer stays on the fallback port it was created on; the spooler
    // is restarted and the ports listed again so that the USB detection
    // below tries every USB port that has come up since.
    ControlSpooler("Spooler", SPOOLER_RESTART);
    EnumeratePorts();
    m_strStatus = "Added the printer " + printerName;
  }
  PushUpdate();
  spooler.ClosePrinter(printer);
  m_progress.SetPos(30);

  if (m_bSetDefault) {
    CString device;
    device.Format("%s,%s,%s", printerName.GetString(), "winspool", m_strPortName.GetString());
    plat::IRegistry& registry = plat::Registry();
    HKEY key = nullptr;
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                               0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      if (registry.RegSetValueExA(key, "Device", REG_SZ, reinterpret_cast<const BYTE*>(device.GetString()),
                                  static_cast<DWORD>(device.GetLength() + 1)) != ERROR_SUCCESS)
        AfxMessageBox("Error：Failed to set regist", MB_OK);
      registry.RegCloseKey(key);
    }
  }

  m_progress.SetPos(40);
  m_strStatus = "Set the printer " + printerName + " to default printer";
  if (kind == DriverKind::Label) PushUpdate();

  const BOOL portStepFinishes = RunPortStep();
  plat::Threads().Sleep(kind == DriverKind::Receipt ? 500 : 100);
  if (m_nPortType != PORT_SERIAL) {
    m_progress.SetPos(100);
    m_strStatus = "The installation is completed.";
  }
  // A label printer on a serial port is finished by the serial step.
  if (kind == DriverKind::Label && m_nPortType == PORT_SERIAL && portStepFinishes) return;
  if (m_nPortType == PORT_SERIAL) {
    // The serial step records the outcome itself, when its probing ends; a
    // receipt printer's button shows "&Finish" meanwhile, as it always has.
    m_btnInstall.EnableWindow(TRUE);
    m_btnInstall.SetWindowText("&Finish");
  } else {
    FinishInstallation();
  }
  PushUpdate();
}
