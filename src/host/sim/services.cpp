#include "host/sim/services.h"

#include "host/sim/machine.h"

namespace sim {

namespace {
const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "stopped";
    case SERVICE_START_PENDING:
      return "start_pending";
    case SERVICE_STOP_PENDING:
      return "stop_pending";
    case SERVICE_RUNNING:
      return "running";
    default:
      return "unknown";
  }
}

// One of StateNames() (the profile was checked).
DWORD StateFromName(const std::string& name) {
  if (name == "stopped") return SERVICE_STOPPED;
  if (name == "start_pending") return SERVICE_START_PENDING;
  if (name == "stop_pending") return SERVICE_STOP_PENDING;
  return SERVICE_RUNNING;
}

// The virtual time one pending step of a transition takes when nobody
// polls: a transition of N pending polls ends by itself after N+1 steps,
// long after a caller polling every 100 ms has seen it end.
constexpr uint64_t kPendingStepMs = 1000;

void FillStatus(const SimService& service, SERVICE_STATUS* status) {
  if (!status) return;
  *status = SERVICE_STATUS{};
  status->dwServiceType = 0x20;  // shares a process
  status->dwCurrentState = service.state;
  status->dwControlsAccepted = service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
}
}  // namespace

SimServices::SimServices(Machine& machine) : m_machine(machine) {
  SimService spooler;
  spooler.name = "Spooler";
  m_services["Spooler"] = spooler;
}

void SimServices::LoadJson(const Profile& services) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  for (auto it = services.begin(); it != services.end(); ++it) {
    SimService& service = m_services[it.key()];
    service.name = it.key();
    const Profile& entry = it.value();
    service.state = StateFromName(entry.value("state", std::string("running")));
    service.pendingPolls = entry.value("pending_polls", 1);
    service.stuckIn = entry.value("stuck", std::string());
    service.remaining = service.pendingPolls;
    // A transition under way when the machine starts has just begun.
    service.pendingUntil = static_cast<uint64_t>(service.pendingPolls + 1) * kPendingStepMs;
  }
}

const std::vector<std::string>& SimServices::StateNames() {
  static const std::vector<std::string> names = {"stopped", "start_pending", "stop_pending", "running"};
  return names;
}

const std::vector<std::string>& SimServices::PendingStateNames() {
  static const std::vector<std::string> names = {"start_pending", "stop_pending"};
  return names;
}

nlohmann::json SimServices::ToJson() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json out = nlohmann::json::object();
  for (auto& entry : m_services) Advance(entry.second, false);
  for (const auto& entry : m_services)
    out[entry.second.name] = {{"state", StateName(entry.second.state)},
                              {"starts", entry.second.starts},
                              {"stops", entry.second.stops}};
  return out;
}

SimService* SimServices::Find(const std::string& name) {
  auto it = m_services.find(name);
  return it == m_services.end() ? nullptr : &it->second;
}

SimServices::HandleRecord* SimServices::Resolve(SC_HANDLE handle) {
  auto it = m_handles.find(reinterpret_cast<ULONG_PTR>(handle));
  return it == m_handles.end() ? nullptr : &it->second;
}

SimService* SimServices::ServiceOf(SC_HANDLE handle) {
  HandleRecord* record = Resolve(handle);
  return record && record->kind == HandleKind::Service ? Find(record->service) : nullptr;
}

int SimServices::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return static_cast<int>(m_handles.size());
}

SC_HANDLE SimServices::OpenSCManagerA(LPCSTR, LPCSTR, DWORD) {
  CallScope call(m_machine, "OpenSCManagerA");
  if (call.Fails()) return nullptr;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_handles[handle] = HandleRecord{HandleKind::Manager, std::string()};
  return reinterpret_cast<SC_HANDLE>(handle);
}

