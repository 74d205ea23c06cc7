// Modal dialogs from the .rc templates, with a dialog procedure that routes
// every message through the framework's message maps.
#include <cstring>
#include <vector>

#include "framework/win32/dpi_win32.h"
#include "framework/wnd.h"

namespace {

// The message the dialog procedure is routing on this thread; CWnd::
// DefWindowProc marks it when the framework leaves it to the default.
struct Dispatch {
  HWND hwnd;
  UINT message;
  bool defaulted;
  Dispatch* outer;
};
thread_local Dispatch* t_dispatch = nullptr;
// A message DefWindowProc hands straight to DefDlgProcW: the dialog
// procedure must not route it through the maps a second time.
thread_local const Dispatch* t_passThrough = nullptr;

bool IsDialogWindow(HWND hwnd) {
  return ::GetClassLongPtrW(hwnd, GCW_ATOM) == reinterpret_cast<ULONG_PTR>(WC_DIALOG);
}

// Messages whose result a dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

// A group box that stands above the controls it frames can paint over them
// (Wine fills its rectangle, and so may themed controls): behind every
// sibling it frames them without covering them. Group boxes take no focus,
// so the tab order stays as the template has it.
void SendGroupBoxesToBack(HWND dialog) {
  std::vector<HWND> groupBoxes;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    if (::GetClassNameW(child, className, 16) && ::lstrcmpiW(className, L"Button") == 0 &&
        (::GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)
      groupBoxes.push_back(child);
  }
  for (HWND groupBox : groupBoxes)
    ::SetWindowPos(groupBox, HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (t_passThrough && t_passThrough->hwnd == hwnd && t_passThrough->message == message) {
    t_passThrough = nullptr;
    return FALSE;
  }
  CWnd* wnd = nullptr;
  if (message == WM_INITDIALOG) {
    CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->Attach(hwnd);
    SendGroupBoxesToBack(hwnd);
    fw::win32::RememberDialogDpi(hwnd);
    wnd = dialog;
  } else {
    wnd = CWnd::FromHandlePermanent(hwnd);
  }
  if (!wnd) return FALSE;  // messages before WM_INITDIALOG
  // The dialog manager's own rescaling follows as the default.
  if (message == WM_DPICHANGED) fw::win32::RescaleListColumnsOnDpiChange(hwnd, LOWORD(wParam));

  Dispatch frame = {hwnd, message, false, t_dispatch};
  t_dispatch = &frame;
  const LRESULT result = wnd->WindowProc(message, wParam, lParam);
  t_dispatch = frame.outer;

  if (message == WM_NCDESTROY) {
    fw::win32::ForgetDialogDpi(hwnd);
    wnd->Detach();
    return FALSE;
  }
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  if (frame.defaulted) return FALSE;  // DefDlgProc does the default
  ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (t_dispatch && t_dispatch->hwnd == m_hWnd && t_dispatch->message == message) {
    t_dispatch->defaulted = true;
    return 0;
  }
  if (!m_hWnd) return 0;
  if (!IsDialogWindow(m_hWnd)) return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
  // Another message than the one being routed: DefDlgProcW does its
  // default right away.
  const Dispatch pass = {m_hWnd, message, false, nullptr};
  const Dispatch* saved = t_passThrough;
  t_passThrough = &pass;
  const LRESULT result = ::DefDlgProcW(m_hWnd, message, wParam, lParam);
  t_passThrough = saved;
  return result;
}

INT_PTR CDialog::DoModal() {
  INT_PTR answered = 0;
  if (IModalAnswerer* answerer = ModalAnswerer())
    if (answerer->AnswerModal(*this, &answered)) return answered;
  HWND owner = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : ::GetActiveWindow();
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) {
  m_bEnded = true;
  m_nEndResult = result;
  if (m_hWnd) ::EndDialog(m_hWnd, result);
}

namespace {

// The style field of a dialog template: DLGTEMPLATEEX (what DIALOGEX
// resources hold) has it after dlgVer, signature, helpID and exStyle;
// DLGTEMPLATE starts with it.
constexpr size_t kExtendedStyleOffset = 12;
constexpr WORD kExtendedSignature = 0xFFFF;

}  // namespace

BOOL CDialog::CreateHidden() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(5));
  HGLOBAL loaded = resource ? ::LoadResource(instance, resource) : nullptr;
  const BYTE* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  const DWORD size = resource ? ::SizeofResource(instance, resource) : 0;
  if (!bytes || size < kExtendedStyleOffset + sizeof(DWORD)) return FALSE;
  // A copy without WS_VISIBLE: the window is made but never shown.
  std::vector<BYTE> copy(bytes, bytes + size);
  WORD signature = 0;
  std::memcpy(&signature, &copy[2], sizeof signature);
  const size_t styleOffset = signature == kExtendedSignature ? kExtendedStyleOffset : 0;
  DWORD style = 0;
  std::memcpy(&style, &copy[styleOffset], sizeof style);
  style &= ~static_cast<DWORD>(WS_VISIBLE);
  std::memcpy(&copy[styleOffset], &style, sizeof style);
  // A template resource is DWORD-aligned data; the vector's storage is too.
  HWND hwnd = ::CreateDialogIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr,
                                           DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd ? TRUE : FALSE;
}

BOOL CDialog::PumpMessagesUntil(const std::function<bool()>& done, DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (done()) return TRUE;
    if (m_bEnded || !m_hWnd) return FALSE;
    const DWORD elapsed = ::GetTickCount() - start;
    if (milliseconds != INFINITE && elapsed >= milliseconds) return FALSE;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                milliseconds == INFINITE ? INFINITE : milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return FALSE;
      }
      if (!::IsDialogMessageW(m_hWnd, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
  }
}

void CDialog::DestroyHidden() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}
