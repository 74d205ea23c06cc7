#include "serial/SerialPort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kQueueSize = 2048;
constexpr DWORD kTimeoutMs = 1000;
constexpr char kEventChar = 'q';
// How long closing waits for the monitor thread: it ends within one
// notification or one write once the stop event is set.
constexpr DWORD kStopWaitMs = 5000;
// How long stopping waits for an event wait it cancelled to report its end:
// at once on Windows, within one of its 10 ms polls on Wine.
constexpr DWORD kWaitEndMs = 500;
constexpr size_t kErrorTextMax = 200;

// At most `limit` bytes of UTF-8 text, never half a character.
std::string CutText(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

CSerialPort::CSerialPort()
    : m_nSendLength(1),
      m_hPort(nullptr),
      m_hThread(nullptr),
      m_bRunning(FALSE),
      m_hSendEvent(nullptr),
      m_hStopEvent(nullptr),
      m_hEvents{nullptr, nullptr, nullptr},
      m_ovIo(),
      m_timeouts(),
      m_dcb(),
      m_pNotifyWnd(nullptr),
      m_nPortNumber(0),
      m_dwEventMask(0),
      m_dwEventsSeen(0),
      m_nSendBufferSize(0),
      m_bWaitPending(FALSE) {}

CSerialPort::~CSerialPort() {
  // The object must not go while its thread still uses it: wait as long as
  // it takes (the thread can only be held up by an error box the user sees,
  // and sent messages keep flowing meanwhile).
  StopMonitor(INFINITE);
  CloseHandles();
}

BOOL CSerialPort::OpenPort(CWnd* owner, int portNumber, UINT baudRate, char parity, UINT dataBits,
                           UINT stopBits, DWORD eventMask, UINT sendBufferSize) {
  // The thread of an earlier open uses every member below.
  if (!StopMonitor(kStopWaitMs)) return FALSE;

  plat::IThreads& threads = plat::Threads();
  HANDLE* const events[] = {&m_ovIo.hEvent, &m_hSendEvent, &m_hStopEvent};
  for (HANDLE* event : events) {
    if (*event) {
      threads.ResetEvent(*event);
      threads.CloseHandle(*event);
    }
    *event = threads.CreateEventA(TRUE, FALSE);
    if (!*event) return FALSE;
  }
  m_hEvents[0] = m_hStopEvent;
  m_hEvents[1] = m_ovIo.hEvent;
  m_hEvents[2] = m_hSendEvent;

  if (!m_lock) m_lock = plat::Comm().CreateCriticalSection();
  m_pNotifyWnd = owner;
  m_pSendBuffer.reset(new BYTE[sendBufferSize]);
  m_nPortNumber = portNumber;
  m_nSendBufferSize = static_cast<int>(sendBufferSize);
  m_dwEventMask = eventMask;

  char portName[50];
  char settings[50];
  const int nameLength = std::snprintf(portName, sizeof portName, "\\\\.\\COM%d", portNumber);
  const int settingsLength = std::snprintf(settings, sizeof settings, "baud=%u parity=%c data=%u stop=%u",
                                           baudRate, parity, dataBits, stopBits);
  if (nameLength < 0 || nameLength >= static_cast<int>(sizeof portName) || settingsLength < 0 ||
      settingsLength >= static_cast<int>(sizeof settings))
    return FALSE;

  plat::IComm& comm = plat::Comm();
  plat::CriticalSectionLock hold(*m_lock);
  if (m_hPort) {
    if (m_hPort != INVALID_HANDLE_VALUE) threads.CloseHandle(m_hPort);
    m_hPort = nullptr;
  }
  m_hPort = comm.CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
  if (m_hPort == INVALID_HANDLE_VALUE) return FALSE;
  if (!comm.SetupComm(m_hPort, kQueueSize, kQueueSize)) return FALSE;
  m_timeouts = COMMTIMEOUTS();
  m_timeouts.ReadIntervalTimeout = kTimeoutMs;
  m_timeouts.ReadTotalTimeoutMultiplier = kTimeoutMs;
  m_timeouts.ReadTotalTimeoutConstant = kTimeoutMs;
  m_timeouts.WriteTotalTimeoutMultiplier = kTimeoutMs;
  m_timeouts.WriteTotalTimeoutConstant = kTimeoutMs;
  if (!comm.SetCommTimeouts(m_hPort, &m_timeouts)) return FALSE;
  if (!comm.SetCommMask(m_hPort, m_dwEventMask)) return FALSE;
  if (!comm.GetCommState(m_hPort, &m_dcb)) return FALSE;
  m_dcb.fRtsControl = RTS_CONTROL_ENABLE;
  m_dcb.EvtChar = kEventChar;
  if (!comm.BuildCommDCBA(settings, &m_dcb) || !comm.SetCommState(m_hPort, &m_dcb)) return FALSE;
  comm.PurgeComm(m_hPort, kPurgeAll);
  return TRUE;
}

BOOL CSerialPort::StartMonitor() {
  if (m_hThread) return FALSE;  // one monitor per open port
  DWORD threadId = 0;
  m_hThread = plat::Threads().CreateThread(&CSerialPort::MonitorThreadProc, this, &threadId);
  return m_hThread ? TRUE : FALSE;
}

void CSerialPort::SendBytes(const char* data, int length) {
  if (!m_pSendBuffer || !data || length < 0) return;
  length = std::min(length, m_nSendBufferSize);  // never past the buffer
  std::memcpy(m_pSendBuffer.get(), data, static_cast<size_t>(length));
  m_nSendLength = length;
  plat::Threads().SetEvent(m_hSendEvent);
}

void CSerialPort::ClosePort() {
  // A thread still running after the wait closes the port itself once it
  // sees the stop event; the events stay for the next close.
  if (StopMonitor(kStopWaitMs)) CloseHandles();
}

BOOL CSerialPort::StopMonitor(DWORD milliseconds) {
  if (m_hStopEvent) plat::Threads().SetEvent(m_hStopEvent);
  if (!m_hThread) return TRUE;
  // The thread may be blocked sending a notification to this very thread:
  // messages sent to it are handled while it waits.
  if (!WaitForThreadPumping(m_hThread, milliseconds)) return FALSE;
  plat::Threads().CloseHandle(m_hThread);
  m_hThread = nullptr;
  return TRUE;
}

void CSerialPort::CloseHandles() {
  plat::IThreads& threads = plat::Threads();
  if (m_hPort && m_hPort != INVALID_HANDLE_VALUE) threads.CloseHandle(m_hPort);
  m_hPort = nullptr;
  HANDLE* const events[] = {&m_hStopEvent, &m_ovIo.hEvent, &m_hSendEvent};
  for (HANDLE* event : events) {
    if (*event) threads.CloseHandle(*event);
    *event = nullptr;
  }
  m_hEvents[0] = m_hEvents[1] = m_hEvents[2] = nullptr;
}

DWORD WINAPI CSerialPort::MonitorThreadProc(LPVOID param) {
  return static_cast<CSerialPort*>(param)->Monitor();
}

DWORD CSerialPort::Monitor() {
  plat::IComm& comm = plat::Comm();
  plat::IThreads& threads = plat::Threads();
  m_bRunning = TRUE;
  m_bWaitPending = FALSE;
  if (m_hPort) comm.PurgeComm(m_hPort, kPurgeAll);
  for (;;) {
    // An overlapped wait writes the events it saw when it completes, which
    // may be after this loop moved on or the thread ended: into a member,
    // never onto the thread's stack.
    m_dwEventsSeen = 0;
    if (comm.WaitCommEvent(m_hPort, &m_dwEventsSeen, &m_ovIo)) {
      m_bWaitPending = FALSE;
      // Events from before the wait: nothing to read means wait again.
      DWORD errors = 0;
      COMSTAT status = {};
      comm.ClearCommError(m_hPort, &errors, &status);
      if (status.cbInQue == 0) continue;
    } else if (plat::System().GetLastError() == ERROR_IO_PENDING) {
      m_bWaitPending = TRUE;
    } else if (m_bWaitPending) {
      OnWaitRefused();
    }
    // Otherwise the wait is pending (or refused): the wait set decides.
    const DWORD signalled = threads.WaitForMultipleObjects(3, m_hEvents, FALSE, INFINITE);
    if (signalled == WAIT_OBJECT_0 + 1) {
      // The configured mask, not the events that came, picks the messages.
      DWORD mask = 0;
      comm.GetCommMask(m_hPort, &mask);
      if (mask & EV_RXCHAR) ReadInput();
      if (mask & EV_CTS) Notify(WM_SERIAL_CTS, 0);
      if (mask & EV_BREAK) Notify(WM_SERIAL_BREAK, 0);
      if (mask & EV_ERR) Notify(WM_SERIAL_LINE_ERROR, 0);
      if (mask & EV_RING) Notify(WM_SERIAL_RING, 0);
      if (mask & EV_RXFLAG) Notify(WM_SERIAL_EVENT_CHAR, 0);
      continue;
    }
    if (signalled == WAIT_OBJECT_0 + 2) {
      WriteOutput();
      continue;
    }
    // The stop event (or a wait set that can no longer wake).
    EndPendingWait();
    threads.CloseHandle(m_hPort);
    m_hPort = nullptr;
    m_bRunning = FALSE;
    return 100;
  }
}

// A second wait is refused while the first is still out. Wine signals the
// I/O event for the refusal, which would wake the wait set at once, again and
// again, until the first wait ends: clear it, so the wait set sleeps until
// that wait ends. Bytes that ended it just before the clear are still in the
// queue, and the set is signalled again for them.
void CSerialPort::OnWaitRefused() {
  plat::IThreads& threads = plat::Threads();
  threads.ResetEvent(m_ovIo.hEvent);
  DWORD errors = 0;
  COMSTAT status = {};
  plat::CriticalSectionLock hold(*m_lock);
  plat::Comm().ClearCommError(m_hPort, &errors, &status);
  if (status.cbInQue != 0) threads.SetEvent(m_ovIo.hEvent);
}

// A wait still out when the port closes may outlive the handles it names:
// on Wine it goes on polling by handle value and, once those values are
// reused for the next port's handle and events, can signal that port's stop
// event. Changing the mask ends the wait at once; its end is awaited before
// anything is closed.
void CSerialPort::EndPendingWait() {
  if (!m_bWaitPending) return;
  m_bWaitPending = FALSE;
  plat::IThreads& threads = plat::Threads();
  threads.ResetEvent(m_ovIo.hEvent);
  if (plat::Comm().SetCommMask(m_hPort, 0)) threads.WaitForSingleObject(m_ovIo.hEvent, kWaitEndMs);
}

void CSerialPort::ReadInput() {
  plat::IComm& comm = plat::Comm();
  BOOL noReadPending = TRUE;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status = {};
    m_lock->Enter();
    comm.ClearCommError(m_hPort, &errors, &status);
    m_lock->Leave();
    if (status.cbInQue == 0) return;

    BYTE byte = 0;
    DWORD bytesRead = 0;
    {
      plat::CriticalSectionLock hold(*m_lock);
      if (noReadPending) {
        if (!comm.ReadFile(m_hPort, &byte, 1, &bytesRead, &m_ovIo)) {
          // A read that keeps failing would raise box after box: the bytes
          // wait for the next wake-up instead.
          if (plat::System().GetLastError() != ERROR_IO_PENDING) {
            ReportError("ReadFile()");
            return;
          }
          noReadPending = FALSE;
        }
      }
      if (!noReadPending) {
        noReadPending = TRUE;
        if (!comm.GetOverlappedResult(m_hPort, &m_ovIo, &bytesRead, TRUE)) {
          ReportError("GetOverlappedResults() in ReadFile()");
          return;
        }
      }
    }
    // After the lock: the owner's handler may take its time.
    if (bytesRead == 1) Notify(WM_SERIAL_BYTE, byte);
  }
}

