#include "host/headless/ui.h"

#include <algorithm>
#include <atomic>

#include "framework/box_answer.h"
#include "host/headless/messages.h"
#include "host/headless/templates.h"
#include "host/sim/machine.h"
#include "host/sim/threads.h"

namespace fw {
namespace headless {

namespace {
std::atomic<Ui*> g_ui{nullptr};

DWORD ButtonType(DWORD style) { return style & BS_TYPEMASK; }

WPARAM CommandParam(int id, UINT code) {
  return static_cast<WPARAM>((static_cast<DWORD>(code) << 16) | (static_cast<DWORD>(id) & 0xFFFF));
}

}  // namespace

bool Window::IsButtonOfType(DWORD type) const { return windowClass == "Button" && ButtonType(style) == type; }

Ui::Ui(sim::Machine& machine) : m_machine(machine) {
  m_dialogThread = machine.Threads().GetCurrentThreadId();
  g_ui.store(this);
}

Ui::~Ui() {
  Ui* self = this;
  g_ui.compare_exchange_strong(self, nullptr);
}

Ui* Ui::Current() { return g_ui.load(); }

bool Ui::OnDialogThread() const { return m_machine.Threads().GetCurrentThreadId() == m_dialogThread; }

uint64_t Ui::Now() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return m_machine.GetWorld().Now();
}

void Ui::Emit(Event event) {
  event.time = Now();
  for (IObserver* observer : m_observers) observer->OnEvent(event);
}

Window* Ui::NewWindow(Window* parent) {
  auto window = std::make_unique<Window>();
  window->hwnd = reinterpret_cast<HWND>(m_nextHandle += 16);
  window->parent = parent;
  Window* raw = window.get();
  if (parent) parent->children.push_back(raw);
  m_windows[raw->hwnd] = std::move(window);
  return raw;
}

Window* Ui::Find(HWND hwnd) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_windows.find(hwnd);
  return it == m_windows.end() || it->second->destroyed ? nullptr : it->second.get();
}

Window* Ui::DialogOf(Window* window) {
  while (window && !window->IsDialog()) window = window->parent;
  return window;
}

Window* Ui::TopDialog() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return m_dialogStack.empty() ? nullptr : m_dialogStack.back();
}

Window* Ui::FindControl(Window* dialog, int id) {
  if (!dialog) return nullptr;
  for (Window* child : dialog->children)
    if (child->id == id && !child->destroyed) return child;
  return nullptr;
}

Window* Ui::Control(int id) { return FindControl(TopDialog(), id); }

bool Ui::IsEnabled(HWND hwnd) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_windows.find(hwnd);
  return it != m_windows.end() && !it->second->destroyed && it->second->enabled;
}

HWND Ui::CreateDialogWindow(CWnd* object, UINT templateId) {
  const DialogTemplate* dialogTemplate = FindDialogTemplate(static_cast<int>(templateId));
  if (!dialogTemplate) return nullptr;
  Window* dialog;
  {
    std::lock_guard<std::mutex> lock(m_machine.Mutex());
    dialog = NewWindow(nullptr);
    dialog->object = object;
    dialog->id = dialogTemplate->id;
    dialog->windowClass = "#32770";
    dialog->text = dialogTemplate->caption;
    dialog->style = dialogTemplate->style;
    for (const ControlTemplate& control : dialogTemplate->controls) {
      Window* child = NewWindow(dialog);
      child->id = control.id;
      child->windowClass = control.windowClass;
      child->text = control.text;
      child->style = control.style;
      child->enabled = (control.style & WS_DISABLED) == 0;
    }
    m_dialogStack.push_back(dialog);
  }
  Event opened{Event::Kind::DialogOpened};
  opened.dialogId = dialog->id;
  opened.caption = dialog->text;
  Emit(opened);
  return dialog->hwnd;
}

