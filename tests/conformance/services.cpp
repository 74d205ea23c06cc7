// The service control manager, on the print spooler: states that move on
// with time, and the controls a service refuses while it is pending.
#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

// Longer than the spooler takes to start or stop on any machine here.
constexpr DWORD kSettleMs = 5000;
constexpr DWORD kPollMs = 100;

DWORD StateOf(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  return plat::Services().QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Polls until `wanted` (or kSettleMs), for the set-up between cases.
DWORD WaitFor(SC_HANDLE service, DWORD wanted) {
  DWORD state = StateOf(service);
  for (DWORD waited = 0; state != wanted && waited < kSettleMs; waited += kPollMs) {
    plat::Threads().Sleep(kPollMs);
    state = StateOf(service);
  }
  return state;
}

void SpoolerStates(SC_HANDLE spooler) {
  plat::IServices& services = plat::Services();
  if (WaitFor(spooler, SERVICE_RUNNING) != SERVICE_RUNNING) {
    services.StartServiceA(spooler, 0, nullptr);
    ok(WaitFor(spooler, SERVICE_RUNNING) == SERVICE_RUNNING, "the spooler runs before the cases");
  }
  SERVICE_STATUS status = {};
  ok(services.QueryServiceStatus(spooler, &status) && (status.dwControlsAccepted & SERVICE_ACCEPT_STOP),
     "a running spooler accepts a stop: controls %#lx", U(status.dwControlsAccepted));

  MarkLastError();
  BOOL done = services.StartServiceA(spooler, 0, nullptr);
  ok(!done && LastError() == ERROR_SERVICE_ALREADY_RUNNING,
     "StartServiceA of a running service: error %lu, expected 1056", U(LastError()));

  MarkLastError();
  done = services.ControlService(spooler, SERVICE_CONTROL_STOP, &status);
  ok(done && (status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED),
     "ControlService stop: %d, state %lu, error %lu", done, U(status.dwCurrentState), U(LastError()));
  // Nobody polls: the stop finishes all the same.
  plat::Threads().Sleep(kSettleMs);
  DWORD state = StateOf(spooler);
  ok(state == SERVICE_STOPPED, "stopped %lu ms later without polling: state %lu", U(kSettleMs), U(state));

  MarkLastError();
  done = services.ControlService(spooler, SERVICE_CONTROL_STOP, &status);
  ok(!done && LastError() == ERROR_SERVICE_NOT_ACTIVE,
     "ControlService stop of a stopped service: error %lu, expected 1062", U(LastError()));

  MarkLastError();
  done = services.StartServiceA(spooler, 0, nullptr);
  ok(done, "StartServiceA: error %lu", U(LastError()));
  state = StateOf(spooler);
  if (state == SERVICE_START_PENDING) {
    // A service takes controls only once it runs.
    // https://learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-controlservice
    MarkLastError();
    done = services.ControlService(spooler, SERVICE_CONTROL_STOP, &status);
    ok(!done && LastError() == ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
       "ControlService stop while starting: %d, error %lu, expected 1061", done, U(LastError()));
  } else {
    skip("the spooler ran at once (state %lu): no stop can be asked while it starts", U(state));
  }
  plat::Threads().Sleep(kSettleMs);
  state = StateOf(spooler);
  ok(state == SERVICE_RUNNING, "running %lu ms later without polling: state %lu", U(kSettleMs), U(state));
}

}  // namespace

void TestServices(const Backend&) {
  BeginGroup("services");
  plat::IServices& services = plat::Services();
  MarkLastError();
  SC_HANDLE manager = services.OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
  ok(manager != nullptr, "OpenSCManagerA: error %lu", U(LastError()));
  if (!manager) return;

  MarkLastError();
  SC_HANDLE absent = services.OpenServiceA(manager, "NoSuchServiceHere", SERVICE_ALL_ACCESS);
  ok(!absent && LastError() == ERROR_SERVICE_DOES_NOT_EXIST,
     "OpenServiceA of a missing service: error %lu, expected 1060", U(LastError()));
  if (absent) services.CloseServiceHandle(absent);

  MarkLastError();
  SC_HANDLE spooler = services.OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS);
  ok(spooler != nullptr, "OpenServiceA Spooler: error %lu", U(LastError()));
  if (spooler) {
    SpoolerStates(spooler);
    services.CloseServiceHandle(spooler);
  }
  services.CloseServiceHandle(manager);
}

}  // namespace conformance
