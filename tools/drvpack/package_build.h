// Packs a driver package folder into a ZIP archive the installer unpacks.
#pragma once

#include <string>

namespace drvpack {

// Zips every file below `folder` into `archive`: names relative to the
// folder with '/' separators, deflated, folders as their own entries, in
// sorted order with a fixed time stamp so the same tree gives the same
// archive. Returns false with the reason in `error`.
bool BuildPackage(const std::string& folder, const std::string& archive, unsigned* fileCount,
                  std::string* error);

}  // namespace drvpack
