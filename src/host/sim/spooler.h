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

// The words a profile uses for a printer's status flags (and
// "work_offline" for its attribute) and for a job's, bit 0 first.
std::vector<std::string> PrinterStatusWords();
std::vector<std::string> JobStatusWords();

class SimSpooler : public plat::ISpooler {
 public:
  explicit SimSpooler(Machine& machine);

  BOOL EnumPortsA(std::vector<plat::PortInfo2>* ports) override;
  BOOL GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) override;
  BOOL AddPrinterDriverExA(const plat::DriverInfo3& info, DWORD flags) override;
  BOOL DeleteMonitorA(LPCSTR environment, LPCSTR monitorName) override;
  BOOL EnumMonitorsA(std::vector<plat::MonitorInfo2>* monitors) override;
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
  // The queue and documents (spooler_jobs.cpp).
  BOOL GetPrinterA(HANDLE printer, plat::PrinterInfo2* info) override;
  BOOL EnumJobsA(HANDLE printer, std::vector<plat::JobInfo2>* jobs) override;
  DWORD StartDocPrinterA(HANDLE printer, LPCSTR documentName, LPCSTR dataType) override;
  BOOL WritePrinter(HANDLE printer, LPCVOID data, DWORD size, DWORD* written) override;
  BOOL EndDocPrinter(HANDLE printer) override;

  // Profile: {"ports": [{"name": "USB001", "monitor": "...", "description": "..."}],
  // "monitors": [{"name": "...", "dll": "C:\\..."}], "printers": [{"name":
  // "...", "port": "...", "driver": "...", "status": ["paused"], "jobs":
  // [{"document": "...", "status": ["error"], "size": 100, "age_s": 90}]}],
  // "drivers": [{"name": "...", "environment": "Windows x64"}]}. Without
  // "ports" the spooler has the ports of a fresh Windows: COM1: to COM4:,
  // LPT1: to LPT3: and FILE:. A port with "address" (and "port_number") is
  // a Standard TCP/IP port with the monitor's records of it.
  void LoadJson(const Profile& spooler);
  nlohmann::json ToJson() const;
  // The spooler's own start-up, when its service comes up (lock held).
  void OnServiceRunning();

  // Call with the machine's lock held.
  std::vector<plat::PortInfo2>& Ports() { return m_ports; }

  // Drawing through a printer's driver (SimPrinterDrawing), lock held.
  // ERROR_SUCCESS when the printer's driver loads for drawing: a driver
  // whose DLLs the profile does not model, or whose driver and UI DLLs in
  // the version folder are PE images for the spooler's processor.
  DWORD DriverLoadErrorLocked(const std::string& printerName);
  // A job of the driver's data type in the printer's queue: its id, or 0
  // with the last error set.
  DWORD StartDrawnJobLocked(const std::string& printerName, const std::string& documentName);
  void AddDrawnPageLocked(const std::string& printerName, DWORD jobId, const std::vector<std::string>& lines);
  // Ended, the job goes to the port when the queue lets it; aborted, it
  // leaves the queue unprinted.
  void EndDrawnJobLocked(const std::string& printerName, DWORD jobId, bool aborted);
  static std::string DriverDirectory(const std::string& environment);

 private:
  struct Driver {
    plat::DriverInfo3 info;
    std::vector<std::string> files;  // as copied into the version folder
  };
  struct Job {
    plat::JobInfo2 info;
    int64_t submittedMs = 0;  // on the virtual clock
    std::string dataType;
    std::string bytes;
    std::vector<std::vector<std::string>> pages;  // a drawn job's text, line by line
    bool ended = false;                           // EndDocPrinter or EndDoc came
  };
  struct Printer {
    plat::PrinterInfo2 info;  // with its status flags and attributes
    bool purged = false;
    std::vector<Job> jobs;
  };
  // The bytes of a RAW job that reached its port, or the text of a drawn
  // one.
  struct PrintedJob {
    std::string printer;
    std::string port;
    std::string document;
    std::string bytes;
    std::string dataType;
    std::vector<std::vector<std::string>> pages;
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
  Printer* PrinterOfHandle(HANDLE handle);
  Job* FindJob(const std::string& printerName, DWORD jobId);
  // A job that has all its bytes goes to the port unless the printer holds
  // its queue (paused, an error, off line, working off line).
  void PrintWhatCanBePrinted(Printer& printer);
  void LoadPrinterState(Printer& printer, const Profile& entry);
  nlohmann::json JobsJson() const;

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
  std::map<ULONG_PTR, DWORD> m_documents;  // a printer handle's open document: its job id
  std::vector<PrintedJob> m_printed;
  DWORD m_nextJobId = 1;
};

}  // namespace sim