SC_HANDLE SimServices::OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD) {
  CallScope call(m_machine, "OpenServiceA");
  const std::string serviceName = name ? name : "";
  if (call.Fails(serviceName)) return nullptr;
  HandleRecord* record = Resolve(manager);
  if (!record || record->kind != HandleKind::Manager) return m_machine.Fail(ERROR_INVALID_HANDLE);
  SimService* service = Find(serviceName);
  if (!service) return m_machine.Fail(ERROR_SERVICE_DOES_NOT_EXIST);
  const ULONG_PTR handle = m_nextHandle += 4;
  m_handles[handle] = HandleRecord{HandleKind::Service, service->name};
  return reinterpret_cast<SC_HANDLE>(handle);
}

void SimServices::BeginTransition(SimService& service, DWORD pendingState) {
  service.state = pendingState;
  service.remaining = service.pendingPolls;
  service.pendingUntil =
      m_machine.GetWorld().Now() + static_cast<uint64_t>(service.pendingPolls + 1) * kPendingStepMs;
}

void SimServices::Advance(SimService& service, bool polled) {
  if (service.state != SERVICE_START_PENDING && service.state != SERVICE_STOP_PENDING) return;
  if (service.stuckIn == StateName(service.state)) return;
  if (m_machine.GetWorld().Now() >= service.pendingUntil) return Complete(service);
  if (!polled) return;
  if (service.remaining > 0) {
    --service.remaining;
    return;
  }
  Complete(service);
}

void SimServices::Complete(SimService& service) {
  const bool starting = service.state == SERVICE_START_PENDING;
  service.state = starting ? SERVICE_RUNNING : SERVICE_STOPPED;
  m_machine.Log(service.name + (starting ? " is running" : " is stopped"));
  if (starting && service.onRunning) service.onRunning();
}

BOOL SimServices::QueryServiceStatus(SC_HANDLE handle, SERVICE_STATUS* status) {
  CallScope call(m_machine, "QueryServiceStatus");
  if (call.Fails()) return FALSE;
  SimService* service = ServiceOf(handle);
  if (!service) return m_machine.Fail(ERROR_INVALID_HANDLE);
  Advance(*service, true);
  FillStatus(*service, status);
  return TRUE;
}

BOOL SimServices::StartServiceA(SC_HANDLE handle, DWORD, LPCSTR*) {
  CallScope call(m_machine, "StartServiceA");
  if (call.Fails()) return FALSE;
  SimService* service = ServiceOf(handle);
  if (!service) return m_machine.Fail(ERROR_INVALID_HANDLE);
  m_machine.Log("StartServiceA " + service->name);
  Advance(*service, false);
  if (service->state != SERVICE_STOPPED) return m_machine.Fail(ERROR_SERVICE_ALREADY_RUNNING);
  ++service->starts;
  BeginTransition(*service, SERVICE_START_PENDING);
  return TRUE;
}

BOOL SimServices::ControlService(SC_HANDLE handle, DWORD control, SERVICE_STATUS* status) {
  CallScope call(m_machine, "ControlService");
  if (call.Fails()) return FALSE;
  SimService* service = ServiceOf(handle);
  if (!service) return m_machine.Fail(ERROR_INVALID_HANDLE);
  if (control != SERVICE_CONTROL_STOP) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  m_machine.Log("ControlService " + service->name + " stop");
  Advance(*service, false);
  if (service->state == SERVICE_STOPPED) {
    FillStatus(*service, status);
    return m_machine.Fail(ERROR_SERVICE_NOT_ACTIVE);
  }
  // A service takes controls only once it runs: one still starting (or
  // already stopping) refuses the stop. ControlService documents
  // ERROR_SERVICE_CANNOT_ACCEPT_CTRL for a service in a pending state.
  // https://learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-controlservice
  if (service->state != SERVICE_RUNNING) {
    FillStatus(*service, status);
    return m_machine.Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  }
  ++service->stops;
  BeginTransition(*service, SERVICE_STOP_PENDING);
  FillStatus(*service, status);
  return TRUE;
}

BOOL SimServices::CloseServiceHandle(SC_HANDLE handle) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_handles.erase(reinterpret_cast<ULONG_PTR>(handle)) == 0) return m_machine.Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

}  // namespace sim
