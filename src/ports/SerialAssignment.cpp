// The port step of a serial printer: with one COM port the printer goes
// there, with several the user may let the installer probe for it, with
// none it stays on the parallel port it was created on.
#include "app/InstallDlg.h"
#include "platform/platform.h"
#include "ports/SerialPromptDlg.h"

void CInstallDlg::WritePortSettings(const CString& port) {
  CString settings;
  settings.Format("%d,%c,%d,%d", m_nBaudRate, static_cast<char>(m_chParity + 32), m_nDataBits, m_nStopBits);
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", 0,
                             KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  if (registry.RegSetValueExA(key, port, REG_SZ, reinterpret_cast<const BYTE*>(settings.GetString()),
                              static_cast<DWORD>(settings.GetLength() + 1)) != ERROR_SUCCESS)
    AfxMessageBox("Error：Failed to set Registry", MB_OK);
  registry.RegCloseKey(key);
}

void CInstallDlg::FinishSerialInstallation(bool printerAnswered) {
  FinishInstallation();
  m_outcome.printerAnswered = printerAnswered;
  PushUpdate();
  m_progress.SetPos(100);
}

BOOL CInstallDlg::AssignSerialPort() {
  EnumeratePrinters(m_arrPrinterNames, m_arrPrinterPorts);
  m_progress.SetPos(50);
  const CString printerName = m_strNewPrinter;

  if (m_arrSerialPorts.GetSize() > 1) {
    CSerialPromptDlg prompt(this);
    const int result = static_cast<int>(prompt.DoModal());
    const int row = result - PORTDLG_FIRST_ROW;
    if (row >= 0 && row < static_cast<int>(sizeof kBaudRates / sizeof kBaudRates[0])) {
      m_nBaudRate = kBaudRates[row];
      StartSerialProbe();
      return TRUE;
    }
    // No, Enter or Esc: the printer stays on the first port, nothing is
    // written.
    PushUpdate();
    SetStatus("The current printer port is " + m_arrSerialPorts[0] +
              " ,you can set that after the installation");
    FinishSerialInstallation();
    return TRUE;
  }

  if (m_arrSerialPorts.GetSize() == 1) {
    const CString port = m_arrSerialPorts[0];
    SetPrinterPort(printerName, port);
    NotePrinterPort(printerName, port);
    ControlSpooler("Spooler", SPOOLER_RESTART);
    // No rate was asked for on this road.
    m_nBaudRate = m_nSinglePortBaudRate;
    WritePortSettings(port);
    RewriteSerialPrinterPorts();
    m_progress.SetPos(90);
    ControlSpooler("Spooler", SPOOLER_RESTART);
    SetStatus("The current printer port is " + port + ",you can configure after the installation");
    FinishSerialInstallation();
    return TRUE;
  }

  // No COM port: the printer was created on the fallback port, which the
  // status names again.
  RewriteSerialPrinterPorts();
  m_progress.SetPos(90);
  ControlSpooler("Spooler", SPOOLER_RESTART);
  SetStatus("There's no serial port,the current port is" + m_strCreatedPort);
  FinishSerialInstallation();
  return TRUE;
}
