// TCP for a network printer's own status request, through Winsock. ws2_32
// is looked up at run time from the system folder on the first call, like
// the spooler library, so the program's imports stay the DLLs it needs at
// start and an installer run never loads the network stack.
//
// Connections are non-blocking so every step is bounded by select's time-out:
// "connect function (winsock2.h)", Microsoft Learn: with a non-blocking
// socket connect fails with WSAEWOULDBLOCK and the outcome is reported by
// select, writable on success and in the exception set on failure.
#include <winsock2.h>

#include <cstdio>

#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

struct Winsock {
  decltype(&::WSAStartup) startup = nullptr;
  decltype(&::socket) socket = nullptr;
  decltype(&::connect) connect = nullptr;
  decltype(&::select) select = nullptr;
  decltype(&::send) send = nullptr;
  decltype(&::recv) recv = nullptr;
  decltype(&::closesocket) closesocket = nullptr;
  decltype(&::ioctlsocket) ioctlsocket = nullptr;
  decltype(&::getsockopt) getsockopt = nullptr;
  decltype(&::WSAGetLastError) lastError = nullptr;
  bool ready = false;
};

template <typename Function>
void Resolve(HMODULE module, const char* name, Function* function) {
  *function = ProcAs<Function>(::GetProcAddress(module, name));
}

// Loaded and started once; never unloaded (the process ends soon after).
const Winsock& Library() {
  static const Winsock winsock = [] {
    Winsock loaded;
    const HMODULE module = LoadLibraryFromSystemFolder("ws2_32.dll");
    if (!module) return loaded;
    Resolve(module, "WSAStartup", &loaded.startup);
    Resolve(module, "socket", &loaded.socket);
    Resolve(module, "connect", &loaded.connect);
    Resolve(module, "select", &loaded.select);
    Resolve(module, "send", &loaded.send);
    Resolve(module, "recv", &loaded.recv);
    Resolve(module, "closesocket", &loaded.closesocket);
    Resolve(module, "ioctlsocket", &loaded.ioctlsocket);
    Resolve(module, "getsockopt", &loaded.getsockopt);
    Resolve(module, "WSAGetLastError", &loaded.lastError);
    WSADATA data;
    loaded.ready = loaded.startup && loaded.socket && loaded.connect && loaded.select && loaded.send &&
                   loaded.recv && loaded.closesocket && loaded.ioctlsocket && loaded.getsockopt &&
                   loaded.lastError && loaded.startup(MAKEWORD(2, 2), &data) == 0;
    return loaded;
  }();
  return winsock;
}

// Winsock's error as the thread's last error, where WSAGetLastError below
// reads it.
int Failed(int error) {
  ::SetLastError(static_cast<DWORD>(error));
  return -1;
}

SocketHandle Refuse(int error) {
  Failed(error);
  return kInvalidSocket;
}

timeval Timeout(DWORD milliseconds) {
  timeval value;
  value.tv_sec = static_cast<long>(milliseconds / 1000);
  value.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
  return value;
}

// Dotted IPv4 only, into network byte order; no name is ever resolved.
bool ParseAddress(const char* text, in_addr* address) {
  unsigned parts[4];
  char end = 0;
  if (!text || std::sscanf(text, "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4)
    return false;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&address->s_addr);
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 255) return false;
    bytes[i] = static_cast<unsigned char>(parts[i]);
  }
  return true;
}

class Win32Network : public INetwork {
 public:
  SocketHandle ConnectA(LPCSTR address, WORD port, DWORD timeoutMs) override {
    const Winsock& ws = Library();
    if (!ws.ready) return Refuse(kWsaNotInitialised);
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = static_cast<u_short>((port >> 8) | ((port & 0xFF) << 8));  // network order
    if (!ParseAddress(address, &target.sin_addr)) return Refuse(kWsaInvalidArgument);
    const SOCKET s = ws.socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return Refuse(ws.lastError());
    u_long nonBlocking = 1;
    if (ws.ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return Abandon(s, ws.lastError());
    if (ws.connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        ws.lastError() != WSAEWOULDBLOCK)
      return Abandon(s, ws.lastError());
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit = Timeout(timeoutMs);
    const int ready = ws.select(0, nullptr, &writable, &failed, &limit);
    if (ready == 0) return Abandon(s, kWsaTimedOut);
    if (ready < 0) return Abandon(s, ws.lastError());
    int error = 0;
    int length = sizeof error;
    if (ws.getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      return Abandon(s, ws.lastError());
    if (error != 0) return Abandon(s, error);
    return static_cast<SocketHandle>(s);
  }

  int send(SocketHandle socket, const char* data, int size) override {
    const Winsock& ws = Library();
    if (!ws.ready) return Failed(kWsaNotInitialised);
    const int sent = ws.send(static_cast<SOCKET>(socket), data, size, 0);
    return sent < 0 ? Failed(ws.lastError()) : sent;
  }

  int RecvWithin(SocketHandle socket, char* buffer, int size, DWORD timeoutMs) override {
    const Winsock& ws = Library();
    if (!ws.ready) return Failed(kWsaNotInitialised);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(socket), &readable);
    timeval limit = Timeout(timeoutMs);
    const int ready = ws.select(0, &readable, nullptr, nullptr, &limit);
    if (ready == 0) return Failed(kWsaTimedOut);
    if (ready < 0) return Failed(ws.lastError());
    const int got = ws.recv(static_cast<SOCKET>(socket), buffer, size, 0);
    return got < 0 ? Failed(ws.lastError()) : got;
  }

  int closesocket(SocketHandle socket) override {
    const Winsock& ws = Library();
    if (!ws.ready) return Failed(kWsaNotInitialised);
    return ws.closesocket(static_cast<SOCKET>(socket)) == 0 ? 0 : Failed(ws.lastError());
  }

  int WSAGetLastError() override { return static_cast<int>(::GetLastError()); }

 private:
  SocketHandle Abandon(SOCKET s, int error) {
    Library().closesocket(s);
    Failed(error);
    return kInvalidSocket;
  }
};

}  // namespace

INetwork& NetworkService() {
  static Win32Network service;
  return service;
}

}  // namespace win32
}  // namespace plat
