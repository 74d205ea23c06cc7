// Fault injection: any boundary call of the simulated machine can be made to
// fail with a chosen error code, for all calls or for a window of them, so
// that every failure the installer reports can be produced in a test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/types.h"

namespace sim {

struct Fault {
  std::string call;   // Win32 name, for example "RegOpenKeyExA"
  DWORD error = 0;    // last error (or return code) the failing call gives
  int after = 0;      // calls that succeed before the first failure
  int count = -1;     // failures in a row; -1 for every later call
  std::string match;  // when set, only calls whose main argument contains it
};

// The calls a profile may name: every call that can be made to fail
// ("faults"), and every call that can be made to take time ("latency").
const std::vector<std::string>& FaultableCalls();
const std::vector<std::string>& TimedCalls();

class FaultTable {
 public:
  void Add(const Fault& fault) { m_faults.push_back(fault); }
  // Counts the call and tells whether it must fail; `error` gets the code.
  // `argument` is the call's main argument (a key path, a file name...).
  bool ShouldFail(const std::string& call, const std::string& argument, DWORD* error);
  int CallCount(const std::string& call) const;

 private:
  std::vector<Fault> m_faults;
  std::map<size_t, int> m_seen;
  std::map<std::string, int> m_calls;
};

}  // namespace sim
