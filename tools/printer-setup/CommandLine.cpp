#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "install/PrinterNameRules.h"
#include "ports/SerialPromptDlg.h"
#include "common/no_case.h"

namespace setup {

namespace {

struct VerbWord {
  const char* name;
  Verb verb;
};
const VerbWord kVerbs[] = {{"list", Verb::List},     {"install", Verb::Install}, {"remove", Verb::Remove},
                           {"status", Verb::Status}, {"plan", Verb::Plan},       {"test", Verb::Test}};

// Which options each command takes; /log and /json go with every one.
bool Allowed(Verb verb, const std::string& option) {
  if (option == "log" || option == "json") return true;
  switch (verb) {
    case Verb::List:
      return option == "package";
    case Verb::Install:
    case Verb::Plan:
      return option == "model" || option == "port" || option == "name" || option == "default" ||
             option == "baud" || option == "package";
    case Verb::Remove:
      return option == "printer" || option == "driver";
    case Verb::Status:
      return option == "printer";
    case Verb::Test:
      return option == "printer" || option == "print";
    case Verb::Help:
      return false;
  }
  return false;
}

bool IsSwitch(const std::string& option) {
  return option == "default" || option == "driver" || option == "json" || option == "print";
}

ParsedCommandLine Refuse(const std::string& error) {
  ParsedCommandLine parsed;
  parsed.error = error;
  return parsed;
}

}  // namespace

const char* VerbName(Verb verb) {
  for (const VerbWord& word : kVerbs)
    if (word.verb == verb) return word.name;
  return "help";
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  for (const std::string& arg : args) {
    if (arg == "/?" || arg == "-?" || ToLowerAscii(arg) == "/help" || ToLowerAscii(arg) == "--help") {
      parsed.ok = true;
      parsed.options.verb = Verb::Help;
      return parsed;
    }
  }
  if (args.empty()) return Refuse("no command given");
  const std::string verbName = ToLowerAscii(args[0]);
  bool known = false;
  for (const VerbWord& entry : kVerbs) {
    if (verbName == entry.name) {
      parsed.options.verb = entry.verb;
      known = true;
    }
  }
  if (!known) return Refuse("unknown command \"" + args[0] + "\"");

  Options& options = parsed.options;
  std::vector<std::string> seen;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-'))
      return Refuse("unexpected argument \"" + arg + "\"");
    std::string option = arg.substr(1);
    std::string value;
    bool hasValue = false;
    const size_t colon = option.find(':');
    if (colon != std::string::npos) {
      value = option.substr(colon + 1);
      option = option.substr(0, colon);
      hasValue = true;
    }
    option = ToLowerAscii(option);
    if (!Allowed(options.verb, option))
      return Refuse("the option /" + option + " does not go with " + verbName);
    if (std::find(seen.begin(), seen.end(), option) != seen.end())
      return Refuse("the option /" + option + " is given twice");
    seen.push_back(option);
    if (IsSwitch(option)) {
      if (hasValue) return Refuse("the option /" + option + " takes no value");
    } else if (!hasValue) {
      if (i + 1 >= args.size()) return Refuse("the option /" + option + " needs a value");
      value = args[++i];
    }
    if (!IsSwitch(option) && value.empty()) return Refuse("the option /" + option + " needs a value");

    if (option == "model") options.model = value;
    if (option == "port") options.port = value;
    if (option == "name") {
      CString reason;
      if (!CheckPrinterName(value.c_str(), &reason)) return Refuse("/name: " + reason.str());
      options.printerName = value;
    }
    if (option == "printer") options.printer = value;
    if (option == "package") options.package = value;
    if (option == "log") options.logFile = value;
    if (option == "default") options.setDefault = true;
    if (option == "driver") options.removeDriver = true;
    if (option == "json") options.json = true;
    if (option == "print") options.print = true;
    if (option == "baud") {
      char* end = nullptr;
      const long rate = std::strtol(value.c_str(), &end, 10);
      if (!end || *end != '\0' ||
          std::find(std::begin(kBaudRates), std::end(kBaudRates), rate) == std::end(kBaudRates))
        return Refuse(
            "the baud rate must be one of 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
      options.baudRate = static_cast<int>(rate);
    }
  }
  if ((options.verb == Verb::Install || options.verb == Verb::Plan) &&
      (options.model.empty() || options.port.empty()))
    return Refuse(verbName + " needs /model and /port");
  if (options.verb == Verb::Remove && options.printer.empty()) return Refuse("remove needs /printer");
  if (options.verb == Verb::Test && options.printer.empty()) return Refuse("test needs /printer");
  parsed.ok = true;
  return parsed;
}

const char* HelpText() {
  return "printer-setup: installs the printer driver package without a user.\n"
         "\n"
         "  printer-setup list [/package FILE]\n"
         "  printer-setup install /model NAME /port PORT [/name PRINTER] [/default] [/baud N] [/package "
         "FILE]\n"
         "  printer-setup remove /printer NAME [/driver]\n"
         "  printer-setup status [/printer NAME]\n"
         "  printer-setup plan /model NAME /port PORT [/name PRINTER] [/default] [/baud N] [/package FILE]\n"
         "  printer-setup test /printer NAME [/print]\n"
         "     common: [/log FILE] [/json]\n"
         "\n"
         "  /model NAME    a printer name of the package (printer-setup list shows them)\n"
         "  /port PORT     usb, serial, tcpip:ADDRESS, or a port name (COM3:, LPT1:, USB001,\n"
         "                 an existing TCP/IP port)\n"
         "  /name PRINTER  the printer's name (receipt models; a label printer takes its model's)\n"
         "  /default       makes it the default printer\n"
         "  /baud N        the rate serial probing uses (default 9600)\n"
         "  /package FILE  the driver package (default DriverData.Drv in the current folder)\n"
         "  /driver        remove: also the model's driver when no other printer uses it\n"
         "  /print         test: also prints a test receipt through the spooler (a label\n"
         "                 printer: a test label through its driver)\n"
         "  /log FILE      every step with its time, appended to FILE\n"
         "  /json          one JSON object with the result on standard output\n"
         "\n"
         "Exit codes: 0 done, 87 bad command line, 5 no administrator rights, 1168 printer,\n"
         "model or port not found, 1603 installation failed (see the log), 1618 another\n"
         "installation is running (try again later).\n"
         "test: 0 ready, 1168 no such printer, 21 the printer reports a problem (or its\n"
         "driver cannot draw), 1460 the printer does not answer, 1906 a job is stuck or the\n"
         "queue is held.\n";
}

}  // namespace setup
