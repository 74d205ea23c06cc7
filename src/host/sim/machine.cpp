#include "host/sim/machine.h"

#include <atomic>
#include <stdexcept>

#include <filesystem>

#include "host/sim/archive_module.h"
#include "host/sim/code_page.h"
#include "host/sim/comm.h"
#include "host/sim/files.h"
#include "host/sim/network.h"
#include "host/sim/printer_drawing.h"
#include "host/sim/profile_check.h"
#include "host/sim/services.h"
#include "host/sim/spooler.h"
#include "host/sim/system.h"
#include "host/sim/threads.h"
#include "package/MachineChecks.h"

namespace sim {

namespace {
std::atomic<Machine*> g_current{nullptr};
thread_local DWORD t_lastError = 0;

// kernel32!IsWow64Process as the simulated machine answers it.
BOOL WINAPI SimIsWow64Process(HANDLE, BOOL* wow64) {
  Machine* machine = Machine::Current();
  if (!machine || !wow64) return FALSE;
  CallScope call(*machine, "IsWow64Process");
  if (call.Fails()) return FALSE;
  *wow64 = machine->Version().wow64 ? TRUE : FALSE;
  return TRUE;
}

// kernel32!IsWow64Process2: the x86 program runs under WoW64 wherever
// Windows is not x86 itself.
BOOL WINAPI SimIsWow64Process2(HANDLE, WORD* processMachine, WORD* nativeMachine) {
  Machine* machine = Machine::Current();
  if (!machine || !processMachine) return FALSE;
  CallScope call(*machine, "IsWow64Process2");
  if (call.Fails()) return FALSE;
  const WindowsVersion& version = machine->Version();
  *processMachine = version.wow64 ? NATIVE_MACHINE_X86 : NATIVE_MACHINE_UNKNOWN;
  if (nativeMachine) *nativeMachine = version.nativeMachine;
  return TRUE;
}

DWORD JsonDword(const Profile& object, const char* key, DWORD fallback) {
  return object.contains(key) ? object[key].get<DWORD>() : fallback;
}
}  // namespace

Machine::Machine() : Machine(Profile::object()) {}

// Host files a profile names are found from the working folder.
Machine::CheckedProfile Machine::Check(const Profile& profile) {
  CheckProfile(profile, std::filesystem::current_path().string());
  return CheckedProfile{};
}

Machine::Machine(const Profile& profile) : Machine(profile, Check(profile)) {}

Machine::Machine(const Profile& profile, CheckedProfile)
    : m_registry(std::make_unique<SimRegistry>(*this)),
      m_system(std::make_unique<SimSystem>(*this)),
      m_threads(std::make_unique<SimThreads>(*this)),
      m_files(std::make_unique<SimFiles>(*this)),
      m_services(std::make_unique<SimServices>(*this)),
      m_spooler(std::make_unique<SimSpooler>(*this)),
      m_comm(std::make_unique<SimComm>(*this)),
      m_network(std::make_unique<SimNetwork>(*this)),
      m_drawing(std::make_unique<SimPrinterDrawing>(*this)) {
  LoadProfile(profile);
  SimModule kernel32;
  kernel32.name = "kernel32";
  if (m_version.hasIsWow64Process)
    kernel32.exports["IsWow64Process"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SimIsWow64Process));
  if (m_version.HasIsWow64Process2())
    kernel32.exports["IsWow64Process2"] =
        reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SimIsWow64Process2));
  AddModule(kernel32);
  // The archive library lies beside the installer unless the profile says
  // it is missing.
  if (profile.value("archive_library", true)) AddModule(ArchiveLibraryModule());
}

