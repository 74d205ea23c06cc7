// Windows, message maps and data exchange: the small dialog framework the
// installer is written against. The shared parts (dispatch through message
// maps, data exchange, dialog defaults) live in wnd.cpp; the window
// operations themselves are implemented once per backend: real windows
// (framework/win32) or in-memory windows driven by a scripted user
// (host/headless).
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "framework/cstring.h"
#include "framework/ui_types.h"

class CWnd;
class CDataExchange;

// One message-map row. `registered` points at a message id that is only
// known at run time (RegisterWindowMessage); `thunk` calls the handler.
struct MessageMapEntry {
  UINT message;
  UINT code;  // WM_COMMAND notification code
  UINT id;    // WM_COMMAND control id
  const UINT* registered;
  LRESULT (*thunk)(CWnd* target, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
  const MessageMap* (*base)();
  const MessageMapEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const MessageMap* GetThisMessageMap(); \
  const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const MessageMap* theClass::GetThisMessageMap() {                                 \
    typedef theClass ThisClass;                                                     \
    typedef baseClass TheBaseClass;                                                 \
    static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                    \
  { 0, 0, 0, nullptr, nullptr }                                              \
  }                                                                          \
  ;                                                                          \
  static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                               \
  }

#define FW_COMMAND_ENTRY(notifyCode, ctrlId, memberFxn)                           \
  {WM_COMMAND, static_cast<UINT>(notifyCode), static_cast<UINT>(ctrlId), nullptr, \
   [](CWnd* target, WPARAM, LPARAM) -> LRESULT {                                  \
     (static_cast<ThisClass*>(target)->*(memberFxn))();                           \
     return 0;                                                                    \
   }},
#define ON_BN_CLICKED(ctrlId, memberFxn) FW_COMMAND_ENTRY(BN_CLICKED, ctrlId, memberFxn)
#define ON_CBN_SELCHANGE(ctrlId, memberFxn) FW_COMMAND_ENTRY(CBN_SELCHANGE, ctrlId, memberFxn)
#define ON_COMMAND(ctrlId, memberFxn) FW_COMMAND_ENTRY(0, ctrlId, memberFxn)
#define ON_MESSAGE(msg, memberFxn)                                                                    \
  {static_cast<UINT>(msg), 0, 0, nullptr, [](CWnd* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
     return (static_cast<ThisClass*>(target)->*(memberFxn))(wParam, lParam);                          \
   }},
#define ON_REGISTERED_MESSAGE(msgVariable, memberFxn)                                   \
  {0, 0, 0, &(msgVariable), [](CWnd* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
     return (static_cast<ThisClass*>(target)->*(memberFxn))(wParam, lParam);            \
   }},
#define ON_WM_CLOSE()                                                     \
  {WM_CLOSE, 0, 0, nullptr, [](CWnd* target, WPARAM, LPARAM) -> LRESULT { \
     static_cast<ThisClass*>(target)->OnClose();                          \
     return 0;                                                            \
   }},
#define ON_WM_DESTROY()                                                     \
  {WM_DESTROY, 0, 0, nullptr, [](CWnd* target, WPARAM, LPARAM) -> LRESULT { \
     static_cast<ThisClass*>(target)->OnDestroy();                          \
     return 0;                                                              \
   }},
#define ON_WM_TIMER()                                                            \
  {WM_TIMER, 0, 0, nullptr, [](CWnd* target, WPARAM wParam, LPARAM) -> LRESULT { \
     static_cast<ThisClass*>(target)->OnTimer(static_cast<UINT_PTR>(wParam));    \
     return 0;                                                                   \
   }},

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // Binds this object to an existing window (a dialog's control).
  void Attach(HWND hwnd);
  HWND Detach();
  static CWnd* FromHandlePermanent(HWND hwnd);

  // Backend operations.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void SetWindowText(const char* text);
  void GetWindowText(CString& text) const;
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  CWnd* GetDlgItem(int id) const;
  void SetDlgItemText(int id, const char* text);
  int GetDlgItemText(int id, CString& text) const;
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
  BOOL KillTimer(UINT_PTR id);
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
  BOOL IsWindow() const;

  // Shared: message dispatch and data exchange.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void DoDataExchange(CDataExchange* pDX);

 protected:
  static const MessageMap* GetThisMessageMap();
  virtual const MessageMap* GetMessageMap() const;
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void PostNcDestroy() {}
  HWND GetDlgItemHandle(int id) const;  // backend

 private:
  mutable std::map<int, std::unique_ptr<CWnd>> m_tempChildren;

 public:
  // Default handlers (a map entry names the derived class's own).
  void OnClose();
  void OnDestroy();
  void OnTimer(UINT_PTR id);
};

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(int result);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Unattended runs: the dialog made from its template and initialised
  // (WM_INITDIALOG) but never shown. Its thread handles the messages (sent
  // from other threads, posted, timers) in PumpMessagesUntil, which returns
  // TRUE once `done` holds, FALSE when the dialog ended, `milliseconds`
  // passed or (host) nothing can change any more. DestroyHidden destroys
  // it as closing would.
  BOOL CreateHidden();
  BOOL PumpMessagesUntil(const std::function<bool()>& done, DWORD milliseconds);
  void DestroyHidden();
  // Whether EndDialog was called, and with what.
  bool HasEnded() const { return m_bEnded; }
  INT_PTR EndResult() const { return m_nEndResult; }

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 protected:
  static const MessageMap* GetThisMessageMap() { return CWnd::GetThisMessageMap(); }
  // Set by EndDialog (both backends).
  bool m_bEnded = false;
  INT_PTR m_nEndResult = 0;
};

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Check(CDataExchange* pDX, int id, BOOL& value);
void DDX_Text(CDataExchange* pDX, int id, CString& value);

// Unattended runs: answers every modal dialog instead of showing it.
// DoModal asks it first; AnswerModal sets the dialog's result and returns
// true, or returns false to let the dialog show.
class IModalAnswerer {
 public:
  virtual ~IModalAnswerer() = default;
  virtual bool AnswerModal(CDialog& dialog, INT_PTR* result) = 0;
};
void SetModalAnswerer(IModalAnswerer* answerer);
IModalAnswerer* ModalAnswerer();

// Process-wide registered message ids, the same for every window.
UINT RegisterWindowMessage(const char* name);

// A message box with the application's title as caption.
int AfxMessageBox(const char* text, UINT type = MB_OK);

// Waits for a thread to end while the calling (dialog) thread keeps
// handling messages that other threads send to it, so a thread that is
// itself blocked sending to the dialog can finish. Returns TRUE when the
// thread ended within `milliseconds`.
BOOL WaitForThreadPumping(HANDLE thread, DWORD milliseconds);
