// Which Windows the installer believes it runs on, and what it shows.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "package/MachineChecks.h"
#include "test_support.h"

using testing_support::SimulatedMachine;
using testing_support::WindowsProfile;

namespace {

struct VersionCase {
  int platformId, major, minor;
  int code;
};

class VersionTable : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionTable, GivesTheCodeOfTheTable) {
  const VersionCase& c = GetParam();
  SimulatedMachine sim(WindowsProfile(c.platformId, c.major, c.minor));
  CInstallDlg dialog;
  EXPECT_EQ(dialog.GetOsVersionCode(), c.code)
      << "platform " << c.platformId << " version " << c.major << "." << c.minor;
}

INSTANTIATE_TEST_SUITE_P(AllWindows, VersionTable,
                         ::testing::Values(
                             // The Windows 95 family by minor version; anything else is unknown.
                             VersionCase{1, 4, 0, 1}, VersionCase{1, 4, 10, 2}, VersionCase{1, 4, 90, 3},
                             VersionCase{1, 4, 5, -1}, VersionCase{1, 5, 0, -1},
                             // NT: 4.0 and earlier, 2000, XP, 2003, an unknown 5.x.
                             VersionCase{2, 3, 51, 4}, VersionCase{2, 4, 0, 4}, VersionCase{2, 5, 0, 5},
                             VersionCase{2, 5, 1, 6}, VersionCase{2, 5, 2, 7}, VersionCase{2, 5, 3, -1},
                             // Vista to 8.1 (servers share their desktop sibling's numbers), 6.4.
                             VersionCase{2, 6, 0, 8}, VersionCase{2, 6, 1, 9}, VersionCase{2, 6, 2, 10},
                             VersionCase{2, 6, 3, 11}, VersionCase{2, 6, 4, -1},
                             // Windows 10 whatever its minor version; a major version 11 is not known.
                             VersionCase{2, 10, 0, 12}, VersionCase{2, 10, 7, 12}, VersionCase{2, 11, 0, -1},
                             VersionCase{2, 7, 0, -1},
                             // Any other platform id.
                             VersionCase{0, 3, 10, 5}, VersionCase{3, 10, 0, 5}));

TEST(OsVersionCode, FallsBackToThePlainRecordAndGivesUpAfterTwoFailures) {
  {
    // Old Windows refuses the extended record but answers the plain one.
    nlohmann::json profile = WindowsProfile(2, 4, 0);
    profile["windows"]["extended_version_info"] = false;
    SimulatedMachine sim(profile);
    CInstallDlg dialog;
    EXPECT_EQ(dialog.GetOsVersionCode(), 4);
    EXPECT_EQ(sim.machine.Faults().CallCount("GetVersionExA"), 2);
  }
  {
    nlohmann::json profile = WindowsProfile(2, 10, 0);
    profile["faults"] = {{{"call", "GetVersionExA"}, {"error", 87}}};
    SimulatedMachine sim(profile);
    CInstallDlg dialog;
    EXPECT_EQ(dialog.GetOsVersionCode(), -1);
    EXPECT_EQ(sim.machine.Faults().CallCount("GetVersionExA"), 2);
  }
}

std::string StartupStatus(const nlohmann::json& profile) {
  const installersim::RunResult run = installersim::RunInstaller(
      profile, nlohmann::json::parse(R"([{"wait": {"enabled": "install"}}, {"close": true}])"));
  std::string last;
  for (const std::string& line : run.transcript) {
    const size_t at = line.find("status: ");
    if (at != std::string::npos) last = line.substr(at + 8);
  }
  return last;
}

TEST(PlatformStatusLine, NamesWindowsAndWordSizeWithTwoBlanksBetween) {
  EXPECT_EQ(StartupStatus(WindowsProfile(2, 10, 0, true)),
            "\"Current System is Microsoft Windows 10  64 bit\"");
  EXPECT_EQ(StartupStatus(WindowsProfile(2, 6, 1, false)),
            "\"Current System is Microsoft Windows 7  32 bit\"");
  EXPECT_EQ(StartupStatus(WindowsProfile(2, 5, 2, true)),
            "\"Current System is Microsoft Windows 2003  64 bit\"");
  EXPECT_EQ(StartupStatus(WindowsProfile(1, 4, 90, false)),
            "\"Current System is Microsoft Windows Me  32 bit\"");
  // An unknown version leaves the name out; the format's blank stays.
  EXPECT_EQ(StartupStatus(WindowsProfile(2, 11, 0, true)), "\"Current System is  64 bit\"");
}

