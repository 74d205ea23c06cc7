// The installer window's start-up as the user sees it.
#include <gtest/gtest.h>

#include "test_support.h"

using installersim::RunInstaller;
using testing_support::FindLine;
using testing_support::Joined;
using testing_support::WindowsProfile;

namespace {

nlohmann::json Script(const char* json) { return nlohmann::json::parse(json); }

TEST(Startup, EmptiesTheStatusLineThenShowsThePlatformAndEnablesInstall) {
  const auto run = RunInstaller(WindowsProfile(2, 10, 0, true),
                                Script(R"([{"wait": {"enabled": "install"}}, {"close": true}])"));
  const auto& lines = run.transcript;
  const int opened = FindLine(lines, "dialog 103 \"Configure & Install v1.0\" opened");
  const int emptied = FindLine(lines, "status: \"\"");
  const int serialRow = FindLine(lines, "port type: selected row 0 \"Serial port\"");
  const int platform = FindLine(lines, "status: \"Current System is Microsoft Windows 10  64 bit\"");
  const int enabled = FindLine(lines, "Install button \"&Install\" enabled");
  ASSERT_GE(opened, 0) << Joined(lines);
  EXPECT_GT(emptied, opened);
  EXPECT_GT(serialRow, opened);
  EXPECT_GT(platform, emptied);
  // Install is the worker's last act, after the platform text.
  EXPECT_GT(enabled, platform) << Joined(lines);
  EXPECT_TRUE(run.problems.empty());
}

TEST(Startup, EveryStatusPushWritesTheDefaultPrinterBoxBack) {
  // The user clears the box before the worker's first push; the push shows
  // the member again, which is still TRUE.
  const auto run = RunInstaller(WindowsProfile(2, 6, 1),
                                Script(R"([{"click": "set-default"}, {"wait": {"enabled": "install"}},
                                          {"close": true}])"));
  const auto& lines = run.transcript;
  const int unchecked = FindLine(lines, "\"Set Default Printer\" unchecked");
  const int rechecked = FindLine(lines, "\"Set Default Printer\" checked", unchecked + 1);
  const int platform = FindLine(lines, "status: \"Current System is");
  ASSERT_GE(unchecked, 0) << Joined(lines);
  EXPECT_GT(rechecked, unchecked) << Joined(lines);
  EXPECT_LE(rechecked, platform + 1) << Joined(lines);
}

TEST(Startup, ClosingWhileTheWorkerRunsEndsCleanlyAndTheWorkerStopsReporting) {
  // The version query takes five seconds; the user closes the window after
  // one, while the worker is inside it.
  nlohmann::json profile = WindowsProfile(2, 10, 0, true);
  profile["latency"] = {{"GetVersionExA", 5000}};
  const auto run = RunInstaller(profile, Script(R"([{"wait": {"after_ms": 1000}}, {"close": true}])"));
  const auto& lines = run.transcript;
  const int closed = FindLine(lines, "dialog 103 closed: IDCANCEL");
  ASSERT_GE(closed, 0) << Joined(lines);
  // The window waited for the worker's step to end, and nothing followed.
  EXPECT_GE(std::stoi(lines[static_cast<size_t>(closed)]), 5000) << Joined(lines);
  EXPECT_EQ(FindLine(lines, "Current System is"), -1) << Joined(lines);
  EXPECT_EQ(FindLine(lines, "enabled"), -1) << Joined(lines);
  EXPECT_EQ(closed, static_cast<int>(lines.size()) - 1);
  EXPECT_GE(FindLine(lines, "1000 ms  user: click the close box"), 0) << Joined(lines);

  // Closed before the worker even started its first step: it does none.
  const auto early = RunInstaller(profile, Script(R"([{"close": true}])"));
  EXPECT_GE(FindLine(early.transcript, "0 ms  dialog 103 closed: IDCANCEL"), 0) << Joined(early.transcript);
  EXPECT_EQ(FindLine(early.transcript, "Current System is"), -1);
}

TEST(Startup, EndsWithInstallEnabledWhenTheWorkerHasNothingToUnpack) {
  // No driver package on this machine: the sequence still runs to its end.
  const auto run = RunInstaller(WindowsProfile(2, 6, 1), Script(R"([{"wait": {"enabled": "install"}},
                                                                 {"wait": {"status_starts": "Current System"}},
                                                                 {"close": true}])"));
  EXPECT_TRUE(run.problems.empty()) << Joined(run.transcript);
}

TEST(Startup, AScriptStepThatCanNeverHappenIsReportedAndTheWindowCloses) {
  const auto run =
      RunInstaller(WindowsProfile(2, 6, 1), Script(R"([{"wait": {"status": "a text that never comes"}}])"));
  ASSERT_FALSE(run.problems.empty());
  EXPECT_NE(run.problems[0].find("can never happen"), std::string::npos);
  EXPECT_GE(FindLine(run.transcript, "dialog 103 closed: IDCANCEL"), 0) << Joined(run.transcript);
}

}  // namespace

