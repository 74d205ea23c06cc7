// The simulated spooler and drive where they depend on the Windows version
// and word size: kernel-mode drivers, the WoW64 file system redirector, and
// where a monitor's DLL is loaded from.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/sim/files.h"
#include "host/sim/spooler.h"
#include "test_support.h"

namespace {

nlohmann::json Windows(DWORD major, DWORD minor, bool wow64) {
  nlohmann::json profile = nlohmann::json::parse(sim::DefaultProfileJson());
  profile["windows"]["major"] = major;
  profile["windows"]["minor"] = minor;
  profile["windows"]["wow64"] = wow64;
  return profile;
}

bool OnDrive(sim::Machine& machine, const std::string& path) {
  const nlohmann::json files = machine.Files().ToJson();
  return std::find(files.begin(), files.end(), path) != files.end();
}

// A driver of the machine's own environment whose files are staged.
plat::DriverInfo3 StagedDriver(sim::Machine& machine, DWORD version) {
  plat::DriverInfo3 info;
  info.version = version;
  info.name = "Staged Driver";
  info.environment = machine.Version().wow64 ? "Windows x64" : "Windows NT x86";
  const std::string directory = sim::SimSpooler::DriverDirectory(info.environment);
  for (const char* name : {"drv.dll", "data.gpd", "ui.dll"})
    machine.Files().WriteFile(directory + "\\" + name, "x", sim::SimFiles::View::Native);
  info.driverPath = directory + "\\drv.dll";
  info.dataFile = "data.gpd";
  info.configFile = "ui.dll";
  info.dependentFiles = std::string("\0", 1);
  return info;
}

TEST(SimSpooler, KernelModeDriversOnlyWhereWindowsTakesThem) {
  const struct {
    DWORD major, minor;
    bool wow64, blocked;
  } kWindows[] = {{4, 0, false, false}, {5, 0, false, false}, {5, 1, false, false}, {5, 2, false, true},
                  {5, 2, true, true},   {6, 0, false, true},  {6, 1, true, true},   {10, 0, false, true}};
  for (const auto& windows : kWindows) {
    SCOPED_TRACE(std::to_string(windows.major) + "." + std::to_string(windows.minor) +
                 (windows.wow64 ? " 64-bit" : " 32-bit"));
    testing_support::SimulatedMachine simulated(Windows(windows.major, windows.minor, windows.wow64));
    plat::System().SetLastError(0);
    const BOOL kernelMode = plat::Spooler().AddPrinterDriverExA(StagedDriver(simulated.machine, 2), 0);
    EXPECT_EQ(kernelMode == FALSE, windows.blocked);
    if (windows.blocked) {
      EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_KM_DRIVER_BLOCKED));
    }
    EXPECT_TRUE(plat::Spooler().AddPrinterDriverExA(StagedDriver(simulated.machine, 3), APD_COPY_ALL_FILES));
  }
}

TEST(SimFiles, ThirtyTwoBitProcessOnSixtyFourBitWindowsIsRedirected) {
  testing_support::SimulatedMachine simulated(Windows(10, 0, true));
  sim::Machine& machine = simulated.machine;
  plat::IFiles& files = plat::Files();
  machine.Files().WriteFile("C:\\source.dll", "MZ");

  char system[MAX_PATH];
  ASSERT_GT(files.GetSystemDirectoryA(system, sizeof system), 0u);
  EXPECT_STREQ(system, "C:\\Windows\\system32");  // the name stays System32

  ASSERT_TRUE(files.CopyFileA("C:\\source.dll", "C:\\Windows\\System32\\a.dll", FALSE));
  EXPECT_TRUE(OnDrive(machine, "C:\\Windows\\SysWOW64\\a.dll"));
  EXPECT_FALSE(OnDrive(machine, "C:\\Windows\\System32\\a.dll"));
  EXPECT_NE(files.GetFileAttributesA("C:\\Windows\\system32\\A.DLL"), INVALID_FILE_ATTRIBUTES);

  // The spooler's folders are exempt; Sysnative names the real System32.
  ASSERT_TRUE(files.CopyFileA("C:\\source.dll", "C:\\Windows\\System32\\spool\\drivers\\x64\\b.dll", FALSE));
  EXPECT_TRUE(OnDrive(machine, "C:\\Windows\\System32\\spool\\drivers\\x64\\b.dll"));
  ASSERT_TRUE(files.CopyFileA("C:\\source.dll", "C:\\Windows\\Sysnative\\c.dll", FALSE));
  EXPECT_TRUE(OnDrive(machine, "C:\\Windows\\System32\\c.dll"));
}

