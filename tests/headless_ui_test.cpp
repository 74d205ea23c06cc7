// The headless window system: message maps, cross-thread calls, timers,
// the scripted user's keys and clicks, and the dialog template.
#include <gtest/gtest.h>

#include "host/headless/templates.h"
#include "res/resource.h"
#include "test_support.h"

using fw::headless::Ui;
using testing_support::SimulatedMachine;
using testing_support::StartThread;

namespace {

constexpr UINT kAsk = WM_USER + 1;
constexpr UINT kPosted = WM_USER + 2;

DWORD CurrentThread() { return plat::Threads().GetCurrentThreadId(); }

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_INSTALL_DIALOG) {}

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void OnInstall() { log.push_back("install"); }
  LRESULT OnAsk(WPARAM wParam, LPARAM) {
    handlerThread = CurrentThread();
    log.push_back("ask " + std::to_string(wParam));
    return static_cast<LRESULT>(wParam * 2);
  }
  LRESULT OnPosted(WPARAM, LPARAM) {
    log.push_back("posted");
    return 0;
  }
  void OnTimer(UINT_PTR id) {
    log.push_back(std::to_string(id) + "@" + std::to_string(Ui::Current()->Now()));
    if (id == 1 && ++ticksOfOne == 3) {
      EXPECT_TRUE(KillTimer(1));
      EXPECT_FALSE(KillTimer(1));
    }
  }

  std::function<void(TestDialog&)> onInit;
  std::vector<std::string> log;
  DWORD handlerThread = 0;
  int ticksOfOne = 0;

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
ON_BN_CLICKED(IDC_INSTALL, &TestDialog::OnInstall)
ON_MESSAGE(kAsk, &TestDialog::OnAsk)
ON_MESSAGE(kPosted, &TestDialog::OnPosted)
ON_WM_TIMER()
END_MESSAGE_MAP()

// A user who does one step after another, each once its condition holds
// and its time has come.
class StepUser : public fw::headless::IScriptedUser {
 public:
  struct Box {
    std::string text, caption;
    DWORD thread;
  };

  void Then(std::function<void(Ui&)> act, std::function<bool()> when = nullptr, uint64_t at = 0) {
    m_steps.push_back(Step{std::move(act), std::move(when), at});
  }

  bool Act(Ui& ui) override {
    if (m_next >= m_steps.size()) return false;
    const Step& step = m_steps[m_next];
    if (ui.Now() < step.at || (step.when && !step.when())) {
      // Looked many times with nothing changing: the loop spins; close it
      // so the test ends.
      if (++m_idleLooks > 10000) {
        spun = true;
        ui.PressCloseBox();
        return true;
      }
      return false;
    }
    m_idleLooks = 0;
    ++m_next;
    step.act(ui);
    return true;
  }
  int AnswerMessageBox(Ui&, const std::string& text, const std::string& caption, UINT) override {
    boxes.push_back(Box{text, caption, CurrentThread()});
    return answer;
  }
  uint64_t NextDeadline() override {
    return m_next < m_steps.size() && m_steps[m_next].at ? m_steps[m_next].at : UINT64_MAX;
  }
  void OnHang(Ui& ui) override { ui.PressCloseBox(); }

  int answer = IDOK;
  std::vector<Box> boxes;
  bool spun = false;

 private:
  struct Step {
    std::function<void(Ui&)> act;
    std::function<bool()> when;
    uint64_t at;
  };
  std::vector<Step> m_steps;
  size_t m_next = 0;
  int m_idleLooks = 0;
};

