#include "test_support.h"

namespace testing_support {

namespace {
DWORD WINAPI RunBody(LPVOID param) { return (*static_cast<std::function<DWORD()>*>(param))(); }
}  // namespace

HANDLE StartThread(std::function<DWORD()>* body) {
  return plat::Threads().CreateThread(&RunBody, body, nullptr);
}

nlohmann::json WindowsProfile(int platformId, int major, int minor, bool wow64) {
  nlohmann::json profile;
  profile["name"] = "test machine";
  profile["windows"] = {{"platform_id", platformId}, {"major", major}, {"minor", minor}, {"wow64", wow64}};
  return profile;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
  return -1;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace testing_support

#include "app/InstallDlg.h"

namespace testing_support {

namespace {

class InspectingUser : public fw::headless::IScriptedUser, public fw::headless::IObserver {
 public:
  explicit InspectingUser(const std::function<void(CInstallDlg&, fw::headless::Ui&)>& inspect)
      : m_inspect(inspect) {}
  bool Act(fw::headless::Ui& ui) override {
    fw::headless::Window* install = ui.Control(IDC_INSTALL);
    if (m_done || !install || !install->enabled) return false;
    m_done = true;
    m_inspect(*dynamic_cast<CInstallDlg*>(ui.TopDialog()->object), ui);
    ui.PressCloseBox();
    return true;
  }
  int AnswerMessageBox(fw::headless::Ui&, const std::string&, const std::string&, UINT) override {
    return IDOK;
  }
  void OnHang(fw::headless::Ui& ui) override { ui.PressCloseBox(); }
  void OnEvent(const fw::headless::Event& event) override {
    if (event.kind == fw::headless::Event::Kind::MessageBox)
      boxes.push_back(event.caption + ": " + event.text);
  }
  std::vector<std::string> boxes;

 private:
  std::function<void(CInstallDlg&, fw::headless::Ui&)> m_inspect;
  bool m_done = false;
};

}  // namespace

std::vector<std::string> WithReadyDialog(const nlohmann::json& profile,
                                         const std::function<void(CInstallDlg&, fw::headless::Ui&)>& inspect,
                                         nlohmann::json* finalState) {
  SimulatedMachine sim(profile);
  InspectingUser user(inspect);
  sim.ui.SetUser(&user);
  sim.ui.AddObserver(&user);
  {
    CInstallDlg dialog;
    dialog.DoModal();
  }
  if (finalState) *finalState = sim.machine.StateJson();
  return user.boxes;
}

}  // namespace testing_support

#include "package/ModelTables.h"

namespace testing_support {

std::string SampleCatalogue(int model, const std::string& extra) {
  std::string text;
  for (int row = 0; row < kCatalogueSectionCount; ++row) {
    const bool receipt = row < kReceiptModelCount;
    text += "[Model" + std::to_string(row) + "]\nPrintName1=";
    text += receipt ? kReceiptModels[row].driverName : kLabelModels[row - kReceiptModelCount].driverName;
    text += "\n";
    if (row == model) text += extra;
  }
  return text;
}

nlohmann::json UnpackedPackageProfile(int major, bool wow64) {
  nlohmann::json profile = WindowsProfile(2, major, major == 10 ? 0 : 1, wow64);
  nlohmann::json files = nlohmann::json::object();
  auto add = [&files](const std::string& path) { files[path] = {{"content", "placeholder"}}; };
  for (const char* folder : {"C:\\Ticket\\x86\\", "C:\\Ticket\\x64\\"}) {
    for (const ReceiptModel& model : kReceiptModels) add(folder + std::string(model.gpdBaseName) + ".GPD");
    for (const char* resource : {kDefaultResourceName, kAlternateResourceName, kGroup3ResourceName})
      add(folder + std::string(resource) + ".DLL");
    add(folder + std::string(kOemPluginBaseName) + ".dll");
    add(folder + std::string(kOemPluginBaseName) + ".ini");
    for (const char* file : kUnidrvFiles) add(folder + std::string(file));
  }
  for (bool x64 : {false, true}) {
    for (int position = 0; position < kLabelFamilySize; ++position) {
      char name[16];
      LabelFamilyFileName(x64, position, name, sizeof name);
      add(std::string(x64 ? "C:\\Barcode\\x64\\" : "C:\\Barcode\\x86\\") + name);
    }
  }
  add(std::string("C:\\Barcode\\Common\\") + kLabelHelpFile);
  for (const LabelModel& model : kLabelModels)
    for (const char* extension : kLabelDataExtensions)
      add("C:\\Barcode\\Common\\" + std::string(model.dataBaseName) + extension);
  files["C:\\DriverName.cfg"] = {{"content", SampleCatalogue()}};
  profile["files"] = files;
  profile["registry"] = {
      {"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
       {{"Device", "Old printer,winspool,LPT1:"}}},
      {"HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM", {{"\\Device\\Serial0", "COM1"}}}};
  profile["spooler"] = {{"ports",
                         {{{"name", "COM1:"}},
                          {{"name", "LPT1:"}},
                          {{"name", "FILE:"}},
                          {{"name", "USB001"}, {"description", "Virtual printer port for USB"}},
                          {{"name", "IP_10.0.0.9"}, {"description", "Standard TCP/IP Port"}}}},
                        // A receipt printer is plugged into USB001.
                        {"online_ports", {"USB001"}}};
  return profile;
}

nlohmann::json ChooseDriverSteps(const std::string& driver) {
  return nlohmann::json::array(
      {{{"wait", {{"enabled", "install"}}}}, {{"select", {{"control", "driver"}, {"text", driver}}}}});
}

nlohmann::json PortTypeStep(int row) { return {{"select_row", {{"control", "port-type"}, {"row", row}}}}; }

nlohmann::json Then(nlohmann::json steps, const nlohmann::json& more) {
  for (const nlohmann::json& step : more) steps.push_back(step);
  return steps;
}

}  // namespace testing_support
