// The commands of printer-setup. Each one logs its steps, fills `result`
// (the JSON object /json prints) and `text` (what a person reads), and
// returns the exit code.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "SetupLog.h"
#include "UnattendedAnswers.h"

namespace setup {

struct CommandContext {
  const Options& options;
  SetupLog& log;
  UnattendedUser& user;
  nlohmann::json& result;
  std::string& text;
};

int RunList(CommandContext& context);
int RunPlan(CommandContext& context);
int RunInstall(CommandContext& context);
int RunRemove(CommandContext& context);
int RunStatus(CommandContext& context);
int RunTest(CommandContext& context);

// Whether "Device" (the user's default printer) names `printer`.
bool IsDefaultPrinter(const std::string& printer);
// A string value of the registry, or empty.
std::string ReadRegistryString(HKEY root, const std::string& path, const char* name);

// Opens the /log file; null (and `error` set) when it cannot be written.
typedef std::function<std::unique_ptr<ILogSink>(const std::string& path, std::string* error)> LogOpener;

// The whole program below its entry: parses `args` (after the program
// name), checks rights and the installation lock, runs the command and
// writes what the user reads (or the JSON object) to `output`.
int RunPrinterSetup(const std::vector<std::string>& args, const LogOpener& openLog, std::string* output);

}  // namespace setup
