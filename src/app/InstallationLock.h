// One installation at a time: the installer window and printer-setup both
// hold this named mutex while they run.
#pragma once

#include "platform/types.h"

// "Global\" so that a run in the services session (a deployment agent) and
// one in a user's session see each other.
constexpr const char kInstallationMutexName[] = "Global\\PrinterDriverInstaller.Installation";

// What the window says when it finds the lock held.
constexpr const char kInstallationRunningText[] =
    "Another printer installation is running on this computer.\r\n\r\nWait until it has finished, then "
    "start the installer again.";

class CInstallationLock {
 public:
  enum class State { Held, HeldElsewhere, Unavailable };

  CInstallationLock();
  ~CInstallationLock();
  CInstallationLock(const CInstallationLock&) = delete;
  CInstallationLock& operator=(const CInstallationLock&) = delete;

  State GetState() const { return m_state; }
  // The error CreateMutex gave when the state is Unavailable.
  DWORD Error() const { return m_error; }

 private:
  HANDLE m_mutex = nullptr;
  State m_state = State::Unavailable;
  DWORD m_error = 0;
};