void Ui::EndDialog(HWND hwnd, INT_PTR result) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_windows.find(hwnd);
  if (it == m_windows.end()) return;
  it->second->ended = true;
  it->second->result = result;
}

void Ui::DestroyDialog(Window* dialog) {
  Dispatch(dialog->hwnd, WM_DESTROY, 0, 0);
  const int id = dialog->id;
  const INT_PTR result = dialog->result;
  {
    std::lock_guard<std::mutex> lock(m_machine.Mutex());
    dialog->destroyed = true;
    for (Window* child : dialog->children) child->destroyed = true;
    m_dialogStack.erase(std::remove(m_dialogStack.begin(), m_dialogStack.end(), dialog), m_dialogStack.end());
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [dialog](const Timer& timer) { return timer.hwnd == dialog->hwnd; }),
                   m_timers.end());
    // Senders still waiting on this window get 0, as from a window that is
    // gone.
    for (auto& item : m_queue) {
      if (!item->box && (item->hwnd == dialog->hwnd || DialogOf(m_windows[item->hwnd].get()) == dialog))
        item->done = true;
    }
  }
  Event closed{Event::Kind::DialogClosed};
  closed.dialogId = id;
  closed.value = static_cast<int>(result);
  Emit(closed);
}

void Ui::PostDueTimers() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const uint64_t now = m_machine.GetWorld().Now();
  for (Timer& timer : m_timers) {
    if (timer.due > now) continue;
    // Windows keeps at most one WM_TIMER of a timer in the queue.
    const bool queued =
        std::any_of(m_queue.begin(), m_queue.end(), [&](const std::shared_ptr<QueueItem>& item) {
          return item->hwnd == timer.hwnd && item->message == WM_TIMER && item->wParam == timer.id;
        });
    if (!queued) {
      auto item = std::make_shared<QueueItem>();
      item->hwnd = timer.hwnd;
      item->message = WM_TIMER;
      item->wParam = timer.id;
      m_queue.push_back(item);
    }
    timer.due = now + (timer.elapse ? timer.elapse : 1);
  }
}

uint64_t Ui::EarliestTimer() const {
  uint64_t earliest = sim::kNoDeadline;
  for (const Timer& timer : m_timers) earliest = std::min(earliest, timer.due);
  return earliest;
}

void Ui::ProcessItem(QueueItem& item) {
  LRESULT result = 0;
  if (item.box)
    result = ShowBox(item.boxText, item.boxCaption, item.boxType);
  else if (Find(item.hwnd))
    result = Dispatch(item.hwnd, item.message, item.wParam, item.lParam);
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  item.result = result;
  item.done = true;
}

INT_PTR Ui::RunModal(HWND hwnd) {
  Window* dialog = Find(hwnd);
  if (!dialog) return -1;
  bool hangReported = false;
  for (;;) {
    if (dialog->ended) break;
    PostDueTimers();
    // The user looks at the screen between any two messages, whether or not
    // the next one has already arrived: what the user does then depends
    // only on what the dialog shows, never on thread timing.
    if (m_user && m_user->Act(*this)) continue;
    if (std::shared_ptr<QueueItem> item = PopQueued()) {
      ProcessItem(*item);
      continue;
    }
    // A user's moment that has already passed is not a reason to wake:
    // the user is waiting for something else too.
    uint64_t userDeadline = m_user ? m_user->NextDeadline() : sim::kNoDeadline;
    if (userDeadline <= Now()) userDeadline = sim::kNoDeadline;
    std::unique_lock<std::mutex> lock(m_machine.Mutex());
    const auto wait = m_machine.GetWorld().BlockUntil(
        lock, [&]() { return !m_queue.empty() || dialog->ended; }, std::min(EarliestTimer(), userDeadline),
        "dialog " + std::to_string(dialog->id) + " message loop", true);
    lock.unlock();
    if (wait == sim::World::WaitResult::Hang) {
      if (hangReported) {
        // The user could not end it either: close the window as the
        // process would be ended.
        EndDialog(hwnd, IDABORT);
        break;
      }
      hangReported = true;
      Event hang{Event::Kind::Hang};
      hang.dialogId = dialog->id;
      Emit(hang);
      if (m_user) m_user->OnHang(*this);
    }
  }
  const INT_PTR result = dialog->result;
  DestroyDialog(dialog);
  return result;
}

