// How the window's questions are answered without a user: every message
// box is logged and answered with a decided answer (never Retry: Cancel or
// No where the box has them, else OK), and the window's modal dialogs (the
// port pickers, the serial question) are answered with the port and rate
// the command line named.
#pragma once

#include <string>

#include "SetupLog.h"
#include "framework/wnd.h"
#include "platform/platform.h"

class CInstallDlg;

namespace setup {

class UnattendedUser : public plat::IUser {
 public:
  explicit UnattendedUser(SetupLog& log) : m_log(log) {}

  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override;

  // The first box whose caption marks a failure ("Error", "Error prompt",
  // "Fail to select port", "Application Error"), and the last box of any
  // kind, as "CAPTION: TEXT"; empty when none came.
  std::string FailureBox();
  std::string LastBox();
  void Forget();

 private:
  SetupLog& m_log;
  std::string m_failure;
  std::string m_last;
};

class PortChoiceAnswerer : public IModalAnswerer {
 public:
  PortChoiceAnswerer(SetupLog& log, CInstallDlg& dialog) : m_log(log), m_dialog(dialog) {}

  // The port the pickers choose, and the rate of the serial question.
  void SetPort(const std::string& port) { m_port = port; }
  void SetBaudRate(int rate) { m_baudRate = rate; }

  bool AnswerModal(CDialog& dialog, INT_PTR* result) override;

 private:
  SetupLog& m_log;
  CInstallDlg& m_dialog;
  std::string m_port;
  int m_baudRate = 9600;
};

// Sets the process's IUser and modal answerer for a scope, and puts the
// ones before back.
class UnattendedScope {
 public:
  UnattendedScope(plat::IUser* user, IModalAnswerer* answerer);
  ~UnattendedScope();
  UnattendedScope(const UnattendedScope&) = delete;
  UnattendedScope& operator=(const UnattendedScope&) = delete;

 private:
  bool m_replacesUser;
  plat::Platform m_saved;
  IModalAnswerer* m_savedAnswerer;
};

}  // namespace setup
