// The calls an unattended run adds to the Win32 services (a driver's
// removal, a TCP/IP port through the port monitor's data interface, the
// named mutex, deleting registry keys and values). Each service class
// forwards its method here.
#pragma once

#include "platform/platform.h"

namespace plat {
namespace win32 {

BOOL DeletePrinterDriverExUtf8(LPCSTR environment, LPCSTR driverName, DWORD deleteFlags);
BOOL XcvDataAddPortUtf8(HANDLE xcv, const TcpipPortData& port, DWORD* status);
HANDLE CreateNamedMutexUtf8(LPCSTR name);
LONG RegDeleteKeyUtf8(HKEY parent, LPCSTR subKey);
LONG RegDeleteValueUtf8(HKEY key, LPCSTR name);

}  // namespace win32
}  // namespace plat
