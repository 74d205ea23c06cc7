#include "platform/sim/spooler.h"

#include "platform/sim/machine.h"
#include "platform/sim/services.h"

namespace sim {

namespace {
// RPC_S_SERVER_UNAVAILABLE: what spooler calls give while the service is down.
constexpr DWORD kSpoolerUnavailable = 1722;

plat::PortInfo2 LocalPort(const std::string& name) {
  plat::PortInfo2 port;
  port.portName = name;
  port.monitorName = "Local Monitor";
  port.description = "Local Port";
  port.portType = 3;  // PORT_TYPE_WRITE | PORT_TYPE_READ
  return port;
}
}  // namespace

SimSpooler::SimSpooler(Machine& machine) : m_machine(machine) {
  for (const char* name : {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"})
    m_ports.push_back(LocalPort(name));
}

void SimSpooler::LoadJson(const Profile& spooler) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (spooler.contains("ports")) {
    m_ports.clear();
    for (const Profile& entry : spooler["ports"]) {
      plat::PortInfo2 port = LocalPort(entry.at("name").get<std::string>());
      port.monitorName = entry.value("monitor", port.monitorName);
      port.description = entry.value("description", port.description);
      port.portType = entry.value("type", port.portType);
      m_ports.push_back(port);
    }
  }
}

nlohmann::json SimSpooler::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json ports = nlohmann::json::array();
  for (const plat::PortInfo2& port : m_ports)
    ports.push_back(
        {{"name", port.portName}, {"monitor", port.monitorName}, {"description", port.description}});
  return nlohmann::json{{"ports", ports}};
}

bool SimSpooler::Running() {
  SimService* service = m_machine.Services().Find("Spooler");
  return service && service->state == SERVICE_RUNNING;
}

BOOL SimSpooler::EnumPortsA(std::vector<plat::PortInfo2>* ports) {
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  m_machine.SpendCallTime(lock, "EnumPortsA");
  if (m_machine.FailCall("EnumPortsA")) return FALSE;
  if (!Running()) {
    m_machine.SetLastError(kSpoolerUnavailable);
    return FALSE;
  }
  *ports = m_ports;
  return TRUE;
}

}  // namespace sim
