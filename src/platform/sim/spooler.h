// The simulated print spooler: its ports (name, monitor, description) now;
// monitors, drivers with their environments, and printers with their
// registry records join it as the installation steps need them.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/sim/profile.h"

namespace sim {

class Machine;

class SimSpooler : public plat::ISpooler {
 public:
  explicit SimSpooler(Machine& machine);

  BOOL EnumPortsA(std::vector<plat::PortInfo2>* ports) override;

  // Profile: {"ports": [{"name": "USB001", "monitor": "...", "description": "..."}]}.
  // Without "ports" the spooler has the ports of a fresh Windows: COM1: to
  // COM4:, LPT1: to LPT3: and FILE:.
  void LoadJson(const Profile& spooler);
  nlohmann::json ToJson() const;
  // Call with the machine's lock held.
  std::vector<plat::PortInfo2>& Ports() { return m_ports; }

 private:
  bool Running();

  Machine& m_machine;
  std::vector<plat::PortInfo2> m_ports;
};

}  // namespace sim
