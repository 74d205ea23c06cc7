// A printer's port records, and finding the USB port the printer is on.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "test_support.h"

using installersim::RunInstaller;
using installersim::RunResult;
using testing_support::ChooseDriverSteps;
using testing_support::FindLine;
using testing_support::Joined;
using testing_support::SimulatedMachine;
using testing_support::Then;
using testing_support::UnpackedPackageProfile;

namespace {

const std::string kPrinters =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const std::string kControlSet001 = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Print\\Printers\\";
const std::string kCurrentControlSet =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::string kOnLineFlag =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware "
    "Profiles\\Current\\SYSTEM\\CurrentControlSet\\Control\\"
    "Print\\Printers\\";

struct BoxRecorder : fw::headless::IObserver {
  void OnEvent(const fw::headless::Event& event) override {
    if (event.kind == fw::headless::Event::Kind::MessageBox) boxes.push_back(event.text);
  }
  std::vector<std::string> boxes;
};

std::string Value(const nlohmann::json& state, const std::string& key, const std::string& name) {
  const nlohmann::json& registry = state["registry"];
  return registry.contains(key) && registry[key].contains(name) ? registry[key][name].dump() : "(none)";
}

TEST(SetPrinterPort, WritesTheFourPortRecordsAndClearsTheOnLineFlag) {
  nlohmann::json profile;
  profile["spooler"] = {{"printers", {{{"name", "Desk"}, {"port", "USB001"}}}}};
  SimulatedMachine sim(profile);
  CInstallDlg dialog;
  dialog.SetPrinterPort("Desk", "USB002");
  const nlohmann::json state = sim.machine.StateJson();
  EXPECT_EQ(Value(state, kPrinters + "Desk", "Port"), "\"USB002\"");
  EXPECT_EQ(Value(state, kPrinters + "Desk\\DsSpooler", "portName"), "\"USB002\"");
  EXPECT_EQ(Value(state, kControlSet001 + "Desk", "Port"), "\"USB002\"");
  EXPECT_EQ(Value(state, kCurrentControlSet + "Desk", "Port"), "\"USB002\"");
  EXPECT_EQ(Value(state, kOnLineFlag + "Desk", "PrinterOnLine"), "0");
}

TEST(SetPrinterPort, SkipsRecordsThatCannotOpenAndReportsEachFailedWrite) {
  // A printer with no keys at all still gets its on-line flag.
  SimulatedMachine bare;
  CInstallDlg dialog;
  dialog.SetPrinterPort("Ghost", "COM2:");
  const nlohmann::json state = bare.machine.StateJson();
  EXPECT_EQ(Value(state, kPrinters + "Ghost", "Port"), "(none)");
  EXPECT_EQ(Value(state, kOnLineFlag + "Ghost", "PrinterOnLine"), "0");

  // Writes that fail: one box per failed record, the rest still written.
  nlohmann::json profile;
  profile["spooler"] = {{"printers", {{{"name", "Desk"}, {"port", "USB001"}}}}};
  profile["faults"] = {{{"call", "RegSetValueExA"}, {"match", "Port"}, {"error", 5}}};
  SimulatedMachine sim(profile);
  BoxRecorder boxes;
  sim.ui.AddObserver(&boxes);
  CInstallDlg second;
  second.SetPrinterPort("Desk", "USB002");
  // The three "Port" values fail ("portName" is written); so does nothing else.
  EXPECT_EQ(boxes.boxes, std::vector<std::string>(3, "Failed to read Registry"));
  EXPECT_EQ(Value(sim.machine.StateJson(), kOnLineFlag + "Desk", "PrinterOnLine"), "0");
}

TEST(EnumeratePrinters, ListsNamesWithPortsAndRewritesOnlySerialPrinters) {
  nlohmann::json profile;
  profile["spooler"] = {{"printers",
                         {{{"name", "Till"}, {"port", "COM2:"}},
                          {{"name", "Labels"}, {"port", "USB001"}},
                          {{"name", "Old till"}, {"port", "COM1:,COM3:"}}}}};
  SimulatedMachine sim(profile);
  CInstallDlg dialog;
  ASSERT_TRUE(dialog.EnumeratePrinters(dialog.m_arrPrinterNames, dialog.m_arrPrinterPorts));
  ASSERT_EQ(dialog.m_arrPrinterNames.GetSize(), 3);
  EXPECT_EQ(dialog.m_arrPrinterPorts[2], "COM1:,COM3:");
  dialog.RewriteSerialPrinterPorts();
  const nlohmann::json state = sim.machine.StateJson();
  EXPECT_EQ(Value(state, kOnLineFlag + "Till", "PrinterOnLine"), "0");
  EXPECT_EQ(Value(state, kOnLineFlag + "Old till", "PrinterOnLine"), "0");
  EXPECT_EQ(Value(state, kOnLineFlag + "Labels", "PrinterOnLine"), "(none)");

  SimulatedMachine empty;
  CInstallDlg none;
  none.m_arrPrinterNames.Add("stale");
  EXPECT_FALSE(none.EnumeratePrinters(none.m_arrPrinterNames, none.m_arrPrinterPorts));
  EXPECT_TRUE(none.m_arrPrinterNames.IsEmpty());
}

nlohmann::json TwoUsbPorts(int major = 10) {
  nlohmann::json profile = UnpackedPackageProfile(major, major == 10);
  profile["spooler"]["ports"] = {{{"name", "USB001"}}, {{"name", "USB002"}}, {{"name", "LPT1:"}}};
  profile["spooler"].erase("online_ports");
  return profile;
}

RunResult InstallOnUsb(const nlohmann::json& profile,
                       const nlohmann::json& answers = nlohmann::json::array()) {
  nlohmann::json script = ChooseDriverSteps("RV-640");
  script.push_back({{"click", "install"}});
  return RunInstaller(profile, Then(script, answers));
}

TEST(DetectUsbPort, TriesEachPortUntilTheSpoolerReportsThePrinterOnLine) {
  nlohmann::json profile = TwoUsbPorts();
  profile["spooler"]["online_ports"] = {"USB002"};
  const RunResult run = InstallOnUsb(profile);
  int at = 0;
  for (const char* expected :
       {"status: \"Checking USB ports...\"", "status: \"Checking  USB001 ....\"", "progress: 50",
        "progress: 60", "status: \"Checking  USB002 ....\"", "progress: 70", "progress: 80",
        "status: \"The installation is completed.\""}) {
    const int found = FindLine(run.transcript, expected, at);
    ASSERT_GE(found, at) << expected << "\n" << Joined(run.transcript);
    at = found + 1;
  }
  EXPECT_EQ(FindLine(run.transcript, "message box"), -1);
  EXPECT_EQ(run.state["spooler"]["printers"][0]["port"], "USB002");
  EXPECT_EQ(run.state["services"]["Spooler"]["stops"], 2);
}

TEST(DetectUsbPort, OnWindows7EveryPortIsWrittenWithoutRestartOrFlag) {
  nlohmann::json profile = TwoUsbPorts(6);
  profile["spooler"]["online_ports"] = {"USB001"};
  const RunResult run = InstallOnUsb(profile);
  EXPECT_GE(FindLine(run.transcript, "status: \"Checking  USB002 ....\""), 0) << Joined(run.transcript);
  EXPECT_EQ(FindLine(run.transcript, "progress: 60"), -1);
  EXPECT_EQ(FindLine(run.transcript, "message box"), -1);
  EXPECT_EQ(run.state["services"]["Spooler"]["stops"], 0);
  // The records name the last port; the spooler reads them at its next start.
  EXPECT_EQ(Value(run.state, kCurrentControlSet + "RV-640", "Port"), "\"USB002\"");
}

TEST(DetectUsbPort, NoAnswerAsksRetryWhichRunsTheWholeDetectionAgain) {
  const RunResult run =
      InstallOnUsb(TwoUsbPorts(), R"([{"answer": "IDRETRY"}, {"answer": "IDCANCEL"}])"_json);
  const int first = FindLine(run.transcript, "message box \"Fail to select port\" [Retry/Cancel]");
  ASSERT_GE(first, 0) << Joined(run.transcript);
  const int again = FindLine(run.transcript, "status: \"Checking USB ports...\"", first);
  ASSERT_GT(again, first);
  EXPECT_GT(FindLine(run.transcript, "message box \"Fail to select port\"", again), again);
  // Cancel goes on with the installation.
  EXPECT_GE(FindLine(run.transcript, "status: \"The installation is completed.\""), 0);
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
}

}  // namespace

