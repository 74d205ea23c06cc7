// status and remove: the printers that use the package's drivers, read
// from the spooler and the records the installation writes.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "Commands.h"
#include "ExitCodes.h"
#include "InstallerSession.h"
#include "MachineFacts.h"
#include "install/DriverFiles.h"
#include "package/MachineChecks.h"
#include "package/ModelTables.h"
#include "common/no_case.h"

namespace setup {

namespace {

const char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
// Where the window reads a printer's on-line flag (UsbDetection.cpp).
const char kOnlineFlagKey[] =
    "SYSTEM\\CurrentControlSet\\Hardware "
    "Profiles\\Current\\System\\CurrentControlSet\\Control\\Print\\Printers\\";
// Where it writes it (PrinterRecords.cpp), under HKEY_CURRENT_CONFIG.
const char kOnlineFlagConfigKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
// The spooler's own records of a printer, which the installation writes
// the port into; DeletePrinter removes them, a removal makes sure.
const char* const kPrinterRecordKeys[] = {
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\",
    "SYSTEM\\ControlSet001\\Control\\Print\\Printers\\",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\",
};
constexpr DWORD kValueBufferSize = 1024;

// A string value, or empty.
std::string ReadString(HKEY root, const std::string& path, const char* name) {
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return std::string();
  char data[kValueBufferSize] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LONG result = registry.RegQueryValueExA(key, name, &type, reinterpret_cast<BYTE*>(data), &size);
  registry.RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
  return std::string(data, strnlen(data, size));
}

bool IsOnline(const std::string& printer) {
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kOnlineFlagKey + printer).c_str(), 0, KEY_QUERY_VALUE,
                             &key) != ERROR_SUCCESS)
    return false;
  DWORD flag = 0;
  DWORD size = sizeof flag;
  const LONG result =
      registry.RegQueryValueExA(key, "PrinterOnLine", nullptr, reinterpret_cast<BYTE*>(&flag), &size);
  registry.RegCloseKey(key);
  return result == ERROR_SUCCESS && flag == 1;
}

// "Device" is "NAME,winspool,PORT" for the default printer.
bool IsDefault(const std::string& printer) {
  const std::string device = ReadString(HKEY_CURRENT_USER, kWindowsKey, "Device");
  return ToLowerAscii(device.substr(0, device.find(','))) == ToLowerAscii(printer) &&
         device.find(',') != std::string::npos;
}

bool ReadPrinters(CommandContext& context, std::vector<plat::PrinterInfo2>* printers) {
  if (plat::Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL, printers)) return true;
  context.log.CallFailed("EnumPrinters", plat::System().GetLastError());
  context.text = "The spooler's printers could not be read (is the Print Spooler service running?).\n";
  return false;
}

void DeleteKeyIfThere(CommandContext& context, HKEY root, const std::string& path) {
  const LONG result = plat::Registry().RegDeleteKeyA(root, path.c_str());
  if (result == ERROR_SUCCESS)
    context.log.Step("deleted the key " + path);
  else if (result != ERROR_FILE_NOT_FOUND)
    context.log.CallFailed("RegDeleteKey " + path, static_cast<DWORD>(result));
}

