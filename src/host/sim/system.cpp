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
  std::unique_lock<std::mutex> lock(m_machine.Mutex());
  m_machine.SpendCallTime(lock, "GetVersionExA");
  if (!info) {
    m_machine.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (m_machine.FailCall("GetVersionExA", std::to_string(size))) return FALSE;
  const WindowsVersion& version = m_machine.Version();
  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if ((extended && !version.extendedVersionInfo) || (!extended && size != sizeof(OSVERSIONINFOA))) {
    m_machine.SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = version.major;
  info->dwMinorVersion = version.minor;
  info->dwBuildNumber = version.build;
  info->dwPlatformId = version.platformId;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

HMODULE SimSystem::GetModuleHandleA(LPCSTR name) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const std::string wanted = ModuleBaseName(name ? name : "");
  if (m_machine.FailCall("GetModuleHandleA", wanted)) return nullptr;
  const SimModule* module = m_machine.FindModule(wanted);
  if (!module) {
    m_machine.SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(const_cast<SimModule*>(module));
}

HMODULE SimSystem::LoadLibraryA(LPCSTR name) {
  HMODULE module = GetModuleHandleA(name);
  if (module) {
    std::lock_guard<std::mutex> lock(m_machine.Mutex());
    if (m_machine.FailCall("LoadLibraryA", name ? name : "")) return nullptr;
  }
  return module;
}

BOOL SimSystem::FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return module ? TRUE : FALSE;
}

FARPROC SimSystem::GetProcAddress(HMODULE module, LPCSTR name) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (!module || !name) {
    m_machine.SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (m_machine.FailCall("GetProcAddress", name)) return nullptr;
  const SimModule* record = reinterpret_cast<const SimModule*>(module);
  auto it = record->exports.find(name);
  if (it == record->exports.end()) {
    m_machine.SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return it->second;
}

HANDLE SimSystem::GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL SimSystem::ConvertToAnsiCodePage(LPCSTR text, std::string* ansi) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (Utf8ToAnsi(text ? text : "", m_machine.Version().codePage, ansi)) return TRUE;
  ansi->clear();
  m_machine.SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return FALSE;
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
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_machine.FailCall("OpenProcessToken")) return FALSE;
  *token = m_machine.Threads().NewPlainHandleLocked();
  return TRUE;
}

BOOL SimSystem::LookupPrivilegeValueA(LPCSTR, LPCSTR name, LUID* luid) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_machine.FailCall("LookupPrivilegeValueA", name ? name : "")) return FALSE;
  for (const auto& privilege : kPrivileges) {
    if (name && std::string(name) == privilege.name) {
      luid->LowPart = privilege.luid;
      luid->HighPart = 0;
      return TRUE;
    }
  }
  m_machine.SetLastError(ERROR_NO_SUCH_PRIVILEGE);
  return FALSE;
}

BOOL SimSystem::AdjustTokenPrivileges(HANDLE, const LUID& luid, DWORD attributes) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_machine.FailCall("AdjustTokenPrivileges")) return FALSE;
  for (const auto& privilege : kPrivileges) {
    if (privilege.luid == luid.LowPart && (attributes & SE_PRIVILEGE_ENABLED))
      m_machine.Log(std::string("privilege ") + privilege.name + " enabled");
  }
  m_machine.SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SimSystem::CheckAdministratorsMembership(BOOL* isMember) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_machine.FailCall("CheckTokenMembership")) return FALSE;
  if (!isMember) {
    m_machine.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *isMember = m_machine.Version().administrator ? TRUE : FALSE;
  return TRUE;
}

BOOL SimSystem::IsProtectedPrintEnabled(BOOL* enabled) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  *enabled = FALSE;
  if (m_machine.FailCall("IsProtectedPrintEnabled")) return FALSE;
  // Before Windows 11 24H2 the class is not registered.
  if (!m_machine.Version().HasProtectedPrintMode()) {
    m_machine.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  *enabled = m_machine.ProtectedPrintOnLocked() ? TRUE : FALSE;
  return TRUE;
}

}  // namespace sim
