// Installing into the spooler: where AddPrinterDriverExA takes each named
// file from, which driver versions this Windows takes, and a real port
// monitor added and deleted.
#include <initializer_list>
#include <string>

#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

// Windows Vista on, Server 2003 and every 64-bit Windows refuse a
// kernel-mode (version 2) driver with ERROR_KM_DRIVER_BLOCKED.
// https://learn.microsoft.com/windows-hardware/drivers/print/choosing-user-mode-or-kernel-mode
bool BlocksKernelModeDrivers(const std::string& environment) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!plat::System().GetVersionExA(&version)) return true;
  return environment == "Windows x64" || version.dwMajorVersion >= 6 ||
         (version.dwMajorVersion == 5 && version.dwMinorVersion >= 2);
}

// A dependent-file list: each name with its NUL; the list's own end is the
// empty name after the last (DRIVER_INFO_3, pDependentFiles).
std::string FileList(std::initializer_list<const char*> names) {
  std::string list;
  for (const char* name : names) list += std::string(name) + '\0';
  return list + '\0';
}

class DriverFiles {
 public:
  DriverFiles(const Backend& backend, const std::string& environment)
      : m_backend(backend), m_environment(environment) {
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    if (plat::Spooler().GetPrinterDriverDirectoryA(environment.c_str(), directory, sizeof directory, &needed))
      m_directory = directory;
  }
  const std::string& Directory() const { return m_directory; }
  std::string InDirectory(const std::string& name) const { return m_directory + "\\" + name; }
  std::string Installed(const std::string& name, DWORD version) const {
    return m_directory + "\\" + std::to_string(version) + "\\" + name;
  }
  bool Stage(const std::string& path) { return m_backend.writeFile(path, "driver file " + path); }

  // A driver record whose four files are named as given; no monitor.
  plat::DriverInfo3 Record(const std::string& name, const std::string& driver, const std::string& data,
                           const std::string& config, const std::string& help,
                           const std::string& dependents) const {
    plat::DriverInfo3 info;
    info.version = 3;
    info.name = name;
    info.environment = m_environment;
    info.driverPath = driver;
    info.dataFile = data;
    info.configFile = config;
    info.helpFile = help;
    info.dependentFiles = dependents;
    info.defaultDataType = "RAW";
    return info;
  }
  void Remove(const std::string& name) const {
    plat::Spooler().DeletePrinterDriverExA(m_environment.c_str(), name.c_str(), 0);
  }

 private:
  const Backend& m_backend;
  std::string m_environment;
  std::string m_directory;
};