TEST(SimFiles, NoRedirectionOnThirtyTwoBitWindowsNorBeforeSysnative) {
  testing_support::SimulatedMachine x86(Windows(10, 0, false));
  x86.machine.Files().WriteFile("C:\\source.dll", "MZ");
  ASSERT_TRUE(plat::Files().CopyFileA("C:\\source.dll", "C:\\Windows\\System32\\a.dll", FALSE));
  EXPECT_TRUE(OnDrive(x86.machine, "C:\\Windows\\System32\\a.dll"));

  // Windows XP x64 has the redirector but no Sysnative alias.
  testing_support::SimulatedMachine xp64(Windows(5, 2, true));
  xp64.machine.Files().WriteFile("C:\\source.dll", "MZ");
  EXPECT_FALSE(plat::Files().CopyFileA("C:\\source.dll", "C:\\Windows\\Sysnative\\a.dll", FALSE));
  EXPECT_FALSE(OnDrive(xp64.machine, "C:\\Windows\\System32\\a.dll"));
}

TEST(SimSpooler, MonitorDllIsLoadedByTheNativeSpooler) {
  testing_support::SimulatedMachine simulated(Windows(10, 0, true));
  sim::Machine& machine = simulated.machine;
  plat::ISpooler& spooler = plat::Spooler();
  plat::IFiles& files = plat::Files();
  machine.Files().WriteFile("C:\\mon.dll", "MZ");

  // Copied by this 32-bit program to "System32", it is in SysWOW64, where
  // the spooler does not look for a name alone.
  ASSERT_TRUE(files.CopyFileA("C:\\mon.dll", "C:\\Windows\\System32\\mon.dll", FALSE));
  EXPECT_FALSE(spooler.AddMonitorA("Mon", "Windows x64", "mon.dll"));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  // Only a monitor of the machine's own environment.
  EXPECT_FALSE(spooler.AddMonitorA("Mon", "Windows NT x86", "mon.dll"));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));
  EXPECT_FALSE(spooler.AddMonitorA("Mon", nullptr, "mon.dll"));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_INVALID_ENVIRONMENT));

  // Through Sysnative it reaches the spooler's System32.
  ASSERT_TRUE(files.CopyFileA("C:\\mon.dll", "C:\\Windows\\Sysnative\\mon.dll", FALSE));
  EXPECT_TRUE(spooler.AddMonitorA("Mon", "Windows x64", "mon.dll"));
  // A full path is loaded as it stands: the installer's SysWOW64 copy.
  ASSERT_TRUE(files.CopyFileA("C:\\mon.dll", "C:\\Windows\\SysWOW64\\mon64.dll", FALSE));
  EXPECT_TRUE(spooler.AddMonitorA("Mon64", "Windows x64", "C:\\Windows\\SysWOW64\\mon64.dll"));
}

TEST(SimSpooler, DriverFilesFromTheDriverDirectoryUnlessCopiedFromTheirFolder) {
  testing_support::SimulatedMachine simulated(Windows(10, 0, true));
  sim::Machine& machine = simulated.machine;
  plat::DriverInfo3 info = StagedDriver(machine, 3);
  machine.Files().WriteFile("C:\\Staging\\extra.gpd", "x");
  info.dependentFiles = std::string("\\data.gpd") + '\0' + "C:\\Staging\\extra.gpd" + '\0' + '\0';
  EXPECT_FALSE(plat::Spooler().AddPrinterDriverExA(info, APD_COPY_ALL_FILES));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(plat::Spooler().AddPrinterDriverExA(info, APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY));
  EXPECT_TRUE(OnDrive(machine, "C:\\Windows\\System32\\spool\\drivers\\x64\\3\\extra.gpd"));
  EXPECT_TRUE(OnDrive(machine, "C:\\Windows\\System32\\spool\\drivers\\x64\\3\\data.gpd"));
}

}  // namespace

namespace {

TEST(SimSpooler, ProtectedPrintModeRefusesDriverAndMonitorAddsOnlyWhereWindowsHasIt) {
  const std::string policyKey =
      "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
  const struct {
    DWORD build;
    DWORD policy;
    bool refused;
  } kMachines[] = {{26100, 1, true}, {26100, 0, false}, {22631, 1, false}};
  for (const auto& windows : kMachines) {
    SCOPED_TRACE("build " + std::to_string(windows.build) + ", policy " + std::to_string(windows.policy));
    nlohmann::json profile = Windows(10, 0, true);
    profile["windows"]["build"] = windows.build;
    profile["registry"][policyKey] = {{"WindowsProtectedPrintGroupPolicyState", windows.policy}};
    testing_support::SimulatedMachine simulated(profile);
    simulated.machine.Files().WriteFile("C:\\Windows\\System32\\mon.dll", "MZ", sim::SimFiles::View::Native);
    plat::ISpooler& spooler = plat::Spooler();
    EXPECT_EQ(spooler.AddPrinterDriverExA(StagedDriver(simulated.machine, 3), APD_COPY_ALL_FILES) == FALSE,
              windows.refused);
    if (windows.refused) {
      EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(spooler.AddMonitorA("Mon", "Windows x64", "mon.dll") == FALSE, windows.refused);
    if (windows.refused) {
      EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
  }
}

}  // namespace
