#include "ports/PortDialogs.h"

#include <vector>

#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {
constexpr DWORD kErrorAdapterHardware = 57;  // ERROR_ADAP_HDW_ERR
}

CPortListDlg::CPortListDlg(UINT templateId, PortKind kind, CWnd* parent)
    : CDialog(templateId, parent), m_kind(kind) {}

void CPortListDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PORT_LIST, m_listPorts);
}

BOOL CPortListDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  FillPortList();
  return TRUE;
}

void CPortListDlg::FillPortList() {
  m_listPorts.DeleteAllItems();
  const int columns = m_listPorts.GetHeaderCtrl()->GetItemCount();
  for (int i = 0; i < columns; ++i) m_listPorts.DeleteColumn(0);

  std::vector<plat::PortInfo2> ports;
  if (!plat::Spooler().EnumPortsA(&ports)) ports.clear();

  DWORD style = m_listPorts.GetExtendedStyle();
  style &= ~static_cast<DWORD>(LVS_EX_TRACKSELECT);
  style |= LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
  m_listPorts.SetExtendedStyle(style);
  m_listPorts.InsertColumn(0, "Port", LVCFMT_LEFT);
  m_listPorts.InsertColumn(1, "Description", LVCFMT_LEFT);
  m_listPorts.SetColumnWidth(0, 125);
  m_listPorts.SetColumnWidth(1, 300);

  // The same records the port lists were built from, as far as they look.
  const size_t handled = ports.size() < kMaxPortRecords ? ports.size() : kMaxPortRecords;
  int row = 0;
  for (size_t i = 0; i < handled; ++i) {
    if (ClassifyPort(ports[i]) != m_kind) continue;
    m_listPorts.InsertItem(row, ports[i].portName.c_str());
    m_listPorts.SetItemText(row, 1, ports[i].description.c_str());
    ++row;
  }
  m_listPorts.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
}

int CPortListDlg::SelectedRow() const {
  for (int row = 0; row < m_listPorts.GetItemCount(); ++row)
    if (m_listPorts.GetItemState(row, LVIS_SELECTED) & LVIS_SELECTED) return row;
  return -1;
}

void CPortListDlg::OnSelectPort() {
  const int row = SelectedRow();
  EndDialog(row >= 0 ? PORTDLG_FIRST_ROW + row : 0);
}

void CPortListDlg::OnCancelPort() { EndDialog(PORTDLG_CANCEL); }

void CPortListDlg::OnClose() { OnCancelPort(); }

CParallelPortDlg::CParallelPortDlg(CWnd* parent)
    : CPortListDlg(IDD_PARALLEL_PORT_DIALOG, PortKind::Parallel, parent) {}

BEGIN_MESSAGE_MAP(CParallelPortDlg, CPortListDlg)
ON_BN_CLICKED(IDC_SELECT_PORT, &CParallelPortDlg::OnSelectPort)
ON_BN_CLICKED(IDC_CANCEL_PORT, &CParallelPortDlg::OnCancelPort)
ON_WM_CLOSE()
END_MESSAGE_MAP()

CTcpipPortDlg::CTcpipPortDlg(CWnd* parent) : CPortListDlg(IDD_TCPIP_PORT_DIALOG, PortKind::Tcpip, parent) {}

BEGIN_MESSAGE_MAP(CTcpipPortDlg, CPortListDlg)
ON_BN_CLICKED(IDC_ADD_PORT, &CTcpipPortDlg::OnAddPort)
ON_BN_CLICKED(IDC_CONFIGURE_PORT, &CTcpipPortDlg::OnConfigurePort)
ON_BN_CLICKED(IDC_DELETE_PORT, &CTcpipPortDlg::OnDeletePort)
ON_BN_CLICKED(IDC_SELECT_PORT, &CTcpipPortDlg::OnSelectTcpipPort)
ON_BN_CLICKED(IDC_CANCEL_PORT, &CTcpipPortDlg::OnCancelPort)
ON_WM_CLOSE()
END_MESSAGE_MAP()

void CTcpipPortDlg::OnAddPort() {
  const BOOL added = plat::Spooler().AddPortA(m_hWnd, kTcpipMonitorName);
  FillPortList();
  // The spooler lists a new port last.
  if (added)
    m_listPorts.SetItemState(m_listPorts.GetItemCount() - 1, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
}

void CTcpipPortDlg::OnConfigurePort() {
  const int row = SelectedRow();
  if (row < 0) return;
  const CString port = m_listPorts.GetItemText(row, 0);
  // A call that succeeds need not clear the last error: an old code there
  // is no failure of this one.
  if (plat::Spooler().ConfigurePortA(m_hWnd, port)) return;
  const DWORD error = plat::System().GetLastError();
  if (error == ERROR_NOT_SUPPORTED)
    MessageBox("Failed to configure printer port.\r\nThe request is not supported.", "Configure Port", MB_OK);
  else if (error == kErrorAdapterHardware)
    MessageBox("Failed to configure printer port.\r\nA hardware error occurred. ", "Configure Por", MB_OK);
}

void CTcpipPortDlg::OnDeletePort() {
  const int row = SelectedRow();
  if (row >= 0) {
    const CString port = m_listPorts.GetItemText(row, 0);
    if (!plat::Spooler().DeletePortA(m_hWnd, port) && plat::System().GetLastError() == ERROR_NOT_SUPPORTED)
      MessageBox("Failed to delete port.The request is not supported.", "Delete Port", MB_OK);
  }
  FillPortList();
}

void CTcpipPortDlg::OnSelectTcpipPort() {
  if (m_listPorts.GetItemCount() == 0) {
    MessageBox("There is no available TCP/IP port\r\nClick \"Add port\" to create a new port", "Prompt",
               MB_OK);
    return;
  }
  OnSelectPort();
}

int CInstallDlg::ChooseParallelPort() {
  if (m_arrParallelPorts.IsEmpty()) {
    AfxMessageBox("There is no available parallel port.\r\n\r\nPlease select other port type.", MB_OK);
    return PORTDLG_CANCEL;
  }
  if (m_arrParallelPorts.GetSize() == 1) return PORTDLG_FIRST_ROW;
  CParallelPortDlg dialog(this);
  const int result = static_cast<int>(dialog.DoModal());
  EnumeratePorts();
  return result;
}

int CInstallDlg::ChooseTcpipPort() {
  if (m_arrTcpipPorts.IsEmpty()) {
    const BOOL added = plat::Spooler().AddPortA(m_hWnd, kTcpipMonitorName);
    EnumeratePorts();
    return added ? PORTDLG_ADDED : PORTDLG_CANCEL;
  }
  CTcpipPortDlg dialog(this);
  const int result = static_cast<int>(dialog.DoModal());
  EnumeratePorts();
  return result;
}
