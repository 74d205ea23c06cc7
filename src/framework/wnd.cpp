#include "framework/wnd.h"

#include <atomic>
#include <mutex>

#include "framework/app.h"

namespace {
// MinGW's win32 thread model has no std::mutex; the lock only guards a map
// lookup or update, so spinning is cheap.
class SpinLock {
 public:
  void lock() {
    while (m_flag.test_and_set(std::memory_order_acquire)) {
    }
  }
  void unlock() { m_flag.clear(std::memory_order_release); }

 private:
  std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

SpinLock g_permanentLock;
std::map<HWND, CWnd*>& PermanentMap() {
  static std::map<HWND, CWnd*> map;
  return map;
}
}  // namespace

CWnd::~CWnd() {
  if (m_hWnd) Detach();
}

void CWnd::Attach(HWND hwnd) {
  std::lock_guard<SpinLock> lock(g_permanentLock);
  m_hWnd = hwnd;
  if (hwnd) PermanentMap()[hwnd] = this;
}

HWND CWnd::Detach() {
  std::lock_guard<SpinLock> lock(g_permanentLock);
  HWND hwnd = m_hWnd;
  auto it = PermanentMap().find(hwnd);
  if (it != PermanentMap().end() && it->second == this) PermanentMap().erase(it);
  m_hWnd = nullptr;
  return hwnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  std::lock_guard<SpinLock> lock(g_permanentLock);
  auto it = PermanentMap().find(hwnd);
  return it == PermanentMap().end() ? nullptr : it->second;
}

CWnd* CWnd::GetDlgItem(int id) const {
  HWND hwnd = GetDlgItemHandle(id);
  if (!hwnd) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(hwnd)) return permanent;
  // Controls not bound to a member get a wrapper owned by the parent; it
  // does not enter the permanent map.
  std::unique_ptr<CWnd>& temp = m_tempChildren[id];
  if (!temp) temp.reset(new CWnd());
  temp->m_hWnd = hwnd;
  return temp.get();
}

void CWnd::SetDlgItemText(int id, const char* text) {
  if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
  text.Empty();
  if (CWnd* item = GetDlgItem(id)) item->GetWindowText(text);
  return text.GetLength();
}

const MessageMap* CWnd::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{0, 0, 0, nullptr, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  const UINT code = static_cast<UINT>((wParam >> 16) & 0xFFFF);
  const UINT id = static_cast<UINT>(wParam & 0xFFFF);
  for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const MessageMapEntry* entry = map->entries; entry->thunk; ++entry) {
      const UINT wanted = entry->registered ? *entry->registered : entry->message;
      if (wanted == 0 || wanted != message) continue;
      if (message == WM_COMMAND && (entry->code != code || entry->id != id)) continue;
      *result = entry->thunk(this, wParam, lParam);
      return TRUE;
    }
  }
  return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnWndMsg(message, wParam, lParam, &result)) return result;
  return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::OnClose() { DefWindowProc(WM_CLOSE, 0, 0); }
void CWnd::OnDestroy() { DefWindowProc(WM_DESTROY, 0, 0); }
void CWnd::OnTimer(UINT_PTR id) { DefWindowProc(WM_TIMER, id, 0); }

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (message == WM_INITDIALOG) return OnInitDialog();
  if (OnWndMsg(message, wParam, lParam, &result)) return result;
  // The dialog defaults: Enter and the OK button end with IDOK; Esc, the
  // Cancel button and the close box with IDCANCEL.
  if (message == WM_COMMAND && ((wParam >> 16) & 0xFFFF) == BN_CLICKED) {
    if ((wParam & 0xFFFF) == IDOK) {
      OnOK();
      return 0;
    }
    if ((wParam & 0xFFFF) == IDCANCEL) {
      OnCancel();
      return 0;
    }
  }
  if (message == WM_CLOSE) {
    OnCancel();
    return 0;
  }
  return DefWindowProc(message, wParam, lParam);
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (control.m_hWnd) return;
  HWND hwnd = pDX->m_pDlgWnd->GetDlgItem(id) ? pDX->m_pDlgWnd->GetDlgItem(id)->m_hWnd : nullptr;
  control.Attach(hwnd);
}

void DDX_Check(CDataExchange* pDX, int id, BOOL& value) {
  CWnd* item = pDX->m_pDlgWnd->GetDlgItem(id);
  if (!item) return;
  if (pDX->m_bSaveAndValidate)
    value = item->SendMessage(BM_GETCHECK) == BST_CHECKED ? TRUE : FALSE;
  else
    item->SendMessage(BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  CWnd* item = pDX->m_pDlgWnd->GetDlgItem(id);
  if (!item) return;
  if (pDX->m_bSaveAndValidate)
    item->GetWindowText(value);
  else
    item->SetWindowText(value);
}

namespace {
CWinApp* g_app = nullptr;
std::atomic<IModalAnswerer*> g_modalAnswerer{nullptr};
}  // namespace

void SetModalAnswerer(IModalAnswerer* answerer) { g_modalAnswerer.store(answerer); }
IModalAnswerer* ModalAnswerer() { return g_modalAnswerer.load(); }

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

CWinApp* CWinApp::Current() { return g_app; }

int AfxRunApplication() {
  CWinApp* app = CWinApp::Current();
  if (!app) return 1;
  app->InitInstance();
  return app->ExitInstance();
}
