#include "host/sim/comm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "host/sim/json_check.h"
#include "host/sim/machine.h"
#include "host/sim/status_device.h"
#include "host/sim/threads.h"

namespace sim {

namespace {

// The statuses Windows leaves in OVERLAPPED.Internal.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;
constexpr ULONG_PTR kStatusInvalidParameter = 0xC000000D;
constexpr size_t kDefaultQueue = 4096;

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string text;
  char byte[4];
  for (BYTE value : bytes) {
    std::snprintf(byte, sizeof byte, "%02X", value);
    if (!text.empty()) text += ' ';
    text += byte;
  }
  return text;
}

// ESC/POS real-time status (DLE EOT n) and the label printers' ESC ! ?.
bool HasStatusRequest(const std::vector<BYTE>& data) {
  for (size_t i = 0; i + 2 < data.size(); ++i) {
    if (data[i] == 0x10 && data[i + 1] == 0x04 && data[i + 2] >= 1 && data[i + 2] <= 4) return true;
    if (data[i] == 0x1B && data[i + 1] == 0x21 && data[i + 2] == 0x3F) return true;
  }
  return false;
}

// Milliseconds the line takes to send `bytes` characters: a start bit, the
// data bits, the parity bit and the stop bits each.
uint64_t TransmitTime(const DCB& line, size_t bytes) {
  const uint64_t bits =
      1 + line.ByteSize + (line.Parity != NOPARITY ? 1 : 0) + (line.StopBits == ONESTOPBIT ? 1 : 2);
  const uint64_t baud = line.BaudRate ? line.BaudRate : 1;
  return std::max<uint64_t>(1, (bytes * bits * 1000 + baud - 1) / baud);
}

DCB DefaultLine() {
  DCB dcb = {};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

bool ValidLine(const DCB& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS)
    return false;
  // 1.5 stop bits go only with 5 data bits, 2 only with more.
  if (dcb.ByteSize == 5 && dcb.StopBits == TWOSTOPBITS) return false;
  if (dcb.ByteSize > 5 && dcb.StopBits == ONE5STOPBITS) return false;
  return !((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar);
}

const char* const kParityLetters = "NOEMS";

// Windows' English texts, with their line break.
const std::map<DWORD, std::string>& SystemMessages() {
  static const std::map<DWORD, std::string> messages = {
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
      {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
      {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
      {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\r\n"},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
      {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired.\r\n"},
      {ERROR_OPERATION_ABORTED,
       "The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
      {ERROR_IO_INCOMPLETE, "Overlapped I/O event is not in a signaled state.\r\n"},
      {ERROR_IO_PENDING, "Overlapped I/O operation is in progress.\r\n"},
      {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\r\n"},
      {ERROR_IRQ_BUSY,
       "Unable to open a device that was sharing an interrupt request (IRQ) with other devices. At least one "
       "other device that uses that IRQ was already opened.\r\n"},
  };
  return messages;
}

// A Win32 critical section on the simulated threads: a thread that finds it
// held waits (handing the baton on) until the holder leaves it.
class SimCriticalSection : public plat::CriticalSection {
 public:
  explicit SimCriticalSection(Machine& machine) : m_machine(machine) {}
  void Enter() override {
    const DWORD self = m_machine.Threads().GetCurrentThreadId();
    std::unique_lock<std::mutex> lock(m_machine.Mutex());
    m_machine.GetWorld().BlockUntil(
        lock, [&]() { return m_depth == 0 || m_owner == self; }, kNoDeadline, "EnterCriticalSection");
    m_owner = self;
    ++m_depth;
  }
  void Leave() override {
    const DWORD self = m_machine.Threads().GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(m_machine.Mutex());
    if (m_owner != self || m_depth == 0) return;
    if (--m_depth == 0) m_owner = 0;
  }

 private:
  Machine& m_machine;
  DWORD m_owner = 0;
  int m_depth = 0;
};

}  // namespace

std::string ComPortName(const char* name) {
  std::string text = name ? name : "";
  if (text.rfind("\\\\.\\", 0) == 0) text.erase(0, 4);
  if (text.size() < 4 || text.size() > 6) return std::string();
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (text.compare(0, 3, "COM") != 0 || text[3] == '0') return std::string();
  if (text.find_first_not_of("0123456789", 3) != std::string::npos) return std::string();
  return std::stoi(text.substr(3)) <= 255 ? text : std::string();
}

const std::vector<std::string>& ComDeviceKinds() {
  static const std::vector<std::string> kinds = {"printer", "silent", "in_use", "unconfigurable"};
  return kinds;
}

// An overlapped request in flight. It points into the caller's memory
// (OVERLAPPED, event word, read buffer), which Windows' contract keeps
// alive until the request completes.
struct SimComm::Request {
  OVERLAPPED* overlapped = nullptr;
  DWORD* events = nullptr;  // an event wait's result
  BYTE* buffer = nullptr;   // a read's buffer, size and bytes so far
  DWORD size = 0;
  DWORD done = 0;
  std::vector<BYTE> data;  // a write's bytes
  bool finished = false;
};

struct SimComm::Device {
  std::string name;
  std::string kind;
  DWORD baud = 9600;  // a printer's own rate
  std::vector<BYTE> reply;
  // With "status" in the profile, each DLE EOT n gets its own answer.
  bool answersEachRequest = false;
  StatusDevice status;
  uint64_t replyDelay = 20;
  DCB line = DefaultLine();  // the driver keeps it between opens
  bool configured = false;
  std::vector<std::string> written;
  ULONG_PTR openHandle = 0;
  // Wine's serial driver signals the overlapped event when it refuses a
  // second event wait; Windows' does not.
  bool refusedWaitSignals = false;
  int waitsCutByClose = 0;  // event waits still out when the port closed
};

struct SimComm::Port {
  Device* device = nullptr;
  COMMTIMEOUTS timeouts = {};
  DWORD mask = 0;
  DWORD history = 0;  // events seen while no wait was pending
  DWORD errors = 0;
  size_t inQueue = kDefaultQueue;
  std::deque<BYTE> input;
  std::shared_ptr<Request> wait;
  std::deque<std::shared_ptr<Request>> reads;
  std::deque<std::shared_ptr<Request>> writes;
  uint64_t lineFreeAt = 0;  // when the last queued write is out
};

SimComm::SimComm(Machine& machine) : m_machine(machine) {}

SimComm::~SimComm() = default;

void SimComm::LoadJson(const Profile& ports) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  // The profile was checked (CheckProfile): names, kinds and bytes are good.
  for (auto it = ports.begin(); it != ports.end(); ++it) {
    auto device = std::make_unique<Device>();
    device->name = ComPortName(it.key().c_str());
    device->kind = it.value().value("device", std::string("silent"));
    device->baud = it.value().value("baud", static_cast<DWORD>(9600));
    ParseHexBytes(it.value().value("reply", std::string("12")), true, &device->reply);
    device->replyDelay = it.value().value("reply_delay_ms", static_cast<uint64_t>(20));
    if (it.value().contains("status")) {
      device->answersEachRequest = true;
      device->status = StatusDevice(it.value()["status"].get<std::vector<std::string>>());
    }
    device->refusedWaitSignals = it.value().value("refused_wait_signals", false);
    m_devices[device->name] = std::move(device);
  }
}

nlohmann::json SimComm::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json out = nlohmann::json::object();
  for (const auto& entry : m_devices) {
    const Device& device = *entry.second;
    nlohmann::json port = {{"device", device.kind}, {"open", device.openHandle != 0}};
    if (device.configured) {
      port["baud"] = device.line.BaudRate;
      port["parity"] =
          std::string(1, device.line.Parity <= SPACEPARITY ? kParityLetters[device.line.Parity] : '?');
      port["data"] = device.line.ByteSize;
      port["stop"] = device.line.StopBits == ONESTOPBIT     ? 1.0
                     : device.line.StopBits == ONE5STOPBITS ? 1.5
                                                            : 2.0;
    }
    port["written"] = device.written;
    if (device.waitsCutByClose) port["waits_cut_by_close"] = device.waitsCutByClose;
    out[device.name] = port;
  }
  return out;
}

bool SimComm::HasDevices() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return !m_devices.empty();
}

void SimComm::SetMessageText(DWORD error, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  m_messages[error] = text;
}

int SimComm::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return static_cast<int>(m_ports.size());
}

SimComm::Port* SimComm::Find(HANDLE handle) {
  auto it = m_ports.find(reinterpret_cast<ULONG_PTR>(handle));
  return it == m_ports.end() ? nullptr : it->second.get();
}

SimComm::Device* SimComm::FindDevice(const std::string& name) {
  auto it = m_devices.find(name);
  return it == m_devices.end() ? nullptr : it->second.get();
}

SimComm::Port* SimComm::Begin(CallScope& call, HANDLE handle) {
  Port* port = Find(handle);
  if (call.Fails(port ? port->device->name : std::string())) return nullptr;
  if (!port) return m_machine.Fail(ERROR_INVALID_HANDLE);
  return port;
}

BOOL SimComm::Pending() { return m_machine.Fail(ERROR_IO_PENDING); }

void SimComm::Start(OVERLAPPED* overlapped) {
  overlapped->Internal = kStatusPending;
  overlapped->InternalHigh = 0;
  if (overlapped->hEvent) m_machine.Threads().SetEventLocked(overlapped->hEvent, false);
}

void SimComm::Finish(OVERLAPPED* overlapped, ULONG_PTR status, ULONG_PTR bytes) {
  overlapped->Internal = status;
  overlapped->InternalHigh = bytes;
  if (overlapped->hEvent) m_machine.Threads().SetEventLocked(overlapped->hEvent, true);
}

void SimComm::Complete(Request& request, ULONG_PTR status, ULONG_PTR bytes) {
  if (request.finished) return;
  request.finished = true;
  Finish(request.overlapped, status, bytes);
}

void SimComm::Raise(Port& port, DWORD events) {
  events &= port.mask;
  if (!events) return;
  if (!port.wait) {
    port.history |= events;
    return;
  }
  std::shared_ptr<Request> wait = std::move(port.wait);
  port.wait.reset();
  *wait->events = events;
  Complete(*wait, kStatusSuccess, sizeof(DWORD));
}

void SimComm::Cancel(std::deque<std::shared_ptr<Request>>& requests) {
  for (auto& request : requests) Complete(*request, kStatusCancelled, request->done);
  requests.clear();
}

HANDLE SimComm::CreateFileA(LPCSTR name, DWORD, DWORD, DWORD creation, DWORD flags) {
  CallScope call(m_machine, "CreateFileA");
  if (call.Fails(name ? name : "")) return INVALID_HANDLE_VALUE;
  // Only COM1 to COM9 are DOS device names; from COM10 on a port is
  // reached through the device namespace alone ("\\.\COM10"), the plain
  // name being a file in the current folder.
  // https://learn.microsoft.com/windows/win32/fileio/naming-a-file
  const std::string deviceName = ComPortName(name);
  const bool deviceNamespace = name && std::string(name).rfind("\\\\.\\", 0) == 0;
  Device* device = deviceName.size() == 4 || deviceNamespace ? FindDevice(deviceName) : nullptr;
  if (!device) return m_machine.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  // A port has one user at a time.
  if (device->kind == "in_use" || device->openHandle)
    return m_machine.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  // Only overlapped ports are modelled, the way the channel opens them.
  if (creation != OPEN_EXISTING || !(flags & FILE_FLAG_OVERLAPPED))
    return m_machine.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  const ULONG_PTR handle = m_nextHandle += 4;
  auto port = std::make_unique<Port>();
  port->device = device;
  m_ports[handle] = std::move(port);
  device->openHandle = handle;
  return reinterpret_cast<HANDLE>(handle);
}

bool SimComm::CloseHandleLocked(HANDLE handle) {
  auto it = m_ports.find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == m_ports.end()) return false;
  Port& port = *it->second;
  if (port.wait) {
    ++port.device->waitsCutByClose;
    Complete(*port.wait, kStatusCancelled, 0);
  }
  Cancel(port.reads);
  Cancel(port.writes);
  port.device->openHandle = 0;
  m_ports.erase(it);
  return true;
}

BOOL SimComm::SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue) {
  CallScope call(m_machine, "SetupComm");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (inQueue == 0 || outQueue == 0) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  port->inQueue = inQueue;
  return TRUE;
}

BOOL SimComm::SetCommTimeouts(HANDLE handle, const COMMTIMEOUTS* timeouts) {
  CallScope call(m_machine, "SetCommTimeouts");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!timeouts) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  port->timeouts = *timeouts;
  return TRUE;
}