std::shared_ptr<Ui::QueueItem> Ui::PopQueued() {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_queue.empty()) return nullptr;
  std::shared_ptr<QueueItem> item = m_queue.front();
  m_queue.pop_front();
  return item;
}

bool Ui::RunUntil(HWND hwnd, const std::function<bool()>& done, DWORD milliseconds) {
  Window* dialog = Find(hwnd);
  if (!dialog) return false;
  const uint64_t deadline = milliseconds == INFINITE ? sim::kNoDeadline : Now() + milliseconds;
  for (;;) {
    if (done()) return true;
    if (dialog->ended || Now() >= deadline) return false;
    PostDueTimers();
    if (std::shared_ptr<QueueItem> item = PopQueued()) {
      ProcessItem(*item);
      continue;
    }
    std::unique_lock<std::mutex> lock(m_machine.Mutex());
    const auto wait = m_machine.GetWorld().BlockUntil(
        lock, [&]() { return !m_queue.empty() || dialog->ended; }, std::min(EarliestTimer(), deadline),
        "dialog " + std::to_string(dialog->id) + " unattended message loop", true);
    if (wait == sim::World::WaitResult::Hang) return false;
  }
}

void Ui::DestroyDialogWindow(HWND hwnd) {
  if (Window* dialog = Find(hwnd)) DestroyDialog(dialog);
}

LRESULT Ui::Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Find(hwnd)) return 0;
  if (OnDialogThread()) return Dispatch(hwnd, message, wParam, lParam);
  auto item = std::make_shared<QueueItem>();
  item->hwnd = hwnd;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  return SendToDialogThread(item, "SendMessage(" + std::to_string(message) + ") to the dialog thread");
}

LRESULT Ui::SendToDialogThread(const std::shared_ptr<QueueItem>& item, const std::string& waiting) {
  item->sent = true;
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  m_queue.push_back(item);
  m_machine.GetWorld().BlockUntil(
      lock, [&]() { return item->done; }, sim::kNoDeadline, waiting);
  return item->result;
}

BOOL Ui::Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!Find(hwnd)) return FALSE;
  auto item = std::make_shared<QueueItem>();
  item->hwnd = hwnd;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  m_queue.push_back(item);
  return TRUE;
}

UINT_PTR Ui::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const uint64_t due = m_machine.GetWorld().Now() + (elapse ? elapse : 1);
  for (Timer& timer : m_timers) {
    if (timer.hwnd == hwnd && timer.id == id) {
      timer.elapse = elapse;
      timer.due = due;
      return id;
    }
  }
  m_timers.push_back(Timer{hwnd, id, elapse, due});
  return id;
}

BOOL Ui::KillTimer(HWND hwnd, UINT_PTR id) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const size_t before = m_timers.size();
  m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                [&](const Timer& timer) { return timer.hwnd == hwnd && timer.id == id; }),
                 m_timers.end());
  // A WM_TIMER already queued for it is dropped too.
  m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                               [&](const std::shared_ptr<QueueItem>& item) {
                                 return item->hwnd == hwnd && item->message == WM_TIMER && item->wParam == id;
                               }),
                m_queue.end());
  return m_timers.size() != before ? TRUE : FALSE;
}

