#include "SetupLog.h"

namespace setup {

SetupLog::SetupLog(ILogSink* sink) : m_sink(sink), m_lock(plat::Comm().CreateCriticalSection()) {}

void SetupLog::Step(const std::string& text) {
  plat::CriticalSectionLock hold(*m_lock);
  const std::string line = (m_sink ? m_sink->Stamp() + "  " : std::string()) + text;
  m_lines.push_back(text);
  if (m_sink) m_sink->WriteLine(line);
}

void SetupLog::CallFailed(const std::string& call, DWORD error) {
  std::string text = plat::Comm().FormatMessageA(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  Step(call + " failed: error " + std::to_string(error) + (text.empty() ? "" : " (" + OneLine(text) + ")"));
}

std::vector<std::string> SetupLog::Lines() {
  plat::CriticalSectionLock hold(*m_lock);
  return m_lines;
}

std::string OneLine(const std::string& text) {
  std::string line;
  bool inBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!inBreak && !line.empty()) line += " / ";
      inBreak = true;
      continue;
    }
    inBreak = false;
    line += c;
  }
  return line;
}

}  // namespace setup
