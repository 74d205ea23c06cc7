// Installing a receipt or a label printer end to end on the simulated
// machine: the driver, the printer, the default printer and the finish.
#include <gtest/gtest.h>

#include <algorithm>

#include "test_support.h"

using installersim::RunInstaller;
using installersim::RunResult;
using testing_support::ChooseDriverSteps;
using testing_support::FindLine;
using testing_support::Joined;
using testing_support::PortTypeStep;
using testing_support::SampleCatalogue;
using testing_support::Then;
using testing_support::UnpackedPackageProfile;

namespace {

using Names = std::vector<std::string>;

const nlohmann::json* FindByName(const nlohmann::json& list, const std::string& name) {
  for (const nlohmann::json& entry : list)
    if (entry.value("name", "") == name) return &entry;
  return nullptr;
}

bool HasFile(const RunResult& run, const std::string& path) {
  const auto& files = run.state["files"];
  return std::find(files.begin(), files.end(), path) != files.end();
}

std::string Registry(const RunResult& run, const std::string& key, const std::string& value) {
  const auto& registry = run.state["registry"];
  if (!registry.contains(key) || !registry[key].contains(value)) return "(none)";
  return registry[key][value].dump();
}

// Picks `name`, optionally a port-type row and a printer name, presses
// Install, answers the boxes given, and waits for the end.
RunResult Install(const nlohmann::json& profile, const std::string& name,
                  const nlohmann::json& extraSteps = nlohmann::json::array(), int portRow = -1) {
  nlohmann::json steps = ChooseDriverSteps(name);
  if (portRow >= 0) steps.push_back(PortTypeStep(portRow));
  steps.push_back({{"click", "install"}});
  return RunInstaller(profile, Then(steps, extraSteps));
}

const char kX64Drivers[] = "C:\\Windows\\System32\\spool\\drivers\\x64\\";
const char kX86Drivers[] = "C:\\Windows\\System32\\spool\\drivers\\w32x86\\";

TEST(InstallReceipt, RegistersTheUniversalDriverAndCreatesThePrinterOnTheFirstUsbPort) {
  const RunResult run = Install(UnpackedPackageProfile(), "RV-640",
                                R"([{"wait": {"text": {"control": "install", "equals": "&Finish"}}}])"_json);
  const auto& lines = run.transcript;
  // Progress and status in the order the user sees them.
  int at = 0;
  for (const char* expected :
       {"status: \"C:\\\\Windows\\\\System32\\\\spool\\\\drivers\\\\x64\\\\RVRES.DLL\"",
        "RV640.GPD\"",
        "ZOEMUNI.dll\"",
        "ZOEMUNI.ini\"",
        "uniDRVui.DLL\"",
        "STDNAMES.GPD\"",
        "progress: 10",
        "status: \"Adding printer drive RV-640\"",
        "status: \"Driver RV-640 is added\"",
        "progress: 20",
        "status: \"Added the printer RV-640\"",
        "progress: 30",
        "progress: 40",
        "status: \"Checking USB ports...\"",
        "status: \"Checking  USB001 ....\"",
        "progress: 50",
        "progress: 60",
        "progress: 70",
        "progress: 80",
        "progress: 100",
        "Install button: \"&Finish\"",
        "status: \"The installation is completed.\"",
        "Cancel button \"&Cancel\" disabled"}) {
    const int found = FindLine(lines, expected, at);
    ASSERT_GE(found, at) << expected << "\n" << Joined(lines);
    at = found + 1;
  }
  // The installation ends 500 ms after the port step.
  EXPECT_EQ(std::stoi(lines[static_cast<size_t>(FindLine(lines, "progress: 100"))]) -
                std::stoi(lines[static_cast<size_t>(FindLine(lines, "progress: 80"))]),
            500);

  const nlohmann::json* driver = FindByName(run.state["spooler"]["drivers"], "RV-640");
  ASSERT_NE(driver, nullptr) << run.state["spooler"].dump(1);
  EXPECT_EQ((*driver)["environment"], "Windows x64");
  EXPECT_EQ((*driver)["version"], 3);
  EXPECT_EQ((*driver)["driver_path"], std::string(kX64Drivers) + "uniDRV.DLL");
  EXPECT_EQ((*driver)["data_file"], std::string(kX64Drivers) + "RV640.GPD");
  EXPECT_EQ((*driver)["config_file"], std::string(kX64Drivers) + "uniDRVui.DLL");
  EXPECT_EQ((*driver)["help_file"], std::string(kX64Drivers) + "uniDRV.HLP");
  EXPECT_EQ((*driver)["monitor"], "");
  EXPECT_EQ((*driver)["default_data_type"], "RAW");
  // RV-640 is one of the three models whose list names the plug-in.
  EXPECT_EQ((*driver)["dependent_files"].get<Names>(),
            (Names{"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "\\ZOEMUNI.ini", "\\ZOEMUNI.dll",
                   "RVRES.DLL"}));

  const nlohmann::json* printer = FindByName(run.state["spooler"]["printers"], "RV-640");
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ((*printer)["port"], "USB001");
  EXPECT_EQ((*printer)["driver"], "RV-640");
  EXPECT_EQ(
      Registry(run, "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Device"),
      "\"RV-640,winspool,USB001\"");

  // The staged copies are gone but for the plug-in pair.
  EXPECT_TRUE(HasFile(run, std::string(kX64Drivers) + "ZOEMUNI.dll"));
  EXPECT_TRUE(HasFile(run, std::string(kX64Drivers) + "ZOEMUNI.ini"));
  for (const char* gone :
       {"RVRES.DLL", "RV640.GPD", "uniDRV.DLL", "uniDRVui.DLL", "STDNAMES.GPD", "UNIRES.DLL"})
    EXPECT_FALSE(HasFile(run, std::string(kX64Drivers) + gone)) << gone;
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
}

TEST(InstallReceipt, ResourceAndDependentFilesFollowTheModelsGroupAndName) {
  struct Case {
    std::string catalogueExtra;
    int model;
    std::string name;
    Names dependents;
  };
  const std::vector<Case> cases = {
      // An ordinary group-1 model: four names, the last without a backslash.
      {"", 0, "RV-580", {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "RVRES.DLL"}},
      // Group 2: the alternate resource only under the name "DM4 Series".
      {"PrintName2=DM4 Series\n",
       20,
       "DM4 Series",
       {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "DMRES.DLL"}},
      {"", 20, "DM-410", {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "RVRES.DLL"}},
      // Group 3 has its own resource.
      {"", 23, "MP-220", {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "MPRES.DLL"}},
      // Group 4: the default resource under its own name, else the alternate.
      {"PrintName2=KX-702 Compatible\n",
       27,
       "KX-702",
       {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "\\ZOEMUNI.ini", "\\ZOEMUNI.dll", "RVRES.DLL"}},
      {"PrintName2=KX-702 Compatible\n",
       27,
       "KX-702 Compatible",
       {"\\ttfsub.GPD", "\\unires.DLL", "\\stdnames.GPD", "\\ZOEMUNI.ini", "\\ZOEMUNI.dll", "DMRES.DLL"}},
  };
  for (const Case& c : cases) {
    nlohmann::json profile = UnpackedPackageProfile();
    profile["files"]["C:\\DriverName.cfg"]["content"] = SampleCatalogue(c.model, c.catalogueExtra);
    const RunResult run = Install(profile, c.name, R"([{"wait": {"enabled": "install"}}])"_json);
    const nlohmann::json& drivers = run.state["spooler"]["drivers"];
    ASSERT_EQ(drivers.size(), 1u) << c.name << "\n" << Joined(run.transcript);
    EXPECT_EQ(drivers[0]["dependent_files"].get<Names>(), c.dependents) << c.name;
    // The printer is named as the user typed (the list name by default).
    EXPECT_NE(FindByName(run.state["spooler"]["printers"], c.name), nullptr) << c.name;
  }
}

TEST(InstallReceipt, ThirtyTwoBitWindowsAndNt4UseTheirEnvironmentAndDriverVersion) {
  const RunResult windows7 = Install(UnpackedPackageProfile(6, false), "RV-820F");
  ASSERT_EQ(windows7.state["spooler"]["drivers"].size(), 1u) << Joined(windows7.transcript);
  const nlohmann::json& driver = windows7.state["spooler"]["drivers"][0];
  EXPECT_EQ(driver["environment"], "Windows NT x86");
  EXPECT_EQ(driver["data_file"], std::string(kX86Drivers) + "RV820F.GPD");
  EXPECT_GE(FindLine(windows7.transcript, "w32x86\\\\RVRES.DLL"), 0);

  const RunResult nt4 = Install(UnpackedPackageProfile(4, false), "RV-580");
  ASSERT_EQ(nt4.state["spooler"]["drivers"].size(), 1u) << Joined(nt4.transcript);
  EXPECT_EQ(nt4.state["spooler"]["drivers"][0]["version"], 2);
}

TEST(InstallReceipt, AFailedDriverRegistrationOffersRetryOrLeavesTheInstaller) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["files"].erase("C:\\Ticket\\x64\\RV640.GPD");
  const RunResult retry =
      Install(profile, "RV-640", R"([{"answer": "IDRETRY"}, {"wait": {"enabled": "install"}}])"_json);
  const int box = FindLine(retry.transcript,
                           "message box \"Error\" [Retry/Cancel]: \"Failed to add the driver 2\\r\\n\\r\\n"
                           "Click Retry:You can retry\\r\\nClick Cancel：Exit and abort installation\"");
  ASSERT_GE(box, 0) << Joined(retry.transcript);
  EXPECT_GE(FindLine(retry.transcript, "Install button: \"Reinstall\"", box), 0);
  EXPECT_GE(FindLine(retry.transcript, "progress: 0", box), 0);
  EXPECT_EQ(FindLine(retry.transcript, "dialog 103 closed"), static_cast<int>(retry.transcript.size()) - 1);
  EXPECT_TRUE(retry.state["spooler"]["printers"].empty());
  // The staged copies stay for the next try.
  EXPECT_TRUE(HasFile(retry, std::string(kX64Drivers) + "RVRES.DLL"));

