// COM ports: the device namespace from COM10 on, one user per port, one
// event wait at a time, SetCommMask ending a wait, read time-outs.
#include <string>

#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

HANDLE OpenPort(const std::string& name) {
  return plat::Comm().CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED);
}

void Waits(HANDLE port, HANDLE event) {
  plat::IComm& comm = plat::Comm();
  ok(comm.SetCommMask(port, EV_RXCHAR), "SetCommMask EV_RXCHAR");
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  DWORD events = 0xffff;
  MarkLastError();
  BOOL done = comm.WaitCommEvent(port, &events, &overlapped);
  ok(!done && LastError() == ERROR_IO_PENDING, "WaitCommEvent on a quiet line: %d, error %lu, expected 997",
     done, U(LastError()));

  OVERLAPPED second = {};
  second.hEvent = plat::Threads().CreateEventA(TRUE, FALSE);
  DWORD secondEvents = 0;
  MarkLastError();
  done = comm.WaitCommEvent(port, &secondEvents, &second);
  ok(!done && LastError() == ERROR_INVALID_PARAMETER, "a second WaitCommEvent: %d, error %lu, expected 87",
     done, U(LastError()));
  if (second.hEvent) plat::Threads().CloseHandle(second.hEvent);

  // A new mask completes the pending wait with no events.
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-setcommmask
  ok(comm.SetCommMask(port, 0), "SetCommMask 0");
  DWORD bytes = 0;
  MarkLastError();
  done = comm.GetOverlappedResult(port, &overlapped, &bytes, TRUE);
  ok_or_wine(done && events == 0, !done && LastError() == ERROR_OPERATION_ABORTED && events == 0,
             "SetCommMask aborts a pending wait", "the wait ended by SetCommMask: %d, events %#lx, error %lu",
             done, U(events), U(LastError()));
}

void Timeouts(HANDLE port, HANDLE event) {
  plat::IComm& comm = plat::Comm();
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadTotalTimeoutConstant = 200;
  ok(comm.SetCommTimeouts(port, &timeouts), "SetCommTimeouts");
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  BYTE byte = 0;
  DWORD read = 0xffff;
  MarkLastError();
  BOOL done = comm.ReadFile(port, &byte, 1, &read, &overlapped);
  ok(!done && LastError() == ERROR_IO_PENDING, "ReadFile on a quiet line: %d, error %lu, expected 997", done,
     U(LastError()));
  // A read that times out completes, with the bytes it got: none.
  // https://learn.microsoft.com/windows/win32/api/winbase/ns-winbase-commtimeouts
  read = 0xffff;
  MarkLastError();
  done = comm.GetOverlappedResult(port, &overlapped, &read, TRUE);
  ok_or_wine(done && read == 0, !done && LastError() == ERROR_TIMEOUT && read == 0,
             "a timed-out COM read fails with 1460", "the read timed out: %d, %lu bytes, error %lu", done,
             U(read), U(LastError()));
}

}  // namespace

void TestComm(const Backend& backend) {
  BeginGroup("comm");
  if (backend.highComPort.empty()) {
    skip("no COM port from COM10 on: %s", backend.noComPortReason.c_str());
    return;
  }
  const std::string& name = backend.highComPort;
  MarkLastError();
  HANDLE port = OpenPort(name);
  ok(port == INVALID_HANDLE_VALUE && LastError() == ERROR_FILE_NOT_FOUND,
     "CreateFileA \"%s\" without \\\\.\\: error %lu, expected 2", name.c_str(), U(LastError()));
  if (port != INVALID_HANDLE_VALUE) plat::Threads().CloseHandle(port);

  MarkLastError();
  port = OpenPort("\\\\.\\" + name);
  ok(port != INVALID_HANDLE_VALUE, "CreateFileA \\\\.\\%s: error %lu", name.c_str(), U(LastError()));
  if (port == INVALID_HANDLE_VALUE) return;

  MarkLastError();
  HANDLE again = OpenPort("\\\\.\\" + name);
  // A serial port is an exclusive device: its driver answers a second open
  // with STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED to CreateFile.
  // https://learn.microsoft.com/previous-versions/ff546828(v=vs.85)
  ok_or_wine(again == INVALID_HANDLE_VALUE && LastError() == ERROR_ACCESS_DENIED,
             again != INVALID_HANDLE_VALUE, "a COM port opens twice",
             "CreateFileA of a port in use: error %lu, expected 5", U(LastError()));
  if (again != INVALID_HANDLE_VALUE) plat::Threads().CloseHandle(again);

  HANDLE event = plat::Threads().CreateEventA(TRUE, FALSE);
  ok(event != nullptr, "CreateEventA");
  if (event) {
    Waits(port, event);
    Timeouts(port, event);
    plat::Threads().CloseHandle(event);
  }
  ok(plat::Threads().CloseHandle(port), "CloseHandle of the port");
}

}  // namespace conformance
