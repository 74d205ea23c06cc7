// Making sure the spooler runs, and restarting it, on the service
// controller of the simulated machine.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "host/sim/services.h"
#include "test_support.h"

using testing_support::SimulatedMachine;

namespace {

struct BoxRecorder : fw::headless::IObserver {
  void OnEvent(const fw::headless::Event& event) override {
    if (event.kind == fw::headless::Event::Kind::MessageBox)
      boxes.push_back(event.caption + ": " + event.text);
  }
  std::vector<std::string> boxes;
};

struct ServiceRun {
  std::vector<std::string> journal;
  std::vector<std::string> boxes;
  nlohmann::json services;
  uint64_t elapsedMs = 0;
  int openHandles = 0;
};

ServiceRun Control(const nlohmann::json& spooler, int mode, const char* name = "Spooler") {
  nlohmann::json profile;
  profile["services"] = {{"Spooler", spooler}};
  SimulatedMachine sim(profile);
  BoxRecorder recorder;
  sim.ui.AddObserver(&recorder);
  CInstallDlg dialog;
  const uint64_t start = sim.ui.Now();
  dialog.ControlSpooler(name, mode);
  ServiceRun run;
  run.elapsedMs = sim.ui.Now() - start;
  run.journal = sim.machine.Journal();
  run.boxes = recorder.boxes;
  run.services = sim.machine.Services().ToJson();
  run.openHandles = sim.machine.Services().OpenHandleCount();
  return run;
}

using Journal = std::vector<std::string>;

TEST(ControlSpooler, EnsureRunningTouchesARunningServiceNot) {
  const ServiceRun run = Control({{"state", "running"}}, SPOOLER_ENSURE_RUNNING);
  EXPECT_EQ(run.journal, Journal{});
  EXPECT_EQ(run.services["Spooler"]["starts"], 0);
  EXPECT_EQ(run.services["Spooler"]["stops"], 0);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(run.openHandles, 0);

  // A service on its way up or down is left to it as well.
  EXPECT_EQ(Control({{"state", "start_pending"}}, SPOOLER_ENSURE_RUNNING).journal, Journal{});
  EXPECT_EQ(Control({{"state", "stop_pending"}}, SPOOLER_ENSURE_RUNNING).journal, Journal{});
}

TEST(ControlSpooler, EnsureRunningStartsAStoppedServiceAndReturnsOnceItRuns) {
  const ServiceRun run = Control({{"state", "stopped"}, {"pending_polls", 3}}, SPOOLER_ENSURE_RUNNING);
  EXPECT_EQ(run.journal, (Journal{"StartServiceA Spooler", "Spooler is running"}));
  EXPECT_EQ(run.services["Spooler"]["state"], "running");
  // Polls with a pause between them rather than spinning.
  EXPECT_GT(run.elapsedMs, 0u);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(run.openHandles, 0);
}

TEST(ControlSpooler, EveryOtherModeRestartsStopObservedBeforeStart) {
  for (int mode : {int{SPOOLER_RESTART}, 1, -1}) {
    const ServiceRun run = Control({{"state", "running"}, {"pending_polls", 2}}, mode);
    EXPECT_EQ(run.journal, (Journal{"ControlService Spooler stop", "Spooler is stopped",
                                    "StartServiceA Spooler", "Spooler is running"}))
        << "mode " << mode;
    EXPECT_EQ(run.services["Spooler"]["state"], "running");
    EXPECT_EQ(run.openHandles, 0);
  }
  // A stopped service is only started.
  EXPECT_EQ(Control({{"state", "stopped"}}, SPOOLER_RESTART).journal,
            (Journal{"StartServiceA Spooler", "Spooler is running"}));
}

TEST(ControlSpooler, AnUnknownServiceSaysItsStatusIsUnknownAndReturns) {
  const ServiceRun run = Control({{"state", "running"}}, SPOOLER_ENSURE_RUNNING, "NoSuchService");
  EXPECT_EQ(run.boxes, Journal{"Configure & Install v1.0: Service status is unknown"});
  EXPECT_EQ(run.journal, Journal{});
  EXPECT_EQ(run.openHandles, 0);
}

TEST(ControlSpooler, AServiceStuckPendingEndsWithABoundedWaitAndAMessage) {
  const ServiceRun starting =
      Control({{"state", "stopped"}, {"stuck", "start_pending"}}, SPOOLER_ENSURE_RUNNING);
  ASSERT_EQ(starting.boxes.size(), 1u);
  EXPECT_NE(starting.boxes[0].find("did not start"), std::string::npos) << starting.boxes[0];
  EXPECT_GE(starting.elapsedMs, 30000u);
  EXPECT_LE(starting.elapsedMs, 31000u);

  // A stop that never ends is not followed by a start.
  const ServiceRun stopping = Control({{"state", "running"}, {"stuck", "stop_pending"}}, SPOOLER_RESTART);
  ASSERT_EQ(stopping.boxes.size(), 1u);
  EXPECT_NE(stopping.boxes[0].find("did not stop"), std::string::npos);
  EXPECT_EQ(stopping.journal, Journal{"ControlService Spooler stop"});
  EXPECT_EQ(stopping.openHandles, 0);
}

TEST(ControlSpooler, AStatusThatBecomesUnreadableEndsTheWait) {
  nlohmann::json profile;
  profile["services"] = {{"Spooler", {{"state", "stopped"}, {"pending_polls", 5}}}};
  profile["faults"] = {{{"call", "QueryServiceStatus"}, {"after", 2}, {"error", 5}}};
  SimulatedMachine sim(profile);
  BoxRecorder recorder;
  sim.ui.AddObserver(&recorder);
  CInstallDlg dialog;
  dialog.ControlSpooler("Spooler", SPOOLER_ENSURE_RUNNING);
  EXPECT_EQ(recorder.boxes, Journal{"Configure & Install v1.0: Service status is unknown"});
  EXPECT_EQ(sim.machine.Faults().CallCount("QueryServiceStatus"), 3);
}

}  // namespace
