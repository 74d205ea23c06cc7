// Which Windows the installer runs on, and whether it is 64-bit.
#include "app/InstallDlg.h"
#include "package/MachineChecks.h"
#include "platform/platform.h"

namespace {

// By version code, from OSVER_WIN95.
const char* const kWindowsNames[] = {
    "Microsoft Windows 95 ",   "Microsoft Windows 98 ", "Microsoft Windows Me ",   "Microsoft Windows NT ",
    "Microsoft Windows 2000 ", "Microsoft Windows XP ", "Microsoft Windows 2003 ", "Microsoft Windows Vista ",
    "Microsoft Windows 7 ",    "Microsoft Windows 8 ",  "Microsoft Windows 8.1 ",  "Microsoft Windows 10 ",
};

int Windows9xCode(DWORD major, DWORD minor) {
  if (major != 4) return OSVER_UNKNOWN;
  switch (minor) {
    case 0:
      return OSVER_WIN95;
    case 10:
      return OSVER_WIN98;
    case 90:
      return OSVER_WINME;
    default:
      return OSVER_UNKNOWN;
  }
}

int WindowsNtCode(DWORD major, DWORD minor) {
  if (major <= 4) return OSVER_WINNT4;
  // 5.0-5.2 are 2000, XP and Server 2003; 6.0-6.3 Vista, 7, 8 and 8.1.
  if (major == 5) return minor <= 2 ? static_cast<int>(OSVER_WIN2000 + minor) : OSVER_UNKNOWN;
  if (major == 6) return minor <= 3 ? static_cast<int>(OSVER_VISTA + minor) : OSVER_UNKNOWN;
  if (major == 10) return OSVER_WIN10;
  return OSVER_UNKNOWN;
}

const char kWindows11Name[] = "Microsoft Windows 11 ";
constexpr DWORD kFirstWindows11Build = 22000;

// The build number, 0 when the version cannot be read.
DWORD WindowsBuildNumber() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return plat::System().GetVersionExA(&info) ? info.dwBuildNumber : 0;
}

}  // namespace

int CInstallDlg::GetOsVersionCode() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  plat::ISystem& system = plat::System();
  if (!system.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    // Windows before NT 4.0 SP6 knows only the plain record.
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!system.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return OSVER_UNKNOWN;
  }
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
      return Windows9xCode(info.dwMajorVersion, info.dwMinorVersion);
    case VER_PLATFORM_WIN32_NT:
      return WindowsNtCode(info.dwMajorVersion, info.dwMinorVersion);
    default:
      return OSVER_WIN2000;
  }
}

void CInstallDlg::DetectPlatform() {
  const char* wordSize = "32 bit";
  const char* windowsName = "";

  m_bIsWow64 = IsWow64();
  if (m_bIsWow64) wordSize = "64 bit";

  m_wNativeMachine = GetNativeMachine();

  const int code = GetOsVersionCode();
  if (code >= OSVER_WIN95 && code <= OSVER_WIN10) windowsName = kWindowsNames[code - OSVER_WIN95];
  // Windows 11 still reports 10.0; its builds start at 22000. Only the
  // name shown changes: the code and all that depends on it stay 10's.
  if (code == OSVER_WIN10 && WindowsBuildNumber() >= kFirstWindows11Build) windowsName = kWindows11Name;

  CString status;
  status.Format("%s%s %s", "Current System is ", windowsName, wordSize);
  SetStatus(status);
}
