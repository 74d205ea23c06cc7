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
