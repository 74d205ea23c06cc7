// Helpers shared by the tests: a simulated machine with the headless window
// system installed, and whole installer runs through installer-sim.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/headless/ui.h"
#include "host/sim/machine.h"
#include "host/simrunner/runner.h"

namespace testing_support {

// A machine installed as the process's platform for one test.
struct SimulatedMachine {
  explicit SimulatedMachine(const nlohmann::json& profile = nlohmann::json::object())
      : machine(profile), ui(machine) {
    machine.Install(&ui);
    machine.SetPortMonitorUser(&ui);
  }
  sim::Machine machine;
  fw::headless::Ui ui;
};

// Starts `body` on a thread of the installed machine; `body` must outlive
// the thread.
HANDLE StartThread(std::function<DWORD()>* body);

nlohmann::json WindowsProfile(int platformId, int major, int minor, bool wow64 = false);

// Index of the first transcript line containing `text`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

std::string Joined(const std::vector<std::string>& lines);

}  // namespace testing_support

class CInstallDlg;

namespace testing_support {

// Opens the installer dialog on a machine built from `profile`, waits for
// the start-up to finish (Install enabled), runs `inspect` on the dialog's
// thread, then closes the window. Returns the message boxes shown, as
// "CAPTION: TEXT" lines; `finalState`, when given, gets the machine's state
// after the window closed.
std::vector<std::string> WithReadyDialog(const nlohmann::json& profile,
                                         const std::function<void(CInstallDlg&, fw::headless::Ui&)>& inspect,
                                         nlohmann::json* finalState = nullptr);

}  // namespace testing_support

namespace testing_support {

// A profile whose drive C: holds the driver package as the start-up would
// have unpacked it (every file the model tables name, as placeholders, and
// a catalogue of 33 sections with each model's driver name), so the
// installation paths can run without an archive.
nlohmann::json UnpackedPackageProfile(int major = 10, bool wow64 = true);

// The catalogue text of that package; `extra` is added to the section of
// model `model` (for example "PrintName2=DM4 Series\n").
std::string SampleCatalogue(int model = -1, const std::string& extra = std::string());

// Script steps: the opening of an installation (wait for Install to be
// usable, pick `driver` in the list), and choosing row `row` of the port
// types.
nlohmann::json ChooseDriverSteps(const std::string& driver);
nlohmann::json PortTypeStep(int row);
// `steps` followed by every step of `more`.
nlohmann::json Then(nlohmann::json steps, const nlohmann::json& more);

}  // namespace testing_support
