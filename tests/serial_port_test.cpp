// The serial channel against the simulated COM devices: opening and its
// failures, the line settings, replies reported byte by byte, the purge
// before a send, closing while the monitor thread waits on the closing
// thread, and the error box.
#include <gtest/gtest.h>

#include <cstdio>

#include "host/sim/comm.h"
#include "host/sim/threads.h"
#include "res/resource.h"
#include "serial/SerialPort.h"
#include "test_support.h"

using fw::headless::Ui;
using testing_support::SimulatedMachine;

namespace {

const char kStatusRequest[] = "\x10\x04\x01";
constexpr DWORD kProbeMask = EV_RXCHAR | EV_RXFLAG;

nlohmann::json ComProfile(const std::string& reply = "12 34") {
  nlohmann::json profile;
  profile["name"] = "serial test machine";
  profile["com_ports"] = {
      {"COM1", {{"device", "silent"}}},
      {"COM2", {{"device", "in_use"}}},
      {"COM3", {{"device", "printer"}, {"baud", 9600}, {"reply", reply}, {"reply_delay_ms", 20}}},
      {"COM4", {{"device", "unconfigurable"}}},
      {"COM12", {{"device", "silent"}}},
  };
  return profile;
}

uint64_t Now() { return Ui::Current()->Now(); }

// The owner window: every notification as "7:BYTE@PORT" or "8@PORT".
class OwnerDialog : public CDialog {
 public:
  OwnerDialog() : CDialog(IDD_INSTALL_DIALOG) {}
  LRESULT OnByte(WPARAM wParam, LPARAM lParam) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "7:%02X@%d", static_cast<unsigned>(wParam), static_cast<int>(lParam));
    log.push_back(entry);
    times.push_back(Now());
    if (onByte) onByte();
    return 0;
  }
  LRESULT OnEventChar(WPARAM, LPARAM lParam) {
    log.push_back("8@" + std::to_string(lParam));
    return 0;
  }
  std::vector<std::string> log;
  std::vector<uint64_t> times;
  std::function<void()> onByte;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OwnerDialog, CDialog)
ON_MESSAGE(WM_SERIAL_BYTE, &OwnerDialog::OnByte)
ON_MESSAGE(WM_SERIAL_EVENT_CHAR, &OwnerDialog::OnEventChar)
END_MESSAGE_MAP()

struct Box {
  std::string caption, text;
  UINT type;
};

// A user who does each step once the clock reaches its time and its
// condition holds, answers boxes with OK and closes the window at the end.
class Steps : public fw::headless::IScriptedUser {
 public:
  void At(uint64_t at, std::function<void()> act, std::function<bool()> when = nullptr) {
    m_steps.push_back(Step{at, std::move(act), std::move(when)});
  }
  bool Act(Ui& ui) override {
    if (m_next == m_steps.size()) {
      if (m_closed) return false;
      m_closed = true;
      ui.PressCloseBox();
      return true;
    }
    const Step& step = m_steps[m_next];
    if (ui.Now() < step.at || (step.when && !step.when())) return false;
    ++m_next;
    step.act();
    return true;
  }
  int AnswerMessageBox(Ui&, const std::string& text, const std::string& caption, UINT type) override {
    boxes.push_back(Box{caption, text, type});
    return IDOK;
  }
  uint64_t NextDeadline() override { return m_next < m_steps.size() ? m_steps[m_next].at : UINT64_MAX; }
  void OnHang(Ui& ui) override {
    hung = true;
    ui.PressCloseBox();
  }
  std::vector<Box> boxes;
  bool hung = false;

 private:
  struct Step {
    uint64_t at;
    std::function<void()> act;
    std::function<bool()> when;
  };
  std::vector<Step> m_steps;
  size_t m_next = 0;
  bool m_closed = false;
};

struct Probe {
  int port = 3;
  UINT baud = 9600;
  DWORD mask = kProbeMask;
  std::vector<uint64_t> sendsAt = {0};
  bool sendBeforeMonitor = false;
  std::function<void(CSerialPort&)> at100;  // another thread's call on the port
};

struct ProbeResult {
  std::vector<std::string> log;
  std::vector<uint64_t> times;
  std::vector<Box> boxes;
  nlohmann::json port;  // the device's state afterwards
};

