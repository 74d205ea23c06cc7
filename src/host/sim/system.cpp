#include "host/sim/system.h"

#include <cstring>
#include <string>

#include "host/sim/code_page.h"
#include "host/sim/machine.h"
#include "host/sim/threads.h"

namespace sim {

namespace {
// Module handles are the address of the module's record; a loaded library
// is counted per name so FreeLibrary can be checked.
std::string ModuleBaseName(const std::string& name) {
  std::string base = name;
  const size_t slash = base.find_last_of("\\/");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = base.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".dll") base = base.substr(0, dot);
  }
  return base;
}
}  // namespace

DWORD SimSystem::GetLastError() { return m_machine.GetLastError(); }

void SimSystem::SetLastError(DWORD error) { m_machine.SetLastError(error); }

BOOL SimSystem::GetVersionExA(OSVERSIONINFOA* info) {
  CallScope call(m_machine, "GetVersionExA");
  if (!info) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  const DWORD size = info->dwOSVersionInfoSize;
  if (call.Fails(std::to_string(size))) return FALSE;
  const WindowsVersion& version = m_machine.Version();
  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if ((extended && !version.extendedVersionInfo) || (!extended && size != sizeof(OSVERSIONINFOA)))
    return m_machine.Fail(ERROR_INSUFFICIENT_BUFFER);
  info->dwMajorVersion = version.major;
  info->dwMinorVersion = version.minor;
  info->dwBuildNumber = version.build;
  info->dwPlatformId = version.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

HMODULE SimSystem::GetModuleHandleA(LPCSTR name) {
  CallScope call(m_machine, "GetModuleHandleA");
  const std::string wanted = ModuleBaseName(name ? name : "");
  if (call.Fails(wanted)) return nullptr;
  const SimModule* module = m_machine.FindModule(wanted);
  if (!module) return m_machine.Fail(ERROR_MOD_NOT_FOUND);
  return reinterpret_cast<HMODULE>(const_cast<SimModule*>(module));
}

HMODULE SimSystem::LoadLibraryA(LPCSTR name) {
  HMODULE module = GetModuleHandleA(name);
  if (module) {
    CallScope call(m_machine, "LoadLibraryA");
    if (call.Fails(name ? name : "")) return nullptr;
  }
  return module;
}

BOOL SimSystem::FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return module ? TRUE : FALSE;
}

FARPROC SimSystem::GetProcAddress(HMODULE module, LPCSTR name) {
  CallScope call(m_machine, "GetProcAddress");
  if (!module || !name) return m_machine.Fail(ERROR_INVALID_HANDLE);
  if (call.Fails(name)) return nullptr;
  const SimModule* record = reinterpret_cast<const SimModule*>(module);
  auto it = record->exports.find(name);
  if (it == record->exports.end()) return m_machine.Fail(ERROR_PROC_NOT_FOUND);
  return it->second;
}

HANDLE SimSystem::GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL SimSystem::ConvertToAnsiCodePage(LPCSTR text, std::string* ansi) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (Utf8ToAnsi(text ? text : "", m_machine.Version().codePage, ansi)) return TRUE;
  ansi->clear();
  return m_machine.Fail(ERROR_NO_UNICODE_TRANSLATION);
}

namespace {
// The privileges the installer asks for, by the locally unique ids a
// Windows machine gives them.
const struct {
  const char* name;
  DWORD luid;
} kPrivileges[] = {{"SeLoadDriverPrivilege", 10}, {"SeShutdownPrivilege", 19}, {"SeDebugPrivilege", 20}};
}  // namespace

BOOL SimSystem::OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
  CallScope call(m_machine, "OpenProcessToken");
  if (call.Fails()) return FALSE;
  *token = m_machine.Threads().NewPlainHandleLocked();
  return TRUE;
}

BOOL SimSystem::LookupPrivilegeValueA(LPCSTR, LPCSTR name, LUID* luid) {
  CallScope call(m_machine, "LookupPrivilegeValueA");
  if (call.Fails(name ? name : "")) return FALSE;
  for (const auto& privilege : kPrivileges) {
    if (name && std::string(name) == privilege.name) {
      luid->LowPart = privilege.luid;
      luid->HighPart = 0;
      return TRUE;
    }
  }
  return m_machine.Fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL SimSystem::AdjustTokenPrivileges(HANDLE, const LUID& luid, DWORD attributes) {
  CallScope call(m_machine, "AdjustTokenPrivileges");
  if (call.Fails()) return FALSE;
  for (const auto& privilege : kPrivileges) {
    if (privilege.luid == luid.LowPart && (attributes & SE_PRIVILEGE_ENABLED))
      m_machine.Log(std::string("privilege ") + privilege.name + " enabled");
  }
  m_machine.SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SimSystem::CheckAdministratorsMembership(BOOL* isMember) {
  CallScope call(m_machine, "CheckTokenMembership");
  if (call.Fails()) return FALSE;
  if (!isMember) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  *isMember = m_machine.Version().administrator ? TRUE : FALSE;
  return TRUE;
}

BOOL SimSystem::IsProtectedPrintEnabled(BOOL* enabled) {
  CallScope call(m_machine, "IsProtectedPrintEnabled");
  *enabled = FALSE;
  if (call.Fails()) return FALSE;
  // Before Windows 11 24H2 the class is not registered.
  if (!m_machine.Version().HasProtectedPrintMode()) return m_machine.Fail(ERROR_NOT_SUPPORTED);
  *enabled = m_machine.ProtectedPrintOnLocked() ? TRUE : FALSE;
  return TRUE;
}

}  // namespace sim