TEST(HeadlessUi, SendsAndMessageBoxesFromAnotherThreadAreHandledOnTheDialogThread) {
  SimulatedMachine sim;
  StepUser user;
  user.answer = IDCANCEL;
  sim.ui.SetUser(&user);
  TestDialog dialog;
  const DWORD dialogThread = CurrentThread();

  DWORD workerThread = 0;
  LRESULT sent = 0;
  int answer = 0;
  bool workerDone = false;
  std::function<DWORD()> worker = [&]() -> DWORD {
    workerThread = CurrentThread();
    sent = dialog.SendMessage(kAsk, 21);
    answer = plat::User().MessageBoxA(nullptr, "Retry the copy?", "Copy failed", MB_RETRYCANCEL);
    workerDone = true;
    return 0;
  };
  HANDLE thread = nullptr;
  dialog.onInit = [&](TestDialog&) { thread = StartThread(&worker); };
  user.Then([](Ui& ui) { ui.PressEsc(); }, [&]() { return workerDone; });

  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_NE(workerThread, dialogThread);
  EXPECT_EQ(dialog.handlerThread, dialogThread);
  EXPECT_EQ(sent, 42);
  ASSERT_EQ(user.boxes.size(), 1u);
  EXPECT_EQ(user.boxes[0].text, "Retry the copy?");
  EXPECT_EQ(user.boxes[0].caption, "Copy failed");
  EXPECT_EQ(user.boxes[0].thread, dialogThread);
  EXPECT_EQ(answer, IDCANCEL);
  plat::Threads().WaitForSingleObject(thread, INFINITE);
  plat::Threads().CloseHandle(thread);
}

TEST(HeadlessUi, TimersTickOnTheVirtualClockUntilKilled) {
  SimulatedMachine sim;
  StepUser user;
  sim.ui.SetUser(&user);
  TestDialog dialog;
  dialog.onInit = [](TestDialog& self) {
    self.SetTimer(1, 700);
    self.SetTimer(2, 1000);
  };
  user.Then([](Ui& ui) { ui.PressCloseBox(); }, nullptr, 4500);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  // Timer 1 stops after its third tick; timer 2 goes on.
  const std::vector<std::string> expected = {"1@700",  "2@1000", "1@1400", "2@2000",
                                             "1@2100", "2@3000", "2@4000"};
  EXPECT_EQ(dialog.log, expected);
}