// Opens the port as the installer's probing does, sends the status request
// at the given times and closes 700 ms after the last one.
ProbeResult RunProbe(SimulatedMachine& sim, const Probe& probe) {
  Steps steps;
  OwnerDialog owner;
  CSerialPort serial;
  steps.At(0, [&]() {
    ASSERT_TRUE(serial.OpenPort(&owner, probe.port, probe.baud, 'N', 8, 1, probe.mask, 512));
    if (probe.sendBeforeMonitor) serial.SendBytes(kStatusRequest, 3);
    ASSERT_TRUE(serial.StartMonitor());
  });
  for (uint64_t at : probe.sendsAt)
    if (!probe.sendBeforeMonitor) steps.At(at, [&]() { serial.SendBytes(kStatusRequest, 3); });
  if (probe.at100) steps.At(100, [&]() { probe.at100(serial); });
  steps.At((probe.sendsAt.empty() ? 100 : probe.sendsAt.back()) + 700, [&]() { serial.ClosePort(); });
  sim.ui.SetUser(&steps);
  owner.DoModal();
  EXPECT_FALSE(steps.hung);
  EXPECT_EQ(serial.m_hPort, nullptr);
  ProbeResult result{owner.log, owner.times, steps.boxes, nlohmann::json()};
  result.port = sim.machine.StateJson()["com_ports"]["COM" + std::to_string(probe.port)];
  return result;
}

int CallCount(SimulatedMachine& sim, const char* call) {
  std::lock_guard<std::mutex> lock(sim.machine.Mutex());
  return sim.machine.Faults().CallCount(call);
}

class BoxCounter : public fw::headless::IObserver {
 public:
  void OnEvent(const fw::headless::Event& event) override {
    if (event.kind == fw::headless::Event::Kind::MessageBox) ++boxes;
  }
  int boxes = 0;
};

TEST(SerialPortOpen, FailsQuietlyOnAMissingABusyOrAnUnconfigurablePort) {
  SimulatedMachine sim(ComProfile());
  BoxCounter counter;
  sim.ui.AddObserver(&counter);
  const int handles = sim.machine.Threads().OpenHandleCount();
  CSerialPort serial;

  EXPECT_FALSE(serial.OpenPort(nullptr, 9, 9600, 'N', 8, 1, kProbeMask, 512));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(serial.m_hPort, INVALID_HANDLE_VALUE);
  serial.ClosePort();
  EXPECT_EQ(serial.m_hPort, nullptr);

  EXPECT_FALSE(serial.OpenPort(nullptr, 2, 9600, 'N', 8, 1, kProbeMask, 512));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  serial.ClosePort();

  // The port opened but refused its settings: the handle stays until the
  // next close.
  EXPECT_FALSE(serial.OpenPort(nullptr, 4, 9600, 'N', 8, 1, kProbeMask, 512));
  EXPECT_EQ(plat::System().GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_NE(serial.m_hPort, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(sim.machine.StateJson()["com_ports"]["COM4"]["open"].get<bool>());
  serial.ClosePort();
  EXPECT_EQ(serial.m_hPort, nullptr);
  EXPECT_FALSE(sim.machine.StateJson()["com_ports"]["COM4"]["open"].get<bool>());

  EXPECT_EQ(counter.boxes, 0);
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), handles);
  EXPECT_EQ(sim.machine.Comm().OpenHandleCount(), 0);
}

TEST(SerialPortOpen, GivesTheDeviceTheSettingsTextAndTheEventCharacter) {
  SimulatedMachine sim(ComProfile());
  CSerialPort serial;
  ASSERT_TRUE(serial.OpenPort(nullptr, 12, 19200, 'E', 7, 2, EV_RXCHAR, 64));
  DCB dcb = {};
  ASSERT_TRUE(plat::Comm().GetCommState(serial.m_hPort, &dcb));
  EXPECT_EQ(dcb.EvtChar, 'q');
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  serial.ClosePort();
  const nlohmann::json expected = {{"device", "silent"},
                                   {"open", false},
                                   {"baud", 19200},
                                   {"parity", "E"},
                                   {"data", 7},
                                   {"stop", 2.0},
                                   {"written", nlohmann::json::array()}};
  EXPECT_EQ(sim.machine.StateJson()["com_ports"]["COM12"], expected);
}