BOOL SimComm::SetCommMask(HANDLE handle, DWORD mask) {
  CallScope call(m_machine, "SetCommMask");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  port->mask = mask;
  port->history = 0;
  // A pending wait ends with no events.
  if (port->wait) {
    std::shared_ptr<Request> wait = std::move(port->wait);
    port->wait.reset();
    *wait->events = 0;
    Complete(*wait, kStatusSuccess, sizeof(DWORD));
  }
  return TRUE;
}

BOOL SimComm::GetCommMask(HANDLE handle, DWORD* mask) {
  CallScope call(m_machine, "GetCommMask");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!mask) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  *mask = port->mask;
  return TRUE;
}

BOOL SimComm::GetCommState(HANDLE handle, DCB* dcb) {
  CallScope call(m_machine, "GetCommState");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!dcb) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  *dcb = port->device->line;
  return TRUE;
}

BOOL SimComm::SetCommState(HANDLE handle, const DCB* dcb) {
  CallScope call(m_machine, "SetCommState");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!dcb || !ValidLine(*dcb) || port->device->kind == "unconfigurable")
    return m_machine.Fail(ERROR_INVALID_PARAMETER);
  port->device->line = *dcb;
  port->device->configured = true;
  return TRUE;
}

// The "baud=9600 parity=N data=8 stop=1" form (an optional "COMn:" first);
// flow control is left off, as Windows does.
BOOL SimComm::BuildCommDCBA(LPCSTR definition, DCB* dcb) {
  CallScope call(m_machine, "BuildCommDCBA");
  const std::string text = definition ? definition : "";
  if (call.Fails(text)) return FALSE;
  if (!dcb) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  DCB result = *dcb;
  bool stopGiven = false;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(' ', at), text.size());
    std::string token = text.substr(at, end - at);
    at = end + 1;
    if (token.empty()) continue;
    for (char& c : token) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (token.back() == ':' && !ComPortName(token.substr(0, token.size() - 1).c_str()).empty()) continue;
    const size_t equals = token.find('=');
    if (equals == std::string::npos || equals + 1 == token.size())
      return m_machine.Fail(ERROR_INVALID_PARAMETER);
    const std::string key = token.substr(0, equals), value = token.substr(equals + 1);
    if (key == "baud") {
      if (value.find_first_not_of("0123456789") != std::string::npos || value.size() > 9)
        return m_machine.Fail(ERROR_INVALID_PARAMETER);
      // The mode command's two-digit abbreviations.
      static const std::map<std::string, DWORD> abbreviations = {{"11", 110},  {"15", 150},  {"30", 300},
                                                                 {"60", 600},  {"12", 1200}, {"24", 2400},
                                                                 {"48", 4800}, {"96", 9600}, {"19", 19200}};
      auto it = abbreviations.find(value);
      result.BaudRate = it != abbreviations.end() ? it->second : static_cast<DWORD>(std::stoul(value));
    } else if (key == "parity") {
      static const char kLetters[] = "noems";  // in the order of NOPARITY to SPACEPARITY
      const char* letter = value.size() == 1 ? std::strchr(kLetters, value[0]) : nullptr;
      if (!letter) return m_machine.Fail(ERROR_INVALID_PARAMETER);
      result.Parity = static_cast<BYTE>(letter - kLetters);
      result.fParity = result.Parity != NOPARITY;
    } else if (key == "data") {
      if (value.size() != 1 || value[0] < '5' || value[0] > '8')
        return m_machine.Fail(ERROR_INVALID_PARAMETER);
      result.ByteSize = static_cast<BYTE>(value[0] - '0');
    } else if (key == "stop") {
      if (value == "1")
        result.StopBits = ONESTOPBIT;
      else if (value == "1.5")
        result.StopBits = ONE5STOPBITS;
      else if (value == "2")
        result.StopBits = TWOSTOPBITS;
      else
        return m_machine.Fail(ERROR_INVALID_PARAMETER);
      stopGiven = true;
    } else {
      return m_machine.Fail(ERROR_INVALID_PARAMETER);
    }
  }
  if (result.BaudRate == 110 && !stopGiven) result.StopBits = TWOSTOPBITS;
  result.fBinary = 1;
  result.fOutX = result.fInX = 0;
  result.fOutxCtsFlow = result.fOutxDsrFlow = 0;
  *dcb = result;
  return TRUE;
}

