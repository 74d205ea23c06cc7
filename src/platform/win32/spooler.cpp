#include <vector>

#include "platform/win32/admin_calls.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

std::string Text(const char* text) { return text ? text : ""; }

class Win32Spooler : public ISpooler {
 public:
  BOOL EnumPortsA(std::vector<PortInfo2>* ports) override {
    ports->clear();
    DWORD needed = 0;
    DWORD count = 0;
    // The first call only learns the size; the list may grow between the
    // calls, so a second shortfall is tried again with the new size.
    ::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
      buffer.assign(needed ? needed : 1, 0);
      if (::EnumPortsA(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
        const PORT_INFO_2A* records = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
          PortInfo2 port;
          port.portName = Text(records[i].pPortName);
          port.monitorName = Text(records[i].pMonitorName);
          port.description = Text(records[i].pDescription);
          port.portType = records[i].fPortType;
          ports->push_back(port);
        }
        return TRUE;
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
    }
    return FALSE;
  }

  BOOL GetPrinterDriverDirectoryA(LPCSTR environment, LPSTR buffer, DWORD size, DWORD* needed) override {
    DWORD sizeNeeded = 0;
    const BOOL ok = ::GetPrinterDriverDirectoryA(nullptr, const_cast<LPSTR>(environment), 1,
                                                 reinterpret_cast<LPBYTE>(buffer), size, &sizeNeeded);
    if (needed) *needed = sizeNeeded;
    return ok;
  }

  BOOL AddPrinterDriverExA(const DriverInfo3& info, DWORD flags) override {
    // The record points into copies: Windows takes non-const strings.
    std::string name = info.name, environment = info.environment, driverPath = info.driverPath,
                dataFile = info.dataFile, configFile = info.configFile, helpFile = info.helpFile,
                dependentFiles = info.dependentFiles, monitorName = info.monitorName,
                defaultDataType = info.defaultDataType;
    dependentFiles.push_back('\0');  // a list always ends with an empty name
    DRIVER_INFO_3A record = {};
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
    return ::AddPrinterDriverExA(nullptr, 3, reinterpret_cast<LPBYTE>(&record), flags);
  }

  BOOL DeleteMonitorA(LPCSTR environment, LPCSTR monitorName) override {
    return ::DeleteMonitorA(nullptr, const_cast<LPSTR>(environment), const_cast<LPSTR>(monitorName));
  }

  BOOL AddMonitorA(LPCSTR monitorName, LPCSTR environment, LPCSTR dllName) override {
    MONITOR_INFO_2A record = {};
    record.pName = const_cast<LPSTR>(monitorName);
    record.pEnvironment = const_cast<LPSTR>(environment);
    record.pDLLName = const_cast<LPSTR>(dllName);
    return ::AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  }

  BOOL OpenPrinterA(LPCSTR printerName, HANDLE* printer, LPCSTR dataType, DWORD access) override {
    PRINTER_DEFAULTSA defaults = {};
    defaults.pDatatype = const_cast<LPSTR>(dataType);
    defaults.DesiredAccess = access;
    return ::OpenPrinterA(const_cast<LPSTR>(printerName), printer, &defaults);
  }

  BOOL SetPrinterA(HANDLE printer, DWORD command) override {
    return ::SetPrinterA(printer, 0, nullptr, command);
  }
  BOOL DeletePrinter(HANDLE printer) override { return ::DeletePrinter(printer); }
  BOOL ClosePrinter(HANDLE printer) override { return ::ClosePrinter(printer); }

  HANDLE AddPrinterA(const PrinterInfo2& info) override {
    std::string printerName = info.printerName, portName = info.portName, driverName = info.driverName,
                printProcessor = info.printProcessor, dataType = info.dataType;
    PRINTER_INFO_2A record = {};
    record.pPrinterName = &printerName[0];
    record.pPortName = &portName[0];
    record.pDriverName = &driverName[0];
    record.pPrintProcessor = &printProcessor[0];
    record.pDatatype = &dataType[0];
    return ::AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&record));
  }

  BOOL EnumPrintersA(DWORD flags, std::vector<PrinterInfo2>* printers) override {
    printers->clear();
    DWORD needed = 0;
    DWORD count = 0;
    char empty[1] = {'\0'};
    ::EnumPrintersA(flags, empty, 2, nullptr, 0, &needed, &count);
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::vector<BYTE> buffer(needed ? needed : 1, 0);
      if (::EnumPrintersA(flags, empty, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                          &count)) {
        const PRINTER_INFO_2A* records = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
          PrinterInfo2 printer;
          printer.printerName = Text(records[i].pPrinterName);
          printer.portName = Text(records[i].pPortName);
          printer.driverName = Text(records[i].pDriverName);
          printer.printProcessor = Text(records[i].pPrintProcessor);
          printer.dataType = Text(records[i].pDatatype);
          printers->push_back(printer);
        }
        return TRUE;
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
    }
    return FALSE;
  }

  BOOL AddPortA(HWND owner, LPCSTR monitorName) override {
    return ::AddPortA(nullptr, owner, const_cast<LPSTR>(monitorName));
  }
  BOOL ConfigurePortA(HWND owner, LPCSTR portName) override {
    return ::ConfigurePortA(nullptr, owner, const_cast<LPSTR>(portName));
  }
  BOOL DeletePortA(HWND owner, LPCSTR portName) override {
    return ::DeletePortA(nullptr, owner, const_cast<LPSTR>(portName));
  }

  BOOL DeletePrinterDriverExA(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) override {
    return DeletePrinterDriverExUtf8(environment, driverName, deleteFlags);
  }
  BOOL XcvDataAddPort(HANDLE xcv, const TcpipPortData& port, DWORD* status) override {
    return XcvDataAddPortUtf8(xcv, port, status);
  }
};

}  // namespace

ISpooler& SpoolerService() {
  static Win32Spooler service;
  return service;
}

}  // namespace win32
}  // namespace plat
