// The framework's window operations on the headless window system.
#include <map>
#include <mutex>
#include <string>

#include "framework/app.h"
#include "framework/controls.h"
#include "host/headless/messages.h"
#include "host/headless/ui.h"

using fw::headless::ListOp;
using fw::headless::Ui;

namespace {
Ui& TheUi() { return *Ui::Current(); }
}  // namespace

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return TheUi().Send(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return TheUi().Post(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(const char* text) {
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void CWnd::GetWindowText(CString& text) const {
  std::string out;
  TheUi().Send(m_hWnd, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(&out));
  text = out.c_str();
}

BOOL CWnd::EnableWindow(BOOL enable) {
  const BOOL wasDisabled = IsWindowEnabled() ? FALSE : TRUE;
  SendMessage(WM_ENABLE, enable ? 1 : 0, 0);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const { return TheUi().IsEnabled(m_hWnd) ? TRUE : FALSE; }

BOOL CWnd::IsWindow() const { return TheUi().Find(m_hWnd) ? TRUE : FALSE; }

HWND CWnd::GetDlgItemHandle(int id) const {
  fw::headless::Window* dialog = TheUi().Find(m_hWnd);
  fw::headless::Window* control = TheUi().FindControl(dialog, id);
  return control ? control->hwnd : nullptr;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) { return TheUi().SetTimer(m_hWnd, id, elapse); }

BOOL CWnd::KillTimer(UINT_PTR id) { return TheUi().KillTimer(m_hWnd, id); }

// Boxes go through the process's IUser, which is the Ui itself unless an
// unattended run put its own answerer there.
int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  return plat::User().MessageBoxA(m_hWnd, text, caption, type);
}

LRESULT CWnd::DefWindowProc(UINT, WPARAM, LPARAM) { return 0; }

INT_PTR CDialog::DoModal() {
  INT_PTR answered = 0;
  if (IModalAnswerer* answerer = ModalAnswerer())
    if (answerer->AnswerModal(*this, &answered)) return answered;
  HWND hwnd = TheUi().CreateDialogWindow(this, m_nIDTemplate);
  if (!hwnd) return -1;
  Attach(hwnd);
  WindowProc(WM_INITDIALOG, 0, 0);
  const INT_PTR result = TheUi().RunModal(hwnd);
  Detach();
  return result;
}

void CDialog::EndDialog(int result) {
  m_bEnded = true;
  m_nEndResult = result;
  TheUi().EndDialog(m_hWnd, result);
}

BOOL CDialog::CreateHidden() {
  HWND hwnd = TheUi().CreateDialogWindow(this, m_nIDTemplate);
  if (!hwnd) return FALSE;
  Attach(hwnd);
  WindowProc(WM_INITDIALOG, 0, 0);
  return TRUE;
}

BOOL CDialog::PumpMessagesUntil(const std::function<bool()>& done, DWORD milliseconds) {
  if (!m_hWnd) return FALSE;
  return TheUi().RunUntil(m_hWnd, done, milliseconds) ? TRUE : FALSE;
}

void CDialog::DestroyHidden() {
  if (!m_hWnd) return;
  TheUi().DestroyDialogWindow(m_hWnd);
  Detach();
}

UINT RegisterWindowMessage(const char* name) {
  // Registered ids share the range Windows uses (0xC000-0xFFFF); the same
  // name always gives the same id.
  static std::mutex mutex;
  static std::map<std::string, UINT> ids;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = ids.find(name ? name : "");
  if (it != ids.end()) return it->second;
  const UINT id = 0xC000 + static_cast<UINT>(ids.size());
  ids[name ? name : ""] = id;
  return id;
}

int AfxMessageBox(const char* text, UINT type) {
  CWinApp* app = CWinApp::Current();
  return plat::User().MessageBoxA(nullptr, text, app && app->m_pszAppName ? app->m_pszAppName : "Installer",
                                  type);
}

BOOL WaitForThreadPumping(HANDLE thread, DWORD milliseconds) {
  return TheUi().WaitForThread(thread, milliseconds);
}

int CButton::GetCheck() const { return static_cast<int>(TheUi().Send(m_hWnd, BM_GETCHECK, 0, 0)); }

void CButton::SetCheck(int check) { TheUi().Send(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0); }

int CComboBox::AddString(const char* text) {
  return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : "")));
}

void CComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }

int CComboBox::GetCount() const { return static_cast<int>(TheUi().Send(m_hWnd, CB_GETCOUNT, 0, 0)); }

int CComboBox::GetCurSel() const { return static_cast<int>(TheUi().Send(m_hWnd, CB_GETCURSEL, 0, 0)); }

int CComboBox::SetCurSel(int index) {
  return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

void CComboBox::GetLBText(int index, CString& text) const {
  std::string out;
  TheUi().Send(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&out));
  text = out.c_str();
}

int CProgressCtrl::SetPos(int position) {
  return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::GetPos() const { return static_cast<int>(TheUi().Send(m_hWnd, PBM_GETPOS, 0, 0)); }

int CHeaderCtrl::GetItemCount() const {
  return static_cast<int>(TheUi().Send(m_hWnd, fw::headless::kHdmGetItemCount, 0, 0));
}

DWORD CListCtrl::GetExtendedStyle() const {
  return static_cast<DWORD>(TheUi().Send(m_hWnd, fw::headless::kLvmGetExtendedStyle, 0, 0));
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
  return static_cast<DWORD>(SendMessage(fw::headless::kLvmSetExtendedStyle, 0, static_cast<LPARAM>(style)));
}

int CListCtrl::InsertColumn(int column, const char* heading, int, int width) {
  ListOp op;
  op.item = column;
  op.text = heading;
  op.width = width;
  return static_cast<int>(SendMessage(fw::headless::kLvmInsertColumn, 0, reinterpret_cast<LPARAM>(&op)));
}

BOOL CListCtrl::DeleteColumn(int column) {
  return static_cast<BOOL>(SendMessage(fw::headless::kLvmDeleteColumn, static_cast<WPARAM>(column)));
}

BOOL CListCtrl::SetColumnWidth(int column, int width) {
  return static_cast<BOOL>(
      SendMessage(fw::headless::kLvmSetColumnWidth, static_cast<WPARAM>(column), static_cast<LPARAM>(width)));
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() {
  // The headless list view answers the header's messages itself.
  m_header.m_hWnd = m_hWnd;
  return &m_header;
}

int CListCtrl::InsertItem(int item, const char* text) {
  ListOp op;
  op.item = item;
  op.text = text;
  return static_cast<int>(SendMessage(fw::headless::kLvmInsertItem, 0, reinterpret_cast<LPARAM>(&op)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
  ListOp op;
  op.item = item;
  op.subItem = subItem;
  op.text = text;
  return static_cast<BOOL>(SendMessage(fw::headless::kLvmSetItemText, 0, reinterpret_cast<LPARAM>(&op)));
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  std::string out;
  ListOp op;
  op.item = item;
  op.subItem = subItem;
  op.out = &out;
  TheUi().Send(m_hWnd, fw::headless::kLvmGetItemText, 0, reinterpret_cast<LPARAM>(&op));
  return CString(out);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  ListOp op;
  op.item = item;
  op.state = state;
  op.mask = mask;
  return static_cast<BOOL>(
      SendMessage(fw::headless::kLvmSetItemState, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&op)));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const {
  return static_cast<UINT>(TheUi().Send(m_hWnd, fw::headless::kLvmGetItemState, static_cast<WPARAM>(item),
                                        static_cast<LPARAM>(mask)));
}

int CListCtrl::GetItemCount() const {
  return static_cast<int>(TheUi().Send(m_hWnd, fw::headless::kLvmGetItemCount, 0, 0));
}

BOOL CListCtrl::DeleteAllItems() { return static_cast<BOOL>(SendMessage(fw::headless::kLvmDeleteAllItems)); }

int CListCtrl::GetNextItem(int start, int flags) const {
  return static_cast<int>(TheUi().Send(m_hWnd, fw::headless::kLvmGetNextItem, static_cast<WPARAM>(start),
                                       static_cast<LPARAM>(flags)));
}
