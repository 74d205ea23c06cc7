// The run's log: every step with its time, every failing call with its
// error code. Lines go to the /log file (through the sink the program's
// entry gives) and are kept for the JSON result.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace setup {

// Where log lines end up, and the time stamp they carry.
class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // One line without its line break.
  virtual void WriteLine(const std::string& line) = 0;
  virtual std::string Stamp() = 0;
};

class SetupLog {
 public:
  explicit SetupLog(ILogSink* sink);

  void Step(const std::string& text);
  // "CALL failed: error N (system text)".
  void CallFailed(const std::string& call, DWORD error);
  std::vector<std::string> Lines();

 private:
  ILogSink* m_sink;
  // Boxes raised by the start-up worker are logged from its thread.
  std::unique_ptr<plat::CriticalSection> m_lock;
  std::vector<std::string> m_lines;
};

// Box and status texts on one line: "\r\n" runs become " / ".
std::string OneLine(const std::string& text);

}  // namespace setup