BOOL SimComm::PurgeComm(HANDLE handle, DWORD flags) {
  CallScope call(m_machine, "PurgeComm");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (flags & PURGE_TXABORT) {
    Cancel(port->writes);
    port->lineFreeAt = m_machine.GetWorld().Now();
  }
  if (flags & PURGE_RXABORT) Cancel(port->reads);
  if (flags & PURGE_RXCLEAR) port->input.clear();
  return TRUE;
}

BOOL SimComm::WaitCommEvent(HANDLE handle, DWORD* events, OVERLAPPED* overlapped) {
  CallScope call(m_machine, "WaitCommEvent");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!events || !overlapped) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  Start(overlapped);
  // Windows' driver refuses a second wait, and a wait for nothing.
  if (port->wait || port->mask == 0) {
    if (port->device->refusedWaitSignals) Finish(overlapped, kStatusInvalidParameter, 0);
    return m_machine.Fail(ERROR_INVALID_PARAMETER);
  }
  if (port->history) {
    *events = port->history;
    port->history = 0;
    Finish(overlapped, kStatusSuccess, sizeof(DWORD));
    return TRUE;
  }
  port->wait = std::make_shared<Request>();
  port->wait->overlapped = overlapped;
  port->wait->events = events;
  return Pending();
}

BOOL SimComm::ClearCommError(HANDLE handle, DWORD* errors, COMSTAT* status) {
  CallScope call(m_machine, "ClearCommError");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (errors) *errors = port->errors;
  port->errors = 0;
  if (status) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(port->input.size());
    for (const auto& write : port->writes) status->cbOutQue += static_cast<DWORD>(write->data.size());
  }
  return TRUE;
}

