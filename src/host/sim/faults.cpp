#include "host/sim/faults.h"

namespace sim {

// Each name here is the name of a CallScope of some simulated call.
const std::vector<std::string>& FaultableCalls() {
  static const std::vector<std::string> calls = {
      "AddMonitorA", "AddPortA", "AddPrinterA", "AddPrinterDriverExA", "AdjustTokenPrivileges",
      "BuildCommDCBA", "CheckTokenMembership", "ConfigurePortA", "ControlService", "CopyFileA",
      "CreateDirectoryA", "CreateEventA", "CreateFileA", "CreateMutexA", "CreateThread", "DeleteFileA",
      "DeleteMonitorA", "DeletePortA", "DeletePrinterDriverExA", "EnumMonitorsA", "EnumPortsA",
      "EnumPrintersA", "FindFirstFileA", "GetCurrentDirectoryA", "GetFileAttributesA", "GetModuleHandleA",
      "GetPrinterDriverDirectoryA", "GetPrivateProfileSectionNamesA", "GetPrivateProfileStringA",
      "GetProcAddress", "GetSystemDirectoryA", "GetVersionExA", "GetWindowsDirectoryA",
      "IsProtectedPrintEnabled", "IsWow64Process", "IsWow64Process2", "LoadLibraryA", "LookupPrivilegeValueA",
      "OpenPrinterA", "OpenProcessToken", "OpenSCManagerA", "OpenServiceA", "QueryServiceStatus",
      "RegCreateKeyExA", "RegDeleteKeyA", "RegDeleteValueA", "RegEnumValueA", "RegOpenKeyExA",
      "RegQueryValueExA", "RegSetValueExA", "RemoveDirectoryA", "SevenZip", "StartServiceA", "XcvDataW",
      // the serial port calls
      "ClearCommError", "GetCommMask", "GetCommState", "GetOverlappedResult", "PurgeComm", "ReadFile",
      "SetCommMask", "SetCommState", "SetCommTimeouts", "SetupComm", "WaitCommEvent", "WriteFile",
      // the queue, documents, drawing through a driver and the network
      // (printer-setup test)
      "EnumJobsA", "GetPrinterA", "StartDocPrinterA", "WritePrinter", "CreateDCA", "StartDocA", "StartPage",
      "EndPage", "EndDoc", "connect"};
  return calls;
}

// Each name here is the name of a CallScope of some simulated call that a
// profile may slow down.
const std::vector<std::string>& TimedCalls() {
  static const std::vector<std::string> calls = {
      "AddPrinterA", "AddPrinterDriverExA", "BuildCommDCBA", "CopyFileA", "CreateFileA", "EnumPortsA",
      "GetVersionExA", "QueryServiceStatus", "SevenZip",
      // the serial port calls
      "ClearCommError", "GetCommMask", "GetCommState", "GetOverlappedResult", "PurgeComm", "ReadFile",
      "SetCommMask", "SetCommState", "SetCommTimeouts", "SetupComm", "WaitCommEvent", "WriteFile",
      // the queue and documents (spooler_jobs.cpp)
      "EnumJobsA", "GetPrinterA", "StartDocPrinterA", "WritePrinter"};
  return calls;
}

bool FaultTable::ShouldFail(const std::string& call, const std::string& argument, DWORD* error) {
  ++m_calls[call];
  // Every fault counts each call it matches, so "after" and "count" mean
  // the same whatever other faults the call meets.
  bool fail = false;
  for (size_t i = 0; i < m_faults.size(); ++i) {
    const Fault& fault = m_faults[i];
    if (fault.call != call) continue;
    if (!fault.match.empty() && argument.find(fault.match) == std::string::npos) continue;
    const int seen = m_seen[i]++;
    if (fail || seen < fault.after) continue;
    if (fault.count >= 0 && seen >= fault.after + fault.count) continue;
    *error = fault.error;
    fail = true;
  }
  return fail;
}

int FaultTable::CallCount(const std::string& call) const {
  auto it = m_calls.find(call);
  return it == m_calls.end() ? 0 : it->second;
}

}  // namespace sim