  const RunResult cancel = Install(profile, "RV-640", R"([{"answer": "IDCANCEL"}])"_json);
  EXPECT_GE(FindLine(cancel.transcript, "dialog 103 closed: IDOK"), 0) << Joined(cancel.transcript);
  // Closing ran the clean-up.
  EXPECT_FALSE(HasFile(cancel, "C:\\Ticket\\"));
}

TEST(InstallReceipt, AnExistingPrinterOfTheSameNameIsReplaced) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["spooler"]["printers"] = {{{"name", "RV-640"}, {"port", "LPT1:"}, {"driver", "Old"}}};
  const RunResult run = Install(profile, "RV-640");
  const int exists =
      FindLine(run.transcript, "status: \"The printer RV-640 exists,Re-adding the printer...\"");
  ASSERT_GE(exists, 0) << Joined(run.transcript);
  EXPECT_GT(FindLine(run.transcript, "status: \"Added the printer RV-640\""), exists);
  const nlohmann::json& printers = run.state["spooler"]["printers"];
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0]["port"], "USB001");
  EXPECT_EQ(printers[0]["driver"], "RV-640");
}

TEST(InstallReceipt, WithoutAPortOfTheChosenTypeThePrinterStartsOnTheFirstParallelPort) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["registry"]["HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM"] = nlohmann::json::object();
  const RunResult serial = Install(profile, "RV-640", nlohmann::json::array(), 0);
  EXPECT_GE(FindLine(serial.transcript, "status: \"There's no serial port,the current port isLPT1:\""), 0)
      << Joined(serial.transcript);
  EXPECT_EQ(serial.state["spooler"]["printers"][0]["port"], "LPT1:");

  // USB with no USB port: the spooler is restarted, the ports listed again.
  nlohmann::json noUsb = UnpackedPackageProfile();
  noUsb["spooler"]["ports"] = {{{"name", "LPT1:"}}, {{"name", "FILE:"}}};
  const RunResult usb = Install(noUsb, "RV-640", nlohmann::json::array(), 1);
  EXPECT_GE(FindLine(usb.transcript, "status: \"Added the printer RV-640\""), 0) << Joined(usb.transcript);
  EXPECT_EQ(usb.state["spooler"]["printers"][0]["port"], "LPT1:");
  EXPECT_EQ(usb.state["services"]["Spooler"]["stops"], 1);
}

