#include "app/InstallationLock.h"

#include "platform/platform.h"

CInstallationLock::CInstallationLock() {
  m_mutex = plat::Threads().CreateMutexA(kInstallationMutexName);
  const DWORD error = plat::System().GetLastError();
  if (!m_mutex) {
    // Another user's process made the mutex with a DACL that keeps this
    // one out: it is held all the same.
    m_state = error == ERROR_ACCESS_DENIED ? State::HeldElsewhere : State::Unavailable;
    m_error = error;
  } else if (error == ERROR_ALREADY_EXISTS) {
    m_state = State::HeldElsewhere;
    plat::Threads().CloseHandle(m_mutex);
    m_mutex = nullptr;
  } else {
    m_state = State::Held;
  }
}

CInstallationLock::~CInstallationLock() {
  if (m_mutex) plat::Threads().CloseHandle(m_mutex);
}
