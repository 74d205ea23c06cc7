// The headless window system: in-memory dialogs and controls built from the
// same templates as the real ones, one dialog thread with a message queue,
// SendMessage from other threads that waits for the handler, window timers
// on the simulated clock, and a scripted user who acts on the dialogs and
// answers message boxes. Observers see every change a user would see.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/wnd.h"
#include "platform/platform.h"
#include "host/sim/machine.h"

namespace fw {
namespace headless {

struct ListRow {
  std::vector<std::string> cells;
  UINT state = 0;
};

// A dialog or a control.
struct Window {
  HWND hwnd = nullptr;
  Window* parent = nullptr;
  std::vector<Window*> children;
  CWnd* object = nullptr;   // the framework object of a dialog
  int id = 0;               // control id, or template id of a dialog
  std::string windowClass;  // "#32770" for dialogs
  std::string text;
  DWORD style = 0;
  bool enabled = true;
  bool destroyed = false;
  int check = 0;
  std::vector<std::string> items;  // combo box
  int curSel = -1;
  std::vector<std::string> columns;  // list view
  std::vector<int> columnWidths;
  std::vector<ListRow> rows;
  DWORD extendedStyle = 0;
  int position = 0;  // progress bar
  bool ended = false;
  INT_PTR result = 0;

  bool IsDialog() const { return windowClass == "#32770"; }
  bool IsButtonOfType(DWORD type) const;
};

struct Event {
  enum class Kind {
    DialogOpened,
    DialogClosed,
    TextChanged,
    EnabledChanged,
    CheckChanged,
    ComboItemsChanged,
    ComboSelectionChanged,
    ListChanged,
    ProgressChanged,
    MessageBox,
    UserAction,
    PortMonitor,
    Hang,
  };
  explicit Event(Kind eventKind) : kind(eventKind) {}
  Kind kind;
  uint64_t time = 0;
  int dialogId = 0;
  int controlId = 0;
  std::string text;     // new text, box text, action description
  std::string caption;  // box caption, dialog title
  UINT type = 0;        // box type
  int value = 0;        // enabled, check, selection, position, box answer, dialog result
};

class IObserver {
 public:
  virtual ~IObserver() = default;
  virtual void OnEvent(const Event& event) = 0;
};

class Ui;

// The person at the keyboard.
class IScriptedUser {
 public:
  virtual ~IScriptedUser() = default;
  // Called on the dialog thread after every message and whenever the queue
  // is empty; acts if the next step is due. Returns true if it acted.
  virtual bool Act(Ui& ui) = 0;
  // Answers a message box with IDOK, IDCANCEL, IDYES...
  virtual int AnswerMessageBox(Ui& ui, const std::string& text, const std::string& caption, UINT type) = 0;
  // Answers a port monitor's own dialog (`dialog` is "Add Port wizard" or
  // "Configure Port"); the default cancels it.
  virtual sim::PortMonitorAnswer AnswerPortMonitor(Ui&, const std::string& dialog,
                                                   const std::string& portName) {
    (void)dialog;
    (void)portName;
    return sim::PortMonitorAnswer();
  }
  // The virtual time at which the user means to act next without anything
  // changing on screen (a user who waits a while), or UINT64_MAX.
  virtual uint64_t NextDeadline() { return UINT64_MAX; }
  // Every thread waits and nothing can change any more; the user must act
  // (close the window) or the run ends.
  virtual void OnHang(Ui& ui) = 0;
};

class Ui : public plat::IUser, public sim::IPortMonitorUser {
 public:
  explicit Ui(sim::Machine& machine);
  ~Ui() override;

  static Ui* Current();

  void SetUser(IScriptedUser* user) { m_user = user; }
  void AddObserver(IObserver* observer) { m_observers.push_back(observer); }

  // plat::IUser: from any thread; boxes raised on other threads are shown
  // by the dialog thread, as the scripted user sees one screen.
  int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) override;

  // sim::IPortMonitorUser: the TCP/IP port monitor's dialogs (dialog thread).
  sim::PortMonitorAnswer AddPortWizard() override;
  sim::PortMonitorAnswer ConfigurePortSheet(const std::string& portName) override;

  // --- what the user sees and does (dialog thread) ---
  // The topmost open dialog (the last opened), or null.
  Window* TopDialog();
  Window* Control(int id);  // in the topmost dialog
  Window* FindControl(Window* dialog, int id);
  void Click(int id);
  void SelectComboItem(int id, int index);
  void SetEditText(int id, const std::string& text);
  void SelectListRow(int id, int row);  // -1 clears the selection
  void PressEnter();
  void PressEsc();
  void PressCloseBox();
  void Note(const std::string& text);  // a line for observers
  uint64_t Now();

  // --- framework backend ---
  HWND CreateDialogWindow(CWnd* object, UINT templateId);
  INT_PTR RunModal(HWND dialog);
  // Handles the dialog thread's messages and timers until `done` holds
  // (true), or the dialog ended, `milliseconds` of virtual time passed or
  // every thread waits for ever (false). No user acts meanwhile.
  bool RunUntil(HWND dialog, const std::function<bool()>& done, DWORD milliseconds);
  void DestroyDialogWindow(HWND dialog);
  void EndDialog(HWND dialog, INT_PTR result);
  LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  Window* Find(HWND hwnd);
  bool IsEnabled(HWND hwnd);
  UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse);
  BOOL KillTimer(HWND hwnd, UINT_PTR id);
  BOOL WaitForThread(HANDLE thread, DWORD milliseconds);
  bool OnDialogThread() const;

 private:
  struct QueueItem {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool sent = false;
    bool done = false;
    LRESULT result = 0;
    // A message box raised by another thread.
    bool box = false;
    std::string boxText, boxCaption;
    UINT boxType = 0;
  };
  struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    uint64_t due;
  };

  LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ControlProc(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
  void ProcessItem(QueueItem& item);
  // Queues `item` for the dialog thread and waits until it is handled;
  // `waiting` names the wait in a hang report.
  LRESULT SendToDialogThread(const std::shared_ptr<QueueItem>& item, const std::string& waiting);
  // The oldest queued message or sent call, or nullptr.
  std::shared_ptr<QueueItem> PopQueued();
  void PostDueTimers();
  uint64_t EarliestTimer() const;
  void DestroyDialog(Window* dialog);
  void Emit(Event event);
  int ShowBox(const std::string& text, const std::string& caption, UINT type);
  sim::PortMonitorAnswer AskPortMonitor(const std::string& dialog, const std::string& portName);
  Window* NewWindow(Window* parent);
  Window* DialogOf(Window* window);

  sim::Machine& m_machine;
  IScriptedUser* m_user = nullptr;
  std::vector<IObserver*> m_observers;
  std::map<HWND, std::unique_ptr<Window>> m_windows;
  std::vector<Window*> m_dialogStack;
  std::deque<std::shared_ptr<QueueItem>> m_queue;
  std::vector<Timer> m_timers;
  ULONG_PTR m_nextHandle = 0x10000;
  DWORD m_dialogThread = 0;
  bool m_inUserAction = false;
};

}  // namespace headless
}  // namespace fw
