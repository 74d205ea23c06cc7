#include "package_build.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "file_io.h"
#include "package_check.h"
#include "package_folder.h"
#include "zip_writer.h"

namespace drvpack {

namespace {

namespace stdfs = std::filesystem;

void RemoveArchive(const std::string& archive) {
  std::error_code ignored;
  stdfs::remove(PathOf(archive), ignored);
}

// Writes `items` (folders without their '/') into `archive`, in name order.
bool WriteArchive(const std::vector<FolderItem>& folderItems, const std::string& archive, unsigned* fileCount,
                  std::string* error) {
  std::vector<FolderItem> items = folderItems;
  for (FolderItem& item : items)
    if (item.folder) item.name += "/";
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  ZipWriter zip;
  if (!zip.Create(PathOf(archive), error)) return false;
  bool ok = true;
  unsigned files = 0;
  for (const FolderItem& item : items) {
    ok = item.folder ? zip.AddFolder(item.name, error) : zip.AddFile(item.name, item.path, error);
    if (!ok) break;
    if (!item.folder) ++files;
  }
  ok = ok && zip.Finish(error);
  if (!ok) RemoveArchive(archive);
  if (fileCount) *fileCount = files;
  return ok;
}

stdfs::path OutputPath(const std::string& archive) {
  std::error_code ec;
  stdfs::path output = stdfs::absolute(PathOf(archive), ec);
  return ec ? PathOf(archive) : output;
}

}  // namespace

bool BuildPackage(const std::string& folder, const std::string& archive, unsigned* fileCount,
                  std::vector<std::string>* problems) {
  std::vector<FolderItem> items;
  if (!WalkPackageFolder(folder, OutputPath(archive), &items, problems) || !problems->empty()) return false;
  PackageContents contents;
  ReadFolderItems(items, &contents);
  *problems = CheckPackage(contents);
  if (!problems->empty()) return false;
  std::string error;
  if (!WriteArchive(items, archive, fileCount, &error)) {
    problems->push_back(error);
    return false;
  }
  PackageContents written;
  ReadArchive(archive, &written);
  *problems = CheckPackage(written);
  if (!problems->empty()) {
    RemoveArchive(archive);
    return false;
  }
  return true;
}

bool PackFolderUnchecked(const std::string& folder, const std::string& archive, unsigned* fileCount,
                         std::string* error) {
  std::vector<FolderItem> items;
  std::vector<std::string> problems;
  if (!WalkPackageFolder(folder, OutputPath(archive), &items, &problems) || !problems.empty()) {
    *error = problems.empty() ? "cannot list " + folder : problems[0];
    return false;
  }
  return WriteArchive(items, archive, fileCount, error);
}

}  // namespace drvpack
