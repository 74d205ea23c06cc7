// The spooler through the W functions: printer, port, driver and monitor
// names are UTF-8 on the installer's side, converted here once, so a name
// reaches the spooler (and comes back from it) as the same characters on
// any ANSI code page.
#include <cstring>
#include <vector>

#include "platform/win32/utf16.h"
#include "platform/win32/admin_calls.h"
#include "platform/win32/queue_calls.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

// Calls an Enum...W function: the first call only learns the size; the list
// may grow between the calls, so a second shortfall is tried again with the
// new size. `take` reads the records of a call that succeeded.
template <typename Call, typename Take>
BOOL EnumerateRecords(Call call, Take take) {
  DWORD needed = 0;
  DWORD count = 0;
  call(nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer;
  for (int attempt = 0; attempt < 3; ++attempt) {
    buffer.assign(needed ? needed : 1, 0);
    if (call(buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
      take(buffer.data(), count);
      return TRUE;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
  }
  return FALSE;
}

class Win32Spooler : public ISpooler {
 public:
  BOOL EnumPortsA(std::vector<PortInfo2>* ports) override {
    ports->clear();
    return EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
          return ::EnumPortsW(nullptr, 2, buffer, size, needed, count);
        },
        [ports](const BYTE* buffer, DWORD count) {
          const PORT_INFO_2W* records = reinterpret_cast<const PORT_INFO_2W*>(buffer);
          for (DWORD i = 0; i < count; ++i) {
            PortInfo2 port;
            port.portName = WideToUtf8(records[i].pPortName);
            port.monitorName = WideToUtf8(records[i].pMonitorName);
            port.description = WideToUtf8(records[i].pDescription);
            port.portType = records[i].fPortType;
            ports->push_back(port);
          }
        });
  }

  // `size` and `needed` count UTF-8 bytes with the NUL; a path that does
  // not fit fails with ERROR_INSUFFICIENT_BUFFER, as the A call does.
  BOOL GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) override {
    WideArg wideEnvironment(environment);
    std::vector<wchar_t> wide(MAX_PATH);
    DWORD wideBytes = 0;
    BOOL ok = FALSE;
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
      ok = ::GetPrinterDriverDirectoryW(nullptr, wideEnvironment.data(), 1,
                                        reinterpret_cast<LPBYTE>(wide.data()),
                                        static_cast<DWORD>(wide.size() * sizeof(wchar_t)), &wideBytes);
      if (!ok && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
      if (!ok) wide.assign(wideBytes / sizeof(wchar_t) + 1, L'\0');
    }
    if (!ok) return FALSE;
    const std::string path = WideToUtf8(wide.data());
    const DWORD pathBytes = static_cast<DWORD>(path.size() + 1);
    if (needed) *needed = pathBytes;
    if (!buffer || size < pathBytes) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(buffer, path.c_str(), pathBytes);
    return TRUE;
  }

  BOOL AddPrinterDriverExA(const DriverInfo3& info, DWORD flags) override {
    // The record points into copies: Windows takes non-const strings.
    std::wstring name = Utf8ToWide(info.name.c_str()), environment = Utf8ToWide(info.environment.c_str()),
                 driverPath = Utf8ToWide(info.driverPath.c_str()),
                 dataFile = Utf8ToWide(info.dataFile.c_str()),
                 configFile = Utf8ToWide(info.configFile.c_str()),
                 helpFile = Utf8ToWide(info.helpFile.c_str()),
                 dependentFiles = Utf8ToWide(info.dependentFiles.data(), info.dependentFiles.size()),
                 monitorName = Utf8ToWide(info.monitorName.c_str()),
                 defaultDataType = Utf8ToWide(info.defaultDataType.c_str());
    dependentFiles.push_back(L'\0');  // a list always ends with an empty name
    DRIVER_INFO_3W record = {};
    record.cVersion = info.version;
    record.pName = &name[0];
    record.pEnvironment = &environment[0];
    record.pDriverPath = &driverPath[0];
    record.pDataFile = &dataFile[0];
    record.pConfigFile = &configFile[0];
    record.pHelpFile = &helpFile[0];
    record.pDependentFiles = &dependentFiles[0];
    record.pMonitorName = &monitorName[0];
    record.pDefaultDataType = &defaultDataType[0];
    return ::AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&record), flags);
  }

  BOOL DeleteMonitorA(LPCSTR environment, LPCSTR monitorName) override {
    WideArg wideEnvironment(environment), wideName(monitorName);
    return ::DeleteMonitorW(nullptr, wideEnvironment.data(), wideName.data());
  }

  BOOL EnumMonitorsA(std::vector<MonitorInfo2>* monitors) override {
    monitors->clear();
    return EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
          return ::EnumMonitorsW(nullptr, 2, buffer, size, needed, count);
        },
        [monitors](const BYTE* buffer, DWORD count) {
          const MONITOR_INFO_2W* records = reinterpret_cast<const MONITOR_INFO_2W*>(buffer);
          for (DWORD i = 0; i < count; ++i) {
            MonitorInfo2 monitor;
            monitor.name = WideToUtf8(records[i].pName);
            monitor.environment = WideToUtf8(records[i].pEnvironment);
            monitor.dllName = WideToUtf8(records[i].pDLLName);
            monitors->push_back(monitor);
          }
        });
  }

  BOOL AddMonitorA(LPCSTR monitorName, LPCSTR environment, LPCSTR dllName) override {
    WideArg wideName(monitorName), wideEnvironment(environment), wideDll(dllName);
    MONITOR_INFO_2W record = {};
    record.pName = wideName.data();
    record.pEnvironment = wideEnvironment.data();
    record.pDLLName = wideDll.data();
    return ::AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  }

  BOOL OpenPrinterA(LPCSTR printerName, HANDLE* printer, LPCSTR dataType, DWORD access) override {
    WideArg wideName(printerName), wideDataType(dataType);
    PRINTER_DEFAULTSW defaults = {};
    defaults.pDatatype = wideDataType.data();
    defaults.DesiredAccess = access;
    return ::OpenPrinterW(wideName.data(), printer, &defaults);
  }

  BOOL SetPrinterA(HANDLE printer, DWORD command) override {
    return ::SetPrinterW(printer, 0, nullptr, command);
  }
  BOOL DeletePrinter(HANDLE printer) override { return ::DeletePrinter(printer); }
  BOOL ClosePrinter(HANDLE printer) override { return ::ClosePrinter(printer); }

  HANDLE AddPrinterA(const PrinterInfo2& info) override {
    std::wstring printerName = Utf8ToWide(info.printerName.c_str()),
                 portName = Utf8ToWide(info.portName.c_str()),
                 driverName = Utf8ToWide(info.driverName.c_str()),
                 printProcessor = Utf8ToWide(info.printProcessor.c_str()),
                 dataType = Utf8ToWide(info.dataType.c_str());
    PRINTER_INFO_2W record = {};
    record.pPrinterName = &printerName[0];
    record.pPortName = &portName[0];
    record.pDriverName = &driverName[0];
    record.pPrintProcessor = &printProcessor[0];
    record.pDatatype = &dataType[0];
    record.Attributes = info.attributes;
    return ::AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  }

  BOOL EnumPrintersA(DWORD flags, std::vector<PrinterInfo2>* printers) override {
    printers->clear();
    wchar_t local[1] = {L'\0'};
    return EnumerateRecords(
        [flags, &local](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
          return ::EnumPrintersW(flags, local, 2, buffer, size, needed, count);
        },
        [printers](const BYTE* buffer, DWORD count) {
          const PRINTER_INFO_2W* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);
          for (DWORD i = 0; i < count; ++i) printers->push_back(FromPrinterInfo2W(records[i]));
        });
  }

  BOOL AddPortA(HWND owner, LPCSTR monitorName) override {
    WideArg wideName(monitorName);
    return ::AddPortW(nullptr, owner, wideName.data());
  }
  BOOL ConfigurePortA(HWND owner, LPCSTR portName) override {
    WideArg wideName(portName);
    return ::ConfigurePortW(nullptr, owner, wideName.data());
  }
  BOOL DeletePortA(HWND owner, LPCSTR portName) override {
    WideArg wideName(portName);
    return ::DeletePortW(nullptr, owner, wideName.data());
  }

  BOOL DeletePrinterDriverExA(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) override {
    return DeletePrinterDriverExUtf8(environment, driverName, deleteFlags);
  }
  BOOL XcvDataAddPort(HANDLE xcv, const TcpipPortData& port, DWORD* status) override {
    return XcvDataAddPortUtf8(xcv, port, status);
  }
  BOOL GetPrinterA(HANDLE printer, PrinterInfo2* info) override { return GetPrinterUtf8(printer, info); }
  BOOL EnumJobsA(HANDLE printer, std::vector<JobInfo2>* jobs) override { return EnumJobsUtf8(printer, jobs); }
  DWORD StartDocPrinterA(HANDLE printer, LPCSTR documentName, LPCSTR dataType) override {
    return StartDocPrinterUtf8(printer, documentName, dataType);
  }
  BOOL WritePrinter(HANDLE printer, LPCVOID data, DWORD size, DWORD* written) override {
    return WritePrinterBytes(printer, data, size, written);
  }
  BOOL EndDocPrinter(HANDLE printer) override { return EndDocPrinterCall(printer); }
};

}  // namespace

ISpooler& SpoolerService() {
  static Win32Spooler service;
  return service;
}

}  // namespace win32
}  // namespace plat
