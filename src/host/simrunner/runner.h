// One headless run of the real installer on a simulated machine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/sim/profile.h"

namespace installersim {

struct RunResult {
  std::vector<std::string> transcript;
  nlohmann::json state;               // the machine as the run left it
  std::vector<std::string> problems;  // script steps that could not be done
};

// Runs the installer's application object on a machine built from
// `profile`, with a user following `script`. Transcript lines are also
// written to `echo` as they happen, when given.
RunResult RunInstaller(const sim::Profile& profile, const nlohmann::json& script,
                       std::ostream* echo = nullptr);

}  // namespace installersim
