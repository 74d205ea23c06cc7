// The simulated machine's archive library module.
#pragma once

#include "host/sim/machine.h"

namespace sim {

// "7-zip32.dll" with SevenZip, SevenZipSetOwnerWindowEx and
// SevenZipKillOwnerWindowEx.
SimModule ArchiveLibraryModule();

}  // namespace sim
