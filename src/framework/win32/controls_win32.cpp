// The common controls: each operation is one control message. Texts go
// through the W messages so UTF-8 shows right on any code page.
#include <string>

#include "framework/controls.h"
#include "framework/win32/dpi_win32.h"
#include "platform/win32/utf16.h"

using plat::win32::Utf8ToWide;
using plat::win32::WideToUtf8;

namespace {

LRESULT SendW(HWND hwnd, UINT message, WPARAM wParam, const void* lParam) {
  return ::SendMessageW(hwnd, message, wParam, reinterpret_cast<LPARAM>(lParam));
}

}  // namespace

int CButton::GetCheck() const { return static_cast<int>(::SendMessageW(m_hWnd, BM_GETCHECK, 0, 0)); }

void CButton::SetCheck(int check) { ::SendMessageW(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0); }

int CComboBox::AddString(const char* text) {
  const std::wstring wide = Utf8ToWide(text);
  return static_cast<int>(SendW(m_hWnd, CB_ADDSTRING, 0, wide.c_str()));
}

void CComboBox::ResetContent() { ::SendMessageW(m_hWnd, CB_RESETCONTENT, 0, 0); }

int CComboBox::GetCount() const { return static_cast<int>(::SendMessageW(m_hWnd, CB_GETCOUNT, 0, 0)); }

int CComboBox::GetCurSel() const { return static_cast<int>(::SendMessageW(m_hWnd, CB_GETCURSEL, 0, 0)); }

int CComboBox::SetCurSel(int index) {
  return static_cast<int>(::SendMessageW(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
}

void CComboBox::GetLBText(int index, CString& text) const {
  text.Empty();
  const LRESULT length = ::SendMessageW(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length <= 0) return;
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendW(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index), &buffer[0]);
  if (copied == CB_ERR) return;
  text = CString(WideToUtf8(buffer.c_str(), static_cast<int>(copied)));
}

int CProgressCtrl::SetPos(int position) {
  return static_cast<int>(::SendMessageW(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

int CProgressCtrl::GetPos() const { return static_cast<int>(::SendMessageW(m_hWnd, PBM_GETPOS, 0, 0)); }

int CHeaderCtrl::GetItemCount() const {
  return static_cast<int>(::SendMessageW(m_hWnd, HDM_GETITEMCOUNT, 0, 0));
}

DWORD CListCtrl::GetExtendedStyle() const {
  return static_cast<DWORD>(::SendMessageW(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
  // A zero mask changes every extended style bit.
  return static_cast<DWORD>(
      ::SendMessageW(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
}

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width) {
  std::wstring text = Utf8ToWide(heading);
  LVCOLUMNW col = {};
  col.mask = LVCF_FMT | LVCF_TEXT;
  col.fmt = format;
  col.pszText = &text[0];
  if (width != -1) {
    col.mask |= LVCF_WIDTH;
    col.cx = fw::win32::ScaleForWindow(m_hWnd, width);
  }
  return static_cast<int>(SendW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), &col));
}

BOOL CListCtrl::DeleteColumn(int column) {
  return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_DELETECOLUMN, static_cast<WPARAM>(column), 0));
}

BOOL CListCtrl::SetColumnWidth(int column, int width) {
  // LVSCW_AUTOSIZE and LVSCW_AUTOSIZE_USEHEADER are negative: not sizes.
  if (width > 0) width = fw::win32::ScaleForWindow(m_hWnd, width);
  return static_cast<BOOL>(
      ::SendMessageW(m_hWnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() {
  HWND header = reinterpret_cast<HWND>(::SendMessageW(m_hWnd, LVM_GETHEADER, 0, 0));
  if (!header) return nullptr;
  // A view of the list's own header, like GetDlgItem's wrappers: not in
  // the permanent map.
  m_header.m_hWnd = header;
  return &m_header;
}

int CListCtrl::InsertItem(int item, const char* text) {
  std::wstring wide = Utf8ToWide(text);
  LVITEMW row = {};
  row.mask = LVIF_TEXT;
  row.iItem = item;
  row.pszText = &wide[0];
  return static_cast<int>(SendW(m_hWnd, LVM_INSERTITEMW, 0, &row));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
  std::wstring wide = Utf8ToWide(text);
  LVITEMW cell = {};
  cell.iSubItem = subItem;
  cell.pszText = &wide[0];
  return static_cast<BOOL>(SendW(m_hWnd, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), &cell));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  // The message reports only how much it copied: grow until it fits.
  for (size_t size = 256;; size *= 2) {
    std::wstring buffer(size, L'\0');
    LVITEMW cell = {};
    cell.iSubItem = subItem;
    cell.pszText = &buffer[0];
    cell.cchTextMax = static_cast<int>(size);
    const LRESULT copied = SendW(m_hWnd, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), &cell);
    if (copied < static_cast<LRESULT>(size) - 1 || size >= (1u << 20)) {
      return CString(WideToUtf8(buffer.c_str(), static_cast<int>(copied)));
    }
  }
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMW row = {};
  row.state = state;
  row.stateMask = mask;
  return static_cast<BOOL>(SendW(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), &row));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const {
  return static_cast<UINT>(
      ::SendMessageW(m_hWnd, LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

int CListCtrl::GetItemCount() const {
  return static_cast<int>(::SendMessageW(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

BOOL CListCtrl::DeleteAllItems() {
  return static_cast<BOOL>(::SendMessageW(m_hWnd, LVM_DELETEALLITEMS, 0, 0));
}

int CListCtrl::GetNextItem(int start, int flags) const {
  return static_cast<int>(
      ::SendMessageW(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
}