TEST(InstallReceipt, TheDefaultPrinterIsWrittenOnlyWhenAskedAndAFailedWriteIsShown) {
  const std::string windowsKey =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
  nlohmann::json profile = UnpackedPackageProfile();
  // Unticked before Install is pressed (after the start-up is done).
  const RunResult unticked = RunInstaller(profile, nlohmann::json::parse(R"([
      {"wait": {"enabled": "install"}}, {"click": "set-default"}, {"click": "install"}])"));
  EXPECT_EQ(Registry(unticked, windowsKey, "Device"), "\"Old printer,winspool,LPT1:\"")
      << Joined(unticked.transcript);
  EXPECT_EQ(unticked.state["spooler"]["printers"].size(), 1u);

  profile["faults"] = {{{"call", "RegSetValueExA"}, {"match", "Device"}, {"error", 5}}};
  const RunResult denied = Install(profile, "RV-640");
  EXPECT_GE(FindLine(denied.transcript,
                     "message box \"Configure & Install v1.0\" [OK]: \"Error：Failed to set regist\""),
            0)
      << Joined(denied.transcript);
  EXPECT_GE(FindLine(denied.transcript, "status: \"The installation is completed.\""), 0);
}

TEST(InstallReceipt, AddPrinterFailuresSayWhyAndLeaveTheButtonUsable) {
  struct Case {
    DWORD error;
    std::string box;
    std::string button;
  };
  for (const Case& c :
       std::vector<Case>{{1796,
                          "message box \"Prompt\" [OK]: \"There's no available useful port,please select "
                          "other type of port\"",
                          "Install button: \"Reinstall\""},
                         {126, "message box \"Prompt\" [OK]: \"Missing system flies,please repair system\"",
                          "Install button: \"Reinstall\""},
                         {5, "message box \"Error prompt\" [OK]: \"Error AddPrinter 5\"", ""}}) {
    nlohmann::json profile = UnpackedPackageProfile();
    profile["faults"] = {{{"call", "AddPrinterA"}, {"error", c.error}}};
    const RunResult run = Install(profile, "RV-640", R"([{"wait": {"enabled": "install"}}])"_json);
    const int box = FindLine(run.transcript, c.box);
    ASSERT_GE(box, 0) << Joined(run.transcript);
    if (!c.button.empty()) {
      EXPECT_GE(FindLine(run.transcript, c.button, box), 0) << Joined(run.transcript);
    }
    EXPECT_EQ(FindLine(run.transcript, "&Finish"), -1);
    EXPECT_EQ(FindLine(run.transcript, "progress: 30"), -1);
    EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
  }
}

