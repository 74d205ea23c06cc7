// Installing on a serial port: one port, several with the prompt, and the
// probing run that finds the port the printer answers on.
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

const std::string kPorts = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const std::string kCurrentControlSet =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

nlohmann::json SerialMachine(const nlohmann::json& serialComm, const nlohmann::json& devices) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["registry"]["HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"] = serialComm;
  profile["registry"][kPorts] = {{"COM1:", "9600,n,8,1"}};
  profile["com_ports"] = devices;
  profile["spooler"]["ports"] = {
      {{"name", "COM1:"}}, {{"name", "COM3:"}}, {{"name", "COM12:"}}, {{"name", "LPT1:"}}};
  return profile;
}

const nlohmann::json kTwoPorts = {{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM3"}};

RunResult InstallSerial(const nlohmann::json& profile, const std::string& model,
                        const nlohmann::json& steps) {
  nlohmann::json script = ChooseDriverSteps(model);
  script.push_back(PortTypeStep(0));
  script.push_back({{"click", "install"}});
  return RunInstaller(profile, Then(script, steps));
}

std::string Value(const RunResult& run, const std::string& key, const std::string& name) {
  const nlohmann::json& registry = run.state["registry"];
  return registry.contains(key) && registry[key].contains(name) ? registry[key][name].get<std::string>()
                                                                : "(none)";
}

TEST(SerialInstall, OnePortTakesThePrinterWithItsSettingsAndTwoRestarts) {
  const RunResult run =
      InstallSerial(SerialMachine({{"\\Device\\Serial0", "COM3"}}, nlohmann::json::object()), "RV-640",
                    nlohmann::json::array());
  EXPECT_EQ(FindLine(run.transcript, "dialog 136"), -1) << Joined(run.transcript);
  EXPECT_GE(
      FindLine(run.transcript,
               "status: \"The current printer port is COM3:,you can configure after the installation\""),
      0)
      << Joined(run.transcript);
  EXPECT_GE(FindLine(run.transcript, "Install button: \"&Finish\""), 0);
  EXPECT_EQ(Value(run, kCurrentControlSet + "RV-640", "Port"), "COM3:");
  // No rate was chosen: the prompt's preset one is written.
  EXPECT_EQ(Value(run, kPorts, "COM3:"), "19200,n,8,1");
  EXPECT_EQ(run.state["services"]["Spooler"]["stops"], 2);
}

TEST(SerialInstall, SeveralPortsAnsweredNoOrEscLeaveThePrinterOnTheFirstPort) {
  for (const char* answer : {R"({"click": 1036})", R"({"key": "esc"})", R"({"close": true})"}) {
    nlohmann::json steps = R"([{"wait": {"dialog": 136}}])"_json;
    steps.push_back(nlohmann::json::parse(answer));
    const RunResult run = InstallSerial(SerialMachine(kTwoPorts, nlohmann::json::object()), "RV-640", steps);
    EXPECT_GE(FindLine(run.transcript,
                       "dialog 136 \"Prompt(automatically select the available serial port) \" opened"),
              0)
        << Joined(run.transcript);
    EXPECT_GE(
        FindLine(run.transcript,
                 "status: \"The current printer port is COM1: ,you can set that after the installation\""),
        0)
        << answer << "\n"
        << Joined(run.transcript);
    EXPECT_EQ(run.state["services"]["Spooler"]["stops"], 0) << answer;
    EXPECT_EQ(Value(run, kPorts, "COM1:"), "9600,n,8,1") << answer;
    EXPECT_EQ(run.state["spooler"]["printers"][0]["port"], "COM1:");
  }
}

TEST(SerialInstall, YesProbesEachPortAndMovesThePrinterToTheOneThatAnswers) {
  const nlohmann::json devices = {{"COM1", {{"device", "silent"}}},
                                  {"COM3", {{"device", "printer"}, {"baud", 9600}, {"reply", "12"}}}};
  const RunResult run =
      InstallSerial(SerialMachine(kTwoPorts, devices), "RV-640", R"([{"wait": {"dialog": 136}},
      {"select": {"control": 1034, "text": "9600"}}, {"click": 1030},
      {"wait": {"status_starts": "The available printer port"}}, {"wait": {"enabled": "install"}}])"_json);
  // The receipt path shows Finish as soon as the run has started; the run
  // reports on its own.
  int at = 0;
  for (const char* expected :
       {"status: \"Checking COM1:\"", "status: \"Checking COM3:\"",
        "status: \"The available printer port:  COM3:\"", "progress: 80", "progress: 90", "progress: 100"}) {
    const int found = FindLine(run.transcript, expected, at);
    ASSERT_GE(found, at) << expected << "\n" << Joined(run.transcript);
    at = found + 1;
  }
  // COM1: had its 700 ms before COM3: was tried.
  EXPECT_EQ(std::stoi(run.transcript[static_cast<size_t>(FindLine(run.transcript, "Checking COM3:"))]) -
                std::stoi(run.transcript[static_cast<size_t>(FindLine(run.transcript, "Checking COM1:"))]),
            700);
  EXPECT_EQ(Value(run, kCurrentControlSet + "RV-640", "Port"), "COM3:");
  EXPECT_EQ(Value(run, kPorts, "COM3:"), "9600,n,8,1");
  // A receipt printer is asked with DLE EOT 1.
  EXPECT_NE(run.state["com_ports"]["COM3"]["written"].dump().find("10 04 01"), std::string::npos)
      << run.state["com_ports"].dump();
}

TEST(SerialInstall, ALabelModelIsAskedWithItsOwnRequestAndNoAnswerEndsOnTheFirstPort) {
  const nlohmann::json devices = {{"COM1", {{"device", "silent"}}}, {"COM3", {{"device", "silent"}}}};
  const RunResult run =
      InstallSerial(SerialMachine(kTwoPorts, devices), "LB-400 Label", R"([{"wait": {"dialog": 136}},
      {"click": 1030}, {"wait": {"text": {"control": "install", "equals": "&Finish"}}}])"_json);
  EXPECT_GE(FindLine(run.transcript,
                     "status: \"Unable to detect available printer.The current printer port is COM1:\""),
            0)
      << Joined(run.transcript);
  EXPECT_NE(run.state["com_ports"]["COM3"]["written"].dump().find("1B 21 3F"), std::string::npos)
      << run.state["com_ports"].dump();
  // Probed at the rate the prompt preset.
  EXPECT_EQ(run.state["com_ports"]["COM3"]["baud"], 19200);
}

TEST(SerialInstall, APortInUseIsSkippedAtOnceAndTwoDigitPortsAreProbed) {
  const nlohmann::json serialComm = {{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM12"}};
  const nlohmann::json devices = {{"COM1", {{"device", "in_use"}}},
                                  {"COM12", {{"device", "printer"}, {"baud", 19200}}}};
  const RunResult run =
      InstallSerial(SerialMachine(serialComm, devices), "RV-640", R"([{"wait": {"dialog": 136}},
      {"key": "enter"}, {"wait": {"status_starts": "The available printer port"}}])"_json);
  const int first = FindLine(run.transcript, "status: \"Checking COM1:\"");
  const int second = FindLine(run.transcript, "status: \"Checking COM12:\"");
  ASSERT_GE(first, 0) << Joined(run.transcript);
  ASSERT_GT(second, first);
  EXPECT_LE(std::stoi(run.transcript[static_cast<size_t>(second)]) -
                std::stoi(run.transcript[static_cast<size_t>(first)]),
            2);
  EXPECT_GE(FindLine(run.transcript, "status: \"The available printer port:  COM12:\""), 0);
}

}  // namespace
