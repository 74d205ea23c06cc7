// list, plan and install: the installer window's own start-up and
// installation, with the port the command line names.
#include <algorithm>
#include <cctype>

#include "Commands.h"
#include "ExitCodes.h"
#include "InstallerSession.h"
#include "MachineFacts.h"
#include "package/ModelDriver.h"
#include "ports/PortClassification.h"
#include "ports/PortDialogs.h"
#include "common/no_case.h"

namespace setup {

namespace {

const char kTcpipPrefix[] = "tcpip:";
constexpr size_t kMaxHostAddressLength = 48;  // PORT_DATA_1's host address field, without its NUL

// The port step of an installation: the window's port type, the port its
// list or picker gives, and what must happen first.
struct PortChoice {
  int portType = PORT_USB;
  std::string port;           // empty for usb and serial probing
  std::string createAddress;  // tcpip: a port still to be made for this address
  std::string description;    // for plan and the log
};

// Host names and IPv4/IPv6 addresses: letters, digits, '.', '-', ':'.
bool IsHostAddress(const std::string& address) {
  if (address.empty() || address.size() > kMaxHostAddressLength) return false;
  return std::all_of(address.begin(), address.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == ':'; });
}

int FindPort(const CStringArray& ports, const std::string& name) {
  for (int i = 0; i < ports.GetSize(); ++i)
    if (ToLowerAscii(ports[i].str()) == ToLowerAscii(name)) return i;
  return -1;
}

void KeepOnly(CStringArray& ports, const std::string& port) {
  ports.RemoveAll();
  ports.Add(port.c_str());
}

int ResolvePort(CommandContext& context, InstallerSession& session, PortChoice* choice) {
  CInstallDlg& dialog = session.Dialog();
  const std::string wanted = context.options.port;
  const std::string lower = ToLowerAscii(wanted);
  if (lower == "usb") {
    choice->portType = PORT_USB;
    choice->description = "the USB port the printer answers on (" +
                          std::to_string(dialog.m_arrUsbPorts.GetSize()) + " USB ports)";
    return kExitDone;
  }
  if (lower == "serial") {
    if (dialog.m_arrSerialPorts.IsEmpty()) {
      context.text = "This computer has no COM port.\n";
      context.log.Step("no COM port in HARDWARE\\DEVICEMAP\\SERIALCOMM");
      return kExitNotFound;
    }
    choice->portType = PORT_SERIAL;
    choice->description = dialog.m_arrSerialPorts.GetSize() == 1
                              ? "the only COM port, " + dialog.m_arrSerialPorts[0].str()
                              : "the COM port where the printer answers at " +
                                    std::to_string(context.options.baudRate) + " baud (" +
                                    std::to_string(dialog.m_arrSerialPorts.GetSize()) + " COM ports probed)";
    return kExitDone;
  }
  if (lower.compare(0, sizeof kTcpipPrefix - 1, kTcpipPrefix) == 0) {
    const std::string address = wanted.substr(sizeof kTcpipPrefix - 1);
    if (!IsHostAddress(address)) {
      context.text = "\"" + address + "\" is not a network address.\n";
      return kExitBadCommandLine;
    }
    choice->portType = PORT_TCPIP;
    for (const std::string& name : {address, "IP_" + address}) {
      const int row = FindPort(dialog.m_arrTcpipPorts, name);
      if (row >= 0) {
        choice->port = dialog.m_arrTcpipPorts[row].str();
        choice->description = "the TCP/IP port " + choice->port;
        return kExitDone;
      }
    }
    choice->port = "IP_" + address;
    choice->createAddress = address;
    choice->description = "a new Standard TCP/IP port " + choice->port + " for " + address + " (raw, 9100)";
    return kExitDone;
  }

  // A port by name: the spooler must have it.
  std::vector<plat::PortInfo2> ports;
  if (!plat::Spooler().EnumPortsA(&ports)) {
    context.log.CallFailed("EnumPorts", plat::System().GetLastError());
    context.text = "The spooler's ports could not be read.\n";
    return kExitInstallFailed;
  }
  for (const plat::PortInfo2& port : ports) {
    if (ToLowerAscii(port.portName) != lower) continue;
    choice->port = port.portName;
    switch (ClassifyPort(port)) {
      case PortKind::Tcpip:
        choice->portType = PORT_TCPIP;
        choice->description = "the TCP/IP port " + port.portName;
        break;
      case PortKind::Parallel:
        choice->portType = PORT_PARALLEL;
        choice->description = "the parallel port " + port.portName;
        break;
      default:
        // A COM port takes the serial road with that one port (the window
        // then writes its line settings); any other named port (USB001,
        // FILE:) is used as it is, without the window's USB detection.
        choice->portType = StartsWith(port.portName, "COM") ? PORT_SERIAL : PORT_PARALLEL;
        choice->description = "the port " + port.portName;
        break;
    }
    return kExitDone;
  }
  context.text = "The spooler has no port \"" + wanted + "\".\n";
  context.log.Step("no port " + wanted + " among the spooler's " + std::to_string(ports.size()) + " ports");
  return kExitNotFound;
}

// Makes the Standard TCP/IP port through the monitor's data interface.
bool CreateTcpipPort(CommandContext& context, const PortChoice& choice) {
  plat::ISpooler& spooler = plat::Spooler();
  const std::string monitor = std::string(",XcvMonitor ") + kTcpipMonitorName;
  HANDLE xcv = nullptr;
  if (!spooler.OpenPrinterA(monitor.c_str(), &xcv, nullptr, SERVER_ACCESS_ADMINISTER)) {
    context.log.CallFailed("OpenPrinter \"" + monitor + "\"", plat::System().GetLastError());
    return false;
  }
  plat::TcpipPortData data;
  data.portName = choice.port;
  data.hostAddress = choice.createAddress;
  DWORD status = ERROR_SUCCESS;
  const BOOL called = spooler.XcvDataAddPort(xcv, data, &status);
  const DWORD error = plat::System().GetLastError();
  spooler.ClosePrinter(xcv);
  if (!called) {
    context.log.CallFailed("XcvData AddPort " + choice.port, error);
    return false;
  }
  if (status != ERROR_SUCCESS) {
    context.log.CallFailed("XcvData AddPort " + choice.port + " (monitor status)", status);
    return false;
  }
  context.log.Step("TCP/IP port " + choice.port + " created for " + choice.createAddress);
  return true;
}

// Points the window at the port: its port-type row, and for a named port
// the list the window takes it from.
void ApplyPortChoice(InstallerSession& session, const PortChoice& choice) {
  CInstallDlg& dialog = session.Dialog();
  for (int row = 0; row < dialog.m_listPortType.GetItemCount(); ++row)
    dialog.m_listPortType.SetItemState(row, row == choice.portType ? LVIS_SELECTED : 0, LVIS_SELECTED);
  session.Answerer().SetPort(choice.port);
  if (choice.port.empty()) return;
  if (choice.portType == PORT_SERIAL) KeepOnly(dialog.m_arrSerialPorts, choice.port);
  if (choice.portType == PORT_PARALLEL && FindPort(dialog.m_arrParallelPorts, choice.port) < 0)
    KeepOnly(dialog.m_arrParallelPorts, choice.port);
}

// What plan and install know once the window is ready.
struct Prepared {
  bool label = false;
  std::string printer;
  PortChoice choice;
};

std::string PrinterNameOf(InstallerSession& session, bool label) {
  CString name;
  if (label)
    session.Dialog().m_cboDriver.GetWindowText(name);
  else
    session.Dialog().GetDlgItemText(IDC_PRINTER_NAME, name);
  return name.str();
}

// Start-up, model and port: what plan and install share.
int Prepare(CommandContext& context, InstallerSession& session, Prepared* prepared) {
  if (!session.Start()) {
    context.text = "The installer's start-up did not finish; see the log.\n";
    return kExitInstallFailed;
  }
  if (session.Models().empty()) {
    const std::string package =
        context.options.package.empty() ? "DriverData.Drv in the current folder" : context.options.package;
    context.text = "No driver package was found or it could not be read: " + package + "\n";
    context.log.Step("no printer names: the package " + package + " was not found or not read");
    return kExitInstallFailed;
  }
  if (!session.SelectModel(context.options.model)) {
    context.text =
        "The package has no printer \"" + context.options.model + "\" (printer-setup list shows them).\n";
    context.log.Step("model " + context.options.model + " not in the catalogue");
    return kExitNotFound;
  }
  const bool label = session.ModelIndex() >= session.ReceiptModelCount();
  if (label && !context.options.printerName.empty() &&
      ToLowerAscii(context.options.printerName) != ToLowerAscii(context.options.model)) {
    context.text = "A label printer is named after its model; leave out /name.\n";
    return kExitBadCommandLine;
  }
  if (!context.options.printerName.empty())
    session.Dialog().SetDlgItemText(IDC_PRINTER_NAME, context.options.printerName.c_str());
  prepared->label = label;
  prepared->printer = PrinterNameOf(session, label);
  return ResolvePort(context, session, &prepared->choice);
}

}  // namespace

