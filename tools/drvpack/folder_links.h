// Links inside a package folder: symbolic links, and on Windows junctions
// and every other reparse point. Packing follows none that leads outside
// the folder, to a folder, or nowhere.
#pragma once

#include <filesystem>

namespace drvpack {

enum class LinkKind {
  kNotALink,
  kToFileInside,  // packed as the file it leads to
  kToFolder,
  kOutside,
  kNowhere,
};

// What `path` is, judged against `root` (canonical). Never follows a link
// for the answer beyond finding where it leads.
LinkKind ClassifyLink(const std::filesystem::path& path, const std::filesystem::path& root);

}  // namespace drvpack
