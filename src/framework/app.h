// The application object: one global instance whose InitInstance runs the
// program (the Win32 backend's WinMain, or installer-sim, calls it).
#pragma once

#include "framework/wnd.h"

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance() { return 0; }
  void OnHelp() {}

  const char* m_pszAppName;
  // The application's window while it is open. A box shown from another
  // thread (which has no active window) belongs to it, so that the box
  // stays in front of the window and the window waits for the answer.
  CWnd* m_pMainWnd = nullptr;
  static CWinApp* Current();
};

// Kept for the shape of the application's start-up; both are no-ops here.
inline void AfxEnableControlContainer() {}
inline void Enable3dControlsStatic() {}

// Runs the application object's InitInstance and ExitInstance.
int AfxRunApplication();