BOOL Ui::WaitForThread(HANDLE thread, DWORD milliseconds) {
  sim::SimThreads& threads = m_machine.Threads();
  const bool pump = OnDialogThread();
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  sim::World& world = m_machine.GetWorld();
  const uint64_t deadline = milliseconds == INFINITE ? sim::kNoDeadline : world.Now() + milliseconds;
  for (;;) {
    auto sentWaiting = [&]() {
      if (!pump) return false;
      return std::any_of(m_queue.begin(), m_queue.end(),
                         [](const std::shared_ptr<QueueItem>& item) { return item->sent || item->box; });
    };
    const auto result = world.BlockUntil(
        lock, [&]() { return threads.IsSignaledLocked(thread) || sentWaiting(); }, deadline,
        "waiting for a thread to end");
    if (threads.IsSignaledLocked(thread)) return TRUE;
    if (result != sim::World::WaitResult::Ready) return FALSE;
    // Handle the messages other threads sent (posted ones wait).
    auto it = std::find_if(m_queue.begin(), m_queue.end(),
                           [](const std::shared_ptr<QueueItem>& item) { return item->sent || item->box; });
    std::shared_ptr<QueueItem> item = *it;
    m_queue.erase(it);
    lock.unlock();
    ProcessItem(*item);
    lock.lock();
  }
}

int Ui::MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string boxText = text ? text : "";
  const std::string boxCaption = caption ? caption : "Error";
  if (OnDialogThread()) return ShowBox(boxText, boxCaption, type);
  auto item = std::make_shared<QueueItem>();
  item->box = true;
  item->boxText = boxText;
  item->boxCaption = boxCaption;
  item->boxType = type;
  return static_cast<int>(SendToDialogThread(item, "a message box shown for another thread"));
}

int Ui::ShowBox(const std::string& text, const std::string& caption, UINT type) {
  const int answer = m_user ? m_user->AnswerMessageBox(*this, text, caption, type) : DismissingAnswer(type);
  Event box{Event::Kind::MessageBox};
  Window* top = TopDialog();
  box.dialogId = top ? top->id : 0;
  box.text = text;
  box.caption = caption;
  box.type = type;
  box.value = answer;
  Emit(box);
  return answer;
}

sim::PortMonitorAnswer Ui::AskPortMonitor(const std::string& dialog, const std::string& portName) {
  const sim::PortMonitorAnswer answer =
      m_user ? m_user->AnswerPortMonitor(*this, dialog, portName) : sim::PortMonitorAnswer();
  Event event{Event::Kind::PortMonitor};
  Window* top = TopDialog();
  event.dialogId = top ? top->id : 0;
  event.text = dialog + (portName.empty() ? std::string() : " " + portName);
  if (answer.error)
    event.caption = "failed with " + std::to_string(answer.error);
  else if (!answer.done)
    event.caption = "cancelled";
  else if (!answer.portName.empty())
    event.caption = "created " + answer.portName + " for " + answer.address;
  else
    event.caption = "OK";
  Emit(event);
  return answer;
}

sim::PortMonitorAnswer Ui::AddPortWizard() { return AskPortMonitor("Add Port wizard", std::string()); }

sim::PortMonitorAnswer Ui::ConfigurePortSheet(const std::string& portName) {
  return AskPortMonitor("Configure Port", portName);
}

void Ui::Note(const std::string& text) {
  Event note{Event::Kind::UserAction};
  Window* top = TopDialog();
  note.dialogId = top ? top->id : 0;
  note.text = text;
  Emit(note);
}

void Ui::Click(int id) {
  Window* control = Control(id);
  Window* dialog = TopDialog();
  if (!control || !dialog) {
    Note("click on control " + std::to_string(id) + ": no such control");
    return;
  }
  if (!control->enabled) {
    Note("click on \"" + control->text + "\" ignored: disabled");
    return;
  }
  Note("click \"" + (control->text.empty() ? std::to_string(id) : control->text) + "\"");
  if (control->IsButtonOfType(BS_AUTOCHECKBOX))
    Dispatch(control->hwnd, BM_SETCHECK, control->check ? 0 : 1, 0);
  Dispatch(dialog->hwnd, WM_COMMAND, CommandParam(id, BN_CLICKED), reinterpret_cast<LPARAM>(control->hwnd));
}

