// Making sure the print spooler runs, and restarting it.
#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {

// A service that has not reached its state after this long is not going
// to: the user hears about it and the installation goes on.
constexpr DWORD kPollPauseMs = 100;
constexpr DWORD kStateTimeoutMs = 30000;

enum class WaitOutcome { Reached, Unreadable, TimedOut };

// Polls the service until it reports `wanted`. The state already in
// `status` is tested first; a state that can no longer be read ends the
// wait at once.
WaitOutcome WaitForState(SC_HANDLE query, SERVICE_STATUS& status, DWORD wanted) {
  plat::IServices& services = plat::Services();
  for (DWORD waited = 0; status.dwCurrentState != wanted; waited += kPollPauseMs) {
    if (waited >= kStateTimeoutMs) return WaitOutcome::TimedOut;
    plat::Threads().Sleep(kPollPauseMs);
    if (!services.QueryServiceStatus(query, &status)) return WaitOutcome::Unreadable;
  }
  return WaitOutcome::Reached;
}

// Tells the user when a wait did not end as it should; true when it did.
bool Reached(WaitOutcome outcome, const char* serviceName, DWORD wanted) {
  if (outcome == WaitOutcome::Reached) return true;
  if (outcome == WaitOutcome::Unreadable) {
    AfxMessageBox("Service status is unknown", MB_OK | MB_ICONINFORMATION);
    return false;
  }
  CString text;
  text.Format("The %s service did not %s within %u seconds.", serviceName,
              wanted == SERVICE_RUNNING ? "start" : "stop", static_cast<unsigned>(kStateTimeoutMs / 1000));
  AfxMessageBox(text, MB_OK | MB_ICONWARNING);
  return false;
}

// Starts a stopped service and waits for it to run.
void StartAndWait(SC_HANDLE query, SC_HANDLE control, SERVICE_STATUS& status, const char* serviceName) {
  plat::Services().StartServiceA(control, 0, nullptr);
  Reached(WaitForState(query, status, SERVICE_RUNNING), serviceName, SERVICE_RUNNING);
}

}  // namespace

void CInstallDlg::ControlSpooler(const char* serviceName, int mode) {
  plat::IServices& services = plat::Services();
  SC_HANDLE manager = services.OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE query = manager ? services.OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS) : nullptr;

  SERVICE_STATUS status = {};
  if (!query || !services.QueryServiceStatus(query, &status)) {
    // Nothing can be waited for on a state that cannot be read.
    AfxMessageBox("Service status is unknown", MB_OK | MB_ICONINFORMATION);
  } else if (mode == SPOOLER_ENSURE_RUNNING) {
    if (status.dwCurrentState == SERVICE_STOPPED) {
      SC_HANDLE control = services.OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
      StartAndWait(query, control, status, serviceName);
      if (control) services.CloseServiceHandle(control);
    }
  } else {
    SC_HANDLE control = services.OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
    if (status.dwCurrentState == SERVICE_STOPPED) {
      StartAndWait(query, control, status, serviceName);
    } else {
      // ControlService leaves the state it reached in the block.
      services.ControlService(control, SERVICE_CONTROL_STOP, &status);
      if (Reached(WaitForState(query, status, SERVICE_STOPPED), serviceName, SERVICE_STOPPED))
        StartAndWait(query, control, status, serviceName);
    }
    if (control) services.CloseServiceHandle(control);
  }

  if (query) services.CloseServiceHandle(query);
  if (manager) services.CloseServiceHandle(manager);
}
