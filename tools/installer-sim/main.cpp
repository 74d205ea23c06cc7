// installer-sim: runs the real installer headless on a described machine.
//
//   installer-sim [--profile FILE] [--script FILE] [--state FILE]
//
// Prints the transcript of everything the user would see; writes the
// machine's final state as JSON to FILE (or prints it with --state -).
// Without a profile it uses the built-in Windows 10 64-bit machine; without
// a script the user waits for Install to be enabled and closes the window.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "platform/sim/machine.h"
#include "runner.h"
#include "script.h"

namespace {

// Profiles keep the order they were written in; scripts need not.
sim::Profile ReadJson(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  return sim::Profile::parse(in, nullptr, true, true);
}

int Usage() {
  std::cerr << "usage: installer-sim [--profile FILE] [--script FILE] [--state FILE|-]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
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
  try {
    const sim::Profile profile =
        profilePath.empty() ? sim::Profile::parse(sim::DefaultProfileJson()) : ReadJson(profilePath);
    const nlohmann::json script = scriptPath.empty() ? installersim::ScriptedUser::DefaultScript()
                                                     : nlohmann::json(ReadJson(scriptPath));
    std::cout << "machine: " << profile.value("name", std::string("(unnamed)")) << "\n";
    const installersim::RunResult result = installersim::RunInstaller(profile, script, &std::cout);
    if (statePath == "-") {
      std::cout << result.state.dump(2) << "\n";
    } else if (!statePath.empty()) {
      std::ofstream out(statePath);
      out << result.state.dump(2) << "\n";
      if (!out) throw std::runtime_error("cannot write " + statePath);
    }
    for (const std::string& problem : result.problems) std::cerr << "script: " << problem << "\n";
    return result.problems.empty() ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "installer-sim: " << error.what() << "\n";
    return 2;
  }
}
