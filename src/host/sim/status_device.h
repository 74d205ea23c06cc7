// What a simulated receipt printer answers to the real-time status request
// DLE EOT n (0x10 0x04 n, n = 1 to 4): one byte per request, built from the
// conditions a profile gives it ("paper_end", "cover_open", ...). The COM
// devices and the network devices share it. It is written from the
// printers' command reference, not from the decoder in printer-setup, so a
// test of one against the other catches a wrong bit on either side.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// The condition names a profile may list.
const std::vector<std::string>& PrinterConditionNames();

class StatusDevice {
 public:
  StatusDevice() = default;
  explicit StatusDevice(const std::vector<std::string>& conditions) : m_conditions(conditions) {}
  // The answer to DLE EOT n.
  BYTE Answer(BYTE n) const;
  // The answers to every DLE EOT request in `data`, in order.
  std::vector<BYTE> Answers(const std::vector<BYTE>& data) const;

 private:
  bool Has(const char* condition) const;
  std::vector<std::string> m_conditions;
};

}  // namespace sim
