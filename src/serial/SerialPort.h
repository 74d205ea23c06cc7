// A channel over one COM port: opens it for overlapped I/O with the given
// line settings, and runs one monitor thread that writes what the owner
// asks to send and reports every received byte to the owner window.
#pragma once

#include <atomic>
#include <memory>

#include "framework/wnd.h"
#include "platform/platform.h"

// What the monitor thread sends to the owner window, lParam being the port
// number.
constexpr UINT WM_SERIAL_BREAK = WM_USER + 1;
constexpr UINT WM_SERIAL_CTS = WM_USER + 2;
constexpr UINT WM_SERIAL_LINE_ERROR = WM_USER + 4;
constexpr UINT WM_SERIAL_RING = WM_USER + 5;
constexpr UINT WM_SERIAL_BYTE = WM_USER + 7;  // wParam: the byte
constexpr UINT WM_SERIAL_EVENT_CHAR = WM_USER + 8;

class CSerialPort {
 public:
  CSerialPort();
  virtual ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens "\\.\COMn" and configures it; 1 when the port is open and fully
  // configured, 0 (no message) otherwise, `m_hPort` then keeping what
  // CreateFileA gave. `parity` is 'N', 'E', 'O', 'M' or 'S'.
  BOOL OpenPort(CWnd* owner, int portNumber, UINT baudRate, char parity, UINT dataBits, UINT stopBits,
                DWORD eventMask, UINT sendBufferSize);
  // Starts the monitor thread; 1 when it was created.
  BOOL StartMonitor();
  // Hands `length` bytes (at most the send-buffer size) to the monitor
  // thread and returns at once.
  void SendBytes(const char* data, int length);
  // Ends the monitor thread and closes the port and the three events.
  void ClosePort();

  int m_nSendLength;
  HANDLE m_hPort;
  HANDLE m_hThread;  // the monitor thread, kept for the wait at close
  std::unique_ptr<plat::CriticalSection> m_lock;
  std::atomic<BOOL> m_bRunning;
  HANDLE m_hSendEvent;
  HANDLE m_hStopEvent;
  HANDLE m_hEvents[3];  // stop, I/O, send: the order is the priority
  OVERLAPPED m_ovIo;    // event waits, reads and writes; hEvent is the I/O event
  COMMTIMEOUTS m_timeouts;
  DCB m_dcb;
  CWnd* m_pNotifyWnd;
  int m_nPortNumber;
  std::unique_ptr<BYTE[]> m_pSendBuffer;
  DWORD m_dwEventMask;
  DWORD m_dwEventsSeen;  // where the overlapped event wait reports
  int m_nSendBufferSize;
  BOOL m_bWaitPending;  // an event wait is out; only the monitor thread uses it

 protected:
  static DWORD WINAPI MonitorThreadProc(LPVOID param);
  DWORD Monitor();
  void ReadInput();
  void WriteOutput();
  void Notify(UINT message, WPARAM wParam);
  void ReportError(const char* operation);
  void OnWaitRefused();
  void EndPendingWait();
  // Asks the monitor thread to end and waits for it; FALSE when it is
  // still running after the wait.
  BOOL StopMonitor(DWORD milliseconds);
  void CloseHandles();
};
