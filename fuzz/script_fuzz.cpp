// Fuzz target: the input is an installer-sim script file, read as
// installer-sim reads --script, run on the built-in machine.
//
// Checked for each input:
//  - reading and checking it either takes it or throws InputError, never
//    anything else (no crash, no deep recursion);
//  - a script the check takes runs the installer to its end without an
//    exception escaping the dialog (a step that cannot be done is a
//    problem the run reports, not a failure).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/sim/json_check.h"
#include "host/sim/machine.h"
#include "host/simrunner/runner.h"
#include "host/simrunner/script_check.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "script_fuzz: invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nlohmann::json script;
  try {
    script = nlohmann::json(sim::ParseJsonText(std::string(reinterpret_cast<const char*>(data), size)));
    installersim::CheckScript(script);
  } catch (const sim::InputError&) {
    return 0;
  } catch (const std::exception& error) {
    Fail(std::string("reading or checking threw ") + error.what());
  }
  static const sim::Profile machine = sim::ParseJsonText(sim::DefaultProfileJson());
  try {
    installersim::RunInstaller(machine, script);
  } catch (const std::exception& error) {
    Fail(std::string("a checked script failed in the run: ") + error.what());
  }
  return 0;
}