int RunList(CommandContext& context) {
  InstallerSession session(context.log, context.options.package);
  if (!session.Start()) {
    context.text = "The installer's start-up did not finish; see the log.\n";
    return kExitInstallFailed;
  }
  const std::vector<std::string> names = session.Models();
  if (names.empty()) {
    context.text = "No driver package was found or it could not be read.\n";
    context.log.Step("no printer names: the package was not found or not read");
    return kExitInstallFailed;
  }
  nlohmann::json models = nlohmann::json::array();
  for (const std::string& name : names) {
    session.SelectModel(name);
    const bool label = session.ModelIndex() >= session.ReceiptModelCount();
    const std::string driver = session.DriverName();
    models.push_back({{"name", name}, {"kind", label ? "label" : "receipt"}, {"driver", driver}});
    context.text += name + "\t" + (label ? "label" : "receipt") + "\n";
  }
  context.result["models"] = models;
  return kExitDone;
}

namespace {

// Runs `command` on the window once Prepare made it ready.
int WithPreparedWindow(CommandContext& context,
                       int (*command)(CommandContext&, InstallerSession&, const Prepared&)) {
  InstallerSession session(context.log, context.options.package);
  Prepared prepared;
  const int code = Prepare(context, session, &prepared);
  return code != kExitDone ? code : command(context, session, prepared);
}

int Plan(CommandContext& context, InstallerSession& session, const Prepared& prepared) {
  const bool label = prepared.label;
  const std::string& printer = prepared.printer;
  const PortChoice& choice = prepared.choice;
  const bool x64 = session.Dialog().m_bIsWow64 != FALSE;
  CString chosen;
  session.Dialog().m_cboDriver.GetWindowText(chosen);
  const ModelDriver driver = DescribeModelDriver(session.ModelIndex(), chosen, x64);

  std::vector<plat::PrinterInfo2> printers;
  bool replaces = false;
  if (plat::Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL, &printers))
    for (const plat::PrinterInfo2& existing : printers)
      replaces = replaces || ToLowerAscii(existing.printerName) == ToLowerAscii(printer);

