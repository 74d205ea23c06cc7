// printer-setup's command line: a command and Windows-style options
// ("/model NAME" or "/model:NAME", names in any case; "-" works as "/").
#pragma once

#include <string>
#include <vector>

namespace setup {

enum class Verb { Help, List, Install, Remove, Status, Plan, Test };

// The word that names the command on the command line ("help" for Help).
const char* VerbName(Verb verb);

struct Options {
  Verb verb = Verb::Help;
  std::string model;
  std::string port;
  std::string printerName;  // install, plan: /name
  std::string printer;      // remove, status, test: /printer
  std::string package;
  std::string logFile;
  int baudRate = 9600;
  bool setDefault = false;
  bool removeDriver = false;
  bool json = false;
  bool print = false;  // test: a test receipt
};

struct ParsedCommandLine {
  bool ok = false;
  Options options;
  std::string error;  // why the line was refused
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* HelpText();

}  // namespace setup