TEST(PlatformStatusLine, TreatsTheMachineAs32BitWithoutAWorkingIsWow64Process) {
  nlohmann::json missing = WindowsProfile(2, 5, 1, true);
  missing["windows"]["has_IsWow64Process"] = false;
  EXPECT_EQ(StartupStatus(missing), "\"Current System is Microsoft Windows XP  32 bit\"");

  nlohmann::json failing = WindowsProfile(2, 10, 0, true);
  failing["faults"] = {{{"call", "IsWow64Process"}, {"error", 5}}};
  EXPECT_EQ(StartupStatus(failing), "\"Current System is Microsoft Windows 10  32 bit\"");
}

TEST(DetectPlatform, SetsTheWordSizeMemberForTheInstallationSteps) {
  SimulatedMachine sim(WindowsProfile(2, 10, 0, true));
  CInstallDlg dialog;
  EXPECT_FALSE(dialog.m_bIsWow64);
  dialog.DetectPlatform();
  EXPECT_TRUE(dialog.m_bIsWow64);
}

}  // namespace

namespace {

nlohmann::json WithBuild(nlohmann::json profile, int build) {
  profile["windows"]["build"] = build;
  return profile;
}

TEST(PlatformStatusLine, NamesWindows11FromBuild22000WhileTheCodeStaysWindows10s) {
  EXPECT_EQ(StartupStatus(WithBuild(WindowsProfile(2, 10, 0, true), 22000)),
            "\"Current System is Microsoft Windows 11  64 bit\"");
  EXPECT_EQ(StartupStatus(WithBuild(WindowsProfile(2, 10, 0, false), 26100)),
            "\"Current System is Microsoft Windows 11  32 bit\"");
  EXPECT_EQ(StartupStatus(WithBuild(WindowsProfile(2, 10, 0, true), 21999)),
            "\"Current System is Microsoft Windows 10  64 bit\"");
  // A Windows 8.1 build number never makes a Windows 11.
  EXPECT_EQ(StartupStatus(WithBuild(WindowsProfile(2, 6, 3, true), 22000)),
            "\"Current System is Microsoft Windows 8.1  64 bit\"");

  SimulatedMachine sim(WithBuild(WindowsProfile(2, 10, 0, true), 22631));
  CInstallDlg dialog;
  EXPECT_EQ(dialog.GetOsVersionCode(), 12);
}

WORD NativeMachineOf(const nlohmann::json& profile) {
  SimulatedMachine sim(profile);
  CInstallDlg dialog;
  dialog.DetectPlatform();
  return dialog.m_wNativeMachine;
}

TEST(DetectPlatform, TellsTheNativeMachineByIsWow64Process2AndFallsBackToTheWordSize) {
  nlohmann::json arm64 = WithBuild(WindowsProfile(2, 10, 0, true), 22631);
  arm64["windows"]["native_machine"] = "arm64";
  EXPECT_EQ(NativeMachineOf(arm64), NATIVE_MACHINE_ARM64);
  {
    // The word size stays what IsWow64Process says: 64 bit.
    SimulatedMachine sim(arm64);
    CInstallDlg dialog;
    dialog.DetectPlatform();
    EXPECT_TRUE(dialog.m_bIsWow64);
  }
  EXPECT_EQ(NativeMachineOf(WindowsProfile(2, 10, 0, true)), NATIVE_MACHINE_X64);
  EXPECT_EQ(NativeMachineOf(WindowsProfile(2, 10, 0, false)), NATIVE_MACHINE_X86);

  // Before Windows 10 1709 there is no IsWow64Process2; a failing one
  // counts as none.
  EXPECT_EQ(NativeMachineOf(WithBuild(WindowsProfile(2, 10, 0, true), 15063)), NATIVE_MACHINE_X64);
  EXPECT_EQ(NativeMachineOf(WindowsProfile(2, 6, 1, false)), NATIVE_MACHINE_X86);
  nlohmann::json failing = arm64;
  failing["faults"] = {{{"call", "IsWow64Process2"}, {"error", 5}}};
  EXPECT_EQ(NativeMachineOf(failing), NATIVE_MACHINE_X64);
}

}  // namespace
