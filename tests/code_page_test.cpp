// Text in the machine's ANSI code page: a catalogue written in it, a printer
// name typed by the user and the spooler's port descriptions reach the
// driver list, the spooler and the registry as the same characters, so the
// model installed is the one picked.
#include <gtest/gtest.h>

#include "app/InstallDlg.h"
#include "package/ModelTables.h"
#include "host/sim/code_page.h"
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
using testing_support::WithReadyDialog;

namespace {

using Names = std::vector<std::string>;

const char kPrintersKey[] =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const char kWindowsKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

TEST(CodePage, EachCodePagesBytesDecodeAndEncodeBackAsWindowsMapsThem) {
  struct Case {
    UINT codePage;
    std::string bytes;
    std::string utf8;
  };
  for (const Case& c :
       std::vector<Case>{{1252,
                          "K\xFC"
                          "che \x80",
                          "Küche €"},
                         // Undefined in 1252: the C1 controls of the same value.
                         {1252, "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D"},
                         {1250,
                          "\xA3\xF3"
                          "d\x9F",
                          "Łódź"},
                         {936, "\xB1\xEA\xD7\xBC TCP/IP \xB6\xCB\xBF\xDA", "标准 TCP/IP 端口"}}) {
    EXPECT_EQ(sim::AnsiToUtf8(c.bytes, c.codePage), c.utf8) << c.codePage;
    std::string back;
    ASSERT_TRUE(sim::Utf8ToAnsi(c.utf8, c.codePage, &back)) << c.utf8;
    EXPECT_EQ(back, c.bytes);
  }
  // No best fit: a character the code page lacks is refused, not replaced.
  std::string ansi;
  EXPECT_FALSE(sim::Utf8ToAnsi("端口", 1252, &ansi));
  EXPECT_FALSE(sim::Utf8ToAnsi("Łódź", 1252, &ansi));
  EXPECT_FALSE(sim::Utf8ToAnsi("ő", 936, &ansi));
}

nlohmann::json MachineWithCatalogue(UINT codePage, const std::string& bytes) {
  nlohmann::json profile;
  profile["windows"]["code_page"] = codePage;
  profile["files"] = {{"C:\\DriverName.cfg", {{"content", bytes}}}};
  return profile;
}

TEST(CodePage, TheListShowsTheCataloguesNamesAndEachMapsToItsOwnSection) {
  struct Case {
    UINT codePage;
    std::string secondName;  // bytes in the code page
    std::string shown;
  };
  for (const Case& c : std::vector<Case>{{1252,
                                          "K\xFC"
                                          "che 80",
                                          "Küche 80"},
                                         {1250,
                                          "\xA3\xF3"
                                          "d\x9F 58",
                                          "Łódź 58"},
                                         {936, "\xB3\xF8\xB7\xBF 80", "厨房 80"}}) {
    // The non-ASCII name is the second of its section and third in the list:
    // a name that failed to match would fall back to position 2.
    const std::string catalogue =
        "[A]\nPrintName1=RV-580\n[B]\nPrintName1=RV-640\nPrintName2=" + c.secondName + "\n";
    Names items;
    std::vector<int> indexes;
    WithReadyDialog(MachineWithCatalogue(c.codePage, catalogue),
                    [&](CInstallDlg& dialog, fw::headless::Ui& ui) {
                      for (const std::string& item : ui.Control(IDC_DRIVER_COMBO)->items)
                        items.push_back(item);
                      for (int item = 0; item < dialog.m_cboDriver.GetCount(); ++item) {
                        dialog.m_cboDriver.SetCurSel(item);
                        dialog.FindDriverIndex();
                        indexes.push_back(dialog.m_nDriverIndex);
                      }
                    });
    EXPECT_EQ(items, (Names{"RV-580", "RV-640", c.shown})) << c.codePage;
    EXPECT_EQ(indexes, (std::vector<int>{0, 1, 1})) << c.codePage;
  }
}

const nlohmann::json* Printer(const RunResult& run, const std::string& name) {
  for (const nlohmann::json& entry : run.state["spooler"]["printers"])
    if (entry.value("name", "") == name) return &entry;
  return nullptr;
}

std::string Value(const RunResult& run, const std::string& key, const std::string& name) {
  const nlohmann::json& registry = run.state["registry"];
  if (!registry.contains(key) || !registry[key].contains(name)) return "(none)";
  return registry[key][name].get<std::string>();
}

// Picks `listName`, types `printerName`, chooses port-type row `portRow`,
// presses Install and does `steps`, then waits for &Finish.
RunResult InstallNamed(const nlohmann::json& profile, const std::string& listName,
                       const std::string& printerName, int portRow,
                       const nlohmann::json& steps = nlohmann::json::array()) {
  nlohmann::json script = ChooseDriverSteps(listName);
  script.push_back({{"type", {{"control", "printer-name"}, {"text", printerName}}}});
  script.push_back(PortTypeStep(portRow));
  script.push_back({{"click", "install"}});
  script = Then(script, steps);
  script.push_back({{"wait", {{"text", {{"control", "install"}, {"equals", "&Finish"}}}}}});
  return RunInstaller(profile, script);
}

TEST(CodePage, ATypedNameWithUmlautNamesThePrinterItsPortRecordsAndTheDefault) {
  // Code page 1252: model 4 has a second name, "Küche 80", in 1252 bytes.
  nlohmann::json profile = UnpackedPackageProfile();
  profile["windows"]["code_page"] = 1252;
  profile["files"]["C:\\DriverName.cfg"]["content"] = SampleCatalogue(4,
                                                                      "PrintName2=K\xFC"
                                                                      "che 80\n");
  const RunResult run = InstallNamed(profile, "Küche 80", "Drucker Büro", 1);
  const nlohmann::json* printer = Printer(run, "Drucker Büro");
  ASSERT_NE(printer, nullptr) << Joined(run.transcript);
  // The model of the section the name is in, not of its place in the list.
  EXPECT_EQ((*printer)["driver"], kReceiptModels[4].driverName);
  EXPECT_EQ((*printer)["port"], "USB001");
  EXPECT_EQ(Value(run, std::string(kPrintersKey) + "Drucker Büro", "Port"), "USB001");
  EXPECT_EQ(Value(run, std::string(kPrintersKey) + "Drucker Büro\\DsSpooler", "portName"), "USB001");
  EXPECT_EQ(Value(run, kWindowsKey, "Device"), "Drucker Büro,winspool,USB001");
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
}

TEST(CodePage, OnASimplifiedChineseWindowsTheChineseTcpipPortIsListedAndChosen) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["windows"]["code_page"] = 936;
  profile["files"]["C:\\DriverName.cfg"]["content"] = SampleCatalogue(4, "PrintName2=\xB3\xF8\xB7\xBF 80\n");
  profile["spooler"]["ports"] = {
      {{"name", "LPT1:"}},
      {{"name", "IP_10.0.0.9"}, {"monitor", "Standard TCP/IP Port"}, {"description", "标准 TCP/IP 端口"}}};
  const RunResult run = InstallNamed(profile, "厨房 80", "厨房打印机", 3,
                                     R"([{"wait": {"dialog": 129}}, {"click": 1037}])"_json);
  EXPECT_GE(FindLine(run.transcript, "control 1004: selected row 0 \"IP_10.0.0.9\""), 0)
      << Joined(run.transcript);
  const nlohmann::json* printer = Printer(run, "厨房打印机");
  ASSERT_NE(printer, nullptr) << Joined(run.transcript);
  EXPECT_EQ((*printer)["driver"], kReceiptModels[4].driverName);
  EXPECT_EQ((*printer)["port"], "IP_10.0.0.9");
  EXPECT_EQ(Value(run, kWindowsKey, "Device"), "厨房打印机,winspool,IP_10.0.0.9");
}