Machine::~Machine() {
  // Threads still running use the machine's parts: they end first.
  m_world.Shutdown();
  Machine* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

Machine* Machine::Current() { return g_current.load(); }

// The profile was checked (CheckProfile): fields have their types and ranges.
void Machine::LoadProfile(const Profile& profile) {
  m_name = profile.value("name", std::string("default"));
  if (profile.contains("windows")) {
    const Profile& windows = profile["windows"];
    m_version.major = JsonDword(windows, "major", m_version.major);
    m_version.minor = JsonDword(windows, "minor", m_version.minor);
    m_version.build = JsonDword(windows, "build", m_version.build);
    m_version.platformId = JsonDword(windows, "platform_id", m_version.platformId);
    m_version.wow64 = windows.value("wow64", m_version.wow64);
    m_version.hasIsWow64Process = windows.value("has_IsWow64Process", m_version.hasIsWow64Process);
    m_version.extendedVersionInfo = windows.value("extended_version_info", m_version.extendedVersionInfo);
    m_version.administrator = windows.value("administrator", m_version.administrator);
    m_version.codePage = JsonDword(windows, "code_page", m_version.codePage);
    m_version.computerName = windows.value("computer_name", m_version.computerName);
    m_version.nativeMachine = m_version.wow64 ? NATIVE_MACHINE_X64 : NATIVE_MACHINE_X86;
    if (windows.contains("native_machine")) {
      m_version.nativeMachine = NativeMachineOfName(windows["native_machine"].get<std::string>());
      // An x86 program runs under WoW64 on every Windows but x86.
      m_version.wow64 = windows.value("wow64", m_version.nativeMachine != NATIVE_MACHINE_X86);
    }
    m_version.protectedPrint = windows.value("protected_print", m_version.protectedPrint);
    if (!IsSupportedCodePage(m_version.codePage))
      throw std::runtime_error("windows.code_page: " + std::to_string(m_version.codePage) +
                               " is not one of 1252, 1250, 936");
  }
  if (profile.contains("registry")) m_registry->LoadJson(profile["registry"]);
  m_files->LoadJson(profile, std::filesystem::current_path().string());
  if (profile.contains("services")) m_services->LoadJson(profile["services"]);
  m_spooler->LoadJson(profile.contains("spooler") ? profile["spooler"] : Profile::object());
  {
    std::lock_guard<std::mutex> lock(Mutex());
    m_services->Find("Spooler")->onRunning = [this]() { m_spooler->OnServiceRunning(); };
  }
  if (profile.contains("com_ports")) m_comm->LoadJson(profile["com_ports"]);
  if (profile.contains("network")) m_network->LoadJson(profile["network"]);
  if (profile.contains("latency")) {
    for (auto it = profile["latency"].begin(); it != profile["latency"].end(); ++it)
      m_latency[it.key()] = it.value().get<uint64_t>();
  }
  if (profile.contains("faults")) {
    for (const Profile& entry : profile["faults"]) {
      Fault fault;
      fault.call = entry.at("call").get<std::string>();
      fault.error = entry.value("error", static_cast<DWORD>(ERROR_ACCESS_DENIED));
      fault.after = entry.value("after", 0);
      fault.count = entry.value("count", -1);
      fault.match = entry.value("match", std::string());
      m_faults.Add(fault);
    }
  }
}

void Machine::Install(plat::IUser* user) {
  plat::Platform platform;
  platform.system = m_system.get();
  platform.threads = m_threads.get();
  platform.registry = m_registry.get();
  platform.files = m_files.get();
  platform.services = m_services.get();
  platform.spooler = m_spooler.get();
  platform.user = user;
  platform.comm = m_comm.get();
  platform.network = m_network.get();
  platform.drawing = m_drawing.get();
  plat::Install(platform);
  g_current.store(this);
}

CallScope::CallScope(Machine& machine, const char* name)
    : m_machine(machine), m_name(name), m_lock(machine.Mutex()) {
  m_machine.SpendCallTime(m_lock, m_name);
}

bool CallScope::Fails(const std::string& argument) {
  if (!m_machine.Faults().ShouldFail(m_name, argument, &m_error)) return false;
  m_machine.SetLastError(m_error);
  return true;
}

void Machine::SpendCallTime(std::unique_lock<std::mutex>& lock, const char* call) {
  auto it = m_latency.find(call);
  if (it == m_latency.end() || it->second == 0) return;
  m_world.BlockUntil(
      lock, []() { return false; }, m_world.Now() + it->second, std::string(call) + " working");
}

void Machine::SetLastError(DWORD error) { t_lastError = error; }

DWORD Machine::GetLastError() const { return t_lastError; }

void Machine::AddModule(const SimModule& module) { m_modules[module.name] = module; }

const SimModule* Machine::FindModule(const std::string& name) const {
  auto it = m_modules.find(name);
  return it == m_modules.end() ? nullptr : &it->second;
}

bool Machine::ProtectedPrintOnLocked() const {
  if (!m_version.HasProtectedPrintMode()) return false;
  if (m_version.protectedPrint) return true;
  DWORD state = 0;
  return m_registry->GetDwordLocked(std::string("HKEY_LOCAL_MACHINE\\") + kProtectedPrintPolicyKey,
                                    kProtectedPrintPolicyValue, &state) &&
         state != 0;
}

void Machine::Log(const std::string& entry) { m_journal.push_back(entry); }

std::vector<std::string> Machine::Journal() {
  std::lock_guard<std::mutex> lock(Mutex());
  return m_journal;
}

nlohmann::json Machine::StateJson() {
  nlohmann::json state;
  state["machine"] = m_name;
  state["registry"] = m_registry->ToJson();
  state["services"] = m_services->ToJson();
  state["spooler"] = m_spooler->ToJson();
  state["files"] = m_files->ToJson();
  if (m_comm->HasDevices()) state["com_ports"] = m_comm->ToJson();
  if (m_network->HasDevices()) state["network"] = m_network->ToJson();
  return state;
}

const char* DefaultProfileJson() {
  return R"json({
  "name": "Windows 10 64-bit (default)",
  "windows": {"major": 10, "minor": 0, "build": 19045, "platform_id": 2, "wow64": true},
  "registry": {
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM": {"\\Device\\Serial0": "COM1"},
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows": {}
  }
})json";
}

}  // namespace sim
