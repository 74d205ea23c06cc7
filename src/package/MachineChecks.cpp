// Windows Protected Print mode and the native processor: the two facts of
// a machine on which this package cannot be installed at all.
#include "package/MachineChecks.h"

#include "platform/platform.h"

// "Configure Windows protected print" (Policy CSP - Printers,
// https://learn.microsoft.com/windows/client-management/mdm/policy-csp-printers,
// and https://learn.microsoft.com/windows-hardware/drivers/print/windows-protected-print-mode).
// HKLM\SOFTWARE\Policies is shared between the 32-bit and the 64-bit view
// ("Registry Keys Affected by WOW64",
// https://learn.microsoft.com/windows/win32/winprog64/shared-registry-keys),
// so this 32-bit program reads the value the policy wrote.
const char kProtectedPrintPolicyKey[] = "Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
const char kProtectedPrintPolicyValue[] = "WindowsProtectedPrintGroupPolicyState";

const char kProtectedPrintBlocksDriver[] =
    "Windows Protected Print mode is on. It blocks this printer's driver: while it is on, Windows "
    "accepts no printer driver, port monitor or language monitor that does not come with Windows, so "
    "installing this printer will fail.\r\n\r\nAn administrator can turn the mode off in Settings > "
    "Bluetooth & devices > Printers & scanners, or where Group Policy set it, with the policy "
    "\"Configure Windows protected print\" (Computer Configuration > Administrative Templates > "
    "Printers), and then run the installer again.";

const char kNoDriversForArm64[] =
    "This driver package has no drivers for ARM64 Windows, so nothing was installed.\r\n\r\nThis "
    "computer runs Windows on an ARM64 processor, which cannot load the package's x86 and x64 drivers. "
    "Ask your supplier for ARM64 drivers for this printer.";

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE process, BOOL* wow64);
typedef BOOL(WINAPI* IsWow64Process2Fn)(HANDLE process, WORD* processMachine, WORD* nativeMachine);

BOOL IsPolicyOn() {
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  if (registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProtectedPrintPolicyKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return FALSE;
  DWORD state = 0;
  DWORD type = 0;
  DWORD size = sizeof state;
  const LONG result = registry.RegQueryValueExA(key, kProtectedPrintPolicyValue, &type,
                                                reinterpret_cast<BYTE*>(&state), &size);
  registry.RegCloseKey(key);
  // The policy writes 1 for enabled and 0 for disabled.
  return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof state && state != 0;
}

}  // namespace

BOOL IsProtectedPrintModeOn() {
  if (IsPolicyOn()) return TRUE;
  // The mode can also be turned on in Settings, without a policy: Windows'
  // own answer covers that where the system has it.
  BOOL enabled = FALSE;
  return plat::System().IsProtectedPrintEnabled(&enabled) && enabled;
}

BOOL IsWow64() {
  plat::ISystem& system = plat::System();
  HMODULE kernel32 = system.GetModuleHandleA("kernel32");
  IsWow64ProcessFn isWow64Process =
      kernel32 ? plat::ProcAs<IsWow64ProcessFn>(system.GetProcAddress(kernel32, "IsWow64Process")) : nullptr;
  BOOL wow64 = FALSE;
  if (isWow64Process && !isWow64Process(system.GetCurrentProcess(), &wow64)) wow64 = FALSE;
  return wow64;
}

WORD GetNativeMachine() {
  plat::ISystem& system = plat::System();
  HMODULE kernel32 = system.GetModuleHandleA("kernel32");
  if (!kernel32) return NATIVE_MACHINE_UNKNOWN;
  // IsWow64Process answers TRUE for this x86 program on ARM64 Windows too;
  // only IsWow64Process2 names the processor. It is missing before
  // Windows 10 version 1709, and with it ARM64 Windows.
  // https://learn.microsoft.com/windows/win32/api/wow64apiset/nf-wow64apiset-iswow64process2
  IsWow64Process2Fn isWow64Process2 =
      plat::ProcAs<IsWow64Process2Fn>(system.GetProcAddress(kernel32, "IsWow64Process2"));
  WORD processMachine = 0;
  WORD nativeMachine = NATIVE_MACHINE_UNKNOWN;
  if (isWow64Process2 && isWow64Process2(system.GetCurrentProcess(), &processMachine, &nativeMachine) &&
      nativeMachine != NATIVE_MACHINE_UNKNOWN)
    return nativeMachine;
  return IsWow64() ? NATIVE_MACHINE_X64 : NATIVE_MACHINE_X86;
}

const char* NativeMachineName(WORD machine) {
  switch (machine) {
    case NATIVE_MACHINE_X86:
      return "x86";
    case NATIVE_MACHINE_X64:
      return "x64";
    case NATIVE_MACHINE_ARM64:
      return "ARM64";
    default:
      return "unknown";
  }
}