TEST(SerialPortMonitor, ReportsEachReplyByteOnlyWhenThePrinterRunsAtTheLinesRate) {
  {
    SimulatedMachine sim(ComProfile());
    const ProbeResult result = RunProbe(sim, Probe());
    EXPECT_EQ(result.log, std::vector<std::string>({"7:12@3", "7:34@3", "8@3"}));
    ASSERT_FALSE(result.times.empty());
    EXPECT_GE(result.times[0], 20u);
    EXPECT_LT(result.times[0], 700u);
    EXPECT_EQ(result.port["written"], nlohmann::json({"10 04 01"}));
  }
  {
    SimulatedMachine sim(ComProfile());
    Probe probe;
    probe.baud = 4800;
    const ProbeResult result = RunProbe(sim, probe);
    EXPECT_TRUE(result.log.empty());
    EXPECT_EQ(result.port["written"], nlohmann::json({"10 04 01"}));
    EXPECT_EQ(result.port["baud"], 4800);
  }
}

TEST(SerialPortMonitor, SendsPerWakeUpOneByteMessagePerQueuedByteThenTheEventCharMessage) {
  {
    // Two requests, two wake-ups; the 'q' in the reply changes nothing.
    SimulatedMachine sim(ComProfile("12 71 34"));
    Probe probe;
    probe.sendsAt = {0, 300};
    EXPECT_EQ(RunProbe(sim, probe).log, std::vector<std::string>({"7:12@3", "7:71@3", "7:34@3", "8@3",
                                                                  "7:12@3", "7:71@3", "7:34@3", "8@3"}));
  }
  {
    // Without EV_RXFLAG in the mask, no WM_USER+8.
    SimulatedMachine sim(ComProfile("12 71 34"));
    Probe probe;
    probe.mask = EV_RXCHAR;
    EXPECT_EQ(RunProbe(sim, probe).log, std::vector<std::string>({"7:12@3", "7:71@3", "7:34@3"}));
  }
  {
    // A wake-up with nothing to read (a new mask ends the wait) sends only
    // the message of the other bit.
    SimulatedMachine sim(ComProfile());
    Probe probe;
    probe.port = 1;
    probe.sendsAt.clear();
    probe.at100 = [](CSerialPort& serial) { plat::Comm().SetCommMask(serial.m_hPort, kProbeMask); };
    EXPECT_EQ(RunProbe(sim, probe).log, std::vector<std::string>({"8@1"}));
  }
}

TEST(SerialPortMonitor, SleepsUntilTheFirstWaitEndsWhenARefusedSecondWaitSignalsItsEvent) {
  // As on Wine: the wait issued after the write is refused, the first is
  // still out, and the refusal signals the I/O event. A monitor that took
  // that for a wake-up would spin, one event-char message per turn; closing
  // must also end the wait still out before the port goes.
  nlohmann::json profile = ComProfile();
  for (const char* port : {"COM1", "COM3"}) profile["com_ports"][port]["refused_wait_signals"] = true;
  for (int port : {1, 3}) {
    SCOPED_TRACE(port);
    SimulatedMachine sim(profile);
    Probe probe;
    probe.port = port;
    const ProbeResult result = RunProbe(sim, probe);
    EXPECT_EQ(result.log,
              port == 3 ? std::vector<std::string>({"7:12@3", "7:34@3", "8@3"}) : std::vector<std::string>());
    EXPECT_EQ(result.port["written"], nlohmann::json({"10 04 01"}));
    EXPECT_FALSE(result.port.contains("waits_cut_by_close")) << result.port.dump();
  }
}

TEST(SerialPortMonitor, WritesBytesSentBeforeTheMonitorStartedWhenItFirstWaits) {
  SimulatedMachine sim(ComProfile());
  Probe probe;
  probe.sendBeforeMonitor = true;
  const ProbeResult result = RunProbe(sim, probe);
  EXPECT_EQ(result.port["written"], nlohmann::json({"10 04 01"}));
  EXPECT_EQ(result.log, std::vector<std::string>({"7:12@3", "7:34@3", "8@3"}));
}