void Ui::SelectComboItem(int id, int index) {
  Window* control = Control(id);
  Window* dialog = TopDialog();
  if (!control || !dialog || !control->enabled) return;
  Note("select item " + std::to_string(index) + " of control " + std::to_string(id));
  Dispatch(control->hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  Dispatch(dialog->hwnd, WM_COMMAND, CommandParam(id, CBN_SELCHANGE),
           reinterpret_cast<LPARAM>(control->hwnd));
}

void Ui::SetEditText(int id, const std::string& text) {
  Window* control = Control(id);
  Window* dialog = TopDialog();
  if (!control || !dialog || !control->enabled) return;
  Note("type \"" + text + "\" into control " + std::to_string(id));
  Dispatch(control->hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  Dispatch(dialog->hwnd, WM_COMMAND, CommandParam(id, EN_CHANGE), reinterpret_cast<LPARAM>(control->hwnd));
}

void Ui::SelectListRow(int id, int row) {
  Window* control = Control(id);
  if (!control || !control->enabled) return;
  Note(row < 0 ? "clear the selection of control " + std::to_string(id)
               : "select row " + std::to_string(row) + " of control " + std::to_string(id));
  for (size_t i = 0; i < control->rows.size(); ++i) {
    ListOp op;
    op.item = static_cast<int>(i);
    op.mask = LVIS_SELECTED | LVIS_FOCUSED;
    op.state = static_cast<int>(i) == row ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    Dispatch(control->hwnd, kLvmSetItemState, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&op));
  }
}

void Ui::PressEnter() {
  Window* dialog = TopDialog();
  if (!dialog) return;
  // Enter presses the default push button; without one, the push button
  // that has the focus, which on a freshly opened dialog is the first tab
  // stop; otherwise the dialog takes it as OK.
  int id = IDOK;
  bool found = false;
  for (Window* child : dialog->children) {
    if (child->IsButtonOfType(BS_DEFPUSHBUTTON)) {
      id = child->id;
      found = true;
    }
  }
  if (!found) {
    for (Window* child : dialog->children) {
      if (!(child->style & WS_TABSTOP) || !child->enabled) continue;
      if (child->IsButtonOfType(BS_PUSHBUTTON)) id = child->id;
      break;
    }
  }
  Window* button = FindControl(dialog, id);
  Note("press Enter");
  if (button && !button->enabled) return;
  Dispatch(dialog->hwnd, WM_COMMAND, CommandParam(id, BN_CLICKED), 0);
}

void Ui::PressEsc() {
  Window* dialog = TopDialog();
  if (!dialog) return;
  Note("press Esc");
  Dispatch(dialog->hwnd, WM_COMMAND, CommandParam(IDCANCEL, BN_CLICKED), 0);
}

void Ui::PressCloseBox() {
  Window* dialog = TopDialog();
  if (!dialog) return;
  Note("click the close box");
  Dispatch(dialog->hwnd, WM_CLOSE, 0, 0);
}

LRESULT Ui::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = Find(hwnd);
  if (!window) return 0;
  if (window->IsDialog()) {
    if (message == WM_ENABLE) {
      std::lock_guard<std::mutex> lock(m_machine.Mutex());
      window->enabled = wParam != 0;
      return 0;
    }
    if (message == WM_SETTEXT) {
      window->text = reinterpret_cast<const char*>(lParam);
      return TRUE;
    }
    if (message == WM_GETTEXT) {
      *reinterpret_cast<std::string*>(lParam) = window->text;
      return static_cast<LRESULT>(window->text.size());
    }
    return window->object ? window->object->WindowProc(message, wParam, lParam) : 0;
  }
  return ControlProc(*window, message, wParam, lParam);
}