BOOL SimComm::ReadFile(HANDLE handle, LPVOID buffer, DWORD size, DWORD* done, OVERLAPPED* overlapped) {
  CallScope call(m_machine, "ReadFile");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!overlapped || (!buffer && size)) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  Start(overlapped);
  BYTE* bytes = static_cast<BYTE*>(buffer);
  DWORD got = 0;
  while (got < size && !port->input.empty() && port->reads.empty()) {
    bytes[got++] = port->input.front();
    port->input.pop_front();
  }
  const COMMTIMEOUTS& timeouts = port->timeouts;
  const bool returnAtOnce = timeouts.ReadIntervalTimeout == MAXDWORD &&
                            timeouts.ReadTotalTimeoutMultiplier == 0 &&
                            timeouts.ReadTotalTimeoutConstant == 0;
  if (got == size || returnAtOnce) {
    if (done) *done = got;
    Finish(overlapped, kStatusSuccess, got);
    return TRUE;
  }
  auto read = std::make_shared<Request>();
  read->overlapped = overlapped;
  read->buffer = bytes;
  read->size = size;
  read->done = got;
  port->reads.push_back(read);
  const ULONG_PTR key = reinterpret_cast<ULONG_PTR>(handle);
  // The total time-out ends the read with what it has.
  const uint64_t total =
      static_cast<uint64_t>(timeouts.ReadTotalTimeoutMultiplier) * size + timeouts.ReadTotalTimeoutConstant;
  if (total) {
    std::weak_ptr<Request> weak = read;
    m_machine.GetWorld().ScheduleAt(m_machine.GetWorld().Now() + total, [this, key, weak]() {
      std::shared_ptr<Request> request = weak.lock();
      auto it = m_ports.find(key);
      if (!request || request->finished || it == m_ports.end()) return;
      auto& reads = it->second->reads;
      reads.erase(std::remove(reads.begin(), reads.end(), request), reads.end());
      Complete(*request, kStatusSuccess, request->done);
    });
  }
  if (got) ArmIntervalTimeout(key, read);
  if (done) *done = 0;
  return Pending();
}