void CSerialPort::WriteOutput() {
  plat::IComm& comm = plat::Comm();
  plat::Threads().ResetEvent(m_hSendEvent);
  plat::CriticalSectionLock hold(*m_lock);
  m_ovIo.Offset = 0;
  m_ovIo.OffsetHigh = 0;
  comm.PurgeComm(m_hPort, kPurgeAll);
  DWORD bytesSent = 0;
  const DWORD length = static_cast<DWORD>(std::min(m_nSendLength, m_nSendBufferSize));
  if (comm.WriteFile(m_hPort, m_pSendBuffer.get(), length, &bytesSent, &m_ovIo)) return;
  if (plat::System().GetLastError() == ERROR_IO_PENDING) {
    bytesSent = 0;
    comm.GetOverlappedResult(m_hPort, &m_ovIo, &bytesSent, TRUE);
  } else {
    ReportError("WriteFile()");
  }
}

void CSerialPort::Notify(UINT message, WPARAM wParam) {
  if (m_pNotifyWnd) m_pNotifyWnd->SendMessage(message, wParam, static_cast<LPARAM>(m_nPortNumber));
}

void CSerialPort::ReportError(const char* operation) {
  const DWORD error = plat::System().GetLastError();
  const std::string head = std::string("WARNING:  ") + operation + " Failed with the following error: \n";
  const std::string tail = "\nPort: " + std::to_string(m_nPortNumber) + "\n";
  // The box text stays within 200 characters; a long system message gives
  // way so the port line still shows.
  const size_t fixed = head.size() + tail.size();
  const size_t room = fixed < kErrorTextMax ? kErrorTextMax - fixed : 0;
  const std::string text =
      CutText(head + CutText(plat::Comm().FormatMessageA(error), room) + tail, kErrorTextMax);
  plat::User().MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP);
}
