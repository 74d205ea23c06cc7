// The fault matrix: every failure the installer reports in a message box,
// and the obvious ones it passes over in silence, each produced by a case
// under faults/ (a .run naming a machine profile and a script) and run the
// way installer-sim runs it. For each case: the boxes exactly as shown
// (caption, text, buttons and icon, the answer), the window as the user
// finds it at the next step after the last box, and that the window can
// still be closed, with the unpacked package cleaned up. docs/FAULTS.md is
// the same table for a reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "res/resource.h"
#include "test_support.h"
#include "host/simrunner/transcript.h"

using installersim::RunInstaller;
using installersim::RunResult;
using testing_support::Joined;

namespace {

struct Box {
  const char* caption;
  const char* text;
  UINT type;  // MB_ buttons and icon
  const char* answer;
};

// The main window as the user finds it.
struct Window {
  const char* install;  // the Install button's caption
  bool enabled;
  const char* status;
  int progress;
  int topDialog;  // the dialog the user acts in; 0 when the window is gone
};

struct FaultCase {
  const char* name;        // faults/NAME.run
  std::vector<Box> boxes;  // every box of the run, in order
  Window after;            // at the user's next step after the last box (or at closing when none)
  int printers;            // printers the spooler has at the end
  bool unpackedStays = false;
};

const char kApp[] = "Configure & Install v1.0";
const char kWin10[] = "Current System is Microsoft Windows 10  64 bit";
const char kWin7[] = "Current System is Microsoft Windows 7  32 bit";
const char kCompleted[] = "The installation is completed.";
const char kUnknownStatus[] = "Service status is unknown";
const char kNoStart[] = "The Spooler service did not start within 30 seconds.";
const char kReceiptRefused5[] =
    "Failed to add the driver 5\r\n\r\nClick Retry:You can retry\r\nClick Cancel：Exit and abort "
    "installation";
const char kReceiptRefused2[] =
    "Failed to add the driver 2\r\n\r\nClick Retry:You can retry\r\nClick Cancel：Exit and abort "
    "installation";
const char kLabelRefused5[] =
    "Failed to add the driver 5\r\n\r\nClick Retry:You can retry\r\nClick Cancel：exit and abort "
    "installation";
const char kNoUsefulPort[] = "There's no available useful port,please select other type of port";
const char kReadRegistry[] = "Failed to read Registry";
const char kNoUsbPrinter[] =
    "Failed to select USB port,please check the port is connected.\r\n\r\nClick Retry:Retry to select usb "
    "port\r\nClick Cancel:Continue installation, you can select the port after installation";
const char kNoPackage[] =
    "No driver package was found, so there is nothing to install.\r\n\r\nPut DriverData.Drv in the folder "
    "the installer is started from and run the installer again.";
const char kProbeFailed[] = "Unable to detect available printer.The current printer port is COM1:";
const char kOneComPort[] = "The current printer port is COM3:,you can configure after the installation";

const Window kStartedWin10 = {"&Install", true, kWin10, 0, IDD_INSTALL_DIALOG};
const Window kFinished = {"&Finish", true, kCompleted, 100, IDD_INSTALL_DIALOG};
const Window kGone = {nullptr, false, nullptr, 0, 0};

const std::vector<FaultCase> kSpoolerService = {
    {"spooler-status-unknown",
     {{kApp, kUnknownStatus, MB_OK | MB_ICONINFORMATION, "IDOK"}},
     kStartedWin10,
     0},
    {"spooler-status-lost", {{kApp, kUnknownStatus, MB_OK | MB_ICONINFORMATION, "IDOK"}}, kStartedWin10, 0},
    {"spooler-start-timeout", {{kApp, kNoStart, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"spooler-start-refused", {{kApp, kNoStart, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"spooler-stop-timeout",
     {{kApp, "The Spooler service did not stop within 30 seconds.", MB_OK | MB_ICONWARNING, "IDOK"},
      {"Fail to select port", kNoUsbPrinter, MB_RETRYCANCEL, "IDCANCEL"}},
     kFinished,
     1},
};

// Said once, first; the start-up then goes on and meets the failures.
const std::vector<FaultCase> kRights = {
    {"standard-user",
     {{kApp,
       "The installer is running without administrator rights, so checking and starting the print spooler "
       "service, unpacking the driver package into C:\\ and installing drivers and printers will "
       "fail.\r\n\r\nClose the installer, then right-click it and choose \"Run as administrator\".",
       MB_OK | MB_ICONWARNING, "IDOK"},
      {kApp, kUnknownStatus, MB_OK | MB_ICONINFORMATION, "IDOK"}},
     kStartedWin10,
     0},
};

const std::vector<FaultCase> kDriverRegistration = {
    // Retry offers the installation again; the second press succeeds.
    {"receipt-driver-refused-retry",
     {{"Error", kReceiptRefused5, MB_RETRYCANCEL, "IDRETRY"}},
     {"Reinstall", true, "Adding printer drive RV-640", 0, IDD_INSTALL_DIALOG},
     1},
    {"receipt-driver-refused-cancel", {{"Error", kReceiptRefused5, MB_RETRYCANCEL, "IDCANCEL"}}, kGone, 0},
    {"label-driver-refused-retry",
     {{kApp, kLabelRefused5, MB_RETRYCANCEL, "IDRETRY"}},
     {"Reinstall", true, "Adding printer drive LB-400 Label", 0, IDD_INSTALL_DIALOG},
     1},
    {"label-driver-refused-cancel", {{kApp, kLabelRefused5, MB_RETRYCANCEL, "IDCANCEL"}}, kGone, 0},
    {"label-monitor-refused", {{kApp, "Failed to add Monitor\r\n", MB_OK, "IDOK"}}, kGone, 0},
    {"driver-file-not-staged",
     {{"Error", kReceiptRefused2, MB_RETRYCANCEL, "IDRETRY"}},
     {"Reinstall", true, "Adding printer drive RV-640", 0, IDD_INSTALL_DIALOG},
     1},
    // Refused before anything is staged: without the folder the files would
    // land in the root of the current drive and stay there.
    {"driver-directory-unknown",
     {{"Error",
       "The printer driver folder of this Windows could not be read (error 1722); the driver was not "
       "installed.",
       MB_OK | MB_ICONWARNING, "IDOK"}},
     {"&Install", true, kWin10, 0, IDD_INSTALL_DIALOG},
     0},
};

const std::vector<FaultCase> kPrinterCreation = {
    {"printer-port-unknown",
     {{"Prompt", kNoUsefulPort, MB_OK, "IDOK"}},
     {"Reinstall", true, "Driver RV-640 is added", 0, IDD_INSTALL_DIALOG},
     0},
    {"printer-system-files-missing",
     {{"Prompt", "Missing system flies,please repair system", MB_OK, "IDOK"}},
     {"Reinstall", true, "Driver RV-640 is added", 0, IDD_INSTALL_DIALOG},
     0},
    {"printer-refused",
     {{"Error prompt", "Error AddPrinter 5", MB_OK, "IDOK"}},
     {"&Install", true, "Driver RV-640 is added", 0, IDD_INSTALL_DIALOG},
     0},
    // The old printer stays as it was.
    {"old-printer-not-removable",
     {{"Error prompt", "Error AddPrinter 1802", MB_OK, "IDOK"}},
     {"&Install", true, "Driver RV-640 is added", 0, IDD_INSTALL_DIALOG},
     1},
};

const std::vector<FaultCase> kRegistry = {
    {"default-printer-not-set", {{kApp, "Error：Failed to set regist", MB_OK, "IDOK"}}, kFinished, 1},
    {"port-record-not-written", {{kApp, kReadRegistry, MB_OK, "IDOK"}}, kFinished, 1},
    {"online-flag-not-reset", {{kApp, kReadRegistry, MB_OK, "IDOK"}}, kFinished, 1},
    // The failed read counts as no printer found; Retry reads the flag again.
    {"online-flag-unreadable",
     {{kApp, kReadRegistry, MB_OK, "IDOK"},
      {"Fail to select port", kNoUsbPrinter, MB_RETRYCANCEL, "IDRETRY"}},
     kFinished,
     1},
    {"usb-printer-not-found-cancel",
     {{"Fail to select port", kNoUsbPrinter, MB_RETRYCANCEL, "IDCANCEL"}},
     kFinished,
     1},
    {"usb-printer-not-found-retry",
     {{"Fail to select port", kNoUsbPrinter, MB_RETRYCANCEL, "IDRETRY"},
      {"Fail to select port", kNoUsbPrinter, MB_RETRYCANCEL, "IDCANCEL"}},
     kFinished,
     1},
    {"serial-settings-not-written",
     {{kApp, "Error：Failed to set Registry", MB_OK, "IDOK"}},
     {"&Finish", true, kOneComPort, 100, IDD_INSTALL_DIALOG},
     1},
};

// The boxes come over the TCP/IP port dialog, which stays open; the main
// window waits beneath it with Install disabled.
const Window kUnderPortDialog = {"&Install", false, kWin7, 0, IDD_TCPIP_PORT_DIALOG};

const std::vector<FaultCase> kPortDialogs = {
    {"tcpip-configure-not-supported",
     {{"Configure Port", "Failed to configure printer port.\r\nThe request is not supported.", MB_OK,
       "IDOK"}},
     kUnderPortDialog,
     1},
    {"tcpip-configure-hardware-error",
     {{"Configure Por", "Failed to configure printer port.\r\nA hardware error occurred. ", MB_OK, "IDOK"}},
     kUnderPortDialog,
     1},
    {"tcpip-delete-not-supported",
     {{"Delete Port", "Failed to delete port.The request is not supported.", MB_OK, "IDOK"}},
     kUnderPortDialog,
     1},
    {"tcpip-no-port-left",
     {{"Prompt", "There is no available TCP/IP port\r\nClick \"Add port\" to create a new port", MB_OK,
       "IDOK"}},
     kUnderPortDialog,
     0},
    {"parallel-port-missing",
     {{kApp, "There is no available parallel port.\r\n\r\nPlease select other port type.", MB_OK, "IDOK"}},
     kStartedWin10,
     0},
};

const std::vector<FaultCase> kSerialChannel = {
    // Raised on the serial monitor's thread; the probe goes on to its end.
    {"serial-write-fails",
     {{"Application Error",
       "WARNING:  WriteFile() Failed with the following error: \nAccess is denied.\r\n\nPort: 3\n",
       MB_OK | MB_ICONSTOP, "IDOK"}},
     {"&Finish", true, kProbeFailed, 100, IDD_INSTALL_DIALOG},
     1},
};

const std::vector<FaultCase> kInstallRefused = {
    {"driver-package-missing", {{"Error", kNoPackage, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"model-unknown",
     {{"Error",
       "The driver package does not say which printer model \"Future model\" is, so nothing was "
       "installed.\r\n\r\nChoose another printer name, or ask your supplier for a matching driver package.",
       MB_OK | MB_ICONWARNING, "IDOK"}},
     kStartedWin10,
     0},
    {"system-folder-unknown",
     {{"Error", "The Windows folder could not be read (error 5); the driver was not installed.",
       MB_OK | MB_ICONWARNING, "IDOK"}},
     kStartedWin10,
     0},
};

// Failures no box of their own reports: what the user meets instead.
const std::vector<FaultCase> kUnreported = {
    {"package-extraction-fails", {{"Error", kNoPackage, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"archive-library-missing", {{"Error", kNoPackage, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"catalogue-unreadable", {{"Error", kNoPackage, MB_OK | MB_ICONWARNING, "IDOK"}}, kStartedWin10, 0},
    {"port-list-unreadable",
     {{"Prompt", kNoUsefulPort, MB_OK, "IDOK"}},
     {"Reinstall", true, "Driver RV-640 is added", 0, IDD_INSTALL_DIALOG},
     0},
    {"windows-version-unknown", {}, kFinished, 1},
    {"printer-list-unreadable", {}, {"&Finish", true, kOneComPort, 100, IDD_INSTALL_DIALOG}, 1},
    {"serial-ports-busy", {}, {"&Finish", true, kProbeFailed, 100, IDD_INSTALL_DIALOG}, 1},
    {"tcpip-wizard-fails", {}, {"&Install", true, kWin7, 0, IDD_INSTALL_DIALOG}, 0},
    {"cleanup-refused", {}, kStartedWin10, 0, true},
    {"startup-thread-refused", {}, kFinished, 1},
};

std::filesystem::path FaultsFolder() { return std::filesystem::path(INSTALLER_SOURCE_DIR) / "faults"; }

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A .run names the profile and the script, relative to the source tree.
std::string RunField(const std::string& run, const std::string& field) {
  std::smatch match;
  const std::regex line("(^|\n)" + field + ": *([^\n]*)");
  return std::regex_search(run, match, line) ? match[2].str() : std::string();
}

sim::Profile ReadJson(const std::string& relative) {
  std::ifstream in(std::filesystem::path(INSTALLER_SOURCE_DIR) / relative);
  EXPECT_TRUE(in) << "cannot read " << relative;
  return sim::Profile::parse(in, nullptr, true, true);
}

// Profiles name the package as built in build/; this build has its own.
void UseThisBuildsPackage(sim::Profile& profile) {
  if (!profile.contains("package")) return;
  std::string package = profile["package"].get<std::string>();
  if (package.rfind("build/", 0) == 0) package = std::string(INSTALLER_BUILD_DIR) + package.substr(5);
  profile["package"] = package;
}

// A transcript line without its time stamp.
std::string Body(const std::string& line) {
  const size_t at = line.find(" ms  ");
  return at == std::string::npos ? line : line.substr(at + 5);
}

bool IsUserStep(const std::string& body) {
  return body.rfind("user: ", 0) == 0 && body.rfind("user: no answer", 0) != 0;
}

// The main window as the transcript shows it.
struct Seen {
  std::string install = "&Install";  // the template's caption, disabled
  bool enabled = false;
  std::string status;  // quoted, as in the transcript
  int progress = 0;
  int topDialog = 0;
};

// Replays the transcript up to line `end`.
Seen StateBefore(const std::vector<std::string>& bodies, size_t end) {
  Seen seen;
  std::vector<int> dialogs;
  const std::regex enabled("^Install button \"(.*)\" (enabled|disabled)$");
  const std::regex caption("^Install button: \"(.*)\"$");
  const std::regex progress("^progress: (\\d+)$");
  const std::regex opened("^dialog (\\d+) \".*\" opened$");
  const std::regex closed("^dialog (\\d+) closed: .*$");
  std::smatch match;
  for (size_t i = 0; i < end && i < bodies.size(); ++i) {
    const std::string& body = bodies[i];
    if (std::regex_match(body, match, enabled)) {
      seen.install = match[1].str();
      seen.enabled = match[2].str() == "enabled";
    } else if (std::regex_match(body, match, caption)) {
      seen.install = match[1].str();
    } else if (body.rfind("status: ", 0) == 0) {
      seen.status = body.substr(8);
    } else if (std::regex_match(body, match, progress)) {
      seen.progress = std::stoi(match[1].str());
    } else if (std::regex_match(body, match, opened)) {
      dialogs.push_back(std::stoi(match[1].str()));
    } else if (std::regex_match(body, match, closed) && !dialogs.empty()) {
      dialogs.pop_back();
    }
  }
  seen.topDialog = dialogs.empty() ? 0 : dialogs.back();
  return seen;
}

std::string BoxLine(const Box& box) {
  return "message box " + installersim::Quote(box.caption) + " [" + installersim::BoxTypeName(box.type) +
         "]: " + installersim::Quote(box.text) + " -> " + box.answer;
}

// Test names carry the case; gtest would print the bytes of the row.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, TheUserSeesTheBoxesAndTheWindowStaysUsable) {
  const FaultCase& c = GetParam();
  const std::string run = ReadText(FaultsFolder() / (std::string(c.name) + ".run"));
  sim::Profile profile = ReadJson(RunField(run, "profile"));
  UseThisBuildsPackage(profile);
  const RunResult result = RunInstaller(profile, nlohmann::json(ReadJson(RunField(run, "script"))));
  const std::string all = Joined(result.transcript);

  // The script ran to its end: every box it answers came with the text and
  // caption it expects, every state it waits for came.
  EXPECT_TRUE(result.problems.empty()) << Joined(result.problems) << all;

  std::vector<std::string> bodies;
  for (const std::string& line : result.transcript) bodies.push_back(Body(line));
  for (const std::string& body : bodies) {
    EXPECT_NE(body, "every thread waits and nothing more can happen") << all;
    EXPECT_NE(body.rfind("user: no answer", 0), 0u) << "a box or dialog the script did not expect\n" << all;
  }

  std::vector<std::string> shown;
  size_t afterLastBox = 0;
  for (size_t i = 0; i < bodies.size(); ++i) {
    if (bodies[i].rfind("message box ", 0) != 0) continue;
    shown.push_back(bodies[i]);
    afterLastBox = i + 1;
  }
  std::vector<std::string> expected;
  for (const Box& box : c.boxes) expected.push_back(BoxLine(box));
  EXPECT_EQ(shown, expected) << all;

  // The window when the user next acts after the last box; with no box, when
  // the user closes it.
  size_t next = bodies.size();
  for (size_t i = afterLastBox; i < bodies.size(); ++i) {
    if (IsUserStep(bodies[i]) && (!c.boxes.empty() || bodies[i] == "user: click the close box")) {
      next = i;
      break;
    }
  }
  const Seen seen = StateBefore(bodies, next);
  EXPECT_EQ(seen.topDialog, c.after.topDialog) << all;
  if (c.after.topDialog != 0) {
    EXPECT_EQ(seen.install, c.after.install) << all;
    EXPECT_EQ(seen.enabled, c.after.enabled) << all;
    EXPECT_EQ(seen.status, installersim::Quote(c.after.status)) << all;
    EXPECT_EQ(seen.progress, c.after.progress) << all;
  }

  // The window can be closed, by the user or by the box's answer, and the
  // unpacked package goes with it unless its removal is refused.
  ASSERT_FALSE(bodies.empty());
  if (c.after.topDialog == 0) {
    EXPECT_EQ(bodies.back(), "dialog 103 closed: IDOK") << all;
    EXPECT_EQ(std::count_if(bodies.begin() + static_cast<long>(afterLastBox), bodies.end(), IsUserStep), 0)
        << all;
  } else {
    EXPECT_EQ(bodies.back(), "dialog 103 closed: IDCANCEL") << all;
    EXPECT_EQ(bodies[bodies.size() - 2], "user: click the close box") << all;
  }
  const auto& files = result.state["files"];
  EXPECT_EQ(std::find(files.begin(), files.end(), "C:\\Ticket\\") != files.end(), c.unpackedStays)
      << result.state["files"].dump(1);
  EXPECT_EQ(result.state["spooler"]["printers"].size(), static_cast<size_t>(c.printers))
      << result.state["spooler"].dump(1);
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
  std::string name = info.param.name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(SpoolerService, FaultMatrix, ::testing::ValuesIn(kSpoolerService), CaseName);
INSTANTIATE_TEST_SUITE_P(Rights, FaultMatrix, ::testing::ValuesIn(kRights), CaseName);
INSTANTIATE_TEST_SUITE_P(DriverRegistration, FaultMatrix, ::testing::ValuesIn(kDriverRegistration), CaseName);
INSTANTIATE_TEST_SUITE_P(PrinterCreation, FaultMatrix, ::testing::ValuesIn(kPrinterCreation), CaseName);
INSTANTIATE_TEST_SUITE_P(Registry, FaultMatrix, ::testing::ValuesIn(kRegistry), CaseName);
INSTANTIATE_TEST_SUITE_P(PortDialogs, FaultMatrix, ::testing::ValuesIn(kPortDialogs), CaseName);
INSTANTIATE_TEST_SUITE_P(SerialChannel, FaultMatrix, ::testing::ValuesIn(kSerialChannel), CaseName);
INSTANTIATE_TEST_SUITE_P(InstallRefused, FaultMatrix, ::testing::ValuesIn(kInstallRefused), CaseName);
INSTANTIATE_TEST_SUITE_P(Unreported, FaultMatrix, ::testing::ValuesIn(kUnreported), CaseName);

// A case under faults/ that no row runs, or a row without its case, or a
// case docs/FAULTS.md does not list, is a gap in the matrix.
TEST(FaultMatrixTable, EveryCaseFileHasARowAndIsDocumented) {
  std::set<std::string> rows;
  for (const auto* group : {&kSpoolerService, &kRights, &kDriverRegistration, &kPrinterCreation, &kRegistry,
                            &kPortDialogs, &kSerialChannel, &kInstallRefused, &kUnreported})
    for (const FaultCase& c : *group) EXPECT_TRUE(rows.insert(c.name).second) << c.name;
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(FaultsFolder()))
    if (entry.path().extension() == ".run") files.insert(entry.path().stem().string());
  EXPECT_EQ(rows, files);
  const std::string doc = ReadText(std::filesystem::path(INSTALLER_SOURCE_DIR) / "docs" / "FAULTS.md");
  for (const std::string& name : files)
    EXPECT_NE(doc.find("faults/" + name + ".run"), std::string::npos) << name;
}

}  // namespace