// The interval time-out ends a read that has bytes when no other byte
// follows in time.
void SimComm::ArmIntervalTimeout(ULONG_PTR handle, const std::shared_ptr<Request>& read) {
  auto it = m_ports.find(handle);
  const DWORD interval = it == m_ports.end() ? 0 : it->second->timeouts.ReadIntervalTimeout;
  if (interval == 0 || interval == MAXDWORD) return;
  std::weak_ptr<Request> weak = read;
  const DWORD doneThen = read->done;
  m_machine.GetWorld().ScheduleAt(m_machine.GetWorld().Now() + interval, [this, handle, weak, doneThen]() {
    std::shared_ptr<Request> request = weak.lock();
    auto port = m_ports.find(handle);
    if (!request || request->finished || request->done != doneThen || port == m_ports.end()) return;
    auto& reads = port->second->reads;
    reads.erase(std::remove(reads.begin(), reads.end(), request), reads.end());
    Complete(*request, kStatusSuccess, request->done);
  });
}

BOOL SimComm::WriteFile(HANDLE handle, LPCVOID data, DWORD size, DWORD* done, OVERLAPPED* overlapped) {
  CallScope call(m_machine, "WriteFile");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!overlapped || (!data && size)) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  Start(overlapped);
  if (size == 0) {
    if (done) *done = 0;
    Finish(overlapped, kStatusSuccess, 0);
    return TRUE;
  }
  auto write = std::make_shared<Request>();
  write->overlapped = overlapped;
  write->data.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
  port->writes.push_back(write);
  // Writes go out one after another at the line's speed.
  World& world = m_machine.GetWorld();
  port->lineFreeAt = std::max(port->lineFreeAt, world.Now()) + TransmitTime(port->device->line, size);
  const ULONG_PTR key = reinterpret_cast<ULONG_PTR>(handle);
  world.ScheduleAt(port->lineFreeAt, [this, key, write]() { WriteSent(key, write); });
  if (done) *done = 0;
  return Pending();
}

