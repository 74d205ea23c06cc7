#include "MachineFacts.h"

#include "ExitCodes.h"
#include "package/MachineChecks.h"

namespace setup {

namespace {

const char kProtectedPrintText[] =
    "Windows Protected Print mode is on: Windows accepts no printer driver or monitor that does not come "
    "with Windows, so nothing was installed. An administrator can turn the mode off (Settings > Bluetooth "
    "& devices > Printers & scanners, or the Group Policy \"Configure Windows protected print\").\n";
const char kArm64Text[] =
    "This PC runs Windows on an ARM64 processor and the driver package has no drivers for ARM64 Windows, "
    "so nothing was installed.\n";

}  // namespace

MachineFacts ReadMachineFacts() {
  MachineFacts facts;
  facts.nativeMachine = GetNativeMachine();
  facts.protectedPrint = IsProtectedPrintModeOn() != FALSE;
  return facts;
}

void ReportMachine(CommandContext& context, const MachineFacts& facts) {
  const std::string machine = NativeMachineName(facts.nativeMachine);
  context.result["machine"] = {{"native_machine", machine}, {"protected_print", facts.protectedPrint}};
  context.log.Step("machine: " + machine + " Windows, Windows Protected Print mode " +
                   (facts.protectedPrint ? "on" : "off"));
  if (facts.nativeMachine == NATIVE_MACHINE_ARM64)
    context.text += "machine: ARM64 Windows (the package has no drivers for it)\n";
  if (facts.protectedPrint)
    context.text += "Windows Protected Print mode: on (it blocks the package's drivers)\n";
}

int RefuseMachine(CommandContext& context, const MachineFacts& facts) {
  // Without drivers for the processor the mode does not matter.
  if (facts.nativeMachine == NATIVE_MACHINE_ARM64) {
    context.text = kArm64Text;
    context.result["error"] = "no drivers for ARM64 Windows";
    context.log.Step("refused: the package has no drivers for ARM64 Windows");
    return kExitPlatformUnsupported;
  }
  if (facts.protectedPrint) {
    context.text = kProtectedPrintText;
    context.result["error"] = "Windows Protected Print mode is on";
    context.log.Step("refused: Windows Protected Print mode blocks third-party drivers");
    return kExitBlockedByPolicy;
  }
  return kExitDone;
}

}  // namespace setup
