// printer-setup-sim: printer-setup on a simulated machine.
//
//   printer-setup-sim --profile FILE [--state FILE|-] -- COMMAND [OPTIONS]
//
// Runs the command as printer-setup.exe would on the machine the profile
// describes, prints what it prints, writes the machine's final state as
// JSON when asked, and exits with the command's exit code. /log FILE is a
// file of this (host) machine.
#include <fstream>
#include <iostream>

#include "Commands.h"
#include "host/headless/ui.h"
#include "host/sim/machine.h"
#include "platform/platform.h"

namespace {

class FileSink : public setup::ILogSink {
 public:
  explicit FileSink(const std::string& path) : m_out(path, std::ios::app | std::ios::binary) {}
  bool Good() const { return static_cast<bool>(m_out); }
  void WriteLine(const std::string& line) override { m_out << line << "\r\n" << std::flush; }
  // The simulated machine's clock: milliseconds since its start.
  std::string Stamp() override {
    return "T+" + std::to_string(plat::Threads().GetTickCount() - 60000) + " ms";
  }

 private:
  std::ofstream m_out;
};

int Usage() {
  std::cerr << "usage: printer-setup-sim --profile FILE [--state FILE|-] -- COMMAND [OPTIONS]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string profilePath, statePath;
  std::vector<std::string> args;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) return Usage();
    if (arg == "--profile")
      profilePath = argv[++i];
    else if (arg == "--state")
      statePath = argv[++i];
    else
      return Usage();
  }
  for (; i < argc; ++i) args.push_back(argv[i]);
  try {
    sim::Profile profile;
    if (profilePath.empty()) {
      profile = sim::Profile::parse(sim::DefaultProfileJson());
    } else {
      std::ifstream in(profilePath);
      if (!in) throw std::runtime_error("cannot read " + profilePath);
      profile = sim::Profile::parse(in, nullptr, true, true);
    }
    sim::Machine machine(profile);
    machine.Install(nullptr);
    fw::headless::Ui ui(machine);
    machine.Install(&ui);
    machine.SetPortMonitorUser(&ui);
    std::string output;
    const int exitCode = setup::RunPrinterSetup(
        args,
        [](const std::string& path, std::string* error) -> std::unique_ptr<setup::ILogSink> {
          auto sink = std::make_unique<FileSink>(path);
          if (sink->Good()) return sink;
          *error = "cannot open the file";
          return nullptr;
        },
        &output);
    std::cout << output;
    if (statePath == "-") {
      std::cout << machine.StateJson().dump(2) << "\n";
    } else if (!statePath.empty()) {
      std::ofstream out(statePath);
      out << machine.StateJson().dump(2) << "\n";
    }
    // A Unix exit status keeps only the low byte of Windows' codes (1625
    // arrives as 89): the whole code is said where a script can read it.
    if (exitCode > 255) std::cerr << "printer-setup-sim: exit code " << exitCode << "\n";
    return exitCode;
  } catch (const std::exception& error) {
    std::cerr << "printer-setup-sim: " << error.what() << "\n";
    return 2;
  }
}
