// Asking a receipt printer itself, past the spooler: the real-time status
// requests DLE EOT 1 to 4 over its COM port or its raw TCP/IP port. Every
// wait is bounded, so a silent or missing printer costs one time-out.
#pragma once

#include <string>
#include <vector>

#include "StatusWords.h"
#include "platform/platform.h"

namespace setup {

// How long a printer has to answer one request (and a connection to be
// made): a ready printer answers within a few milliseconds at 9600 baud.
constexpr DWORD kAnswerTimeMs = 500;

struct DeviceAnswers {
  bool reached = false;       // the port opened, the connection was made
  std::string failure;        // why not, or why the answers stop
  std::vector<BYTE> answers;  // to DLE EOT 1, 2, ... in order; fewer when it stopped answering
};

// "9600,n,8,1" (the Ports key's form) as BuildCommDCB's "baud=9600 parity=n
// data=8 stop=1"; empty when the text is not of that form.
std::string LineSettingsDefinition(const std::string& portsValue);

// The COM port ("COM3:" or "COM3") with the line settings definition.
DeviceAnswers AskSerialPrinter(const std::string& port, const std::string& definition);
// A raw TCP/IP port's address (dotted IPv4) and port number.
DeviceAnswers AskNetworkPrinter(const std::string& address, WORD portNumber);

}  // namespace setup
