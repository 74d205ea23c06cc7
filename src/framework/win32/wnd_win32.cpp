// CWnd's window operations on real windows, and the framework's free
// functions that need Windows.
#include <string>

#include "framework/app.h"
#include "framework/wnd.h"
#include "platform/platform.h"
#include "platform/win32/utf16.h"

using plat::win32::Utf8ToWide;
using plat::win32::WideToUtf8;

namespace {

// The application's name, or the program's file name without extension
// when the application gave none.
CString AppTitle() {
  const CWinApp* app = CWinApp::Current();
  if (app && app->m_pszAppName && *app->m_pszAppName) return CString(app->m_pszAppName);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string name = WideToUtf8(path, static_cast<int>(length));
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return CString(name);
}

}  // namespace

// Plain A call: a call from another thread is marshalled by Windows to the
// window's thread.
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(const char* text) { ::SetWindowTextW(m_hWnd, Utf8ToWide(text).c_str()); }

void CWnd::GetWindowText(CString& text) const {
  const int length = ::GetWindowTextLengthW(m_hWnd);
  if (length <= 0) {
    text.Empty();
    return;
  }
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(m_hWnd, &buffer[0], length + 1);
  text = CString(WideToUtf8(buffer.c_str(), copied));
}

BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }

BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }

HWND CWnd::GetDlgItemHandle(int id) const { return m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr; }

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }

BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  const CString title = caption ? CString(caption) : AppTitle();
  return plat::User().MessageBoxA(m_hWnd, text, title, type);
}

BOOL CWnd::IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd) ? TRUE : FALSE; }

UINT RegisterWindowMessage(const char* name) { return ::RegisterWindowMessageA(name); }

int AfxMessageBox(const char* text, UINT type) {
  // Owned by the thread's active dialog, so the box is modal to it. The
  // start-up worker has no active window (the active window belongs to the
  // thread that made it: GetActiveWindow): its boxes belong to the
  // application's window, or they would open behind it at the first click
  // and leave the window usable while a warning waits.
  HWND owner = ::GetActiveWindow();
  const CWinApp* app = CWinApp::Current();
  if (!owner && app && app->m_pMainWnd) owner = app->m_pMainWnd->GetSafeHwnd();
  return plat::User().MessageBoxA(owner, text, AppTitle(), type);
}

BOOL WaitForThreadPumping(HANDLE thread, DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD remaining = INFINITE;
    if (milliseconds != INFINITE) {
      const DWORD elapsed = ::GetTickCount() - start;
      remaining = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
    }
    const DWORD result = ::MsgWaitForMultipleObjects(1, &thread, FALSE, remaining, QS_SENDMESSAGE);
    if (result == WAIT_OBJECT_0) return TRUE;
    if (result != WAIT_OBJECT_0 + 1) return FALSE;  // timed out or failed
    // Peeking delivers the messages other threads sent; posted ones stay
    // queued for the dialog's own loop.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
}