  nlohmann::json plan = {
      {"model", context.options.model},
      {"kind", label ? "label" : "receipt"},
      {"driver", driver.driverName},
      {"environment", driver.environment},
      {"files", RegisteredFileNames(driver)},
      {"monitor", driver.monitorName},
      {"monitor_file", driver.monitorFile},
      {"port", choice.description},
      {"create_port", !choice.createAddress.empty()},
      {"printer", printer},
      {"replaces_printer", replaces},
      {"default", context.options.setDefault},
  };
  context.result["plan"] = plan;
  context.text += "driver:  " + driver.driverName + " (" + driver.environment + ")\n";
  context.text += "files:  ";
  for (const auto& file : plan["files"]) context.text += " " + file.get<std::string>();
  context.text += "\n";
  if (label)
    context.text += "monitor: " + std::string(driver.monitorName) + " (" + driver.monitorFile + ")\n";
  context.text += "port:    " + choice.description + "\n";
  context.text += "printer: " + printer + (replaces ? " (replaces the printer of that name)" : "") + "\n";
  context.text += std::string("default: ") + (context.options.setDefault ? "yes" : "no") + "\n";
  context.log.Step("plan only: nothing installed");
  return kExitDone;
}

int Install(CommandContext& context, InstallerSession& session, const Prepared& prepared) {
  CInstallDlg& dialog = session.Dialog();

  if (!prepared.choice.createAddress.empty()) {
    if (!CreateTcpipPort(context, prepared.choice)) {
      context.text = "The TCP/IP port " + prepared.choice.port + " could not be created; see the log.\n";
      return kExitInstallFailed;
    }
    dialog.EnumeratePorts();
  }
  ApplyPortChoice(session, prepared.choice);
  // The rate the printer talks: the serial question's answer when there are
  // several COM ports, and what the window writes for the only one.
  session.Answerer().SetBaudRate(context.options.baudRate);
  dialog.m_nSinglePortBaudRate = context.options.baudRate;
  if (CWnd* setDefault = dialog.GetDlgItem(IDC_SET_DEFAULT))
    setDefault->SendMessage(BM_SETCHECK, context.options.setDefault ? BST_CHECKED : BST_UNCHECKED);
  context.log.Step("installing " + context.options.model + " (" + session.DriverName() + ") as \"" +
                   prepared.printer + "\" on " + prepared.choice.description +
                   (context.options.setDefault ? ", default printer" : ""));
  context.user.Forget();

  const bool finished = session.PressInstall();
  const std::string failure = context.user.FailureBox();
  if (!finished || !failure.empty()) {
    const std::string reason =
        !failure.empty()                  ? failure
        : !context.user.LastBox().empty() ? context.user.LastBox()
        : !dialog.Outcome().reason.IsEmpty()
            ? OneLine(dialog.Outcome().reason.str())
            : "the installation ended without finishing (" + OneLine(dialog.m_strStatus.str()) + ")";
    context.text = "The installation failed: " + reason + "\n";
    context.result["error"] = reason;
    context.log.Step("installation failed: " + reason);
    return kExitInstallFailed;
  }
  const CInstallOutcome& outcome = dialog.Outcome();
  if (!outcome.printerAnswered) {
    context.text = "No printer answered on any COM port at " + std::to_string(context.options.baudRate) +
                   " baud; the printer was left on " + outcome.port.str() + ".\n";
    context.log.Step("serial probing found no printer: " + dialog.m_strStatus.str());
    context.result["error"] = "no printer answered on a COM port";
    return kExitNotFound;
  }
  session.Close();

  std::vector<plat::PrinterInfo2> printers;
  if (!plat::Spooler().EnumPrintersA(PRINTER_ENUM_LOCAL, &printers)) {
    context.log.CallFailed("EnumPrinters", plat::System().GetLastError());
    context.text = "The spooler's printers could not be read after the installation.\n";
    return kExitInstallFailed;
  }
  for (const plat::PrinterInfo2& installed : printers) {
    if (ToLowerAscii(installed.printerName) != ToLowerAscii(prepared.printer)) continue;
    context.result["printer"] = {{"name", installed.printerName},
                                 {"driver", installed.driverName},
                                 {"port", installed.portName},
                                 {"default", context.options.setDefault}};
    context.text = "Installed \"" + installed.printerName + "\" (" + installed.driverName + ") on " +
                   installed.portName + ".\n";
    context.log.Step("installed: " + installed.printerName + " on " + installed.portName);
    return kExitDone;
  }
  context.text = "The window finished but the spooler has no printer \"" + prepared.printer + "\".\n";
  context.log.Step("no printer " + prepared.printer + " after the installation");
  return kExitInstallFailed;
}

}  // namespace

int RunPlan(CommandContext& context) {
  const MachineFacts facts = ReadMachineFacts();
  ReportMachine(context, facts);
  const int refused = RefuseMachine(context, facts);
  return refused != kExitDone ? refused : WithPreparedWindow(context, Plan);
}

int RunInstall(CommandContext& context) {
  const int refused = RefuseMachine(context, ReadMachineFacts());
  return refused != kExitDone ? refused : WithPreparedWindow(context, Install);
}

}  // namespace setup
