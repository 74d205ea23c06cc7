// One simulated Windows machine: its version, word size, registry and
// later its spooler, services, files and COM devices, built from a machine
// profile (JSON). It implements the platform interfaces for the host build.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/code_page.h"
#include "host/sim/profile.h"
#include "host/sim/faults.h"
#include "host/sim/registry.h"
#include "host/sim/world.h"

namespace sim {

struct WindowsVersion {
  DWORD major = 10;
  DWORD minor = 0;
  DWORD build = 19045;
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  bool wow64 = true;  // a 32-bit program on 64-bit Windows
  bool hasIsWow64Process = true;
  bool extendedVersionInfo = true;   // GetVersionExA takes the 156-byte record
  bool administrator = true;         // the process runs with administrator rights
  UINT codePage = kDefaultCodePage;  // the ANSI code page (GetACP)
  std::string computerName = "SHOP-PC";
  // The processor Windows runs on, as IsWow64Process2 names it (an
  // IMAGE_FILE_MACHINE_* value): x64 on 64-bit Windows, x86 otherwise,
  // unless the profile says ARM64.
  WORD nativeMachine = 0x8664;
  // Windows Protected Print mode turned on in Settings; its Group Policy
  // value in the registry turns it on as well.
  bool protectedPrint = false;

  // IsWow64Process2 came with Windows 10 version 1709 (build 16299).
  bool HasIsWow64Process2() const {
    return platformId == VER_PLATFORM_WIN32_NT && (major > 10 || (major == 10 && build >= 16299));
  }
  // The mode and the class that reports it came with Windows 11 24H2
  // (build 26100).
  bool HasProtectedPrintMode() const {
    return platformId == VER_PLATFORM_WIN32_NT && (major > 10 || (major == 10 && build >= 26100));
  }
};

// A loadable module of the simulated machine: its exports are host
// functions with the Windows calling convention of the export.
struct SimModule {
  std::string name;
  std::map<std::string, FARPROC, CaseInsensitiveLess> exports;
};

// What the user did in the TCP/IP port monitor's own dialogs: its Add Port
// wizard (a port made with a name and an address) or its configuration
// sheet (OK).
struct PortMonitorAnswer {
  bool done = false;  // finished, not cancelled
  std::string portName;
  std::string address;
  DWORD error = 0;  // the monitor failed with this code
};

// The user of the run, asked when the spooler shows a port monitor's
// dialog.
class IPortMonitorUser {
 public:
  virtual ~IPortMonitorUser() = default;
  virtual PortMonitorAnswer AddPortWizard() = 0;
  virtual PortMonitorAnswer ConfigurePortSheet(const std::string& portName) = 0;
};

class SimSystem;
class SimThreads;
class SimServices;
class SimSpooler;
class SimFiles;
class SimComm;
class SimNetwork;
class SimPrinterDrawing;

class Machine {
 public:
  // A machine with the defaults (Windows 10, 64-bit, empty registry).
  Machine();
  // Throws InputError for a profile CheckProfile refuses, before anything
  // (such as the drive's host folder) is made.
  explicit Machine(const Profile& profile);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine whose IsWow64Process and other exported host functions are
  // answered; set by Install.
  static Machine* Current();

  // Installs this machine's interfaces as the process's platform; `user`
  // answers message boxes (the headless dialog layer, or a test).
  void Install(plat::IUser* user);

  World& GetWorld() { return m_world; }
  std::mutex& Mutex() { return m_world.Mutex(); }
  FaultTable& Faults() { return m_faults; }
  SimRegistry& Registry() { return *m_registry; }
  SimThreads& Threads() { return *m_threads; }
  SimServices& Services() { return *m_services; }
  SimFiles& Files() { return *m_files; }
  SimSpooler& Spooler() { return *m_spooler; }
  SimComm& Comm() { return *m_comm; }
  SimNetwork& Network() { return *m_network; }
  const WindowsVersion& Version() const { return m_version; }
  const std::string& Name() const { return m_name; }

  // Whether Windows Protected Print mode is on: the machine's own setting
  // or the policy value. Call with the machine's lock held.
  bool ProtectedPrintOnLocked() const;

