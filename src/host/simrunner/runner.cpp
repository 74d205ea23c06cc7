#include "host/simrunner/runner.h"

#include "app/InstallApp.h"
#include "host/headless/ui.h"
#include "host/sim/machine.h"
#include "host/simrunner/script.h"
#include "host/simrunner/transcript.h"

namespace installersim {

RunResult RunInstaller(const sim::Profile& profile, const nlohmann::json& script, std::ostream* echo) {
  // Both are checked before anything runs (each throws sim::InputError).
  ScriptedUser user(script);
  sim::Machine machine(profile);
  machine.Install(nullptr);
  fw::headless::Ui ui(machine);
  machine.Install(&ui);
  machine.SetPortMonitorUser(&ui);

  Transcript transcript(echo);
  ui.SetUser(&user);
  ui.AddObserver(&transcript);

  // The installer's own application object (named here so the linker keeps
  // it) runs exactly as in the real program.
  if (CWinApp::Current() == &theApp) AfxRunApplication();

  RunResult result;
  result.transcript = transcript.Lines();
  result.state = machine.StateJson();
  result.problems = user.Problems();
  if (!user.Finished()) result.problems.push_back("the window closed before the script ended");
  return result;
}

}  // namespace installersim
