// What closing the window removes from drive C:.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/InstallDlg.h"
#include "host/sim/files.h"
#include "test_support.h"

using testing_support::WithReadyDialog;

namespace {

bool HasFile(const nlohmann::json& state, const std::string& path) {
  const auto& files = state["files"];
  return std::find(files.begin(), files.end(), path) != files.end();
}

nlohmann::json UnpackedPackage() {
  nlohmann::json profile;
  profile["files"] = {
      {"C:\\DriverName.cfg", {{"content", "[A]\nPrintName1=a\n"}}},
      {"C:\\Ticket\\x86\\RV640.GPD", {{"content", "gpd"}}},
      {"C:\\Ticket\\x64\\RV640.GPD", {{"content", "gpd"}}},
      {"C:\\Ticket\\x64\\deep\\er\\file.txt", {{"content", "x"}}},
      {"C:\\Barcode\\Common\\THERMAL.chm", {{"content", "help"}}},
      {"C:\\Barcode\\x86\\empty", {{"folder", true}}},
      {"C:\\Keep\\mine.txt", {{"content", "not ours"}}},
  };
  return profile;
}

TEST(Cleanup, ClosingRemovesBothTreesAndTheCatalogueAndNothingElse) {
  nlohmann::json state;
  WithReadyDialog(
      UnpackedPackage(), [](CInstallDlg&, fw::headless::Ui&) {}, &state);
  EXPECT_FALSE(HasFile(state, "C:\\Ticket\\")) << state["files"].dump(1);
  EXPECT_FALSE(HasFile(state, "C:\\Barcode\\"));
  EXPECT_FALSE(HasFile(state, "C:\\DriverName.cfg"));
  EXPECT_TRUE(HasFile(state, "C:\\Keep\\mine.txt"));
}

TEST(Cleanup, AReadOnlyFileKeepsItsFoldersWhileTheRestGoes) {
  nlohmann::json profile = UnpackedPackage();
  profile["files"]["C:\\Ticket\\x64\\RV640.GPD"]["readonly"] = true;
  nlohmann::json state;
  WithReadyDialog(
      profile, [](CInstallDlg&, fw::headless::Ui&) {}, &state);
  EXPECT_TRUE(HasFile(state, "C:\\Ticket\\x64\\RV640.GPD")) << state["files"].dump(1);
  EXPECT_TRUE(HasFile(state, "C:\\Ticket\\x64\\"));
  EXPECT_FALSE(HasFile(state, "C:\\Ticket\\x64\\deep\\"));
  EXPECT_FALSE(HasFile(state, "C:\\Ticket\\x86\\"));
  EXPECT_FALSE(HasFile(state, "C:\\Barcode\\"));
  EXPECT_FALSE(HasFile(state, "C:\\DriverName.cfg"));
}

TEST(Cleanup, DeleteFolderTreeSaysWhetherTheFolderWent) {
  testing_support::SimulatedMachine sim(UnpackedPackage());
  EXPECT_FALSE(DeleteFolderTree("C:\\NoSuchFolder"));
  EXPECT_TRUE(DeleteFolderTree("C:\\Barcode"));
  sim.machine.Files().SetFileAttributesA("C:\\Ticket\\x86\\RV640.GPD", FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(DeleteFolderTree("c:\\ticket"));
}

}  // namespace
