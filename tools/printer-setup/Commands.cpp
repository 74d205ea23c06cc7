#include "Commands.h"

#include <cctype>

#include "ExitCodes.h"
#include "app/InstallationLock.h"
#include "platform/platform.h"
#include "common/no_case.h"

namespace setup {

namespace {

// Every command but status and test unpacks the package into C:\ or
// changes the spooler, which takes administrator rights; a test receipt
// needs only the right to print every user has.
bool NeedsAdministrator(Verb verb) { return verb != Verb::Status && verb != Verb::Test; }

// Commands that only read (and print) leave the installation lock alone.
bool TakesInstallationLock(Verb verb) { return verb != Verb::Status && verb != Verb::Test; }

struct CommandRunner {
  Verb verb;
  int (*run)(CommandContext& context);
};
const CommandRunner kRunners[] = {{Verb::List, RunList},     {Verb::Install, RunInstall},
                                  {Verb::Remove, RunRemove}, {Verb::Status, RunStatus},
                                  {Verb::Plan, RunPlan},     {Verb::Test, RunTest}};

int Dispatch(CommandContext& context) {
  for (const CommandRunner& runner : kRunners)
    if (runner.verb == context.options.verb) return runner.run(context);
  return kExitBadCommandLine;
}

int Checked(CommandContext& context) {
  const Options& options = context.options;
  if (NeedsAdministrator(options.verb)) {
    BOOL administrator = FALSE;
    if (!plat::System().CheckAdministratorsMembership(&administrator)) {
      context.log.CallFailed("CheckTokenMembership", plat::System().GetLastError());
      administrator = FALSE;
    }
    if (!administrator) {
      context.text = "printer-setup " + std::string(VerbName(options.verb)) +
                     " needs administrator rights: run it elevated or as SYSTEM.\n";
      context.log.Step("no administrator rights");
      return kExitAccessDenied;
    }
  }
  if (!TakesInstallationLock(options.verb)) return Dispatch(context);
  CInstallationLock lock;
  if (lock.GetState() == CInstallationLock::State::HeldElsewhere) {
    context.text =
        "Another printer installation is running (printer-setup or the installer window); try again later.\n";
    context.log.Step("another installation holds " + std::string(kInstallationMutexName));
    return kExitAnotherInstallation;
  }
  if (lock.GetState() == CInstallationLock::State::Unavailable)
    context.log.CallFailed("CreateMutex " + std::string(kInstallationMutexName), lock.Error());
  return Dispatch(context);
}

}  // namespace

int RunPrinterSetup(const std::vector<std::string>& args, const LogOpener& openLog, std::string* output) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  bool json = false;
  for (std::string arg : args) {
    arg = ToLowerAscii(arg);
    json = json || arg == "/json" || arg == "-json";
  }
  if (!parsed.ok) {
    if (json) {
      nlohmann::json result = {{"command", args.empty() ? "" : args[0]},
                               {"exit_code", kExitBadCommandLine},
                               {"error", parsed.error},
                               {"usage", HelpText()}};
      *output = result.dump(2) + "\n";
    } else {
      *output = "printer-setup: " + parsed.error + "\n\n" + HelpText();
    }
    return kExitBadCommandLine;
  }
  const Options& options = parsed.options;
  if (options.verb == Verb::Help) {
    *output = HelpText();
    return kExitDone;
  }

  std::unique_ptr<ILogSink> sink;
  if (!options.logFile.empty()) {
    std::string error;
    sink = openLog ? openLog(options.logFile, &error) : nullptr;
    if (!sink) {
      *output = "printer-setup: cannot write the log " + options.logFile +
                (error.empty() ? "" : ": " + error) + "\n";
      return kExitBadCommandLine;
    }
  }
  SetupLog log(sink.get());
  UnattendedUser user(log);
  // No box of the run may reach a screen: every one is logged and answered.
  UnattendedScope unattended(&user, nullptr);
  std::string commandLine = "printer-setup";
  for (const std::string& arg : args) commandLine += " " + arg;
  log.Step(commandLine);

  nlohmann::json result = nlohmann::json::object();
  std::string text;
  CommandContext context{options, log, user, result, text};
  const int exitCode = Checked(context);
  log.Step("exit code " + std::to_string(exitCode));

  if (options.json) {
    nlohmann::json object = {{"command", VerbName(options.verb)}, {"exit_code", exitCode}};
    object.update(result);
    if (exitCode != kExitDone && !object.contains("error")) {
      std::string error = text;
      while (!error.empty() && error.back() == '\n') error.pop_back();
      object["error"] = error;
    }
    object["log"] = log.Lines();
    *output = object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  } else {
    *output = text;
  }
  return exitCode;
}

}  // namespace setup