namespace {

TEST(StartupPackage, UnpacksTheDriverPackageFromTheCurrentFolderAndListsItsNames) {
  nlohmann::json profile = WindowsProfile(2, 10, 0, true);
  profile["current_directory"] = "C:\\Users\\Shop\\Desktop";
  profile["package"] = std::string(INSTALLER_BUILD_DIR) + "/sample/DriverData.Drv";
  const auto run = RunInstaller(profile, Script(R"([{"wait": {"enabled": "install"}}, {"close": true}])"));
  const auto& lines = run.transcript;
  const int reading = FindLine(lines, "status: \"Reading driver file...\"");
  const int first = FindLine(lines, "driver list: added \"RV-580\"");
  ASSERT_GE(reading, 0) << Joined(lines);
  ASSERT_GT(first, reading) << Joined(lines);
  EXPECT_GE(FindLine(lines, "printer name: \"RV-580\""), first);
  // The three pauses around the library's call: 10, 100 and 10 ms.
  EXPECT_EQ(std::stoi(lines[static_cast<size_t>(first)]) - std::stoi(lines[static_cast<size_t>(reading)]),
            120);
  // Closing the window removed what the package unpacked.
  for (const std::string gone : {"C:\\Ticket\\", "C:\\Barcode\\", "C:\\DriverName.cfg"})
    EXPECT_EQ(run.state["files"].dump().find(nlohmann::json(gone).dump()), std::string::npos) << gone;
  EXPECT_NE(run.state["files"].dump().find("DriverData.Drv"), std::string::npos);
}

TEST(StartupPackage, WithoutTheArchiveLibraryOrThePackageTheListStaysEmptyAndInstallIsEnabled) {
  nlohmann::json noLibrary = WindowsProfile(2, 10, 0, true);
  noLibrary["package"] = std::string(INSTALLER_BUILD_DIR) + "/sample/DriverData.Drv";
  noLibrary["archive_library"] = false;
  nlohmann::json elsewhere = WindowsProfile(2, 10, 0, true);
  // The package lies beside the program, not in the current folder.
  elsewhere["current_directory"] = "C:\\Users\\Shop";
  elsewhere["files"] = {{"C:\\Program\\DriverData.Drv",
                         {{"copy_from", std::string(INSTALLER_BUILD_DIR) + "/sample/DriverData.Drv"}}}};
  for (const nlohmann::json& profile : {noLibrary, elsewhere}) {
    const auto run = RunInstaller(profile, Script(R"([{"wait": {"enabled": "install"}}, {"close": true}])"));
    EXPECT_EQ(FindLine(run.transcript, "driver list: added"), -1) << Joined(run.transcript);
    EXPECT_GE(FindLine(run.transcript, "Install button \"&Install\" enabled"), 0);
    EXPECT_TRUE(run.problems.empty());
  }
}

}  // namespace

namespace {

const char kRightsBoxStart[] =
    "message box \"Configure & Install v1.0\" [OK, warning icon]: \"The installer is "
    "running without administrator rights";

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
  int count = 0;
  for (int at = FindLine(lines, text); at >= 0; at = FindLine(lines, text, at + 1)) ++count;
  return count;
}

TEST(StartupRights, AStandardUserIsToldOnceBeforeTheSpoolerCheckAndTheInstallationStillRuns) {
  // A whole USB installation: its port check restarts the spooler, which
  // must not bring the box back.
  nlohmann::json profile = testing_support::UnpackedPackageProfile();
  profile["windows"]["administrator"] = false;
  const auto run = RunInstaller(profile, Script(R"([{"answer": "IDOK"}, {"wait": {"enabled": "install"}},
      {"select": {"control": "driver", "text": "RV-640"}}, {"click": "install"},
      {"wait": {"text": {"control": "install", "equals": "&Finish"}}}, {"close": true}])"));
  const auto& lines = run.transcript;
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems) << Joined(lines);
  EXPECT_EQ(CountLines(lines, kRightsBoxStart), 1) << Joined(lines);
  EXPECT_EQ(CountLines(lines, "message box "), 1) << Joined(lines);
  // Before the port pre-selection, which follows the spooler check.
  const int preselection =
      FindLine(lines, "port type: selected row", FindLine(lines, "port type: selected row") + 1);
  ASSERT_GE(preselection, 0) << Joined(lines);
  EXPECT_LT(FindLine(lines, kRightsBoxStart), preselection) << Joined(lines);
  EXPECT_GE(FindLine(lines, "Install button: \"&Finish\""), 0) << Joined(lines);
}

