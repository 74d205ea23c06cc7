#include "ports/PortClassification.h"

#include <cstring>

namespace {
const char kTcpipDescription[] = "Standard TCP/IP Port";
// The same description on a Simplified Chinese Windows.
const char kTcpipDescriptionChinese[] = "标准 TCP/IP 端口";
}  // namespace

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsTcpipPortDescription(const std::string& description) {
  return description == kTcpipDescription || description == kTcpipDescriptionChinese;
}

PortKind ClassifyPort(const plat::PortInfo2& port) {
  if (StartsWith(port.portName, "USB")) return PortKind::Usb;
  if (IsTcpipPortDescription(port.description)) return PortKind::Tcpip;
  if (StartsWith(port.portName, "LPT")) return PortKind::Parallel;
  return PortKind::Other;
}
