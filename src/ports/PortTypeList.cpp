// The four port types the user chooses from.
#include "app/InstallDlg.h"

namespace {

struct PortTypeRow {
  const char* port;
  const char* description;
};

const PortTypeRow kPortTypes[] = {
    {"Serial port", "The program will select a available serial port during installation"},
    {"USB port", "The program will select a available USB port automatically"},
    {"Parallel port", "The program will prompt you to select a parallel port during installation"},
    {"TCP/IP port", "The program will prompt you to create a TCP/IP port or configure"},
};

}  // namespace

// Whole rows selected, grid lines, no hover tracking; no check boxes.
void CInstallDlg::SetPortListStyle() {
  DWORD style = m_listPortType.GetExtendedStyle();
  style &= ~static_cast<DWORD>(LVS_EX_TRACKSELECT);
  style |= LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
  m_listPortType.SetExtendedStyle(style);
}

void CInstallDlg::InitPortTypeList() {
  m_listPortType.DeleteAllItems();
  const int columns = m_listPortType.GetHeaderCtrl()->GetItemCount();
  for (int i = 0; i < columns; ++i) m_listPortType.DeleteColumn(0);

  SetPortListStyle();

  m_listPortType.InsertColumn(0, "Port", LVCFMT_LEFT);
  m_listPortType.InsertColumn(1, "Description", LVCFMT_LEFT);
  m_listPortType.SetColumnWidth(0, 110);
  m_listPortType.SetColumnWidth(1, 525);

  for (int row = 0; row < 4; ++row) {
    m_listPortType.InsertItem(row, kPortTypes[row].port);
    m_listPortType.SetItemText(row, 1, kPortTypes[row].description);
  }
  // Selected, not focused.
  m_listPortType.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED | LVIS_FOCUSED);
}
