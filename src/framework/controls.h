// The common controls the installer's dialogs use. Each operation is one
// control message; the backends implement them (real controls, or the
// in-memory controls of the headless backend).
#pragma once

#include "framework/wnd.h"

class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int check);
};

class CComboBox : public CWnd {
 public:
  int AddString(const char* text);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  void GetLBText(int index, CString& text) const;
};

class CProgressCtrl : public CWnd {
 public:
  int SetPos(int position);
  int GetPos() const;
};

class CHeaderCtrl : public CWnd {
 public:
  int GetItemCount() const;
};

// Column widths are pixels at 96 DPI: the Win32 backend scales them to the
// window's DPI (framework/win32/dpi_win32.h), the headless one keeps them.
class CListCtrl : public CWnd {
 public:
  DWORD GetExtendedStyle() const;
  DWORD SetExtendedStyle(DWORD style);
  int InsertColumn(int column, const char* heading, int format = LVCFMT_LEFT, int width = -1);
  BOOL DeleteColumn(int column);
  BOOL SetColumnWidth(int column, int width);
  CHeaderCtrl* GetHeaderCtrl();
  int InsertItem(int item, const char* text);
  BOOL SetItemText(int item, int subItem, const char* text);
  CString GetItemText(int item, int subItem) const;
  BOOL SetItemState(int item, UINT state, UINT mask);
  UINT GetItemState(int item, UINT mask) const;
  int GetItemCount() const;
  BOOL DeleteAllItems();
  int GetNextItem(int start, int flags) const;

 private:
  CHeaderCtrl m_header;
};
