// Finding the COM port a serial printer is on: each port in turn is opened
// at the chosen rate, sent a status request, and given 700 ms to answer.
// Window timer 1 drives the run, one step per tick.
#include <cstdlib>

#include "app/InstallDlg.h"
#include "package/ModelTables.h"

namespace {

constexpr UINT_PTR kProbeTimer = 1;
constexpr UINT kAnswerTimeMs = 700;
constexpr UINT kMoveOnMs = 1;
constexpr int kSendBufferSize = 512;

// The real-time status request receipt printers answer, and the label
// printers' status query.
const char kReceiptStatusRequest[3] = {0x10, 0x04, 0x01};
const char kLabelStatusRequest[3] = {0x1B, 0x21, 0x3F};

// "COM12:" gives 12; the number runs from after "COM" to the colon.
int PortNumber(const CString& name) {
  const int colon = name.Find(':');
  const CString digits = colon > 3 ? name.Mid(3, colon - 3) : name.Mid(3);
  return static_cast<int>(std::strtol(digits, nullptr, 10));
}

}  // namespace

void CInstallDlg::StartSerialProbe() {
  m_nProbeIndex = -1;
  SetTimer(kProbeTimer, kMoveOnMs);
}

void CInstallDlg::OnTimer(UINT_PTR id) {
  if (m_bReplyReceived) {
    OnProbeFound();
  } else if (++m_nProbeIndex >= m_arrSerialPorts.GetSize()) {
    OnProbeNotFound();
  } else {
    const CString name = m_arrSerialPorts[m_nProbeIndex];
    m_nProbePort = PortNumber(name);
    SetStatus("Checking " + name);
    if (m_serial.m_hPort) m_serial.ClosePort();
    if (m_serial.OpenPort(this, m_nProbePort, static_cast<UINT>(m_nBaudRate), static_cast<char>(m_chParity),
                          static_cast<UINT>(m_nDataBits), static_cast<UINT>(m_nStopBits), m_dwCommEvents,
                          kSendBufferSize)) {
      if (m_serial.StartMonitor()) {
        SetTimer(kProbeTimer, kAnswerTimeMs);
        const bool receipt = m_nDriverIndex < ReceiptModelCount();
        m_serial.SendBytes(receipt ? kReceiptStatusRequest : kLabelStatusRequest, 3);
      } else {
        if (m_serial.m_hPort) m_serial.ClosePort();
        SetTimer(kProbeTimer, kMoveOnMs);
      }
    } else {
      // The next tick closes what the failed open left.
      SetTimer(kProbeTimer, kMoveOnMs);
    }
  }
  CDialog::OnTimer(id);
}

void CInstallDlg::OnProbeFound() {
  KillTimer(kProbeTimer);
  const CString port = m_arrSerialPorts[m_nProbeIndex];
  CString status;
  status.Format("%s %s", "The available printer port: ", port.GetString());
  SetStatus(status);
  if (m_serial.m_hPort) m_serial.ClosePort();
  SetPrinterPort(m_strNewPrinter, port);
  // The printer list was taken before the run, with the printer on the
  // port it was created on; rewriting the serial printers from it as it
  // stands would move the printer back there.
  NotePrinterPort(m_strNewPrinter, port);
  WritePortSettings(port);
  m_progress.SetPos(80);
  RewriteSerialPrinterPorts();
  m_progress.SetPos(90);
  ControlSpooler("Spooler", SPOOLER_RESTART);
  FinishSerialInstallation();
}

void CInstallDlg::OnProbeNotFound() {
  if (m_serial.m_hPort) m_serial.ClosePort();
  KillTimer(kProbeTimer);
  m_progress.SetPos(80);
  RewriteSerialPrinterPorts();
  m_progress.SetPos(90);
  ControlSpooler("Spooler", SPOOLER_RESTART);
  m_strStatus = "Unable to detect available printer.The current printer port is " + m_arrSerialPorts[0];
  FinishSerialInstallation(false);
}