TEST(CodePage, AChinesePortNameGoesBackToTheSpoolerUnchangedWhenDeleted) {
  nlohmann::json profile = UnpackedPackageProfile();
  profile["windows"]["code_page"] = 936;
  profile["spooler"]["ports"] = {
      {{"name", "LPT1:"}},
      {{"name", "厨房_IP"}, {"monitor", "Standard TCP/IP Port"}, {"description", "标准 TCP/IP 端口"}},
      {{"name", "IP_10.0.0.9"}, {"monitor", "Standard TCP/IP Port"}, {"description", "标准 TCP/IP 端口"}}};
  const RunResult run = RunInstaller(profile, nlohmann::json::parse(R"([{"wait": {"enabled": "install"}},
      {"select_row": {"control": "port-type", "row": 3}}, {"click": "install"}, {"wait": {"dialog": 129}},
      {"click": 1032}, {"click": 1039}, {"wait": {"enabled": "install"}}])"));
  std::vector<std::string> ports;
  for (const nlohmann::json& port : run.state["spooler"]["ports"]) ports.push_back(port.value("name", ""));
  EXPECT_EQ(ports, (Names{"LPT1:", "IP_10.0.0.9"})) << Joined(run.transcript);
  EXPECT_TRUE(run.problems.empty()) << Joined(run.problems);
}

TEST(CodePage, APackageFolderTheCodePageCannotNameIsReportedAndTheZhPackageUnpacks) {
  const std::string chinesePackage = std::string(INSTALLER_BUILD_DIR) + "/sample-zh/DriverData.Drv";
  nlohmann::json profile;
  profile["windows"]["code_page"] = 936;
  profile["current_directory"] = "C:\\用户\\桌面";
  profile["package"] = chinesePackage;
  const RunResult unpacked =
      RunInstaller(profile, nlohmann::json::parse(R"([{"wait": {"enabled": "install"}}, {"close": true}])"));
  EXPECT_GE(FindLine(unpacked.transcript, "driver list: added \"厨房打印机 80\""), 0)
      << Joined(unpacked.transcript);
  EXPECT_GE(FindLine(unpacked.transcript, "driver list: added \"LB-400 标签\""), 0);

  // The same folder on a Windows of code page 1252: the archive library
  // could not be given the path.
  profile["windows"]["code_page"] = 1252;
  const RunResult refused = RunInstaller(profile, nlohmann::json::parse(R"([
      {"answer": "IDOK", "caption": "Configure & Install v1.0",
       "text": "The driver package could not be unpacked: the path \"C:\\用户\\桌面\\DriverData.Drv\" has characters this Windows' code page cannot express.\r\n\r\nPut DriverData.Drv in a folder whose path has none of them and run the installer again."},
      {"wait": {"enabled": "install"}}, {"close": true}])"));
  EXPECT_TRUE(refused.problems.empty()) << Joined(refused.problems) << Joined(refused.transcript);
  EXPECT_EQ(FindLine(refused.transcript, "driver list: added"), -1);
}

}  // namespace
