#include "ports/PortClassification.h"

#include <cstring>

namespace {
const char kTcpipDescription[] = "Standard TCP/IP Port";
// The same description on a Simplified Chinese Windows, as the code page
// 936 bytes the spooler hands to an ANSI program there.
const char kTcpipDescriptionGbk[] =
    "\xB1\xEA\xD7\xBC"
    " TCP/IP "
    "\xB6\xCB\xBF\xDA";
}  // namespace

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsTcpipPortDescription(const std::string& description) {
  return description == kTcpipDescription || description == kTcpipDescriptionGbk;
}

PortKind ClassifyPort(const plat::PortInfo2& port) {
  if (StartsWith(port.portName, "USB")) return PortKind::Usb;
  if (IsTcpipPortDescription(port.description)) return PortKind::Tcpip;
  if (StartsWith(port.portName, "LPT")) return PortKind::Parallel;
  return PortKind::Other;
}