LRESULT Ui::ControlProc(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* dialog = DialogOf(&window);
  Event event{Event::Kind::TextChanged};
  event.dialogId = dialog ? dialog->id : 0;
  event.controlId = window.id;
  const ListOp* op = reinterpret_cast<const ListOp*>(lParam);

  switch (message) {
    case WM_SETTEXT: {
      const std::string text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      if (text != window.text) {
        window.text = text;
        event.text = text;
        Emit(event);
      }
      return TRUE;
    }
    case WM_GETTEXT:
      *reinterpret_cast<std::string*>(lParam) = window.text;
      return static_cast<LRESULT>(window.text.size());
    case WM_ENABLE:
      if (window.enabled != (wParam != 0)) {
        {
          std::lock_guard<std::mutex> lock(m_machine.Mutex());
          window.enabled = wParam != 0;
        }
        event.kind = Event::Kind::EnabledChanged;
        event.value = window.enabled;
        event.text = window.text;
        Emit(event);
      }
      return 0;
    case BM_GETCHECK:
      return window.check;
    case BM_SETCHECK:
      if (window.check != static_cast<int>(wParam)) {
        window.check = static_cast<int>(wParam);
        event.kind = Event::Kind::CheckChanged;
        event.value = window.check;
        event.text = window.text;
        Emit(event);
      }
      return 0;
    case CB_ADDSTRING:
      window.items.push_back(reinterpret_cast<const char*>(lParam));
      event.kind = Event::Kind::ComboItemsChanged;
      event.text = window.items.back();
      event.value = static_cast<int>(window.items.size());
      Emit(event);
      return static_cast<LRESULT>(window.items.size() - 1);
    case CB_RESETCONTENT:
      if (!window.items.empty() || window.curSel != -1) {
        window.items.clear();
        window.curSel = -1;
        window.text.clear();
        event.kind = Event::Kind::ComboItemsChanged;
        event.value = 0;
        Emit(event);
      }
      return 0;
    case CB_GETCOUNT:
      return static_cast<LRESULT>(window.items.size());
    case CB_GETCURSEL:
      return window.curSel;
    case CB_SETCURSEL: {
      const int index = static_cast<int>(wParam);
      const bool valid = index >= 0 && index < static_cast<int>(window.items.size());
      const int selection = valid ? index : -1;
      // The drop-down list's window text is the selected item's text.
      window.text = valid ? window.items[static_cast<size_t>(index)] : std::string();
      if (selection != window.curSel) {
        window.curSel = selection;
        event.kind = Event::Kind::ComboSelectionChanged;
        event.value = selection;
        event.text = window.text;
        Emit(event);
      }
      return valid ? index : CB_ERR;
    }
    case CB_GETLBTEXT: {
      const int index = static_cast<int>(wParam);
      if (index < 0 || index >= static_cast<int>(window.items.size())) return CB_ERR;
      *reinterpret_cast<std::string*>(lParam) = window.items[static_cast<size_t>(index)];
      return static_cast<LRESULT>(window.items[static_cast<size_t>(index)].size());
    }
    case PBM_SETPOS: {
      const int previous = window.position;
      const int position = std::max(0, std::min(100, static_cast<int>(wParam)));
      if (position != window.position) {
        window.position = position;
        event.kind = Event::Kind::ProgressChanged;
        event.value = position;
        Emit(event);
      }
      return previous;
    }
    case PBM_GETPOS:
      return window.position;
    case kLvmGetItemCount:
      return static_cast<LRESULT>(window.rows.size());
    case kHdmGetItemCount:
      return static_cast<LRESULT>(window.columns.size());
    case kLvmGetExtendedStyle:
      return static_cast<LRESULT>(window.extendedStyle);
    case kLvmSetExtendedStyle: {
      const DWORD previous = window.extendedStyle;
      window.extendedStyle = static_cast<DWORD>(lParam);
      return static_cast<LRESULT>(previous);
    }
    case kLvmInsertColumn: {
      const size_t at = std::min(static_cast<size_t>(std::max(op->item, 0)), window.columns.size());
      window.columns.insert(window.columns.begin() + static_cast<long>(at), op->text ? op->text : "");
      window.columnWidths.insert(window.columnWidths.begin() + static_cast<long>(at), op->width);
      return static_cast<LRESULT>(at);
    }
    case kLvmDeleteColumn: {
      const size_t at = static_cast<size_t>(wParam);
      if (at >= window.columns.size()) return FALSE;
      window.columns.erase(window.columns.begin() + static_cast<long>(at));
      window.columnWidths.erase(window.columnWidths.begin() + static_cast<long>(at));
      return TRUE;
    }
    case kLvmSetColumnWidth: {
      const size_t at = static_cast<size_t>(wParam);
      if (at >= window.columnWidths.size()) return FALSE;
      window.columnWidths[at] = static_cast<int>(lParam);
      return TRUE;
    }
    case kLvmInsertItem: {
      const size_t at = std::min(static_cast<size_t>(std::max(op->item, 0)), window.rows.size());
      ListRow row;
      row.cells.push_back(op->text ? op->text : "");
      window.rows.insert(window.rows.begin() + static_cast<long>(at), row);
      event.kind = Event::Kind::ListChanged;
      Emit(event);
      return static_cast<LRESULT>(at);
    }
    case kLvmDeleteAllItems:
      if (!window.rows.empty()) {
        window.rows.clear();
        event.kind = Event::Kind::ListChanged;
        Emit(event);
      }
      return TRUE;
    case kLvmSetItemText: {
      if (op->item < 0 || op->item >= static_cast<int>(window.rows.size()) || op->subItem < 0) return FALSE;
      std::vector<std::string>& cells = window.rows[static_cast<size_t>(op->item)].cells;
      if (cells.size() <= static_cast<size_t>(op->subItem))
        cells.resize(static_cast<size_t>(op->subItem) + 1);
      cells[static_cast<size_t>(op->subItem)] = op->text ? op->text : "";
      return TRUE;
    }
    case kLvmGetItemText: {
      if (op->item < 0 || op->item >= static_cast<int>(window.rows.size()) || op->subItem < 0) return 0;
      const std::vector<std::string>& cells = window.rows[static_cast<size_t>(op->item)].cells;
      *op->out =
          static_cast<size_t>(op->subItem) < cells.size() ? cells[static_cast<size_t>(op->subItem)] : "";
      return static_cast<LRESULT>(op->out->size());
    }
    case kLvmSetItemState: {
      // A single-selection list keeps one selected row.
      const bool single = (window.style & LVS_SINGLESEL) != 0;
      bool changed = false;
      for (size_t i = 0; i < window.rows.size(); ++i) {
        const bool target = op->item < 0 || static_cast<size_t>(op->item) == i;
        UINT& state = window.rows[i].state;
        const UINT before = state;
        if (target)
          state = (state & ~op->mask) | (op->state & op->mask);
        else if (single && (op->state & op->mask & LVIS_SELECTED))
          state &= ~static_cast<UINT>(LVIS_SELECTED);
        changed = changed || before != state;
      }
      if (changed) {
        event.kind = Event::Kind::ListChanged;
        Emit(event);
      }
      return TRUE;
    }
    case kLvmGetItemState:
      if (wParam >= window.rows.size()) return 0;
      return static_cast<LRESULT>(window.rows[wParam].state & static_cast<UINT>(lParam));
    case kLvmGetNextItem: {
      const int start = static_cast<int>(static_cast<LONG_PTR>(wParam));
      for (size_t i = static_cast<size_t>(start + 1); i < window.rows.size(); ++i)
        if ((static_cast<UINT>(lParam) & LVNI_SELECTED) == 0 || (window.rows[i].state & LVIS_SELECTED))
          return static_cast<LRESULT>(i);
      return -1;
    }
    default:
      return 0;
  }
}

}  // namespace headless
}  // namespace fw
