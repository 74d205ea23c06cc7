#include "platform/sim/faults.h"

namespace sim {

bool FaultTable::ShouldFail(const std::string& call, const std::string& argument, DWORD* error) {
  ++m_calls[call];
  // Every fault counts each call it matches, so "after" and "count" mean
  // the same whatever other faults the call meets.
  bool fail = false;
  for (size_t i = 0; i < m_faults.size(); ++i) {
    const Fault& fault = m_faults[i];
    if (fault.call != call) continue;
    if (!fault.match.empty() && argument.find(fault.match) == std::string::npos) continue;
    const int seen = m_seen[i]++;
    if (fail || seen < fault.after) continue;
    if (fault.count >= 0 && seen >= fault.after + fault.count) continue;
    *error = fault.error;
    fail = true;
  }
  return fail;
}

int FaultTable::CallCount(const std::string& call) const {
  auto it = m_calls.find(call);
  return it == m_calls.end() ? 0 : it->second;
}

}  // namespace sim