TEST(SerialPortMonitor, DiscardsBytesLeftUnreadWhenASendIsProcessed) {
  // EV_RXFLAG alone lets noise sit unread in the input queue.
  SimulatedMachine sim(ComProfile());
  Steps steps;
  OwnerDialog owner;
  CSerialPort serial;
  auto queued = [&]() {
    DWORD errors = 0;
    COMSTAT status = {};
    EXPECT_TRUE(plat::Comm().ClearCommError(serial.m_hPort, &errors, &status));
    return status.cbInQue;
  };
  DWORD beforeSend = 0, afterReply = 0;
  steps.At(0, [&]() {
    ASSERT_TRUE(serial.OpenPort(&owner, 3, 9600, 'N', 8, 1, EV_RXFLAG, 512));
    ASSERT_TRUE(serial.StartMonitor());
  });
  steps.At(50, [&]() { sim.machine.Comm().ReceiveBytes("COM3", {0xAA, 0xBB}); });
  steps.At(100, [&]() {
    beforeSend = queued();
    serial.SendBytes(kStatusRequest, 3);
  });
  steps.At(300, [&]() {
    afterReply = queued();
    serial.ClosePort();
  });
  sim.ui.SetUser(&steps);
  owner.DoModal();
  EXPECT_EQ(beforeSend, 2u);
  EXPECT_EQ(afterReply, 2u);  // the reply, 12 34, and nothing older
  EXPECT_EQ(sim.machine.StateJson()["com_ports"]["COM3"]["written"], nlohmann::json({"10 04 01"}));
}

TEST(SerialPortClose, EndsAMonitorThatIsBlockedSendingToTheClosingThread) {
  SimulatedMachine sim(ComProfile());
  const int handles = sim.machine.Threads().OpenHandleCount();
  Steps steps;
  OwnerDialog owner;
  CSerialPort serial;
  size_t handledBeforeClose = 99;
  uint64_t closeStarted = 0, closeEnded = 0;
  steps.At(0, [&]() {
    ASSERT_TRUE(serial.OpenPort(&owner, 3, 9600, 'N', 8, 1, kProbeMask, 512));
    ASSERT_TRUE(serial.StartMonitor());
    serial.SendBytes(kStatusRequest, 3);
  });
  // The monitor has read the first byte and waits in SendMessage for this
  // thread, which closes the port instead of handling the message.
  steps.At(
      0,
      [&]() {
        handledBeforeClose = owner.log.size();
        closeStarted = Now();
        serial.ClosePort();
        closeEnded = Now();
      },
      [&]() { return CallCount(sim, "ReadFile") > 0; });
  sim.ui.SetUser(&steps);
  owner.DoModal();
  EXPECT_FALSE(steps.hung);
  EXPECT_EQ(handledBeforeClose, 0u);
  EXPECT_EQ(closeEnded, closeStarted);
  EXPECT_EQ(owner.log, std::vector<std::string>({"7:12@3", "7:34@3", "8@3"}));
  EXPECT_EQ(serial.m_hPort, nullptr);
  EXPECT_EQ(serial.m_hThread, nullptr);
  EXPECT_FALSE(serial.m_bRunning.load());
  EXPECT_FALSE(sim.machine.StateJson()["com_ports"]["COM3"]["open"].get<bool>());
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), handles);
}

