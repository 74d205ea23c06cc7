#include "ports/SerialPromptDlg.h"

#include "app/InstallDlg.h"

CSerialPromptDlg::CSerialPromptDlg(CWnd* parent) : CDialog(IDD_SERIAL_PROMPT_DIALOG, parent) {}

void CSerialPromptDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_BAUD_RATE, m_cboBaudRate);
}

BEGIN_MESSAGE_MAP(CSerialPromptDlg, CDialog)
ON_BN_CLICKED(IDC_PROMPT_YES, &CSerialPromptDlg::OnYes)
ON_BN_CLICKED(IDC_PROMPT_NO, &CSerialPromptDlg::OnNo)
END_MESSAGE_MAP()

BOOL CSerialPromptDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (int rate : kBaudRates) {
    CString text;
    text.Format("%d", rate);
    m_cboBaudRate.AddString(text);
  }
  m_cboBaudRate.SetCurSel(kPresetBaudRow);
  return TRUE;
}

void CSerialPromptDlg::OnYes() { EndDialog(PORTDLG_FIRST_ROW + m_cboBaudRate.GetCurSel()); }

void CSerialPromptDlg::OnNo() { EndDialog(PORTDLG_CANCEL); }