TEST(HeadlessUi, KeysAndClicksFollowTheDialogsButtons) {
  SimulatedMachine sim;
  {
    StepUser user;
    sim.ui.SetUser(&user);
    TestDialog dialog;
    // Install (1012) starts disabled: neither a click nor Enter reaches it.
    user.Then([](Ui& ui) { ui.Click(IDC_INSTALL); });
    user.Then([](Ui& ui) { ui.PressEnter(); });
    user.Then([&](Ui&) { dialog.GetDlgItem(IDC_INSTALL)->EnableWindow(TRUE); });
    // Enter presses the default push button, Install, not IDOK: the
    // dialog stays open until Esc.
    user.Then([](Ui& ui) { ui.Click(IDC_INSTALL); });
    user.Then([](Ui& ui) { ui.PressEnter(); });
    user.Then([](Ui& ui) { ui.PressEsc(); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.log, std::vector<std::string>({"install", "install"}));
  }
  {
    StepUser user;
    sim.ui.SetUser(&user);
    TestDialog dialog;
    user.Then([](Ui& ui) { ui.PressCloseBox(); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.log.empty());
  }
}

TEST(HeadlessUi, WaitForThreadPumpingHandlesSendsButNotPostedMessages) {
  SimulatedMachine sim;
  StepUser user;
  sim.ui.SetUser(&user);
  TestDialog dialog;
  plat::IThreads& threads = plat::Threads();

  std::function<DWORD()> sender = [&]() -> DWORD {
    dialog.PostMessage(kPosted);
    const LRESULT result = dialog.SendMessage(kAsk, 4);
    dialog.log.push_back("worker got " + std::to_string(result));
    return 0;
  };
  std::function<DWORD()> sleeper = [&]() -> DWORD {
    threads.Sleep(1000);
    return 0;
  };
  user.Then([&](Ui&) {
    HANDLE thread = StartThread(&sender);
    EXPECT_TRUE(WaitForThreadPumping(thread, INFINITE));
    dialog.log.push_back("pump returned");
    threads.CloseHandle(thread);
  });
  DWORD timedOutAfter = 0, endedAfter = 0;
  user.Then(
      [&](Ui& ui) {
        const DWORD start = threads.GetTickCount();
        HANDLE thread = StartThread(&sleeper);
        EXPECT_FALSE(WaitForThreadPumping(thread, 300));
        timedOutAfter = threads.GetTickCount() - start;
        EXPECT_TRUE(WaitForThreadPumping(thread, INFINITE));
        endedAfter = threads.GetTickCount() - start;
        threads.CloseHandle(thread);
        ui.PressEsc();
      },
      [&]() { return dialog.log.size() == 4; });

  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  // The posted message waits for the message loop.
  EXPECT_EQ(dialog.log, std::vector<std::string>({"ask 4", "worker got 8", "pump returned", "posted"}));
  EXPECT_EQ(timedOutAfter, 300u);
  EXPECT_EQ(endedAfter, 1000u);
}

// Guards the modal loop (Ui::RunModal) once the user's NextDeadline has
// passed while the user still waits for something else (here Install,
// which a worker enables at 2000 ms): the loop must hand the baton on
// rather than spin, so other threads still run. A script step like
// {"wait": {"after_ms": 1000, "enabled": "install"}} with a start-up
// longer than a second depends on it.
TEST(HeadlessUi, AUserDeadlineThatHasPassedStillLetsOtherThreadsRun) {
  SimulatedMachine sim;
  StepUser user;
  sim.ui.SetUser(&user);
  TestDialog dialog;
  std::function<DWORD()> worker = [&]() -> DWORD {
    plat::Threads().Sleep(2000);
    // The window may be gone already when the loop spun.
    if (CWnd* install = dialog.GetDlgItem(IDC_INSTALL)) install->EnableWindow(TRUE);
    return 0;
  };
  HANDLE thread = nullptr;
  dialog.onInit = [&](TestDialog&) { thread = StartThread(&worker); };
  uint64_t closedAt = 0;
  user.Then(
      [&](Ui& ui) {
        closedAt = ui.Now();
        ui.PressCloseBox();
      },
      [&]() { return sim.ui.Control(IDC_INSTALL)->enabled; }, 500);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_FALSE(user.spun);
  EXPECT_EQ(closedAt, 2000u);
  plat::Threads().WaitForSingleObject(thread, INFINITE);
  plat::Threads().CloseHandle(thread);
}

// The rows of template 103 are the one source of both builds' main window:
// a slip there changes what the real dialog shows too.
TEST(HeadlessUi, InstallDialogTemplateMatchesItsRows) {
  struct Row {
    int id;
    const char* windowClass;
    const char* text;
    int x, y, width, height;
  };
  const Row kRows[] = {
      {1009, "Static", "Driver Name:", 7, 9, 49, 8},
      {1000, "ComboBox", "", 58, 6, 105, 68},
      {1010, "Static", "Printer Name:", 169, 9, 53, 8},
      {1001, "Edit", "", 223, 6, 102, 14},
      {1002, "Button", "Set Default Printer", 7, 22, 92, 10},
      {1008, "Button", "Specify Port", 7, 37, 329, 133},
      {1003, "Static",
       "Specify the port that you are using.\r\nThe program will help you to configure the printer port "
       "during "
       "installation.",
       26, 51, 310, 20},
      {1004, "SysListView32", "", 10, 71, 320, 97},
      {1007, "msctls_progress32", "", 7, 174, 329, 14},
      {1011, "Static", "Driver install Program", 7, 209, 301, 8},
      {1012, "Button", "&Install", 217, 192, 50, 14},
      {2, "Button", "&Cancel", 284, 192, 50, 14},
  };
  const fw::headless::DialogTemplate* dialogTemplate = fw::headless::FindDialogTemplate(103);
  ASSERT_NE(dialogTemplate, nullptr);
  EXPECT_EQ(dialogTemplate->caption, "Configure & Install v1.0");
  EXPECT_EQ(
      std::vector<int>({dialogTemplate->x, dialogTemplate->y, dialogTemplate->width, dialogTemplate->height}),
      std::vector<int>({0, 0, 343, 222}));
  ASSERT_EQ(dialogTemplate->controls.size(), std::size(kRows));
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const Row& row = kRows[i];
    const fw::headless::ControlTemplate& control = dialogTemplate->controls[i];
    EXPECT_EQ(control.id, row.id) << "row " << i;
    EXPECT_EQ(control.windowClass, row.windowClass) << "control " << row.id;
    EXPECT_EQ(control.text, row.text) << "control " << row.id;
    EXPECT_EQ(std::vector<int>({control.x, control.y, control.width, control.height}),
              std::vector<int>({row.x, row.y, row.width, row.height}))
        << "control " << row.id;
  }
}

}  // namespace