void DeleteFileIfThere(CommandContext& context, const std::string& path) {
  plat::IFiles& files = plat::Files();
  if (files.GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  if (files.DeleteFileA(path.c_str()))
    context.log.Step("deleted " + path);
  else
    context.log.CallFailed("DeleteFile " + path, plat::System().GetLastError());
}

// The driver goes when no printer uses it; with it the files the
// installation left in the driver folder, and the language monitor with
// its DLL when no printer uses a label driver any more.
int RemoveDriver(CommandContext& context, const std::string& driver,
                 const std::vector<plat::PrinterInfo2>& left) {
  for (const plat::PrinterInfo2& other : left) {
    if (ToLowerAscii(other.driverName) == ToLowerAscii(driver)) {
      context.log.Step("driver " + driver + " kept: the printer " + other.printerName + " uses it");
      context.result["driver_kept"] = driver;
      return kExitDone;
    }
  }
  plat::ISpooler& spooler = plat::Spooler();
  const bool x64 = IsWow64() != FALSE;
  const char* environment = x64 ? kEnvironmentX64 : kEnvironmentX86;
  BOOL deleted = spooler.DeletePrinterDriverExA(environment, driver.c_str(), DPD_DELETE_UNUSED_FILES);
  if (!deleted && plat::System().GetLastError() == ERROR_INVALID_PARAMETER) {
    // Wine takes no delete flags (docs/WINE.md): the driver goes, its files
    // stay in the spooler's folder.
    context.log.CallFailed("DeletePrinterDriverEx " + driver + " with its files", ERROR_INVALID_PARAMETER);
    deleted = spooler.DeletePrinterDriverExA(environment, driver.c_str(), 0);
  }
  if (!deleted) {
    const DWORD error = plat::System().GetLastError();
    context.log.CallFailed("DeletePrinterDriverEx " + driver, error);
    if (error != ERROR_UNKNOWN_PRINTER_DRIVER) {
      context.text = "The driver " + driver + " could not be removed; see the log.\n";
      return kExitInstallFailed;
    }
  } else {
    context.log.Step("driver " + driver + " deleted with its files");
    context.result["driver_removed"] = driver;
  }

  char folder[MAX_PATH] = {};
  DWORD needed = 0;
  const bool haveFolder = spooler.GetPrinterDriverDirectoryA(environment, folder, MAX_PATH, &needed) != FALSE;
  bool labelLeft = false, receiptLeft = false;
  for (const plat::PrinterInfo2& other : left) {
    labelLeft = labelLeft || IsLabelDriver(other.driverName);
    receiptLeft = receiptLeft || (IsPackageDriver(other.driverName) && !IsLabelDriver(other.driverName));
  }
  // The receipt path leaves its plug-in pair in the driver folder.
  if (!IsLabelDriver(driver) && !receiptLeft && haveFolder) {
    DeleteFileIfThere(context, std::string(folder) + "\\" + kOemPluginBaseName + ".dll");
    DeleteFileIfThere(context, std::string(folder) + "\\" + kOemPluginBaseName + ".ini");
  }
  if (!IsLabelDriver(driver) || labelLeft) return kExitDone;
  if (spooler.DeleteMonitorA(environment, kLabelMonitorName)) {
    context.log.Step(std::string("monitor ") + kLabelMonitorName + " deleted");
    context.result["monitor_removed"] = kLabelMonitorName;
  } else {
    const DWORD error = plat::System().GetLastError();
    if (error != ERROR_UNKNOWN_PRINT_MONITOR) {
      context.log.CallFailed(std::string("DeleteMonitor ") + kLabelMonitorName, error);
      context.text =
          std::string("The monitor ") + kLabelMonitorName + " could not be removed; see the log.\n";
      return kExitInstallFailed;
    }
  }
  // Where the label path put the monitor DLL (LabelDriver.cpp).
  char systemFolder[MAX_PATH] = {};
  plat::IFiles& files = plat::Files();
  const UINT length = x64 ? files.GetWindowsDirectoryA(systemFolder, MAX_PATH)
                          : files.GetSystemDirectoryA(systemFolder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    char name[16] = {};
    LabelFamilyFileName(x64, 0, name, sizeof name);
    DeleteFileIfThere(context, std::string(systemFolder) + (x64 ? "\\SysWOW64\\" : "\\") + name);
  }
  return kExitDone;
}

}  // namespace

bool IsDefaultPrinter(const std::string& printer) { return IsDefault(printer); }

std::string ReadRegistryString(HKEY root, const std::string& path, const char* name) {
  return ReadString(root, path, name);
}