void SimComm::WriteSent(ULONG_PTR handle, const std::shared_ptr<Request>& write) {
  auto it = m_ports.find(handle);
  if (write->finished || it == m_ports.end()) return;  // purged or closed first
  Port& port = *it->second;
  port.writes.erase(std::remove(port.writes.begin(), port.writes.end(), write), port.writes.end());
  Complete(*write, kStatusSuccess, write->data.size());
  Device& device = *port.device;
  device.written.push_back(Hex(write->data));
  if (port.writes.empty()) Raise(port, EV_TXEMPTY);
  // A printer hears a request only at its own rate; its reply goes to
  // whoever has the port open when it comes.
  if (device.kind == "printer" && device.line.BaudRate == device.baud && HasStatusRequest(write->data)) {
    Device* target = &device;
    std::vector<BYTE> reply = device.answersEachRequest ? device.status.Answers(write->data) : device.reply;
    if (reply.empty()) reply = device.reply;  // the label printers' query
    m_machine.GetWorld().ScheduleAt(m_machine.GetWorld().Now() + device.replyDelay,
                                    [this, target, reply]() { Deliver(*target, reply); });
  }
}

void SimComm::ReceiveBytes(const std::string& port, const std::vector<BYTE>& bytes) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (Device* device = FindDevice(ComPortName(port.c_str()))) Deliver(*device, bytes);
}

// Bytes off the line: into a pending read, else the input queue; each one
// raises its events (a wait pending takes the first, the rest are kept for
// the next wait).
void SimComm::Deliver(Device& device, const std::vector<BYTE>& bytes) {
  auto it = m_ports.find(device.openHandle);
  if (it == m_ports.end()) return;  // nobody listens: the bytes are lost
  const ULONG_PTR handle = it->first;
  Port& port = *it->second;
  for (BYTE byte : bytes) {
    if (!port.reads.empty()) {
      std::shared_ptr<Request> read = port.reads.front();
      read->buffer[read->done++] = byte;
      if (read->done == read->size) {
        port.reads.pop_front();
        Complete(*read, kStatusSuccess, read->done);
      } else {
        ArmIntervalTimeout(handle, read);
      }
    } else if (port.input.size() < port.inQueue) {
      port.input.push_back(byte);
    } else {
      port.errors |= CE_RXOVER;
    }
    Raise(port, EV_RXCHAR | (byte == static_cast<BYTE>(device.line.EvtChar) ? EV_RXFLAG : 0));
  }
}

BOOL SimComm::GetOverlappedResult(HANDLE handle, OVERLAPPED* overlapped, DWORD* done, BOOL wait) {
  CallScope call(m_machine, "GetOverlappedResult");
  Port* port = Begin(call, handle);
  if (!port) return FALSE;
  if (!overlapped) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  if (overlapped->Internal == kStatusPending) {
    if (!wait) return m_machine.Fail(ERROR_IO_INCOMPLETE);
    m_machine.GetWorld().BlockUntil(
        call.Lock(), [overlapped]() { return overlapped->Internal != kStatusPending; }, kNoDeadline,
        "GetOverlappedResult on " + port->device->name);
  }
  if (done) *done = static_cast<DWORD>(overlapped->InternalHigh);
  if (overlapped->Internal == kStatusSuccess) return TRUE;
  return m_machine.Fail(overlapped->Internal == kStatusCancelled ? ERROR_OPERATION_ABORTED
                                                                 : ERROR_GEN_FAILURE);
}

std::string SimComm::FormatMessageA(DWORD error) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto own = m_messages.find(error);
  if (own != m_messages.end()) return own->second;
  auto it = SystemMessages().find(error);
  if (it != SystemMessages().end()) return it->second;
  return m_machine.Fail(ERROR_MR_MID_NOT_FOUND);
}

std::unique_ptr<plat::CriticalSection> SimComm::CreateCriticalSection() {
  return std::make_unique<SimCriticalSection>(m_machine);
}

}  // namespace sim
