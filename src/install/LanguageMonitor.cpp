#include "install/LanguageMonitor.h"

#include <string>
#include <vector>

#include "common/no_case.h"
#include "platform/platform.h"

bool LanguageMonitorInPlace(const char* monitorName, const char* dllPath) {
  std::vector<plat::MonitorInfo2> monitors;
  if (!plat::Spooler().EnumMonitorsA(&monitors)) return false;
  for (const plat::MonitorInfo2& monitor : monitors)
    if (EqualsNoCase(monitor.name, monitorName)) return EqualsNoCase(monitor.dllName, dllPath);
  return false;
}
