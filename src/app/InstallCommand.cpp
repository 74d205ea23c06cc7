// The Install button: gathers the user's choices and runs the installation
// path of the chosen model. The same button, relabelled "&Finish" by a
// finished installation, closes the window.
#include "app/InstallDlg.h"
#include "install/PrinterNameRules.h"
#include "package/MachineChecks.h"
#include "package/ModelTables.h"

namespace {

const CStringArray& PortListOf(const CInstallDlg& dialog, int portType) {
  switch (portType) {
    case PORT_SERIAL:
      return dialog.m_arrSerialPorts;
    case PORT_USB:
      return dialog.m_arrUsbPorts;
    case PORT_PARALLEL:
      return dialog.m_arrParallelPorts;
    default:
      return dialog.m_arrTcpipPorts;
  }
}

}  // namespace

void CInstallDlg::RefuseInstall(const char* text) {
  MessageBox(text, "Error", MB_OK | MB_ICONWARNING);
  NoteRefused(text);
  m_btnInstall.EnableWindow(TRUE);
}

void CInstallDlg::NoteRefused(const char* reason) {
  m_outcome.result = CInstallOutcome::REFUSED;
  m_outcome.reason = reason;
}

void CInstallDlg::OfferReinstall(const char* reason) {
  m_outcome.result = CInstallOutcome::RETRY;
  m_outcome.reason = reason;
  m_btnInstall.SetWindowText("Reinstall");
  m_btnInstall.EnableWindow(TRUE);
  m_progress.SetPos(0);
}

void CInstallDlg::FinishInstallation() {
  m_outcome.result = CInstallOutcome::FINISHED;
  m_outcome.port = m_strPrinterPort;
  m_btnInstall.EnableWindow(TRUE);
  m_btnInstall.SetWindowText("&Finish");
}

void CInstallDlg::OnInstall() {
  UpdateData(TRUE);
  CString caption;
  m_btnInstall.GetWindowText(caption);
  if (caption == "&Finish") {
    OnOK();
    return;
  }
  m_btnInstall.EnableWindow(FALSE);
  m_outcome = CInstallOutcome();

  // An ARM64 spooler cannot load the package's x64 drivers, which the
  // 64-bit emulation layer would otherwise choose: nothing is staged.
  if (m_wNativeMachine == NATIVE_MACHINE_ARM64) {
    RefuseInstall(kNoDriversForArm64);
    return;
  }

  // The selected row is the port type; with none selected the last press's
  // type holds, or on the first press the one the start-up pre-selected.
  bool selected = false;
  for (int row = 0; row < m_listPortType.GetItemCount(); ++row) {
    if (m_listPortType.GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED) {
      m_nPortType = row;
      selected = true;
      break;
    }
  }
  if (!selected && !m_bPortTypeChosen) m_nPortType = m_nPresetPortType;
  m_bPortTypeChosen = true;

  if (m_nPortType >= PORT_SERIAL && m_nPortType <= PORT_TCPIP) {
    const CStringArray& ports = PortListOf(*this, m_nPortType);
    if (ports.GetSize() > 0) {
      m_strPortName = ports[0];
      g_bPortAvailable = 1;
    } else {
      g_bPortAvailable = 0;
    }
  }

  FindDriverIndex();

  // The model tables have a row for every index from 0 to 32 only: an
  // empty driver list (no package) or a catalogue with more sections than
  // the tables must not reach them.
  const int receiptModels = ReceiptModelCount();
  if (m_cboDriver.GetCount() <= 0) {
    // Nothing was installed: the window stays as it was, Cancel included.
    RefuseInstall(
        "No driver package was found, so there is nothing to install.\r\n\r\nPut DriverData.Drv in the "
        "folder "
        "the installer is started from and run the installer again.");
    return;
  }
  if (m_nDriverIndex < 0 || m_nDriverIndex >= receiptModels + kLabelModelCount) {
    CString text;
    CString chosen;
    m_cboDriver.GetWindowText(chosen);
    text.Format(
        "The driver package does not say which printer model \"%s\" is, so nothing was installed.\r\n\r\n"
        "Choose another printer name, or ask your supplier for a matching driver package.",
        chosen.GetString());
    RefuseInstall(text);
    return;
  }
  if (m_nDriverIndex < receiptModels) {
    // The typed name is checked now: the spooler would refuse it only at
    // the end, with the driver already installed.
    CString printerName;
    CString reason;
    GetDlgItemText(IDC_PRINTER_NAME, printerName);
    if (!CheckPrinterName(printerName, &reason)) {
      CString text;
      text.Format(
          "Windows does not accept this printer name, so nothing was installed.\r\n\r\n%s\r\n\r\nType "
          "another "
          "printer name and press Install again.",
          reason.GetString());
      RefuseInstall(text);
      return;
    }
    InstallReceiptDriver();
  } else {
    InstallLabelDriver();
  }

  if (CWnd* cancel = GetDlgItem(IDCANCEL)) cancel->EnableWindow(FALSE);
  UpdateData(FALSE);
}
