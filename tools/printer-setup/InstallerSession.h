// The installer window, run without being shown: its start-up, its choices
// set as the command line says, its Install button pressed, and its
// messages handled until the installation has ended. Closing it removes
// the unpacked package, as closing the window does.
#pragma once

#include <string>
#include <vector>

#include "SetupLog.h"
#include "UnattendedAnswers.h"
#include "app/InstallDlg.h"

namespace setup {

class InstallerSession {
 public:
  InstallerSession(SetupLog& log, const std::string& package);
  ~InstallerSession();
  InstallerSession(const InstallerSession&) = delete;
  InstallerSession& operator=(const InstallerSession&) = delete;

  // Makes the window and runs its start-up; false when the window could
  // not be made or the start-up did not end.
  bool Start();
  // The printer names of the package's catalogue, in the window's order.
  std::vector<std::string> Models();
  // Selects a catalogue name (any case); false when there is none such.
  bool SelectModel(const std::string& name);
  // The model row of the selection: a receipt model below
  // ReceiptModelCount(), a label model up to ModelCount().
  int ModelIndex();
  int ReceiptModelCount();
  std::string DriverName();

  // Presses Install and handles the window's messages until the
  // installation ended (serial probing included). True when it reached
  // "&Finish" with the window still open.
  bool PressInstall();
  void Close();

  CInstallDlg& Dialog() { return m_dialog; }
  PortChoiceAnswerer& Answerer() { return m_answerer; }

 private:
  // Logs the window's status line when it changed since the last look.
  void NoteStatus();

  SetupLog& m_log;
  std::string m_lastStatus;
  CInstallDlg m_dialog;
  PortChoiceAnswerer m_answerer;
  UnattendedScope m_scope;
  bool m_open = false;
};

// The window's model tables: the driver of model row `index`, empty when
// out of range.
std::string ModelDriverName(int index);
bool IsPackageDriver(const std::string& driverName);
bool IsLabelDriver(const std::string& driverName);

}  // namespace setup
