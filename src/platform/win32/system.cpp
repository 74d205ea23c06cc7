#include <algorithm>
#include <cstring>

#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

static_assert(sizeof(::OSVERSIONINFOA) == 148 && sizeof(::OSVERSIONINFOEXA) == 156,
              "version records must match the installer's view of them");

class Win32System : public ISystem {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(DWORD error) override { ::SetLastError(error); }
  // The wide record, so the service pack text arrives as UTF-8 like every
  // other string. Some Windows headers mark the call deprecated; the
  // installer wants the real version record all the same.
  BOOL GetVersionExA(OSVERSIONINFOA* info) override {
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
        info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA)) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    OSVERSIONINFOEXW wide = {};
    const bool extended = info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA);
    wide.dwOSVersionInfoSize = extended ? sizeof(OSVERSIONINFOEXW) : sizeof(OSVERSIONINFOW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&wide))) return FALSE;
#pragma GCC diagnostic pop
    info->dwMajorVersion = wide.dwMajorVersion;
    info->dwMinorVersion = wide.dwMinorVersion;
    info->dwBuildNumber = wide.dwBuildNumber;
    info->dwPlatformId = wide.dwPlatformId;
    const std::string servicePack = WideToUtf8(wide.szCSDVersion);
    const size_t length = std::min(servicePack.size(), sizeof info->szCSDVersion - 1);
    std::memcpy(info->szCSDVersion, servicePack.data(), length);
    info->szCSDVersion[length] = '\0';
    if (extended) {
      OSVERSIONINFOEXA* full = reinterpret_cast<OSVERSIONINFOEXA*>(info);
      full->wServicePackMajor = wide.wServicePackMajor;
      full->wServicePackMinor = wide.wServicePackMinor;
      full->wSuiteMask = wide.wSuiteMask;
      full->wProductType = wide.wProductType;
      full->wReserved = wide.wReserved;
    }
    return TRUE;
  }
  HMODULE GetModuleHandleA(LPCSTR name) override { return ::GetModuleHandleW(WideArg(name).c_str()); }
  HMODULE LoadLibraryA(LPCSTR name) override { return LoadLibraryFromTrustedFolder(name); }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override { return ::GetProcAddress(module, name); }
  HANDLE GetCurrentProcess() override { return ::GetCurrentProcess(); }
  BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override {
    return ::OpenProcessToken(process, access, token);
  }
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) override {
    return ::LookupPrivilegeValueW(WideArg(system).c_str(), WideArg(name).c_str(), luid);
  }
  BOOL ConvertToAnsiCodePage(LPCSTR text, std::string* ansi) override {
    ansi->clear();
    // With UTF-8 as the ANSI code page the text is already in it (and that
    // code page takes neither the flag nor the default-used question).
    if (::GetACP() == CP_UTF8) {
      *ansi = text ? text : "";
      return TRUE;
    }
    const std::wstring wide = Utf8ToWide(text);
    if (wide.empty()) return TRUE;
    // No best fit: a character the code page lacks must fail, not become a
    // look-alike that names another file (WideCharToMultiByte, "Security
    // Considerations").
    BOOL usedDefault = FALSE;
    const int length = static_cast<int>(wide.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), length, nullptr, 0,
                                            nullptr, &usedDefault);
    if (bytes <= 0) return FALSE;
    ansi->assign(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), length, &(*ansi)[0], bytes, nullptr,
                          &usedDefault);
    if (usedDefault) {
      ansi->clear();
      ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return FALSE;
    }
    return TRUE;
  }
  BOOL AdjustTokenPrivileges(HANDLE token, const LUID& luid, DWORD attributes) override {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = attributes;
    return ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  BOOL CheckAdministratorsMembership(BOOL* isMember) override {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                    0, 0, 0, 0, 0, &administrators))
      return FALSE;
    // A null token: the thread's impersonation token, else the process's.
    const BOOL ok = ::CheckTokenMembership(nullptr, administrators, isMember);
    const DWORD error = ::GetLastError();
    ::FreeSid(administrators);
    ::SetLastError(error);
    return ok;
  }
  BOOL IsProtectedPrintEnabled(BOOL* enabled) override { return QueryProtectedPrintMode(enabled); }
};

}  // namespace

ISystem& SystemService() {
  static Win32System service;
  return service;
}

}  // namespace win32
}  // namespace plat