TEST(InstallLabel, InstallsTheMonitorAndDriverFamilyAndNamesThePrinterAfterTheList) {
  const RunResult run = Install(UnpackedPackageProfile(), "LB-420T Label",
                                R"([{"wait": {"text": {"control": "install", "equals": "&Finish"}}}])"_json);
  const auto& spooler = run.state["spooler"];
  const nlohmann::json* monitor = FindByName(spooler["monitors"], "Advanced Language Monitor");
  ASSERT_NE(monitor, nullptr) << Joined(run.transcript);
  EXPECT_EQ((*monitor)["dll"], "C:\\Windows\\SysWOW64\\qrtNLM64.dll");
  EXPECT_TRUE(HasFile(run, "C:\\Windows\\SysWOW64\\qrtNLM64.dll"));

  const nlohmann::json* driver = FindByName(spooler["drivers"], "LB-420T Label");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ((*driver)["driver_path"], std::string(kX64Drivers) + "LBXDRV56.DLL");
  EXPECT_EQ((*driver)["config_file"], std::string(kX64Drivers) + "LBXUI56.DLL");
  EXPECT_EQ((*driver)["data_file"], std::string(kX64Drivers) + "LB420T.DAT");
  EXPECT_EQ((*driver)["help_file"], std::string(kX64Drivers) + "THERMAL.chm");
  EXPECT_EQ((*driver)["monitor"], "Advanced Language Monitor");
  const Names dependents = (*driver)["dependent_files"].get<Names>();
  ASSERT_EQ(dependents.size(), 28u);
  EXPECT_EQ(dependents.front(), "\\LBXENG56.DLL");
  EXPECT_EQ(dependents[26], "\\LBXPBR56.DLL");
  EXPECT_EQ(dependents.back(), "\\LB420T.BA0");

  EXPECT_NE(FindByName(spooler["printers"], "LB-420T Label"), nullptr);
  for (const char* gone :
       {"THERMAL.chm", "LB420T.BA0", "LB420T.DAT", "LB420T.PP0", "LBXDRV56.DLL", "qrtNLM64.dll"})
    EXPECT_FALSE(HasFile(run, std::string(kX64Drivers) + gone)) << gone;
  // The label path shows the default-printer line; 100 ms pass from the
  // port step to the end.
  ASSERT_GE(FindLine(run.transcript, "status: \"Set the printer LB-420T Label to default printer\""), 0)
      << Joined(run.transcript);
  EXPECT_EQ(std::stoi(run.transcript[static_cast<size_t>(FindLine(run.transcript, "progress: 100"))]) -
                std::stoi(run.transcript[static_cast<size_t>(FindLine(run.transcript, "progress: 80"))]),
            100);
}

