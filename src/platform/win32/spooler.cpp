#include <vector>

#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

std::string Text(const char* text) { return text ? text : ""; }

class Win32Spooler : public ISpooler {
 public:
  BOOL EnumPortsA(std::vector<PortInfo2>* ports) override {
    ports->clear();
    DWORD needed = 0;
    DWORD count = 0;
    // The first call only learns the size; the list may grow between the
    // calls, so a second shortfall is tried again with the new size.
    ::EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
      buffer.assign(needed ? needed : 1, 0);
      if (::EnumPortsA(nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count)) {
        const PORT_INFO_2A* records = reinterpret_cast<const PORT_INFO_2A*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
          PortInfo2 port;
          port.portName = Text(records[i].pPortName);
          port.monitorName = Text(records[i].pMonitorName);
          port.description = Text(records[i].pDescription);
          port.portType = records[i].fPortType;
          ports->push_back(port);
        }
        return TRUE;
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
    }
    return FALSE;
  }
};

}  // namespace

ISpooler& SpoolerService() {
  static Win32Spooler service;
  return service;
}

}  // namespace win32
}  // namespace plat
