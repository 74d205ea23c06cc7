// installer-sim: runs the real installer headless on a described machine.
//
//   installer-sim [--profile FILE] [--script FILE] [--state FILE]
//
// Prints the transcript of everything the user would see; writes the
// machine's final state as JSON to FILE (or prints it with --state -).
// Without a profile it uses the built-in Windows 10 64-bit machine; without
// a script the user waits for Install to be enabled and closes the window.
// A bad profile or script is refused before the run, with exit code 2.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "host/simrunner/interrupt.h"
#include "host/sim/json_check.h"
#include "host/sim/machine.h"
#include "host/sim/profile_check.h"
#include "host/simrunner/runner.h"
#include "host/simrunner/script.h"
#include "host/simrunner/script_check.h"

namespace {

constexpr int kExitBadInput = 2;

int Usage() {
  std::cerr << "usage: installer-sim [--profile FILE] [--script FILE] [--state FILE|-]\n";
  return kExitBadInput;
}

int Refuse(const std::string& file, const std::string& what) {
  std::cerr << "installer-sim: " << file << ": " << what << "\n";
  return kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
  installersim::RemoveDrivesOnInterrupt();
  std::string profilePath, scriptPath, statePath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    if (arg == "--profile")
      profilePath = argv[++i];
    else if (arg == "--script")
      scriptPath = argv[++i];
    else if (arg == "--state")
      statePath = argv[++i];
    else
      return Usage();
  }

  // Everything the run will read is checked first.
  sim::Profile profile;
  try {
    profile =
        profilePath.empty() ? sim::ParseJsonText(sim::DefaultProfileJson()) : sim::ReadJsonFile(profilePath);
    sim::CheckProfile(profile, std::filesystem::current_path().string());
  } catch (const sim::InputError& error) {
    return Refuse(profilePath.empty() ? "the built-in profile" : profilePath, error.what());
  }
  nlohmann::json script;
  try {
    script = scriptPath.empty() ? installersim::ScriptedUser::DefaultScript()
                                : nlohmann::json(sim::ReadJsonFile(scriptPath));
    installersim::CheckScript(script);
  } catch (const sim::InputError& error) {
    return Refuse(scriptPath.empty() ? "the built-in script" : scriptPath, error.what());
  }

  try {
    std::cout << "machine: " << profile.value("name", std::string("(unnamed)")) << "\n";
    const installersim::RunResult result = installersim::RunInstaller(profile, script, &std::cout);
    if (statePath == "-") {
      std::cout << result.state.dump(2) << "\n";
    } else if (!statePath.empty()) {
      std::ofstream out(statePath);
      out << result.state.dump(2) << "\n";
      if (!out) return Refuse(statePath, "cannot be written");
    }
    for (const std::string& problem : result.problems) std::cerr << "script: " << problem << "\n";
    return result.problems.empty() ? 0 : 1;
  } catch (const sim::InputError& error) {
    // What the host's file system refused while the drive was being made.
    return Refuse(profilePath.empty() ? "the built-in profile" : profilePath, error.what());
  } catch (const std::exception& error) {
    std::cerr << "installer-sim: " << error.what() << "\n";
    return kExitBadInput;
  }
}
