// The whole machine profile checked before a machine is built from it:
// every field known, of its type and in its range, every host file it names
// present. The machine's parts then read it without further checks.
#pragma once

#include <string>
#include <vector>

#include "host/sim/json_check.h"
#include "host/sim/profile.h"

namespace sim {

// Throws InputError naming the first bad field ("com_ports.COM3.baud:
// expected a number from 1 to 4294967295, got -5"). Host files the profile
// names are looked for from `baseDirectory`.
void CheckProfile(const Profile& profile, const std::string& baseDirectory);

// windows.native_machine: "x86", "x64" or "arm64", and the
// IMAGE_FILE_MACHINE_* value each stands for (0 for another name).
const std::vector<std::string>& NativeMachineNames();
WORD NativeMachineOfName(const std::string& name);

}  // namespace sim
