#include "app/InstallDlg.h"

#include "package/ModelTables.h"
#include "package/PackageLocations.h"
#include "platform/platform.h"
#include "ports/SerialPromptDlg.h"

const UINT WM_MYUPDATEDATA = RegisterWindowMessage("MyUpdateData");
BYTE g_bPortAvailable = 1;

CInstallDlg::CInstallDlg(CWnd* parent)
    : CDialog(IDD, parent),
      m_bSetDefault(TRUE),
      m_nReceiptGroup4(0),
      m_nReceiptGroup3(0),
      m_nReceiptGroup2(0),
      m_nReceiptGroup1(0),
      m_nDriverIndex(0),
      m_nPortType(0),
      m_nBaudRate(0),
      m_bIsWow64(FALSE),
      m_bReplyReceived(FALSE),
      m_nProbePort(0),
      m_chParity('N'),
      m_nDataBits(8),
      m_nStopBits(1),
      m_dwCommEvents(0),
      m_nProbeIndex(0),
      m_nSinglePortBaudRate(kBaudRates[kPresetBaudRow]) {}

CInstallDlg::~CInstallDlg() {
  if (m_hStartupThread) plat::Threads().CloseHandle(m_hStartupThread);
}

void CInstallDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_INSTALL, m_btnInstall);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_DRIVER_COMBO, m_cboDriver);
  DDX_Control(pDX, IDC_PORT_TYPE_LIST, m_listPortType);
  DDX_Check(pDX, IDC_SET_DEFAULT, m_bSetDefault);
  DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

BEGIN_MESSAGE_MAP(CInstallDlg, CDialog)
ON_MESSAGE(WM_SERIAL_BYTE, &CInstallDlg::OnPortReply)
ON_CBN_SELCHANGE(IDC_DRIVER_COMBO, &CInstallDlg::OnSelchangeDriver)
ON_BN_CLICKED(IDC_INSTALL, &CInstallDlg::OnInstall)
ON_REGISTERED_MESSAGE(WM_MYUPDATEDATA, &CInstallDlg::OnUpdateDataMsg)
ON_WM_CLOSE()
ON_WM_TIMER()
ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CInstallDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  m_nProbePort = 0;
  m_chParity = 'N';
  m_nDataBits = 8;
  m_nStopBits = 1;
  m_dwCommEvents = 3;  // EV_RXCHAR | EV_RXFLAG
  m_nProbeIndex = 0;
  m_bReplyReceived = FALSE;
  m_nReceiptGroup1 = kReceiptGroups[0].size;
  m_nReceiptGroup2 = kReceiptGroups[1].size;
  m_nReceiptGroup3 = kReceiptGroups[2].size;
  m_nReceiptGroup4 = kReceiptGroups[3].size;

  InitPortTypeList();

  // Replaces the template's status text with the (empty) member.
  PushUpdate();

  DWORD threadId = 0;
  m_hStartupThread = plat::Threads().CreateThread(&CInstallDlg::StartupThreadProc, this, &threadId);
  // Without a worker nothing would ever enable Install: the start-up then
  // runs here, and the window shows once it is done.
  if (!m_hStartupThread) RunStartup();
  return TRUE;
}

void CInstallDlg::PushUpdate() {
  if (IsClosing()) return;
  SendMessage(WM_MYUPDATEDATA, FALSE, 0);
}

void CInstallDlg::SetStatus(const char* text) {
  if (IsClosing()) return;
  m_strStatus = text;
  PushUpdate();
}

LRESULT CInstallDlg::OnPortReply(WPARAM, LPARAM) {
  m_bReplyReceived = TRUE;
  return 0;
}

void CInstallDlg::OnSelchangeDriver() {
  CString name;
  m_cboDriver.GetWindowText(name);
  SetDlgItemText(IDC_PRINTER_NAME, name);
}

LRESULT CInstallDlg::OnUpdateDataMsg(WPARAM wParam, LPARAM) { return UpdateData(static_cast<BOOL>(wParam)); }

void CInstallDlg::OnClose() { EndDialog(IDCANCEL); }

void CInstallDlg::OnDestroy() {
  // The start-up worker must not outlive the window it reports to: stop it
  // at its next step and let through what it is sending meanwhile.
  m_bClosing.store(true);
  if (m_hStartupThread) WaitForThreadPumping(m_hStartupThread, INFINITE);
  KillTimer(1);
  // What the package unpacked goes, however the window closes; whatever
  // cannot be deleted stays without a word.
  DeleteFolderTree(kLabelPackageFolder);
  DeleteFolderTree(kReceiptPackageFolder);
  plat::Files().DeleteFileA(kCatalogueFile);
  CDialog::OnDestroy();
}
