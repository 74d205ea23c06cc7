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
  // Some Windows headers mark it deprecated; the installer wants the real
  // version record all the same.
  BOOL GetVersionExA(OSVERSIONINFOA* info) override {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ::GetVersionExA(info);
#pragma GCC diagnostic pop
  }
  HMODULE GetModuleHandleA(LPCSTR name) override { return ::GetModuleHandleA(name); }
  HMODULE LoadLibraryA(LPCSTR name) override { return LoadLibraryFromTrustedFolder(name); }
  BOOL FreeLibrary(HMODULE module) override { return ::FreeLibrary(module); }
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override { return ::GetProcAddress(module, name); }
  HANDLE GetCurrentProcess() override { return ::GetCurrentProcess(); }
  BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override {
    return ::OpenProcessToken(process, access, token);
  }
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) override {
    return ::LookupPrivilegeValueA(system, name, luid);
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
};

}  // namespace

ISystem& SystemService() {
  static Win32System service;
  return service;
}

}  // namespace win32
}  // namespace plat