TEST(InstallLabel, ThirtyTwoBitWindowsPutsTheMonitorInTheSystemFolder) {
  const RunResult run = Install(UnpackedPackageProfile(6, false), "LB-400 Label");
  const nlohmann::json* monitor = FindByName(run.state["spooler"]["monitors"], "Advanced Language Monitor");
  ASSERT_NE(monitor, nullptr) << Joined(run.transcript);
  EXPECT_EQ((*monitor)["dll"], "C:\\Windows\\system32\\qrtNLMNT.dll");
  EXPECT_EQ(FindByName(run.state["spooler"]["drivers"], "LB-400 Label")->at("driver_path"),
            std::string(kX86Drivers) + "LBXDRV50.DLL");
}

TEST(InstallLabel, AnInstalledMonitorIsReplacedAndAFailedMonitorEndsTheInstaller) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["spooler"]["monitors"] = {{{"name", "Advanced Language Monitor"}, {"dll", "C:\\old.dll"}}};
  // On the parallel port, so that the one restart is the monitor's.
  const RunResult replaced = Install(profile, "LB-400 Label", nlohmann::json::array(), 2);
  EXPECT_EQ(replaced.state["services"]["Spooler"]["stops"], 1);
  EXPECT_EQ(FindByName(replaced.state["spooler"]["monitors"], "Advanced Language Monitor")->at("dll"),
            "C:\\Windows\\SysWOW64\\qrtNLM64.dll");

  // A monitor the spooler will not let go of is still there: adding it
  // gives 3006, and the installation goes on as after a success.
  nlohmann::json sticky = profile;
  sticky["faults"] = {{{"call", "DeleteMonitorA"}, {"error", 3001}}};
  const RunResult stuck = Install(sticky, "LB-400 Label");
  EXPECT_GE(FindLine(stuck.transcript, "status: \"Advanced Language Monitor is added\""), 0);
  EXPECT_NE(FindByName(stuck.state["spooler"]["printers"], "LB-400 Label"), nullptr);

  nlohmann::json failing = UnpackedPackageProfile();
  failing["faults"] = {{{"call", "AddMonitorA"}, {"error", 5}}};
  const RunResult failed = Install(failing, "LB-400 Label");
  EXPECT_GE(FindLine(failed.transcript,
                     "message box \"Configure & Install v1.0\" [OK]: \"Failed to add Monitor\\r\\n\""),
            0)
      << Joined(failed.transcript);
  EXPECT_GE(FindLine(failed.transcript, "dialog 103 closed: IDOK"), 0);
  EXPECT_TRUE(failed.state["spooler"]["drivers"].empty());
}

