#include "host/sim/spooler.h"

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/no_case.h"
#include "common/pe_header.h"
#include "host/sim/files.h"
#include "host/sim/machine.h"
#include "host/sim/services.h"

namespace fs = std::filesystem;

namespace sim {

namespace {
// RPC_S_SERVER_UNAVAILABLE: what spooler calls give while the service is down.
constexpr DWORD kSpoolerUnavailable = 1722;
constexpr DWORD kErrorCancelled = 1223;     // ERROR_CANCELLED
constexpr DWORD kErrorAlreadyExists = 183;  // ERROR_ALREADY_EXISTS

const char kPrintersKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const char kControlSet001Key[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Print\\Printers\\";
const char kTcpipPortsKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
const char kCurrentControlSetKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

plat::PortInfo2 LocalPort(const std::string& name) {
  plat::PortInfo2 port;
  port.portName = name;
  port.monitorName = "Local Monitor";
  port.description = "Local Port";
  port.portType = 3;  // PORT_TYPE_WRITE | PORT_TYPE_READ
  return port;
}

std::string Text(LPCSTR text) { return text ? text : ""; }

// The rule of documented Windows (kMaxPrinterNameLength): not empty, no ","
// or "\", at most that many UTF-16 characters.
bool IsPrinterNameWindowsTakes(const std::string& name) {
  if (name.empty() || name.find_first_of(",\\") != std::string::npos) return false;
  int length = 0;
  for (unsigned char c : name)
    if ((c & 0xC0) != 0x80) length += c >= 0xF0 ? 2 : 1;
  return length <= kMaxPrinterNameLength;
}

// Printer names, like most names Windows keeps, ignore case.
bool SameName(const std::string& a, const std::string& b) {
  return !CaseInsensitiveLess()(a, b) && !CaseInsensitiveLess()(b, a);
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names of a NUL-separated list ended by an empty name.
std::vector<std::string> MultiString(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < list.size()) {
    const size_t end = list.find('\0', start);
    const std::string name = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (name.empty()) break;
    names.push_back(name);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return names;
}
}  // namespace

SimSpooler::SimSpooler(Machine& machine) : m_machine(machine) {
  for (const char* name : {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"})
    m_ports.push_back(LocalPort(name));
}

std::string SimSpooler::DriverDirectory(const std::string& environment) {
  if (environment == "Windows NT x86") return "C:\\Windows\\System32\\spool\\drivers\\w32x86";
  if (environment == "Windows x64") return "C:\\Windows\\System32\\spool\\drivers\\x64";
  return std::string();
}

void SimSpooler::LoadJson(const Profile& spooler) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  for (const char* environment : {"Windows NT x86", "Windows x64"})
    fs::create_directories(
        m_machine.Files().HostPathLocked(DriverDirectory(environment), SimFiles::View::Native));
  if (spooler.contains("ports")) {
    m_ports.clear();
    for (const Profile& entry : spooler["ports"]) {
      plat::PortInfo2 port = LocalPort(entry.at("name").get<std::string>());
      port.monitorName = entry.value("monitor", port.monitorName);
      port.description = entry.value("description", port.description);
      port.portType = entry.value("type", port.portType);
      m_ports.push_back(port);
      if (entry.contains("address")) {
        // Where the Standard TCP/IP port monitor keeps a port's settings.
        const std::string key = std::string(kTcpipPortsKey) + port.portName;
        m_machine.Registry().SetStringLocked(key, "IPAddress", entry["address"].get<std::string>());
        m_machine.Registry().SetStringLocked(key, "HostName", "");
        m_machine.Registry().SetDwordLocked(key, "PortNumber", entry.value("port_number", 9100u));
        m_machine.Registry().SetDwordLocked(key, "Protocol", 1);
        m_portAddresses[port.portName] = entry["address"].get<std::string>();
      }
    }
  }
  if (spooler.contains("online_ports"))
    for (const Profile& port : spooler["online_ports"]) m_onlinePorts.push_back(port.get<std::string>());
  if (spooler.contains("monitors")) {
    for (const Profile& entry : spooler["monitors"])
      m_monitors.push_back(Monitor{entry.at("name").get<std::string>(),
                                   entry.value("environment", std::string("Windows NT x86")),
                                   entry.value("dll", std::string())});
  }
  if (spooler.contains("drivers")) {
    for (const Profile& entry : spooler["drivers"]) {
      Driver driver;
      driver.info.name = entry.at("name").get<std::string>();
      driver.info.environment = entry.value("environment", std::string("Windows x64"));
      driver.info.version = 3;
      m_drivers[driver.info.environment][driver.info.name] = driver;
    }
  }
  if (spooler.contains("printers")) {
    for (const Profile& entry : spooler["printers"]) {
      Printer printer;
      printer.info.printerName = entry.at("name").get<std::string>();
      printer.info.portName = entry.value("port", std::string("LPT1:"));
      printer.info.driverName = entry.value("driver", std::string("Generic / Text Only"));
      printer.info.printProcessor = "WinPrint";
      printer.info.dataType = "RAW";
      LoadPrinterState(printer, entry);
      m_printers.push_back(printer);
      WritePrinterRecords(printer.info);
    }
  }
}

nlohmann::json SimSpooler::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json ports = nlohmann::json::array();
  for (const plat::PortInfo2& port : m_ports) {
    nlohmann::json entry = {
        {"name", port.portName}, {"monitor", port.monitorName}, {"description", port.description}};
    auto address = m_portAddresses.find(port.portName);
    if (address != m_portAddresses.end()) entry["address"] = address->second;
    ports.push_back(entry);
  }
  nlohmann::json monitors = nlohmann::json::array();
  for (const Monitor& monitor : m_monitors)
    monitors.push_back({{"name", monitor.name}, {"environment", monitor.environment}, {"dll", monitor.dll}});
  nlohmann::json drivers = nlohmann::json::array();
  for (const auto& environment : m_drivers) {
    for (const auto& entry : environment.second) {
      const plat::DriverInfo3& info = entry.second.info;
      drivers.push_back({{"name", info.name},
                         {"environment", info.environment},
                         {"version", info.version},
                         {"driver_path", info.driverPath},
                         {"data_file", info.dataFile},
                         {"config_file", info.configFile},
                         {"help_file", info.helpFile},
                         {"dependent_files", MultiString(info.dependentFiles)},
                         {"monitor", info.monitorName},
                         {"default_data_type", info.defaultDataType},
                         {"files", entry.second.files}});
    }
  }
  nlohmann::json printers = nlohmann::json::array();
  for (const Printer& printer : m_printers) {
    nlohmann::json entry = {{"name", printer.info.printerName},
                            {"port", printer.info.portName},
                            {"driver", printer.info.driverName}};
    if (!printer.jobs.empty()) entry["queue"] = printer.jobs.size();
    printers.push_back(entry);
  }
  nlohmann::json state = {
      {"ports", ports}, {"monitors", monitors}, {"drivers", drivers}, {"printers", printers}};
  if (!m_printed.empty()) state["printed"] = JobsJson();
  return state;
}

std::string SimSpooler::NativeEnvironment() const {
  return m_machine.Version().wow64 ? "Windows x64" : "Windows NT x86";
}

bool SimSpooler::Running() {
  SimService* service = m_machine.Services().Find("Spooler");
  return service && service->state == SERVICE_RUNNING;
}

bool SimSpooler::FailUnlessRunning() {
  if (Running()) return false;
  m_machine.SetLastError(kSpoolerUnavailable);
  return true;
}

void SimSpooler::AddTcpipPortLocked(const std::string& name, const std::string& address) {
  plat::PortInfo2 port;
  port.portName = name;
  port.monitorName = "Standard TCP/IP Port";
  port.description = "Standard TCP/IP Port";
  port.portType = 3;
  m_ports.push_back(port);
  m_machine.Log("port " + name + " added for " + address);
}

bool SimSpooler::PortExists(const std::string& name) const {
  for (const plat::PortInfo2& port : m_ports)
    if (port.portName == name) return true;
  return false;
}

SimSpooler::Printer* SimSpooler::FindPrinter(const std::string& name) {
  for (Printer& printer : m_printers)
    if (SameName(printer.info.printerName, name)) return &printer;
  return nullptr;
}

void SimSpooler::WritePrinterRecords(const plat::PrinterInfo2& info) {
  SimRegistry& registry = m_machine.Registry();
  const std::string& name = info.printerName;
  registry.SetStringLocked(kPrintersKey + name, "Name", name);
  registry.SetStringLocked(kPrintersKey + name, "Port", info.portName);
  registry.SetStringLocked(kPrintersKey + name, "Printer Driver", info.driverName);
  registry.SetStringLocked(kPrintersKey + name + "\\DsSpooler", "portName", info.portName);
  registry.SetStringLocked(kPrintersKey + name + "\\DsSpooler", "printerName", name);
  registry.SetStringLocked(kControlSet001Key + name, "Port", info.portName);
  registry.SetStringLocked(kCurrentControlSetKey + name, "Port", info.portName);
}

void SimSpooler::DeletePrinterRecords(const std::string& name) {
  SimRegistry& registry = m_machine.Registry();
  registry.DeleteKeyLocked(kPrintersKey + name);
  registry.DeleteKeyLocked(kControlSet001Key + name);
  registry.DeleteKeyLocked(kCurrentControlSetKey + name);
}

void SimSpooler::OnServiceRunning() {
  // The spooler takes each printer's port from its records again, and marks
  // on line a printer whose port has a printer answering on it.
  SimRegistry& registry = m_machine.Registry();
  for (Printer& printer : m_printers) {
    const std::string& name = printer.info.printerName;
    std::string port;
    if (registry.GetStringLocked(kCurrentControlSetKey + name, "Port", &port) && !port.empty() &&
        port != printer.info.portName) {
      m_machine.Log("printer " + name + " now on " + port);
      printer.info.portName = port;
    }
    if (std::find(m_onlinePorts.begin(), m_onlinePorts.end(), printer.info.portName) != m_onlinePorts.end()) {
      registry.SetDwordLocked(
          "HKEY_CURRENT_CONFIG\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + name,
          "PrinterOnLine", 1);
      m_machine.Log("printer " + name + " on line on " + printer.info.portName);
    }
  }
}

BOOL SimSpooler::EnumPortsA(std::vector<plat::PortInfo2>* ports) {
  CallScope call(m_machine, "EnumPortsA");
  if (call.Fails() || FailUnlessRunning()) return FALSE;
  *ports = m_ports;
  return TRUE;
}

BOOL SimSpooler::GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) {
  CallScope call(m_machine, "GetPrinterDriverDirectoryA");
  if (call.Fails(Text(environment)) || FailUnlessRunning()) return FALSE;
  // No environment means the caller's own: a 32-bit program's.
  const std::string directory = DriverDirectory(environment ? environment : "Windows NT x86");
  if (directory.empty()) return m_machine.Fail(ERROR_INVALID_ENVIRONMENT);
  const DWORD length = static_cast<DWORD>(directory.size() + 1);
  if (needed) *needed = length;
  if (!buffer || size < length) return m_machine.Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, directory.c_str(), length);
  return TRUE;
}

// Whether this Windows refuses a kernel-mode (version 2) driver: Windows
// Vista on cannot install one, nor can 64-bit Windows, and Server 2003
// blocks them by default policy.
// https://learn.microsoft.com/windows-hardware/drivers/print/choosing-user-mode-or-kernel-mode
bool SimSpooler::BlocksKernelModeDrivers(const std::string& environment) const {
  const WindowsVersion& version = m_machine.Version();
  return version.wow64 || environment == "Windows x64" || version.major >= 6 ||
         (version.major == 5 && version.minor >= 2);
}

// While Windows Protected Print mode is on the spooler takes no third-party
// driver, port monitor or language monitor
// (https://learn.microsoft.com/windows-hardware/drivers/print/windows-protected-print-mode).
// Every driver and monitor a program adds through these calls is a third
// party's; Windows' own come with the machine (its profile). The error code
// is not documented: ERROR_ACCESS_DENIED, as Windows answers a driver
// installation other print policies forbid.
bool SimSpooler::RefuseInProtectedPrintMode(const std::string& call) {
  if (!m_machine.ProtectedPrintOnLocked()) return false;
  m_machine.Log(call + ": refused in Windows Protected Print mode");
  m_machine.SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

BOOL SimSpooler::AddPrinterDriverExA(const plat::DriverInfo3& info, DWORD flags) {
  CallScope call(m_machine, "AddPrinterDriverExA");
  if (call.Fails(info.name) || FailUnlessRunning() ||
      RefuseInProtectedPrintMode("AddPrinterDriverExA " + info.name))
    return FALSE;
  const std::string directory = DriverDirectory(info.environment);
  if (directory.empty()) return m_machine.Fail(ERROR_INVALID_ENVIRONMENT);
  if ((info.version != 2 && info.version != 3) || info.name.empty())
    return m_machine.Fail(ERROR_INVALID_PARAMETER);
  if (info.version == 2 && BlocksKernelModeDrivers(info.environment)) {
    m_machine.Log("AddPrinterDriverExA " + info.name + ": kernel-mode driver blocked");
    return m_machine.Fail(ERROR_KM_DRIVER_BLOCKED);
  }
  if (!info.monitorName.empty()) {
    bool known = false;
    for (const Monitor& monitor : m_monitors) known = known || monitor.name == info.monitorName;
    if (!known) return m_machine.Fail(ERROR_UNKNOWN_PRINT_MONITOR);
  }
  // Where the spooler takes each file from. Without APD_COPY_FROM_DIRECTORY
  // "all files required by the driver must be copied to the system's
  // printer-driver directory" first, so a file is looked for there by its
  // name, whatever folder it is named with; with the flag a fully qualified
  // name is taken as it stands (AddPrinterDriverEx, dwFileCopyFlags and
  // Remarks). The dependent files are a NUL-separated list ended by an empty
  // name (DRIVER_INFO_3).
  // https://learn.microsoft.com/windows/win32/printdocs/addprinterdriverex
  struct DriverFile {
    std::string source;  // Windows path, as the spooler (a native process) sees it
    std::string name;    // its name in the version folder
  };
  const bool fromDirectory = (flags & APD_COPY_FROM_DIRECTORY) != 0;
  std::vector<DriverFile> files;
  auto take = [&](const std::string& named) {
    const std::string name = FileNamePart(named);
    const bool qualified = named.size() > 2 && named[1] == ':' && (named[2] == '\\' || named[2] == '/');
    files.push_back(DriverFile{fromDirectory && qualified ? named : directory + "\\" + name, name});
  };
  for (const std::string* path : {&info.driverPath, &info.dataFile, &info.configFile, &info.helpFile})
    if (!path->empty()) take(*path);
  for (const std::string& name : MultiString(info.dependentFiles)) take(name);
  SimFiles& simFiles = m_machine.Files();
  for (const DriverFile& file : files) {
    std::error_code error;
    if (!fs::is_regular_file(simFiles.HostPathLocked(file.source, SimFiles::View::Native), error)) {
      m_machine.Log("AddPrinterDriverExA " + info.name + ": " + file.source + " missing");
      return m_machine.Fail(ERROR_FILE_NOT_FOUND);
    }
  }
  Driver driver;
  driver.info = info;
  if (flags & APD_COPY_ALL_FILES) {
    const std::string version = directory + "\\" + std::to_string(info.version);
    fs::create_directories(simFiles.HostPathLocked(version, SimFiles::View::Native));
    for (const DriverFile& file : files) {
      std::error_code error;
      fs::copy_file(simFiles.HostPathLocked(file.source, SimFiles::View::Native),
                    simFiles.HostPathLocked(version + "\\" + file.name, SimFiles::View::Native),
                    fs::copy_options::overwrite_existing, error);
      driver.files.push_back(file.name);
    }
  }
  m_drivers[info.environment][info.name] = driver;
  m_machine.Log("driver " + info.name + " added for " + info.environment);
  return TRUE;
}

DWORD SimSpooler::DriverLoadErrorLocked(const std::string& printerName) {
  if (!Running()) return kSpoolerUnavailable;
  const Printer* printer = FindPrinter(printerName);
  if (!printer) return ERROR_INVALID_PRINTER_NAME;
  // A 32-bit program's drawing goes through the native driver (on 64-bit
  // Windows, in the 64-bit driver host).
  const std::string native = NativeEnvironment();
  auto found = m_drivers[native].find(printer->info.driverName);
  if (found == m_drivers[native].end()) return ERROR_UNKNOWN_PRINTER_DRIVER;
  const Driver& driver = found->second;
  const uint16_t wanted = native == "Windows x64" ? kPeMachineX64 : kPeMachineX86;
  const std::string version = DriverDirectory(native) + "\\" + std::to_string(driver.info.version) + "\\";
  for (const std::string* path : {&driver.info.driverPath, &driver.info.configFile}) {
    const std::string name = FileNamePart(*path);
    const bool copied = std::any_of(driver.files.begin(), driver.files.end(),
                                    [&](const std::string& file) { return EqualsNoCase(file, name); });
    if (name.empty() || !copied) continue;
    std::ifstream file(m_machine.Files().HostPathLocked(version + name, SimFiles::View::Native),
                       std::ios::binary);
    std::string header(kPeHeaderReadSize, '\0');
    file.read(&header[0], static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<size_t>(file.gcount()));
    uint16_t machine = 0;
    // Microsoft documents no error for CreateDC; what LoadLibrary gives for
    // a file that is not an image for this processor is assumed
    // (docs/WINE.md).
    if (!PeMachine(header, &machine) || machine != wanted) {
      m_machine.Log("driver " + driver.info.name + ": " + name + " is not a loadable DLL");
      return ERROR_BAD_EXE_FORMAT;
    }
  }
  return ERROR_SUCCESS;
}

BOOL SimSpooler::EnumMonitorsA(std::vector<plat::MonitorInfo2>* monitors) {
  CallScope call(m_machine, "EnumMonitorsA");
  monitors->clear();
  if (call.Fails() || FailUnlessRunning()) return FALSE;
  for (const Monitor& monitor : m_monitors)
    monitors->push_back({monitor.name, monitor.environment, monitor.dll});
  return TRUE;
}

BOOL SimSpooler::DeleteMonitorA(LPCSTR, LPCSTR monitorName) {
  CallScope call(m_machine, "DeleteMonitorA");
  if (call.Fails(Text(monitorName)) || FailUnlessRunning()) return FALSE;
  for (auto it = m_monitors.begin(); it != m_monitors.end(); ++it) {
    if (it->name == Text(monitorName)) {
      // A language monitor a printer's driver names is in use.
      for (const Printer& printer : m_printers) {
        for (const auto& environment : m_drivers) {
          auto driver = environment.second.find(printer.info.driverName);
          if (driver != environment.second.end() && driver->second.info.monitorName == it->name)
            return m_machine.Fail(ERROR_PRINT_MONITOR_IN_USE);
        }
      }
      // A port monitor stays while a printer uses one of its ports
      // (MS-RPRN, RpcDeleteMonitor: ERROR_PRINT_MONITOR_IN_USE).
      for (const Printer& printer : m_printers)
        for (const plat::PortInfo2& port : m_ports)
          if (SameName(port.portName, printer.info.portName) && port.monitorName == it->name)
            return m_machine.Fail(ERROR_PRINT_MONITOR_IN_USE);
      m_monitors.erase(it);
      m_machine.Log("monitor " + Text(monitorName) + " deleted");
      return TRUE;
    }
  }
  return m_machine.Fail(ERROR_UNKNOWN_PRINT_MONITOR);
}

BOOL SimSpooler::AddMonitorA(LPCSTR monitorName, LPCSTR environment, LPCSTR dllName) {
  CallScope call(m_machine, "AddMonitorA");
  if (call.Fails(Text(monitorName)) || FailUnlessRunning() ||
      RefuseInProtectedPrintMode("AddMonitorA " + Text(monitorName)))
    return FALSE;
  for (const Monitor& monitor : m_monitors)
    if (monitor.name == Text(monitorName)) return m_machine.Fail(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
  // "You can only add a monitor that was written for the architecture of the
  // server"; no environment means the caller's, a 32-bit program's.
  // https://learn.microsoft.com/windows/win32/printdocs/addmonitor
  const std::string wanted = environment ? Text(environment) : "Windows NT x86";
  if (wanted != NativeEnvironment()) return m_machine.Fail(ERROR_INVALID_ENVIRONMENT);
  // The spooler, a native process, loads the DLL at once: a name alone from
  // its system folder, where "all files required by the monitor must be
  // copied" (AddMonitor, Remarks); a full path as it stands, with no
  // redirection of System32.
  const std::string dll = Text(dllName);
  const std::string path =
      dll.find_first_of("\\/:") == std::string::npos ? "C:\\Windows\\System32\\" + dll : dll;
  std::error_code error;
  if (dll.empty() ||
      !fs::is_regular_file(m_machine.Files().HostPathLocked(path, SimFiles::View::Native), error)) {
    return m_machine.Fail(ERROR_MOD_NOT_FOUND);
  }
  m_monitors.push_back(Monitor{Text(monitorName), wanted, dll});
  m_machine.Log("monitor " + Text(monitorName) + " added");
  return TRUE;
}

BOOL SimSpooler::OpenPrinterA(LPCSTR printerName, HANDLE* printer, LPCSTR, DWORD access) {
  CallScope call(m_machine, "OpenPrinterA");
  if (call.Fails(Text(printerName)) || FailUnlessRunning()) return FALSE;
  // ",XcvMonitor NAME" opens the data interface of an installed port
  // monitor; it takes SERVER_ACCESS_ADMINISTER.
  const std::string xcvPrefix = ",XcvMonitor ";
  if (Text(printerName).compare(0, xcvPrefix.size(), xcvPrefix) == 0) {
    const std::string monitor = Text(printerName).substr(xcvPrefix.size());
    if (monitor != "Standard TCP/IP Port" && monitor != "Local Port")
      return m_machine.Fail(ERROR_INVALID_PRINTER_NAME);
    if ((access & SERVER_ACCESS_ADMINISTER) == 0 || !m_machine.Version().administrator)
      return m_machine.Fail(ERROR_ACCESS_DENIED);
    const ULONG_PTR handle = m_nextHandle += 4;
    m_xcvHandles[handle] = monitor;
    *printer = reinterpret_cast<HANDLE>(handle);
    return TRUE;
  }
  if (!FindPrinter(Text(printerName))) return m_machine.Fail(ERROR_INVALID_PRINTER_NAME);
  const ULONG_PTR handle = m_nextHandle += 4;
  m_printerHandles[handle] = Text(printerName);
  *printer = reinterpret_cast<HANDLE>(handle);
  return TRUE;
}

BOOL SimSpooler::SetPrinterA(HANDLE printer, DWORD command) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_printerHandles.find(reinterpret_cast<ULONG_PTR>(printer));
  Printer* target = it == m_printerHandles.end() ? nullptr : FindPrinter(it->second);
  if (!target) return m_machine.Fail(ERROR_INVALID_HANDLE);
  if (command == PRINTER_CONTROL_PURGE) {
    target->purged = true;
    m_machine.Log("printer " + target->info.printerName + " purged");
  }
  return TRUE;
}

BOOL SimSpooler::DeletePrinter(HANDLE printer) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_printerHandles.find(reinterpret_cast<ULONG_PTR>(printer));
  Printer* target = it == m_printerHandles.end() ? nullptr : FindPrinter(it->second);
  if (!target) return m_machine.Fail(ERROR_INVALID_HANDLE);
  const std::string name = target->info.printerName;
  DeletePrinterRecords(name);
  m_printers.erase(m_printers.begin() + (target - m_printers.data()));
  m_machine.Log("printer " + name + " deleted");
  return TRUE;
}

BOOL SimSpooler::ClosePrinter(HANDLE printer) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  m_documents.erase(reinterpret_cast<ULONG_PTR>(printer));
  if (m_printerHandles.erase(reinterpret_cast<ULONG_PTR>(printer)) == 0 &&
      m_xcvHandles.erase(reinterpret_cast<ULONG_PTR>(printer)) == 0) {
    return m_machine.Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

HANDLE SimSpooler::AddPrinterA(const plat::PrinterInfo2& info) {
  CallScope call(m_machine, "AddPrinterA");
  if (call.Fails(info.printerName) || FailUnlessRunning()) return nullptr;
  if (!IsPrinterNameWindowsTakes(info.printerName)) return m_machine.Fail(ERROR_INVALID_PRINTER_NAME);
  if (FindPrinter(info.printerName)) return m_machine.Fail(ERROR_PRINTER_ALREADY_EXISTS);
  if (!PortExists(info.portName)) return m_machine.Fail(ERROR_UNKNOWN_PORT);
  // The spooler of a 64-bit Windows runs 64-bit drivers only.
  const std::string native = NativeEnvironment();
  if (m_drivers[native].count(info.driverName) == 0) return m_machine.Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  if (!SameName(info.printProcessor, "WinPrint")) return m_machine.Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
  Printer printer;
  printer.info = info;
  m_printers.push_back(printer);
  WritePrinterRecords(info);
  m_machine.Log("printer " + info.printerName + " added on " + info.portName);
  const ULONG_PTR handle = m_nextHandle += 4;
  m_printerHandles[handle] = info.printerName;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL SimSpooler::EnumPrintersA(DWORD flags, std::vector<plat::PrinterInfo2>* printers) {
  CallScope call(m_machine, "EnumPrintersA");
  if (call.Fails() || FailUnlessRunning()) return FALSE;
  printers->clear();
  if (flags & PRINTER_ENUM_LOCAL)
    for (const Printer& printer : m_printers) {
      printers->push_back(printer.info);
      printers->back().jobCount = static_cast<DWORD>(printer.jobs.size());
    }
  return TRUE;
}

}  // namespace sim

namespace sim {

// The standard TCP/IP port monitor's dialogs are answered by the user of
// the run; its ports are listed last, as the spooler adds them.
BOOL SimSpooler::AddPortA(HWND, LPCSTR monitorName) {
  CallScope call(m_machine, "AddPortA");
  if (call.Fails(Text(monitorName)) || FailUnlessRunning()) return FALSE;
  if (Text(monitorName) != "Standard TCP/IP Port" || !m_machine.PortMonitorUser())
    return m_machine.Fail(ERROR_NOT_SUPPORTED);
  // The wizard is modal: the user answers it without the machine's lock.
  call.Lock().unlock();
  const PortMonitorAnswer answer = m_machine.PortMonitorUser()->AddPortWizard();
  call.Lock().lock();
  if (answer.error) return m_machine.Fail(answer.error);
  if (!answer.done || answer.portName.empty()) return m_machine.Fail(kErrorCancelled);
  if (PortExists(answer.portName)) return m_machine.Fail(kErrorAlreadyExists);
  AddTcpipPortLocked(answer.portName, answer.address);
  return TRUE;
}

BOOL SimSpooler::ConfigurePortA(HWND, LPCSTR portName) {
  CallScope call(m_machine, "ConfigurePortA");
  if (call.Fails(Text(portName)) || FailUnlessRunning()) return FALSE;
  if (!PortExists(Text(portName)) || !m_machine.PortMonitorUser()) return m_machine.Fail(ERROR_NOT_SUPPORTED);
  call.Lock().unlock();
  const PortMonitorAnswer answer = m_machine.PortMonitorUser()->ConfigurePortSheet(Text(portName));
  call.Lock().lock();
  if (answer.error || !answer.done) return m_machine.Fail(answer.error ? answer.error : kErrorCancelled);
  // Success leaves the last error as it was: a function that succeeds need
  // not set it (GetLastError, "Return value").
  return TRUE;
}

BOOL SimSpooler::DeletePortA(HWND, LPCSTR portName) {
  CallScope call(m_machine, "DeletePortA");
  if (call.Fails(Text(portName)) || FailUnlessRunning()) return FALSE;
  for (auto it = m_ports.begin(); it != m_ports.end(); ++it) {
    if (it->portName == Text(portName)) {
      m_ports.erase(it);
      m_machine.Log("port " + Text(portName) + " deleted");
      return TRUE;
    }
  }
  return m_machine.Fail(ERROR_NOT_SUPPORTED);
}

}  // namespace sim

namespace sim {

BOOL SimSpooler::DeletePrinterDriverExA(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) {
  CallScope call(m_machine, "DeletePrinterDriverExA");
  if (call.Fails(Text(driverName)) || FailUnlessRunning()) return FALSE;
  const std::string env = environment ? Text(environment) : "Windows NT x86";
  auto drivers = m_drivers.find(env);
  if (DriverDirectory(env).empty()) return m_machine.Fail(ERROR_INVALID_ENVIRONMENT);
  if (drivers == m_drivers.end() || drivers->second.count(Text(driverName)) == 0)
    return m_machine.Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  // A driver a printer uses stays (the spooler's printers are of the
  // machine's own environment).
  const std::string native = NativeEnvironment();
  for (const Printer& printer : m_printers) {
    if (env == native && SameName(printer.info.driverName, Text(driverName)))
      return m_machine.Fail(ERROR_PRINTER_DRIVER_IN_USE);
  }
  const Driver driver = drivers->second[Text(driverName)];
  drivers->second.erase(Text(driverName));
  if (deleteFlags & DPD_DELETE_UNUSED_FILES) {
    const std::string version = DriverDirectory(env) + "\\" + std::to_string(driver.info.version);
    for (const std::string& file : driver.files) {
      bool shared = false;
      for (const auto& other : drivers->second)
        shared = shared || (other.second.info.version == driver.info.version &&
                            std::find(other.second.files.begin(), other.second.files.end(), file) !=
                                other.second.files.end());
      std::error_code error;
      if (!shared)
        fs::remove(m_machine.Files().HostPathLocked(version + "\\" + file, SimFiles::View::Native), error);
    }
  }
  m_machine.Log("driver " + Text(driverName) + " deleted from " + env);
  return TRUE;
}

BOOL SimSpooler::XcvDataAddPort(HANDLE xcv, const plat::TcpipPortData& port, DWORD* status) {
  CallScope call(m_machine, "XcvDataW");
  auto handle = m_xcvHandles.find(reinterpret_cast<ULONG_PTR>(xcv));
  if (handle == m_xcvHandles.end()) return m_machine.Fail(ERROR_INVALID_HANDLE);
  if (call.Fails(port.portName)) return FALSE;
  // The call itself succeeds; the monitor's verdict comes back in status.
  if (handle->second != "Standard TCP/IP Port") {
    *status = ERROR_INVALID_PARAMETER;
    return TRUE;
  }
  if (port.portName.empty() || port.portName.size() > 63 || port.hostAddress.empty() ||
      port.hostAddress.size() > 48) {
    *status = ERROR_INVALID_PARAMETER;
    return TRUE;
  }
  if (PortExists(port.portName)) {
    *status = kErrorAlreadyExists;
    return TRUE;
  }
  AddTcpipPortLocked(port.portName, port.hostAddress);
  m_portAddresses[port.portName] = port.hostAddress;
  *status = ERROR_SUCCESS;
  return TRUE;
}

}  // namespace sim