namespace {

TEST(SetPrinterPort, APrinterWithoutAControlSet001KeyStillGetsTheOtherRecords) {
  nlohmann::json profile;
  profile["spooler"] = {{"printers", {{{"name", "Desk"}, {"port", "USB001"}}}}};
  SimulatedMachine sim(profile);
  {
    std::lock_guard<std::mutex> lock(sim.machine.Mutex());
    sim.machine.Registry().DeleteKeyLocked(kControlSet001 + "Desk");
  }
  BoxRecorder boxes;
  sim.ui.AddObserver(&boxes);
  CInstallDlg dialog;
  dialog.SetPrinterPort("Desk", "COM2:");
  const nlohmann::json state = sim.machine.StateJson();
  EXPECT_EQ(Value(state, kPrinters + "Desk", "Port"), "\"COM2:\"");
  EXPECT_EQ(Value(state, kPrinters + "Desk\\DsSpooler", "portName"), "\"COM2:\"");
  EXPECT_EQ(Value(state, kControlSet001 + "Desk", "Port"), "(none)");
  EXPECT_EQ(Value(state, kCurrentControlSet + "Desk", "Port"), "\"COM2:\"");
  EXPECT_EQ(Value(state, kOnLineFlag + "Desk", "PrinterOnLine"), "0");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST(DetectUsbPort, AnEmptyUsbListShowsTheBoxAtOnce) {
  // USB chosen on a machine without a USB port: the printer starts on the
  // parallel port, and the detection has no port to check.
  nlohmann::json profile = UnpackedPackageProfile();
  profile["spooler"]["ports"] = {{{"name", "LPT1:"}}, {{"name", "FILE:"}}};
  const RunResult run = RunInstaller(profile, nlohmann::json::parse(R"([{"wait": {"enabled": "install"}},
      {"select": {"control": "driver", "text": "RV-640"}}, {"select_row": {"control": "port-type", "row": 1}},
      {"click": "install"}, {"answer": "IDCANCEL"}])"));
  const int checking = FindLine(run.transcript, "status: \"Checking USB ports...\"");
  const int box = FindLine(run.transcript, "message box \"Fail to select port\"");
  ASSERT_GE(checking, 0) << Joined(run.transcript);
  EXPECT_GT(box, checking);
  EXPECT_EQ(FindLine(run.transcript, "status: \"Checking  "), -1);
}

}  // namespace