TEST(InstallCommand, WithoutAModelForTheNameNothingIsInstalledAndInstallStaysUsable) {
  // No package at all: an empty list.
  const RunResult empty =
      RunInstaller(testing_support::WindowsProfile(2, 10, 0, true), nlohmann::json::parse(R"([
      {"wait": {"enabled": "install"}}, {"click": "install"}, {"wait": {"enabled": "install"}}])"));
  const int box = FindLine(empty.transcript, "No driver package was found");
  ASSERT_GE(box, 0) << Joined(empty.transcript);
  EXPECT_EQ(FindLine(empty.transcript, "Cancel button \"&Cancel\" disabled"), -1);
  EXPECT_TRUE(empty.problems.empty());

  // A catalogue with a 34th section: no table has a row for it.
  nlohmann::json profile = UnpackedPackageProfile();
  profile["files"]["C:\\DriverName.cfg"]["content"] =
      SampleCatalogue() + "[Extra]\nPrintName1=Future model\n";
  const RunResult extra = Install(profile, "Future model", R"([{"wait": {"enabled": "install"}}])"_json);
  EXPECT_GE(FindLine(extra.transcript, "does not say which printer model \\\"Future model\\\" is"), 0)
      << Joined(extra.transcript);
  EXPECT_TRUE(extra.state["spooler"]["drivers"].empty());
  EXPECT_TRUE(extra.problems.empty());
}

}  // namespace

namespace {

TEST(InstallLabel, ThePrinterIsNamedAfterTheListEntryEvenWhenTheNameBoxWasEdited) {
  const RunResult run = RunInstaller(UnpackedPackageProfile(), nlohmann::json::parse(R"([
      {"wait": {"enabled": "install"}}, {"select": {"control": "driver", "text": "LB-610 Label"}},
      {"type": {"control": "printer-name", "text": "Shelf labels"}}, {"click": "install"},
      {"wait": {"text": {"control": "install", "equals": "&Finish"}}}])"));
  EXPECT_NE(FindByName(run.state["spooler"]["printers"], "LB-610 Label"), nullptr) << Joined(run.transcript);
  EXPECT_EQ(FindByName(run.state["spooler"]["printers"], "Shelf labels"), nullptr);
}

}  // namespace

namespace {

TEST(InstallCommand, OnArm64WindowsNothingIsStagedAndAnotherPressSaysItAgain) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["windows"]["build"] = 22631;
  profile["windows"]["native_machine"] = "arm64";
  for (const char* model : {"RV-640", "LB-400 Label"}) {
    const RunResult run = Install(profile, model, R"([
        {"answer": "IDOK", "caption": "Error"}, {"wait": {"enabled": "install"}}, {"click": "install"},
        {"answer": "IDOK", "caption": "Error"}, {"wait": {"enabled": "install"}}])"_json);
    const auto& lines = run.transcript;
    EXPECT_TRUE(run.problems.empty()) << Joined(run.problems) << Joined(lines);
    const int first = FindLine(lines, "This driver package has no drivers for ARM64 Windows");
    ASSERT_GE(first, 0) << Joined(lines);
    EXPECT_GE(FindLine(lines, "This driver package has no drivers for ARM64 Windows", first + 1), 0);
    // Nothing copied, registered or created; Install keeps its caption and
    // the window its Cancel button.
    for (const auto& file : run.state["files"]) {
      const std::string path = file.get<std::string>();
      EXPECT_FALSE(path.rfind(kX64Drivers, 0) == 0 && path.size() > sizeof kX64Drivers - 1) << path;
    }
    EXPECT_TRUE(run.state["spooler"]["drivers"].empty());
    EXPECT_TRUE(run.state["spooler"]["monitors"].empty());
    EXPECT_TRUE(run.state["spooler"]["printers"].empty());
    EXPECT_EQ(FindLine(lines, "Cancel button \"&Cancel\" disabled"), -1);
    EXPECT_EQ(FindLine(lines, "Install button: \""), -1) << Joined(lines);
  }
}

}  // namespace
