// The simulated machine's network, as far as a status request reaches:
// devices at "ADDRESS:PORT" that a profile names. A printer answers each
// real-time status request with what its conditions say; a silent device
// takes the connection and never answers; a refusing one refuses it; an
// address with no device never answers the connection at all, so the
// caller's time-out runs out (on the virtual clock).
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/sim/profile.h"
#include "host/sim/status_device.h"
#include "platform/platform.h"

namespace sim {

class Machine;

// What a profile may put at an address ("printer", "silent", "refuses").
const std::vector<std::string>& NetworkDeviceKinds();

class SimNetwork : public plat::INetwork {
 public:
  explicit SimNetwork(Machine& machine) : m_machine(machine) {}

  plat::SocketHandle ConnectA(LPCSTR address, WORD port, DWORD timeoutMs) override;
  int send(plat::SocketHandle socket, const char* data, int size) override;
  int RecvWithin(plat::SocketHandle socket, char* buffer, int size, DWORD timeoutMs) override;
  int closesocket(plat::SocketHandle socket) override;
  int WSAGetLastError() override;

  // Profile "network": {"192.168.1.50:9100": {"device": "printer",
  // "status": ["cover_open"], "reply_delay_ms": 20}}.
  void LoadJson(const Profile& network);
  // Per device: its kind, the connections it took and the bytes sent to it
  // (hex, one entry per send).
  nlohmann::json ToJson() const;
  bool HasDevices() const;

 private:
  struct Device {
    std::string kind;
    StatusDevice status;
    uint64_t replyDelay = 20;
    int connections = 0;
    std::vector<std::string> received;
  };
  struct Connection {
    Device* device = nullptr;
    std::deque<BYTE> input;
  };
  int Fail(int error);

  Machine& m_machine;
  std::map<std::string, Device> m_devices;
  std::map<plat::SocketHandle, Connection> m_connections;
  plat::SocketHandle m_nextSocket = 0x7000;
};

}  // namespace sim
