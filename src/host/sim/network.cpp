#include "host/sim/network.h"

#include <cstdio>

#include "host/sim/machine.h"

namespace sim {

namespace {

// Dotted IPv4 only, as inet_addr takes it here: four numbers 0-255.
bool IsDottedAddress(const std::string& text) {
  unsigned parts[4];
  char end = 0;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4)
    return false;
  for (unsigned part : parts)
    if (part > 255) return false;
  return true;
}

std::string Hex(const char* data, int size) {
  std::string text;
  char byte[4];
  for (int i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(data[i]));
    if (!text.empty()) text += ' ';
    text += byte;
  }
  return text;
}

}  // namespace

const std::vector<std::string>& NetworkDeviceKinds() {
  static const std::vector<std::string> kinds = {"printer", "silent", "refuses"};
  return kinds;
}

void SimNetwork::LoadJson(const Profile& network) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  // Checked by CheckProfile: "ADDRESS:PORT" keys, known kinds.
  for (auto it = network.begin(); it != network.end(); ++it) {
    Device device;
    device.kind = it.value().value("device", std::string("printer"));
    if (it.value().contains("status"))
      device.status = StatusDevice(it.value()["status"].get<std::vector<std::string>>());
    device.replyDelay = it.value().value("reply_delay_ms", static_cast<uint64_t>(20));
    m_devices[it.key()] = device;
  }
}

nlohmann::json SimNetwork::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json out = nlohmann::json::object();
  for (const auto& entry : m_devices)
    out[entry.first] = {{"device", entry.second.kind},
                        {"connections", entry.second.connections},
                        {"received", entry.second.received}};
  return out;
}

bool SimNetwork::HasDevices() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return !m_devices.empty();
}

int SimNetwork::Fail(int error) { return m_machine.Fail(static_cast<DWORD>(error), -1); }

plat::SocketHandle SimNetwork::ConnectA(LPCSTR address, WORD port, DWORD timeoutMs) {
  CallScope call(m_machine, "connect");
  const std::string text = address ? address : "";
  if (call.Fails(text)) return plat::kInvalidSocket;
  if (!IsDottedAddress(text)) {
    Fail(plat::kWsaInvalidArgument);
    return plat::kInvalidSocket;
  }
  const std::string key = text + ":" + std::to_string(port);
  m_machine.Log("connect " + key);
  auto it = m_devices.find(key);
  // The machine's own loopback address resets a connection nothing
  // listens for at once; elsewhere nothing may answer at all.
  if (it == m_devices.end() && text.compare(0, 4, "127.") == 0) {
    Fail(plat::kWsaConnectionRefused);
    return plat::kInvalidSocket;
  }
  if (it == m_devices.end()) {
    // Nothing answers: the whole time-out passes.
    World& world = m_machine.GetWorld();
    world.BlockUntil(
        call.Lock(), []() { return false; }, world.Now() + timeoutMs, "connect " + key);
    Fail(plat::kWsaTimedOut);
    return plat::kInvalidSocket;
  }
  if (it->second.kind == "refuses") {
    Fail(plat::kWsaConnectionRefused);
    return plat::kInvalidSocket;
  }
  ++it->second.connections;
  const plat::SocketHandle socket = m_nextSocket += 4;
  m_connections[socket].device = &it->second;
  return socket;
}

int SimNetwork::send(plat::SocketHandle socket, const char* data, int size) {
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  auto it = m_connections.find(socket);
  if (it == m_connections.end() || !data || size < 0) return Fail(plat::kWsaInvalidArgument);
  Device& device = *it->second.device;
  device.received.push_back(Hex(data, size));
  if (device.kind == "printer") {
    const std::vector<BYTE> answers = device.status.Answers(std::vector<BYTE>(data, data + size));
    if (!answers.empty()) {
      World& world = m_machine.GetWorld();
      world.ScheduleAt(world.Now() + device.replyDelay, [this, socket, answers]() {
        auto connection = m_connections.find(socket);
        if (connection != m_connections.end())
          connection->second.input.insert(connection->second.input.end(), answers.begin(), answers.end());
      });
    }
  }
  return size;
}

int SimNetwork::RecvWithin(plat::SocketHandle socket, char* buffer, int size, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  if (m_connections.count(socket) == 0 || !buffer || size <= 0) return Fail(plat::kWsaInvalidArgument);
  World& world = m_machine.GetWorld();
  world.BlockUntil(
      lock,
      [this, socket]() {
        auto it = m_connections.find(socket);
        return it == m_connections.end() || !it->second.input.empty();
      },
      world.Now() + timeoutMs, "recv");
  auto it = m_connections.find(socket);
  if (it == m_connections.end() || it->second.input.empty()) return Fail(plat::kWsaTimedOut);
  int got = 0;
  while (got < size && !it->second.input.empty()) {
    buffer[got++] = static_cast<char>(it->second.input.front());
    it->second.input.pop_front();
  }
  return got;
}

int SimNetwork::closesocket(plat::SocketHandle socket) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_connections.erase(socket) == 0) return Fail(plat::kWsaInvalidArgument);
  return 0;
}

int SimNetwork::WSAGetLastError() { return static_cast<int>(m_machine.GetLastError()); }

}  // namespace sim
