// Packs a driver package folder into a ZIP archive the installer unpacks.
#pragma once

#include <string>
#include <vector>

namespace drvpack {

// Zips every file below `folder` into `archive`: names relative to the
// folder with '/' separators, deflated, folders as their own entries, in
// sorted order with a fixed time stamp so the same tree gives the same
// archive. Nothing is written when the folder fails the package check
// (CheckPackage, and the name and link rules of WalkPackageFolder), and the
// archive written is read back and checked again: build never leaves a
// package that check refuses. Returns false with every reason in
// `problems`.
bool BuildPackage(const std::string& folder, const std::string& archive, unsigned* fileCount,
                  std::vector<std::string>* problems);

// Zips the folder as it is, without the package check: for tests that
// need a faulty package. The name and link rules still apply.
bool PackFolderUnchecked(const std::string& folder, const std::string& archive, unsigned* fileCount,
                         std::string* error);

}  // namespace drvpack