int RunStatus(CommandContext& context) {
  ReportMachine(context, ReadMachineFacts());
  std::vector<plat::PrinterInfo2> printers;
  if (!ReadPrinters(context, &printers)) return kExitInstallFailed;
  nlohmann::json list = nlohmann::json::array();
  const std::string wanted = context.options.printer;
  bool found = false;
  for (const plat::PrinterInfo2& printer : printers) {
    const bool named = !wanted.empty() && ToLowerAscii(printer.printerName) == ToLowerAscii(wanted);
    if (!named && (!wanted.empty() || !IsPackageDriver(printer.driverName))) continue;
    found = found || named;
    const bool online = IsOnline(printer.printerName);
    const bool isDefault = IsDefault(printer.printerName);
    list.push_back({{"name", printer.printerName},
                    {"driver", printer.driverName},
                    {"port", printer.portName},
                    {"online", online},
                    {"default", isDefault}});
    context.text += printer.printerName + "\tdriver " + printer.driverName + "\tport " + printer.portName +
                    (online ? "\ton line" : "\toff line") + (isDefault ? "\tdefault" : "") + "\n";
  }
  context.result["printers"] = list;
  if (!wanted.empty() && !found) {
    context.text = "No printer \"" + wanted + "\".\n";
    context.log.Step("no printer " + wanted);
    return kExitNotFound;
  }
  if (list.empty()) context.text += "No printer uses a driver of the package.\n";
  return kExitDone;
}

int RunRemove(CommandContext& context) {
  const std::string wanted = context.options.printer;
  // The spooler may be stopped: the window's own step starts it.
  CInstallDlg spoolerControl;
  spoolerControl.ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);

  std::vector<plat::PrinterInfo2> printers;
  if (!ReadPrinters(context, &printers)) return kExitInstallFailed;
  auto it = std::find_if(printers.begin(), printers.end(), [&](const plat::PrinterInfo2& printer) {
    return ToLowerAscii(printer.printerName) == ToLowerAscii(wanted);
  });
  if (it == printers.end()) {
    context.text = "No printer \"" + wanted + "\".\n";
    context.log.Step("no printer " + wanted);
    return kExitNotFound;
  }
  const plat::PrinterInfo2 removed = *it;
  printers.erase(it);

  plat::ISpooler& spooler = plat::Spooler();
  HANDLE printer = nullptr;
  if (!spooler.OpenPrinterA(removed.printerName.c_str(), &printer, "RAW", PRINTER_ALL_ACCESS)) {
    context.log.CallFailed("OpenPrinter " + removed.printerName, plat::System().GetLastError());
    context.text = "The printer could not be opened for removal; see the log.\n";
    return kExitInstallFailed;
  }
  spooler.SetPrinterA(printer, PRINTER_CONTROL_PURGE);
  const BOOL deleted = spooler.DeletePrinter(printer);
  const DWORD error = plat::System().GetLastError();
  spooler.ClosePrinter(printer);
  if (!deleted) {
    context.log.CallFailed("DeletePrinter " + removed.printerName, error);
    context.text = "The printer could not be deleted; see the log.\n";
    return kExitInstallFailed;
  }
  context.log.Step("printer " + removed.printerName + " deleted (it was on " + removed.portName + ")");
  context.result["printer_removed"] = removed.printerName;

  // The port records the installation wrote, where the spooler left them.
  for (const char* root : kPrinterRecordKeys) {
    DeleteKeyIfThere(context, HKEY_LOCAL_MACHINE, std::string(root) + removed.printerName + "\\DsSpooler");
    DeleteKeyIfThere(context, HKEY_LOCAL_MACHINE, std::string(root) + removed.printerName);
  }
  DeleteKeyIfThere(context, HKEY_CURRENT_CONFIG, kOnlineFlagConfigKey + removed.printerName);

  if (IsDefault(removed.printerName)) {
    plat::IRegistry& registry = plat::Registry();
    HKEY key = nullptr;
    LONG result = registry.RegOpenKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, KEY_SET_VALUE, &key);
    if (result == ERROR_SUCCESS) {
      result = registry.RegDeleteValueA(key, "Device");
      registry.RegCloseKey(key);
    }
    if (result == ERROR_SUCCESS)
      context.log.Step("\"Device\" named the printer: cleared");
    else
      context.log.CallFailed("RegDeleteValue Device", static_cast<DWORD>(result));
  }

  int exitCode = kExitDone;
  if (context.options.removeDriver) exitCode = RemoveDriver(context, removed.driverName, printers);
  if (exitCode == kExitDone) context.text = "Removed \"" + removed.printerName + "\".\n" + context.text;
  return exitCode;
}

}  // namespace setup
