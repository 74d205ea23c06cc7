// The two port pickers shown before a parallel or network printer is
// installed: a list of the spooler's ports of one kind, OK and Cancel, and
// for TCP/IP ports the monitor's add, configure and delete.
#pragma once

#include "framework/controls.h"
#include "ports/PortClassification.h"
#include "res/resource.h"

// A list of the spooler's ports of one kind. The rows are in the spooler's
// order and classified as the main dialog's port lists are, so row n is
// entry n of the matching list.
class CPortListDlg : public CDialog {
 public:
  CPortListDlg(UINT templateId, PortKind kind, CWnd* parent);

  CListCtrl m_listPorts;

  void FillPortList();
  // The first selected row, or -1.
  int SelectedRow() const;

  void OnSelectPort();
  void OnCancelPort();
  void OnClose();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

 private:
  PortKind m_kind;
};

class CParallelPortDlg : public CPortListDlg {
 public:
  explicit CParallelPortDlg(CWnd* parent = nullptr);

  DECLARE_MESSAGE_MAP()
};

class CTcpipPortDlg : public CPortListDlg {
 public:
  explicit CTcpipPortDlg(CWnd* parent = nullptr);

  void OnAddPort();
  void OnConfigurePort();
  void OnDeletePort();
  void OnSelectTcpipPort();

  DECLARE_MESSAGE_MAP()
};

// The name of the port monitor whose ports are network printer ports.
constexpr const char* kTcpipMonitorName = "Standard TCP/IP Port";
