#include "PrinterAsking.h"

#include <cctype>
#include <cstdio>

namespace setup {

namespace {

// DLE EOT n.
void StatusRequest(int n, char request[3]) {
  request[0] = 0x10;
  request[1] = 0x04;
  request[2] = static_cast<char>(n);
}

std::string ErrorText(const char* call, DWORD error) {
  std::string text = plat::Comm().FormatMessageA(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return std::string(call) + " failed: error " + std::to_string(error) +
         (text.empty() ? "" : " (" + text + ")");
}

// Closes a kernel handle (a port, an event) at the end of its scope.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : m_handle(handle) {}
  ~ScopedHandle() {
    if (Valid()) plat::Threads().CloseHandle(m_handle);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return m_handle; }
  bool Valid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_handle;
};

class ScopedSocket {
 public:
  explicit ScopedSocket(plat::SocketHandle socket) : m_socket(socket) {}
  ~ScopedSocket() {
    if (m_socket != plat::kInvalidSocket) plat::Network().closesocket(m_socket);
  }
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  plat::SocketHandle Get() const { return m_socket; }

 private:
  plat::SocketHandle m_socket;
};

// One overlapped transfer on the port, waited for to its end: the port's
// time-outs bound a read, the line's speed a write.
bool Transfer(HANDLE port, HANDLE event, bool write, void* data, DWORD size, DWORD* done) {
  plat::IComm& comm = plat::Comm();
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event;
  *done = 0;
  const BOOL finished = write ? comm.WriteFile(port, data, size, done, &overlapped)
                              : comm.ReadFile(port, data, size, done, &overlapped);
  if (finished) return true;
  if (plat::System().GetLastError() != ERROR_IO_PENDING) return false;
  return comm.GetOverlappedResult(port, &overlapped, done, TRUE) != FALSE;
}

}  // namespace

std::string LineSettingsDefinition(const std::string& portsValue) {
  unsigned baud = 0, data = 0;
  char parity = 0;
  char stop[4] = {};
  char rest = 0;
  if (std::sscanf(portsValue.c_str(), "%u,%c,%u,%3[0-9.]%c", &baud, &parity, &data, stop, &rest) != 4)
    return std::string();
  parity = static_cast<char>(std::tolower(static_cast<unsigned char>(parity)));
  if (baud == 0 || data < 5 || data > 8 || std::string("noems").find(parity) == std::string::npos)
    return std::string();
  char definition[64];
  std::snprintf(definition, sizeof definition, "baud=%u parity=%c data=%u stop=%s", baud, parity, data, stop);
  return definition;
}

DeviceAnswers AskSerialPrinter(const std::string& port, const std::string& definition) {
  DeviceAnswers result;
  std::string name = port;
  if (!name.empty() && name.back() == ':') name.pop_back();
  plat::IComm& comm = plat::Comm();
  ScopedHandle handle(comm.CreateFileA(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED));
  if (!handle.Valid()) {
    const DWORD error = plat::System().GetLastError();
    result.failure = error == ERROR_ACCESS_DENIED ? "another program holds " + port
                                                  : ErrorText(("opening " + port).c_str(), error);
    return result;
  }
  ScopedHandle event(plat::Threads().CreateEventA(TRUE, FALSE));
  DCB dcb = {};
  dcb.DCBlength = sizeof dcb;
  COMMTIMEOUTS timeouts = {};
  // A read returns with what came within the time-out, nothing included.
  timeouts.ReadTotalTimeoutConstant = kAnswerTimeMs;
  timeouts.WriteTotalTimeoutConstant = kAnswerTimeMs;
  if (!event.Valid() || !comm.SetupComm(handle.Get(), 64, 64) || !comm.GetCommState(handle.Get(), &dcb) ||
      !comm.BuildCommDCBA(definition.c_str(), &dcb) || !comm.SetCommState(handle.Get(), &dcb) ||
      !comm.SetCommTimeouts(handle.Get(), &timeouts)) {
    result.failure = ErrorText(("setting up " + port).c_str(), plat::System().GetLastError());
    return result;
  }
  comm.PurgeComm(handle.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
  result.reached = true;
  for (int n = 1; n <= kStatusRequestCount; ++n) {
    char request[3];
    StatusRequest(n, request);
    DWORD done = 0;
    if (!Transfer(handle.Get(), event.Get(), true, request, sizeof request, &done) ||
        done != sizeof request) {
      result.failure = ErrorText(("writing to " + port).c_str(), plat::System().GetLastError());
      return result;
    }
    BYTE answer = 0;
    if (!Transfer(handle.Get(), event.Get(), false, &answer, 1, &done)) {
      // Windows ends a read whose time-out ran out with success and no
      // bytes ("COMMTIMEOUTS structure"); Wine's serial driver fails it
      // with ERROR_TIMEOUT instead: both are silence.
      const DWORD error = plat::System().GetLastError();
      if (error != ERROR_TIMEOUT && error != ERROR_SEM_TIMEOUT) {
        result.failure = ErrorText(("reading from " + port).c_str(), error);
        return result;
      }
      done = 0;
    }
    if (done == 0) {
      result.failure = "the printer does not answer on " + port;
      return result;
    }
    result.answers.push_back(answer);
  }
  return result;
}

DeviceAnswers AskNetworkPrinter(const std::string& address, WORD portNumber) {
  DeviceAnswers result;
  plat::INetwork& network = plat::Network();
  const std::string where = address + " port " + std::to_string(portNumber);
  ScopedSocket socket(network.ConnectA(address.c_str(), portNumber, kAnswerTimeMs));
  if (socket.Get() == plat::kInvalidSocket) {
    const int error = network.WSAGetLastError();
    result.failure = error == plat::kWsaTimedOut ? "the printer does not answer at " + where
                     : error == plat::kWsaConnectionRefused
                         ? "nothing takes print jobs at " + where
                         : "connecting to " + where + " failed: error " + std::to_string(error);
    return result;
  }
  result.reached = true;
  for (int n = 1; n <= kStatusRequestCount; ++n) {
    char request[3];
    StatusRequest(n, request);
    if (network.send(socket.Get(), request, sizeof request) != static_cast<int>(sizeof request)) {
      result.failure = "sending to " + where + " failed: error " + std::to_string(network.WSAGetLastError());
      return result;
    }
    char answer = 0;
    if (network.RecvWithin(socket.Get(), &answer, 1, kAnswerTimeMs) != 1) {
      result.failure = "the printer does not answer at " + where;
      return result;
    }
    result.answers.push_back(static_cast<BYTE>(answer));
  }
  return result;
}

}  // namespace setup
