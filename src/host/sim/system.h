// Version queries, last error and module loading of the simulated machine.
#pragma once

#include "platform/platform.h"

namespace sim {

class Machine;

class SimSystem : public plat::ISystem {
 public:
  explicit SimSystem(Machine& machine) : m_machine(machine) {}

  DWORD GetLastError() override;
  void SetLastError(DWORD error) override;
  BOOL GetVersionExA(OSVERSIONINFOA* info) override;
  HMODULE GetModuleHandleA(LPCSTR name) override;
  HMODULE LoadLibraryA(LPCSTR name) override;
  BOOL FreeLibrary(HMODULE module) override;
  FARPROC GetProcAddress(HMODULE module, LPCSTR name) override;
  HANDLE GetCurrentProcess() override;
  BOOL ConvertToAnsiCodePage(LPCSTR text, std::string* ansi) override;
  BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override;
  BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID* luid) override;
  BOOL AdjustTokenPrivileges(HANDLE token, const LUID& luid, DWORD attributes) override;
  BOOL CheckAdministratorsMembership(BOOL* isMember) override;
  BOOL IsProtectedPrintEnabled(BOOL* enabled) override;

 private:
  Machine& m_machine;
};

}  // namespace sim