TEST(SerialPortClose, GivesUpAfterItsBoundWhenCalledFromTheNotificationAndTheThreadEndsLater) {
  SimulatedMachine sim(ComProfile());
  const int handles = sim.machine.Threads().OpenHandleCount();
  Steps steps;
  OwnerDialog owner;
  CSerialPort serial;
  uint64_t waited = 0;
  bool threadKeptRunning = false;
  owner.onByte = [&]() {
    if (owner.log.size() != 1) return;
    // The monitor waits for this very handler: nothing can end it now.
    const uint64_t start = Now();
    serial.ClosePort();
    waited = Now() - start;
    threadKeptRunning = serial.m_hThread != nullptr && serial.m_bRunning.load();
  };
  steps.At(0, [&]() {
    ASSERT_TRUE(serial.OpenPort(&owner, 3, 9600, 'N', 8, 1, kProbeMask, 512));
    ASSERT_TRUE(serial.StartMonitor());
    serial.SendBytes(kStatusRequest, 3);
  });
  steps.At(6000, [&]() {
    // It saw the stop event once the handler returned and closed the port.
    EXPECT_FALSE(sim.machine.StateJson()["com_ports"]["COM3"]["open"].get<bool>());
    serial.ClosePort();
  });
  sim.ui.SetUser(&steps);
  owner.DoModal();
  EXPECT_EQ(waited, 5000u);
  EXPECT_TRUE(threadKeptRunning);
  EXPECT_TRUE(steps.boxes.empty());
  EXPECT_EQ(serial.m_hThread, nullptr);
  EXPECT_EQ(sim.machine.Threads().OpenHandleCount(), handles);
}

// One probe of COM3 whose call `call` fails once with `error`.
ProbeResult FailingProbe(const char* call, DWORD error, const std::string& message = std::string()) {
  nlohmann::json profile = ComProfile();
  profile["faults"] = {{{"call", call}, {"error", error}, {"count", 1}, {"match", "COM3"}}};
  SimulatedMachine sim(profile);
  if (!message.empty()) sim.machine.Comm().SetMessageText(error, message);
  return RunProbe(sim, Probe());
}

TEST(SerialPortErrors, RaiseTheApplicationErrorBoxWithTheTextKeptWithin200Characters) {
  const std::string head = "WARNING:  ReadFile() Failed with the following error: \n";
  const std::string tail = "\nPort: 3\n";
  {
    const ProbeResult result = FailingProbe("WriteFile", ERROR_IO_DEVICE);
    ASSERT_EQ(result.boxes.size(), 1u);
    EXPECT_EQ(result.boxes[0].caption, "Application Error");
    EXPECT_EQ(result.boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_EQ(result.boxes[0].text,
              "WARNING:  WriteFile() Failed with the following error: \nThe request could not be performed "
              "because of an I/O device error.\r\n\nPort: 3\n");
  }
  {
    // The failed read leaves the bytes queued; the next wake-up reads them.
    const ProbeResult result = FailingProbe("ReadFile", ERROR_IRQ_BUSY);
    EXPECT_EQ(result.log, std::vector<std::string>({"8@3", "7:12@3", "7:34@3", "8@3"}));
    ASSERT_EQ(result.boxes.size(), 1u);
    const std::string& text = result.boxes[0].text;
    EXPECT_EQ(text.size(), 200u);
    EXPECT_EQ(text.compare(0, head.size(), head), 0);
    EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0);
    EXPECT_EQ(text.compare(head.size(), 30, "Unable to open a device that w"), 0);
  }
  {
    // A localised message is cut between characters, not inside one.
    std::string message = "x";
    for (int i = 0; i < 150; ++i) message += "\xC3\xA9";  // é
    const ProbeResult result = FailingProbe("ReadFile", ERROR_IRQ_BUSY, message);
    ASSERT_EQ(result.boxes.size(), 1u);
    const std::string& text = result.boxes[0].text;
    const size_t cut = text.size() - head.size() - tail.size();
    EXPECT_EQ(text.size(), 199u);
    EXPECT_EQ(cut % 2, 1u);
    EXPECT_EQ(text.substr(head.size(), cut), message.substr(0, cut));
    EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0);
  }
}

}  // namespace

namespace {

TEST(SerialPortMonitor, DeliversAFloodOfBytesInOrderOneMessageEach) {
  std::string reply;
  std::vector<std::string> expected;
  for (int value = 0; value < 200; ++value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X ", value);
    reply += hex;
    std::snprintf(hex, sizeof hex, "%02X", value);
    expected.push_back(std::string("7:") + hex + "@3");
  }
  SimulatedMachine sim(ComProfile(reply));
  const ProbeResult result = RunProbe(sim, Probe());
  std::vector<std::string> bytes;
  for (const std::string& entry : result.log)
    if (entry[0] == '7') bytes.push_back(entry);
  EXPECT_EQ(bytes, expected);
}

}  // namespace
