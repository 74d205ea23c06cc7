// The question at the end of a serial installation on a machine with
// several COM ports: should the installer find the printer's port, and at
// which baud rate does the printer talk.
#pragma once

#include "framework/controls.h"
#include "res/resource.h"

class CSerialPromptDlg : public CDialog {
 public:
  explicit CSerialPromptDlg(CWnd* parent = nullptr);

  CComboBox m_cboBaudRate;

  void OnYes();
  void OnNo();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  DECLARE_MESSAGE_MAP()
};

// The rates of the prompt's list, by row.
constexpr int kBaudRates[9] = {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// The row the prompt starts on (19200).
constexpr int kPresetBaudRow = 5;
