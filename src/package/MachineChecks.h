// What the machine itself allows before anything of the package is
// installed: Windows Protected Print mode, in which the spooler takes only
// Windows' own drivers, and the processor Windows runs on, which the
// package must have drivers for. The window and printer-setup ask the same
// questions and say the same texts.
#pragma once

#include "platform/types.h"

// The native machines IsWow64Process2 reports (its IMAGE_FILE_MACHINE_*
// values); 0 when it could not be told.
enum : WORD {
  NATIVE_MACHINE_UNKNOWN = 0,
  NATIVE_MACHINE_X86 = 0x014C,
  NATIVE_MACHINE_X64 = 0x8664,
  NATIVE_MACHINE_ARM64 = 0xAA64,
};

// Where Group Policy turns the mode on: a DWORD, 1 for on.
extern const char kProtectedPrintPolicyKey[];
extern const char kProtectedPrintPolicyValue[];

// What the start-up says when the mode is on, and Install on an ARM64
// machine.
extern const char kProtectedPrintBlocksDriver[];
extern const char kNoDriversForArm64[];

// TRUE when Windows Protected Print mode is on, by its policy value or by
// Windows' own answer where it has one.
BOOL IsProtectedPrintModeOn();

// TRUE when this 32-bit program runs on 64-bit Windows (x64, or ARM64
// with its x86 emulation). IsWow64Process is looked up at run time: Windows
// before XP SP2 has none, and is then 32-bit.
BOOL IsWow64();

// The processor Windows runs on: IsWow64Process2's answer where Windows has
// it (10 version 1709 on), else x64 under the 64-bit emulation layer and x86
// otherwise.
WORD GetNativeMachine();

// "x86", "x64", "ARM64" or "unknown", as plan, status and their logs say it.
const char* NativeMachineName(WORD machine);
