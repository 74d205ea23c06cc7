// Choosing a parallel or a network port before the driver is installed.
#include <gtest/gtest.h>

#include "test_support.h"

using installersim::RunInstaller;
using installersim::RunResult;
using testing_support::ChooseDriverSteps;
using testing_support::FindLine;
using testing_support::Joined;
using testing_support::PortTypeStep;
using testing_support::Then;
using testing_support::UnpackedPackageProfile;

namespace {

nlohmann::json WithPorts(const nlohmann::json& ports) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["spooler"]["ports"] = ports;
  return profile;
}

nlohmann::json Port(const std::string& name, const std::string& description = "Local Port") {
  return {{"name", name}, {"description", description}};
}

// Installs RV-640 on port type `row`, doing `steps` once the port dialog
// (or the monitor's wizard) has come, then waits for Install to be usable.
RunResult InstallWith(const nlohmann::json& profile, int row, const nlohmann::json& steps) {
  nlohmann::json script = ChooseDriverSteps("RV-640");
  script.push_back(PortTypeStep(row));
  script.push_back({{"click", "install"}});
  script = Then(script, steps);
  script.push_back({{"wait", {{"enabled", "install"}}}});
  return RunInstaller(profile, script);
}

std::string PrinterPort(const RunResult& run) {
  const nlohmann::json& printers = run.state["spooler"]["printers"];
  return printers.empty() ? "(no printer)" : printers[0]["port"].get<std::string>();
}

const nlohmann::json kDialog137 = R"([{"wait": {"dialog": 137}}])"_json;
const nlohmann::json kDialog129 = R"([{"wait": {"dialog": 129}}])"_json;

TEST(ParallelPortDialog, OnePortIsTakenWithoutAskingAndNoneIsRefused) {
  const RunResult one = InstallWith(WithPorts({Port("LPT1:"), Port("FILE:")}), 2, nlohmann::json::array());
  EXPECT_EQ(FindLine(one.transcript, "dialog 137"), -1) << Joined(one.transcript);
  EXPECT_EQ(PrinterPort(one), "LPT1:");

  const RunResult none = InstallWith(WithPorts({Port("FILE:"), Port("USB001")}), 2, nlohmann::json::array());
  EXPECT_GE(FindLine(none.transcript,
                     "\"There is no available parallel port.\\r\\n\\r\\nPlease select other port type.\""),
            0)
      << Joined(none.transcript);
  EXPECT_EQ(PrinterPort(none), "(no printer)");
  EXPECT_TRUE(none.state["spooler"]["drivers"].empty());
}

TEST(ParallelPortDialog, ListsOnlyParallelPortsAndReturnsTheChosenRow) {
  const nlohmann::json ports = {Port("LPT1:"), Port("lpt9:"), Port("LPT2:", "Standard TCP/IP Port"),
                                Port("LPT3:")};
  // Row 1 is LPT3: (lower-case lpt and the TCP/IP LPT2: are not listed).
  const RunResult second =
      InstallWith(WithPorts(ports), 2,
                  Then(kDialog137, R"([{"select_row": {"control": 1004, "row": 1}}, {"click": 1037}])"_json));
  EXPECT_GE(FindLine(second.transcript, "dialog 137 \"Select A Parallel Port\" opened"), 0)
      << Joined(second.transcript);
  EXPECT_EQ(PrinterPort(second), "LPT3:");
  // Row 0 is selected when the list is filled.
  EXPECT_EQ(PrinterPort(InstallWith(WithPorts(ports), 2, Then(kDialog137, R"([{"click": 1037}])"_json))),
            "LPT1:");
}

TEST(ParallelPortDialog, EveryWayOutThatNamesNoPortStopsTheInstallation) {
  const nlohmann::json ports = {Port("LPT1:"), Port("LPT2:")};
  for (const char* way :
       {R"([{"click": 1039}])", R"([{"close": true}])", R"([{"key": "esc"}])", R"([{"key": "enter"}])",
        R"([{"select_row": {"control": 1004, "row": -1}}, {"click": 1037}])"}) {
    const RunResult run = InstallWith(WithPorts(ports), 2, Then(kDialog137, nlohmann::json::parse(way)));
    EXPECT_EQ(PrinterPort(run), "(no printer)") << way << "\n" << Joined(run.transcript);
    EXPECT_TRUE(run.state["spooler"]["drivers"].empty()) << way;
    EXPECT_TRUE(run.problems.empty()) << way << Joined(run.problems);
    // Nothing was installed: the button keeps its caption.
    EXPECT_EQ(FindLine(run.transcript, "Reinstall"), -1) << way;
  }
}