TEST(StartupRights, AnAdministratorOrAnUnansweredQuestionBringsNoBox) {
  const char* script = R"([{"wait": {"enabled": "install"}}, {"close": true}])";
  nlohmann::json administrator = testing_support::UnpackedPackageProfile();
  const auto asAdministrator = RunInstaller(administrator, Script(script));
  EXPECT_EQ(FindLine(asAdministrator.transcript, "message box "), -1) << Joined(asAdministrator.transcript);

  // The membership cannot be read: nothing is said, the start-up runs on.
  nlohmann::json unknown = testing_support::UnpackedPackageProfile();
  unknown["windows"]["administrator"] = false;
  unknown["faults"] = {{{"call", "CheckTokenMembership"}, {"error", 1008}}};
  const auto unanswered = RunInstaller(unknown, Script(script));
  EXPECT_EQ(FindLine(unanswered.transcript, "message box "), -1) << Joined(unanswered.transcript);
  EXPECT_TRUE(unanswered.problems.empty()) << Joined(unanswered.problems);
}

}  // namespace

namespace {

const char kProtectedPrintBoxStart[] =
    "message box \"Configure & Install v1.0\" [OK, warning icon]: \"Windows Protected Print mode is on.";
const char kPolicyKey[] = "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";

nlohmann::json Windows11Profile(int build) {
  nlohmann::json profile = testing_support::UnpackedPackageProfile();
  profile["windows"]["build"] = build;
  return profile;
}

TEST(StartupProtectedPrint, ThePolicyOrTheSettingBringsOneBoxAndTheSpoolerThenRefusesTheDriver) {
  nlohmann::json byPolicy = Windows11Profile(26100);
  byPolicy["registry"][kPolicyKey] = {{"WindowsProtectedPrintGroupPolicyState", 1}};
  nlohmann::json bySetting = Windows11Profile(26100);
  bySetting["windows"]["protected_print"] = true;
  for (const nlohmann::json& profile : {byPolicy, bySetting}) {
    // The start-up goes on to its end; an installation tried all the same
    // fails at the driver, as Windows refuses it.
    const auto run = RunInstaller(profile, Script(R"([{"answer": "IDOK"}, {"wait": {"enabled": "install"}},
        {"select": {"control": "driver", "text": "RV-640"}}, {"click": "install"},
        {"answer": "IDRETRY", "caption": "Error"},
        {"wait": {"text": {"control": "install", "equals": "Reinstall"}}}, {"close": true}])"));
    const auto& lines = run.transcript;
    EXPECT_TRUE(run.problems.empty()) << Joined(run.problems) << Joined(lines);
    EXPECT_EQ(CountLines(lines, kProtectedPrintBoxStart), 1) << Joined(lines);
    const int box = FindLine(lines, kProtectedPrintBoxStart);
    EXPECT_LT(box, FindLine(lines, "status: \"Reading driver file...\"")) << Joined(lines);
    EXPECT_GE(FindLine(lines, "Failed to add the driver 5", box), 0) << Joined(lines);
    EXPECT_TRUE(run.state["spooler"]["drivers"].empty()) << run.state["spooler"].dump();
  }
}

TEST(StartupProtectedPrint, NoBoxWithTheModeOffOrWithoutWindowsAnswer) {
  const char* script = R"([{"wait": {"enabled": "install"}}, {"close": true}])";
  nlohmann::json off = Windows11Profile(26100);
  off["registry"][kPolicyKey] = {{"WindowsProtectedPrintGroupPolicyState", 0}};
  // The mode set in Settings is known only by Windows' answer: none, no box.
  nlohmann::json unanswered = Windows11Profile(26100);
  unanswered["windows"]["protected_print"] = true;
  unanswered["faults"] = {{{"call", "IsProtectedPrintEnabled"}, {"error", 5}}};
  for (const nlohmann::json& profile : {off, unanswered, Windows11Profile(22631)}) {
    const auto run = RunInstaller(profile, Script(script));
    EXPECT_EQ(FindLine(run.transcript, "message box "), -1) << Joined(run.transcript);
  }
}

}  // namespace
