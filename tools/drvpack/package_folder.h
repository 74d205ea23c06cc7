// Walks a package folder as drvpack packs and checks it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace drvpack {

struct FolderItem {
  std::string name;  // relative, '/'-separated, no trailing '/'
  std::filesystem::path path;
  bool folder = false;
};

// Lists every file and folder below `folder`, sorted by name, except
// `skip` (the archive being written there). Each item that cannot go into
// a package is left out with a line in `problems`: a name the archive
// library refuses or reads differently (device names, "a:b" streams,
// backslashes, control characters, ".."), a symbolic link leading outside
// the folder, to a folder or nowhere, anything but a plain file or folder.
// Returns false only when the folder cannot be listed.
bool WalkPackageFolder(const std::string& folder, const std::filesystem::path& skip,
                       std::vector<FolderItem>* items, std::vector<std::string>* problems);

}  // namespace drvpack
