// The two facts of a PC on which the package cannot be installed at all:
// Windows Protected Print mode and an ARM64 processor. plan and status
// report them; install (and plan, which says what install would do) stops
// on them before anything is unpacked or written.
#pragma once

#include "Commands.h"

namespace setup {

struct MachineFacts {
  WORD nativeMachine = 0;  // NATIVE_MACHINE_*
  bool protectedPrint = false;
};

MachineFacts ReadMachineFacts();

// Puts the facts into the result ("machine") and the log, and a line of
// text for each one that stops an installation.
void ReportMachine(CommandContext& context, const MachineFacts& facts);

// The exit code an installation on this machine ends with before it
// starts (kExitDone when none), with its text and error set.
int RefuseMachine(CommandContext& context, const MachineFacts& facts);

}  // namespace setup
