// Which list a spooler port belongs in. The main dialog's lists and the
// port dialogs classify alike.
#pragma once

#include "platform/platform.h"

enum class PortKind { Usb, Tcpip, Parallel, Other };

// First match wins: a name starting "USB"; the standard TCP/IP port
// monitor's description (English or Simplified Chinese), whatever the
// name; a name starting "LPT". Comparisons are exact and case-sensitive.
PortKind ClassifyPort(const plat::PortInfo2& port);

bool IsTcpipPortDescription(const std::string& description);
bool StartsWith(const std::string& text, const char* prefix);

// The spooler reports at most this many ports to the port lists; any
// further record is neither listed nor counted.
constexpr size_t kMaxPortRecords = 256;
