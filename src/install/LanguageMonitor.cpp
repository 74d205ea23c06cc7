#include "install/LanguageMonitor.h"

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

bool SameText(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

}  // namespace

bool LanguageMonitorInPlace(const char* monitorName, const char* dllPath) {
  std::vector<plat::MonitorInfo2> monitors;
  if (!plat::Spooler().EnumMonitorsA(&monitors)) return false;
  for (const plat::MonitorInfo2& monitor : monitors)
    if (SameText(monitor.name, monitorName)) return SameText(monitor.dllName, dllPath);
  return false;
}