  // Makes a call take virtual time, as the profile's "latency" says (a slow
  // disk, a spooler that takes its time). Call with `lock` held.
  void SpendCallTime(std::unique_lock<std::mutex>& lock, const char* call);

  void SetLastError(DWORD error);
  DWORD GetLastError() const;

  // How a call fails: `return m_machine.Fail(ERROR_...);` sets the last
  // error and gives the failure value of the call's own return type (FALSE,
  // a null handle, 0); Fail(error, result) gives another (such as
  // INVALID_HANDLE_VALUE).
  struct Failure {
    template <class T>
    operator T() const {
      return T{};
    }
  };
  Failure Fail(DWORD error) {
    SetLastError(error);
    return Failure{};
  }
  template <class T>
  T Fail(DWORD error, T result) {
    SetLastError(error);
    return result;
  }

  void SetPortMonitorUser(IPortMonitorUser* user) { m_portMonitorUser = user; }
  IPortMonitorUser* PortMonitorUser() const { return m_portMonitorUser; }

  void AddModule(const SimModule& module);
  const SimModule* FindModule(const std::string& name) const;

  // The final state a run leaves, as JSON.
  nlohmann::json StateJson();

  // A journal of the boundary calls that matter to a reader of a run (the
  // service requests, later spooler changes); tests check order with it.
  // Log is called with the machine's lock held.
  void Log(const std::string& entry);
  std::vector<std::string> Journal();

 private:
  struct CheckedProfile {};
  static CheckedProfile Check(const Profile& profile);
  Machine(const Profile& profile, CheckedProfile);
  void LoadProfile(const Profile& profile);

  World m_world;
  std::string m_name = "default";
  WindowsVersion m_version;
  FaultTable m_faults;
  std::map<std::string, uint64_t> m_latency;
  std::unique_ptr<SimRegistry> m_registry;
  std::unique_ptr<SimSystem> m_system;
  std::unique_ptr<SimThreads> m_threads;
  std::unique_ptr<SimFiles> m_files;
  std::unique_ptr<SimServices> m_services;
  std::unique_ptr<SimSpooler> m_spooler;
  std::unique_ptr<SimComm> m_comm;
  std::unique_ptr<SimNetwork> m_network;
  std::unique_ptr<SimPrinterDrawing> m_drawing;
  std::map<std::string, SimModule, CaseInsensitiveLess> m_modules;
  std::vector<std::string> m_journal;
  IPortMonitorUser* m_portMonitorUser = nullptr;
};

// The opening every simulated Windows call shares, so that the call's own
// code is only what Windows does: the machine's lock for the whole call, the
// virtual time the profile's "latency" gives it, and the faults the profile
// names for it.
//   CallScope call(m_machine, "DeleteFileA");
//   if (call.Fails(path)) return FALSE;  // the last error is the fault's
//   ...                                  // what Windows does, under the lock
// Fails is asked once, at the point where the call can first fail (after
// the checks that come before it, if any); a call whose result is an error
// code returns ErrorCode() instead. A call that waits (a modal dialog, a
// blocking read) gives the lock up and takes it back through Lock(). A new
// call's name also goes into FaultableCalls (and TimedCalls if a profile may
// slow it down).
class CallScope {
 public:
  CallScope(Machine& machine, const char* name);
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  // Counts the call and tells whether a fault fails it (the thread's last
  // error is then the fault's code). `argument` is the call's main argument,
  // which a fault's "match" looks for (a key path, a file name...).
  bool Fails(const std::string& argument = std::string());
  // The fault's code, for calls that return their error (the registry's).
  LONG ErrorCode() const { return static_cast<LONG>(m_error); }
  std::unique_lock<std::mutex>& Lock() { return m_lock; }

 private:
  Machine& m_machine;
  const char* m_name;
  std::unique_lock<std::mutex> m_lock;
  DWORD m_error = 0;
};

// The profile the tools fall back on: Windows 10, 64-bit.
const char* DefaultProfileJson();

}  // namespace sim
