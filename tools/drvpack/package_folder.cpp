#include "package_folder.h"

#include <algorithm>

#include "file_io.h"
#include "folder_links.h"
#include "zip_reader.h"

namespace drvpack {

namespace {

namespace stdfs = std::filesystem;

// Why one file or folder name cannot be packed as it is, or empty. Linux
// allows names the archive library refuses or splits: "a\b" unpacks as
// folder a, file b on Windows.
std::string NameProblem(const std::string& name) {
  if (name.find('\\') != std::string::npos) return "a backslash, which Windows reads as a folder separator";
  std::vector<std::string> parts;
  std::string why;
  if (!zipreader::SplitEntryName(name, &parts, &why)) return why + ", which the archive library refuses";
  if (parts.size() != 1 || parts[0] != name) return "a name the archive library reads differently";
  // Windows drops them when it creates the file ("Naming Files, Paths,
  // and Namespaces"): the package would unpack another name.
  if (name.back() == '.' || name.back() == ' ') return "a trailing dot or blank, which Windows drops";
  return std::string();
}

}  // namespace

bool WalkPackageFolder(const std::string& folder, const stdfs::path& skip, std::vector<FolderItem>* items,
                       std::vector<std::string>* problems) {
  std::error_code ec;
  const stdfs::path folderPath = PathOf(folder);
  if (!stdfs::is_directory(folderPath, ec)) {
    problems->push_back("folder: " + folder + " is not a folder");
    return false;
  }
  const stdfs::path root = stdfs::canonical(folderPath, ec);
  if (ec) {
    problems->push_back("folder: cannot read " + folder + ": " + ec.message());
    return false;
  }
  const stdfs::path skipped = skip.empty() ? stdfs::path() : stdfs::weakly_canonical(skip, ec);
  stdfs::recursive_directory_iterator it(root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const stdfs::path& path = it->path();
    const std::string name = RelativeName(path, root);
    const LinkKind link = ClassifyLink(path, root);
    // Never walked into: a junction's folder may lie anywhere.
    if (link != LinkKind::kNotALink) it.disable_recursion_pending();
    const std::string why = NameProblem(Utf8(path.filename()));
    if (!why.empty()) {
      problems->push_back("name: " + name + " has " + why);
      it.disable_recursion_pending();
      continue;
    }
    if (link == LinkKind::kNowhere) {
      problems->push_back("link: " + name + " is a symbolic link that leads nowhere");
      continue;
    }
    if (link == LinkKind::kOutside) {
      // Packing it would put a file from elsewhere on the machine into the package.
      problems->push_back("link: " + name + " is a symbolic link leading outside the folder");
      continue;
    }
    if (link == LinkKind::kToFolder) {
      problems->push_back("link: " + name + " is a symbolic link to a folder; copy the folder instead");
      continue;
    }
    std::error_code statusError;
    const stdfs::file_status status = stdfs::status(path, statusError);
    if (stdfs::is_directory(status)) {
      items->push_back({name, path, true});
    } else if (stdfs::is_regular_file(status)) {
      std::error_code ignored;
      if (!skipped.empty() && stdfs::weakly_canonical(path, ignored) == skipped) continue;
      items->push_back({name, path, false});
    } else {
      problems->push_back("name: " + name + " is neither a plain file nor a folder");
    }
  }
  if (ec) {
    problems->push_back("folder: cannot list " + folder + ": " + ec.message());
    return false;
  }
  std::sort(items->begin(), items->end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return true;
}

}  // namespace drvpack
