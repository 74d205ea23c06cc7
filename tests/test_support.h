// Helpers shared by the tests: a simulated machine with the headless window
// system installed, and whole installer runs through installer-sim.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "framework/headless/ui.h"
#include "platform/sim/machine.h"
#include "runner.h"

namespace testing_support {

// A machine installed as the process's platform for one test.
struct SimulatedMachine {
  explicit SimulatedMachine(const nlohmann::json& profile = nlohmann::json::object())
      : machine(profile), ui(machine) {
    machine.Install(&ui);
  }
  sim::Machine machine;
  fw::headless::Ui ui;
};

nlohmann::json WindowsProfile(int platformId, int major, int minor, bool wow64 = false);

// Index of the first transcript line containing `text`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

std::string Joined(const std::vector<std::string>& lines);

}  // namespace testing_support