bool Exists(const std::string& path) {
  return plat::Files().GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "Before calling AddPrinterDriverEx, all files required by the driver must
// be copied to the system's printer-driver directory"; with
// APD_COPY_FROM_DIRECTORY fully qualified names are used where they are.
// https://learn.microsoft.com/windows/win32/printdocs/addprinterdriverex
void WhereDriverFilesComeFrom(const Backend& backend, const std::string& environment) {
  plat::ISpooler& spooler = plat::Spooler();
  DriverFiles files(backend, environment);
  if (files.Directory().empty()) {
    skip("no driver directory for \"%s\"", environment.c_str());
    return;
  }
  for (const char* name : {"cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "cfa-help.hlp", "cfa-dep1.txt",
                           "cfa-dep2.txt", "cfa-dep3.txt"})
    ok(files.Stage(files.InDirectory(name)), "fixture: %s staged", name);

  // Full paths and names alone, both in the driver directory.
  plat::DriverInfo3 info = files.Record("Conformance Files A", files.InDirectory("cfa-drv.dll"),
                                        "cfa-data.txt", files.InDirectory("cfa-ui.dll"), "cfa-help.hlp",
                                        FileList({"cfa-dep1.txt", "cfa-dep2.txt"}));
  MarkLastError();
  BOOL done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  ok(done, "AddPrinterDriverExA, files in the driver directory: error %lu", U(LastError()));
  bool copied = true;
  for (const char* name : {"cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "cfa-help.hlp", "cfa-dep1.txt"})
    copied = copied && Exists(files.Installed(name, 3));
  ok(done && copied, "every file copied into the version folder");
  files.Remove(info.name);

  // An empty dependent list is the empty name alone.
  info = files.Record("Conformance Files B", "cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "", FileList({}));
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  ok(done, "AddPrinterDriverExA, no dependent files: error %lu", U(LastError()));
  files.Remove(info.name);

  // A dependent file named with a leading backslash, as the installer's
  // lists name them: Windows documents names and full paths only; the
  // spooler takes it from the driver directory by its name.
  info = files.Record("Conformance Files C", "cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "",
                      FileList({"\\cfa-dep3.txt"}));
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  ok(done && Exists(files.Installed("cfa-dep3.txt", 3)),
     "AddPrinterDriverExA, a dependent file \"\\name\": %d, error %lu, copied %d", done, U(LastError()),
     Exists(files.Installed("cfa-dep3.txt", 3)));
  files.Remove(info.name);

  // A file missing from the driver directory.
  info = files.Record("Conformance Files D", "cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "",
                      FileList({"cfa-absent.txt"}));
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  ok_or_wine(!done && LastError() == ERROR_FILE_NOT_FOUND, done != FALSE,
             "AddPrinterDriverEx takes a missing dependent file",
             "AddPrinterDriverExA, a dependent file missing: %d, error %lu, expected 2", done,
             U(LastError()));
  if (done) files.Remove(info.name);

  // A data file that is only outside the driver directory, named by its
  // full path: taken from there only with APD_COPY_FROM_DIRECTORY.
  const std::string outside = backend.tempFolder + "\\cfa-outside.txt";
  ok(files.Stage(outside), "fixture: %s written", outside.c_str());
  info = files.Record("Conformance Files E", "cfa-drv.dll", outside, "cfa-ui.dll", "", FileList({}));
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  ok_or_wine(!done && LastError() == ERROR_FILE_NOT_FOUND, done != FALSE,
             "AddPrinterDriverEx takes files from outside the driver directory",
             "AddPrinterDriverExA, a data file outside the driver directory: %d, error %lu, expected 2", done,
             U(LastError()));
  if (done) files.Remove(info.name);
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY);
  ok(done && Exists(files.Installed("cfa-outside.txt", 3)),
     "AddPrinterDriverExA with APD_COPY_FROM_DIRECTORY, a data file outside: %d, error %lu", done,
     U(LastError()));
  files.Remove(info.name);
  plat::Files().DeleteFileA(outside.c_str());

  // Kernel-mode drivers.
  info = files.Record("Conformance Files F", "cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "", FileList({}));
  info.version = 2;
  MarkLastError();
  done = spooler.AddPrinterDriverExA(info, APD_COPY_ALL_FILES);
  if (BlocksKernelModeDrivers(environment)) {
    ok_or_wine(!done && LastError() == ERROR_KM_DRIVER_BLOCKED, done != FALSE, "kernel-mode drivers accepted",
               "AddPrinterDriverExA of a version 2 driver: %d, error %lu, expected 1930", done,
               U(LastError()));
  } else {
    ok(done, "AddPrinterDriverExA of a version 2 driver where Windows takes them: error %lu", U(LastError()));
  }
  if (done) files.Remove(info.name);

  for (const char* name : {"cfa-drv.dll", "cfa-data.txt", "cfa-ui.dll", "cfa-help.hlp", "cfa-dep1.txt",
                           "cfa-dep2.txt", "cfa-dep3.txt"})
    plat::Files().DeleteFileA(files.InDirectory(name).c_str());
}

// AddMonitor: "all files required by the monitor must be copied to the
// SYSTEM32 directory", and "you can only add a monitor that was written for
// the architecture of the server".
// https://learn.microsoft.com/windows/win32/printdocs/addmonitor
void RealMonitor(const Backend& backend, const std::string& environment) {
  plat::ISpooler& spooler = plat::Spooler();
  const char kName[] = "Conformance Test Monitor";
  if (backend.monitorDll.empty()) {
    skip("no test monitor DLL in the system folder: %s", backend.noMonitorReason.c_str());
    return;
  }
  const char* dll = backend.monitorDll.c_str();
  // The DLL is of the machine's own word size; Wine's spooler runs inside
  // this 32-bit process, which cannot load a 64-bit DLL.
  MarkLastError();
  BOOL done = spooler.AddMonitorA(kName, environment.c_str(), dll);
  const DWORD addError = LastError();
  ok_or_wine(done && addError == kLastErrorMarker,
             (done && addError == ERROR_SUCCESS) ||
                 (!done && addError == ERROR_MOD_NOT_FOUND && environment == "Windows x64"),
             done ? "AddMonitor clears the last error" : "a 64-bit monitor cannot be added",
             "AddMonitorA \"%s\": %d, last error %#lx", dll, done, U(addError));
  if (!done) return;
  MarkLastError();
  BOOL again = spooler.AddMonitorA(kName, environment.c_str(), dll);
  ok(!again && LastError() == ERROR_PRINT_MONITOR_ALREADY_INSTALLED,
     "AddMonitorA a second time: %d, error %lu, expected 3006", again, U(LastError()));
  MarkLastError();
  done = spooler.DeleteMonitorA(nullptr, kName);
  ok(done && LastError() == kLastErrorMarker, "DeleteMonitorA: %d, last error %#lx", done, U(LastError()));
  MarkLastError();
  again = spooler.DeleteMonitorA(nullptr, kName);
  ok(!again && LastError() == ERROR_UNKNOWN_PRINT_MONITOR,
     "DeleteMonitorA a second time: %d, error %lu, expected 3000", again, U(LastError()));

  // The same DLL for the other environment: one thing wrong.
  const std::string foreign = environment == "Windows x64" ? "Windows NT x86" : "Windows x64";
  MarkLastError();
  done = spooler.AddMonitorA(kName, foreign.c_str(), dll);
  ok_or_wine(!done && LastError() == ERROR_INVALID_ENVIRONMENT, done != FALSE,
             "AddMonitor takes any environment",
             "AddMonitorA for \"%s\" on a \"%s\" machine: %d, error %lu, expected 1805", foreign.c_str(),
             environment.c_str(), done, U(LastError()));
  if (done) spooler.DeleteMonitorA(nullptr, kName);
}

}  // namespace

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE process, BOOL* wow64);

std::string NativeEnvironment() {
  plat::ISystem& system = plat::System();
  HMODULE kernel32 = system.GetModuleHandleA("kernel32");
  IsWow64ProcessFn isWow64 =
      kernel32 ? plat::ProcAs<IsWow64ProcessFn>(system.GetProcAddress(kernel32, "IsWow64Process")) : nullptr;
  BOOL wow64 = FALSE;
  if (isWow64) isWow64(system.GetCurrentProcess(), &wow64);
  return wow64 ? "Windows x64" : "Windows NT x86";
}

void TestSpoolerInstall(const Backend& backend) {
  BeginGroup("spooler install");
  const std::string environment = NativeEnvironment();
  WhereDriverFilesComeFrom(backend, environment);
  RealMonitor(backend, environment);
}

}  // namespace conformance
