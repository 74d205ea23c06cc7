// The simulated service control manager. A service moves through its
// pending states as it is polled (QueryServiceStatus), the way a real one
// reports progress, and also as time passes: a real service finishes
// starting whether or not anyone asks. It stays stuck in a pending state
// where the profile says so.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/profile.h"
#include "host/sim/registry.h"

namespace sim {

class Machine;

struct SimService {
  std::string name;
  DWORD state = SERVICE_RUNNING;
  int pendingPolls = 1;       // queries that still see a start or stop pending
  std::string stuckIn;        // "start_pending" or "stop_pending": never leaves it
  int remaining = 0;          // pending queries left in the current transition
  uint64_t pendingUntil = 0;  // virtual time the current transition ends by itself
  int starts = 0;
  int stops = 0;
  std::function<void()> onRunning;  // the service's own start-up work
};

class SimServices : public plat::IServices {
 public:
  explicit SimServices(Machine& machine);

  SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR database, DWORD access) override;
  SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) override;
  BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override;
  BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) override;
  BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override;
  BOOL CloseServiceHandle(SC_HANDLE handle) override;

  // Profile: {"Spooler": {"state": "stopped", "pending_polls": 2, "stuck": "start_pending"}}.
  // A machine always has a "Spooler" service, running unless said otherwise.
  void LoadJson(const Profile& services);
  // The states a profile may give a service, and the pending ones it may be stuck in.
  static const std::vector<std::string>& StateNames();
  static const std::vector<std::string>& PendingStateNames();
  // Brings pending transitions up to the clock first.
  nlohmann::json ToJson();
  // Call with the machine's lock held.
  SimService* Find(const std::string& name);
  int OpenHandleCount() const;

 private:
  enum class HandleKind { Manager, Service };
  struct HandleRecord {
    HandleKind kind;
    std::string service;
  };
  HandleRecord* Resolve(SC_HANDLE handle);
  // The service a service handle names; null for any other handle.
  SimService* ServiceOf(SC_HANDLE handle);
  // Polled: one pending query spent. Either way the transition ends once
  // its time is up.
  void Advance(SimService& service, bool polled);
  void BeginTransition(SimService& service, DWORD pendingState);
  void Complete(SimService& service);

  Machine& m_machine;
  std::map<std::string, SimService, CaseInsensitiveLess> m_services;
  std::map<ULONG_PTR, HandleRecord> m_handles;
  ULONG_PTR m_nextHandle = 0x3000;
};

}  // namespace sim
