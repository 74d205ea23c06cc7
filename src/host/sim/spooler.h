// The simulated print spooler: ports, monitors, drivers per environment
// with their driver directories, and printers with the registry records
// the spooler keeps for them. A restart of the "Spooler" service makes it
// read the printers' port records again, as the real one does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/profile.h"
#include "host/sim/registry.h"

namespace sim {

class Machine;

class SimSpooler : public plat::ISpooler {
 public:
  explicit SimSpooler(Machine& machine);

  BOOL EnumPortsA(std::vector<plat::PortInfo2>* ports) override;
  BOOL GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) override;
  BOOL AddPrinterDriverExA(const plat::DriverInfo3& info, DWORD flags) override;
  BOOL DeleteMonitorA(LPCSTR environment, LPCSTR monitorName) override;
  BOOL AddMonitorA(LPCSTR monitorName, LPCSTR environment, LPCSTR dllName) override;
  BOOL OpenPrinterA(LPCSTR printerName, HANDLE* printer, LPCSTR dataType, DWORD access) override;
  BOOL SetPrinterA(HANDLE printer, DWORD command) override;
  BOOL DeletePrinter(HANDLE printer) override;
  BOOL ClosePrinter(HANDLE printer) override;
  HANDLE AddPrinterA(const plat::PrinterInfo2& info) override;
  BOOL EnumPrintersA(DWORD flags, std::vector<plat::PrinterInfo2>* printers) override;
  BOOL AddPortA(HWND owner, LPCSTR monitorName) override;
  BOOL ConfigurePortA(HWND owner, LPCSTR portName) override;
  BOOL DeletePortA(HWND owner, LPCSTR portName) override;
  BOOL DeletePrinterDriverExA(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) override;
  BOOL XcvDataAddPort(HANDLE xcv, const plat::TcpipPortData& port, DWORD* status) override;

  // Profile: {"ports": [{"name": "USB001", "monitor": "...", "description": "..."}],
  // "monitors": [{"name": "...", "dll": "C:\\..."}], "printers": [{"name":
  // "...", "port": "...", "driver": "..."}], "drivers": [{"name": "...",
  // "environment": "Windows x64"}]}. Without "ports" the spooler has the
  // ports of a fresh Windows: COM1: to COM4:, LPT1: to LPT3: and FILE:.
  void LoadJson(const Profile& spooler);
  nlohmann::json ToJson() const;
  // The spooler's own start-up, when its service comes up (lock held).
  void OnServiceRunning();

  // Call with the machine's lock held.
  std::vector<plat::PortInfo2>& Ports() { return m_ports; }
  static std::string DriverDirectory(const std::string& environment);

 private:
  struct Driver {
    plat::DriverInfo3 info;
    std::vector<std::string> files;  // as copied into the version folder
  };
  struct Printer {
    plat::PrinterInfo2 info;
    bool purged = false;
  };
  struct Monitor {
    std::string name;
    std::string environment;
    std::string dll;
  };

  bool Running();
  bool FailUnlessRunning();
  // Refuses a driver or monitor add while Windows Protected Print mode is
  // on; `call` names it in the journal. Call with the machine's lock held.
  bool RefuseInProtectedPrintMode(const std::string& call);
  // The environment of the machine's own drivers and monitors.
  std::string NativeEnvironment() const;
  bool BlocksKernelModeDrivers(const std::string& environment) const;
  Printer* FindPrinter(const std::string& name);
  bool PortExists(const std::string& name) const;
  // A port of the standard TCP/IP port monitor, made by its wizard or its
  // data interface.
  void AddTcpipPortLocked(const std::string& name, const std::string& address);
  void WritePrinterRecords(const plat::PrinterInfo2& info);
  void DeletePrinterRecords(const std::string& name);

  Machine& m_machine;
  std::vector<plat::PortInfo2> m_ports;
  std::vector<Monitor> m_monitors;
  std::map<std::string, std::map<std::string, Driver, CaseInsensitiveLess>> m_drivers;  // by environment
  std::vector<Printer> m_printers;
  std::vector<std::string> m_onlinePorts;  // ports where a printer answers
  std::map<ULONG_PTR, std::string> m_printerHandles;
  // Handles on a port monitor's data interface (",XcvMonitor NAME"): the
  // monitor's name.
  std::map<ULONG_PTR, std::string> m_xcvHandles;
  std::map<std::string, std::string> m_portAddresses;  // TCP/IP ports made through it
  ULONG_PTR m_nextHandle = 0x5000;
};

}  // namespace sim