TEST(TcpipPortDialog, WithoutATcpipPortTheWizardRunsAtOnce) {
  const nlohmann::json ports = {Port("LPT1:"), Port("FILE:")};
  const RunResult added = InstallWith(
      WithPorts(ports), 3, R"([{"monitor": {"create": "IP_10.0.0.5", "address": "10.0.0.5"}}])"_json);
  EXPECT_GE(FindLine(added.transcript, "port monitor: Add Port wizard -> created IP_10.0.0.5 for 10.0.0.5"),
            0)
      << Joined(added.transcript);
  EXPECT_EQ(FindLine(added.transcript, "dialog 129"), -1);
  EXPECT_EQ(PrinterPort(added), "IP_10.0.0.5");

  const RunResult cancelled = InstallWith(WithPorts(ports), 3, R"([{"monitor": "cancel"}])"_json);
  EXPECT_EQ(PrinterPort(cancelled), "(no printer)") << Joined(cancelled.transcript);
  EXPECT_TRUE(cancelled.problems.empty());
}

TEST(TcpipPortDialog, AddedPortIsSelectedLastAndChosen) {
  const nlohmann::json ports = {Port("IP_10.0.0.9", "Standard TCP/IP Port"), Port("LPT1:"),
                                Port("NET1", "standard tcp/ip port")};
  const RunResult run = InstallWith(WithPorts(ports), 3, Then(kDialog129, R"([{"click": 1029},
      {"monitor": {"create": "IP_10.0.0.7", "address": "10.0.0.7"}}, {"click": 1037}])"_json));
  EXPECT_GE(FindLine(run.transcript, "dialog 129 \"Configure TCP/IP PrinterPort\" opened"), 0)
      << Joined(run.transcript);
  EXPECT_EQ(PrinterPort(run), "IP_10.0.0.7");

  // OK straight away: row 0, the first TCP/IP port (NET1's description is not
  // the standard one).
  EXPECT_EQ(PrinterPort(InstallWith(WithPorts(ports), 3, Then(kDialog129, R"([{"click": 1037}])"_json))),
            "IP_10.0.0.9");
}

TEST(TcpipPortDialog, ConfigureAndDeleteReportTheMonitorsRefusals) {
  nlohmann::json profile = WithPorts(nlohmann::json::array({Port("IP_10.0.0.9", "Standard TCP/IP Port")}));
  profile["faults"] = {{{"call", "ConfigurePortA"}, {"error", 50}, {"count", 1}},
                       {{"call", "ConfigurePortA"}, {"error", 57}, {"after", 1}, {"count", 1}},
                       {{"call", "DeletePortA"}, {"error", 50}, {"count", 1}}};
  const RunResult run = InstallWith(profile, 3, Then(kDialog129, R"([{"click": 1031}, {"click": 1031},
      {"click": 1032}, {"click": 1039}])"_json));
  EXPECT_GE(FindLine(run.transcript,
                     "message box \"Configure Port\" [OK]: \"Failed to configure printer port.\\r\\n"
                     "The request is not supported.\""),
            0)
      << Joined(run.transcript);
  EXPECT_GE(FindLine(run.transcript,
                     "message box \"Configure Por\" [OK]: \"Failed to configure printer port.\\r\\n"
                     "A hardware error occurred. \""),
            0);
  EXPECT_GE(FindLine(run.transcript,
                     "message box \"Delete Port\" [OK]: \"Failed to delete port.The request is not "
                     "supported.\""),
            0);
  EXPECT_EQ(PrinterPort(run), "(no printer)");
}

TEST(TcpipPortDialog, AConfigurationThatWorkedIsNotReportedThoughAnOldErrorRemains) {
  // The first configuration fails with 50; the second works, and leaves the
  // last error at 50, as a successful call may.
  nlohmann::json profile = WithPorts(nlohmann::json::array({Port("IP_10.0.0.9", "Standard TCP/IP Port")}));
  profile["faults"] = {{{"call", "ConfigurePortA"}, {"error", 50}, {"count", 1}}};
  const RunResult run = InstallWith(profile, 3, Then(kDialog129, R"([{"click": 1031},
      {"click": 1031}, {"monitor": "ok"}, {"click": 1039}])"_json));
  const int refused = FindLine(run.transcript, "message box \"Configure Port\"");
  ASSERT_GE(refused, 0) << Joined(run.transcript);
  EXPECT_GE(FindLine(run.transcript, "port monitor: Configure Port", refused), 0) << Joined(run.transcript);
  EXPECT_EQ(FindLine(run.transcript, "message box", refused + 1), -1) << Joined(run.transcript);
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
}

TEST(TcpipPortDialog, DeletingTheLastPortLeavesAnEmptyListThatOkWillNotAccept) {
  const nlohmann::json ports = nlohmann::json::array({Port("IP_10.0.0.9", "Standard TCP/IP Port")});
  const RunResult run =
      InstallWith(WithPorts(ports), 3, Then(kDialog129, R"([{"click": 1032}, {"click": 1037},
      {"wait": {"dialog": 129}}, {"close": true}])"_json));
  EXPECT_GE(FindLine(run.transcript,
                     "message box \"Prompt\" [OK]: \"There is no available TCP/IP port\\r\\nClick "
                     "\\\"Add port\\\" to create a new port\""),
            0)
      << Joined(run.transcript);
  EXPECT_EQ(PrinterPort(run), "(no printer)");
  EXPECT_TRUE(run.state["spooler"]["ports"].empty());
}

}  // namespace
