// Removing a printer driver and adding a Standard TCP/IP port without the
// port monitor's wizard.
#include <cstring>
#include <string>

#include "platform/win32/admin_calls.h"
#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

namespace {

// PORT_DATA_1 as tcpxcv.h declares it (MinGW's headers have no tcpxcv.h):
// the record the "AddPort" data call of the Standard TCP/IP port monitor
// takes, documented under "XcvData function" / "PORT_DATA_1 structure".
constexpr size_t kMaxPortNameLength = 64;
constexpr size_t kMaxNetworkNameLength = 49;
constexpr size_t kMaxSnmpCommunityLength = 33;
constexpr size_t kMaxQueueNameLength = 33;
constexpr size_t kMaxIpAddressLength = 16;
constexpr DWORD kPortData1Version = 1;

struct PortData1 {
  WCHAR portName[kMaxPortNameLength];
  DWORD version;
  DWORD protocol;
  DWORD size;
  DWORD reserved;
  WCHAR hostAddress[kMaxNetworkNameLength];
  WCHAR snmpCommunity[kMaxSnmpCommunityLength];
  DWORD doubleSpool;
  WCHAR queue[kMaxQueueNameLength];
  WCHAR ipAddress[kMaxIpAddressLength];
  BYTE reservedBytes[540];
  DWORD portNumber;
  DWORD snmpEnabled;
  DWORD snmpDeviceIndex;
};

// Copies `text` with its NUL; false when it does not fit `capacity`.
bool CopyWide(WCHAR* target, size_t capacity, const std::string& text) {
  const std::wstring wide = Utf8ToWide(text.c_str());
  if (wide.size() + 1 > capacity) return false;
  std::memcpy(target, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
  return true;
}

}  // namespace

BOOL DeletePrinterDriverExUtf8(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags) {
  std::wstring wideEnvironment = environment ? Utf8ToWide(environment) : std::wstring();
  std::wstring wideDriver = Utf8ToWide(driverName);
  return ::DeletePrinterDriverExW(nullptr, environment ? &wideEnvironment[0] : nullptr, &wideDriver[0],
                                  deleteFlags, 0);
}

BOOL XcvDataAddPortUtf8(HANDLE xcv, const TcpipPortData& port, DWORD* status) {
  PortData1 data = {};
  if (!CopyWide(data.portName, kMaxPortNameLength, port.portName) ||
      !CopyWide(data.hostAddress, kMaxNetworkNameLength, port.hostAddress)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  data.version = kPortData1Version;
  data.protocol = port.protocol;
  data.size = sizeof data;
  data.portNumber = port.portNumber;
  CopyWide(data.snmpCommunity, kMaxSnmpCommunityLength, "public");
  DWORD needed = 0;
  return ::XcvDataW(xcv, L"AddPort", reinterpret_cast<BYTE*>(&data), sizeof data, nullptr, 0, &needed,
                    status);
}

}  // namespace win32
}  // namespace plat
