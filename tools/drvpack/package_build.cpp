#include "package_build.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "package_check.h"
#include "package_folder.h"

namespace drvpack {

namespace {

namespace stdfs = std::filesystem;

constexpr size_t kPieceSize = 256 * 1024;
constexpr uLong kFileAttributes = 0x20;    // FILE_ATTRIBUTE_ARCHIVE
constexpr uLong kFolderAttributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY

struct Item {
  std::string name;  // '/'-separated; folders end with '/'
  stdfs::path path;
  bool folder;
};

bool AddItem(zipFile zip, const Item& item, std::vector<char>* buffer, std::string* error) {
  zip_fileinfo info = {};
  info.tmz_date.tm_year = 2020;  // fixed: the same tree gives the same bytes
  info.tmz_date.tm_mday = 1;
  info.external_fa = item.folder ? kFolderAttributes : kFileAttributes;
  int method = item.folder ? 0 : Z_DEFLATED;
  if (zipOpenNewFileInZip3_64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                              Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                              nullptr, 0, 0) != ZIP_OK) {
    *error = "cannot add " + item.name;
    return false;
  }
  bool ok = true;
  if (!item.folder) {
    FILE* in = std::fopen(item.path.string().c_str(), "rb");
    if (!in) {
      *error = "cannot read " + item.path.string();
      ok = false;
    }
    while (ok) {
      size_t got = std::fread(buffer->data(), 1, buffer->size(), in);
      if (got > 0 && zipWriteInFileInZip(zip, buffer->data(), static_cast<unsigned>(got)) != ZIP_OK) {
        *error = "cannot write " + item.name;
        ok = false;
      }
      if (got < buffer->size()) {
        if (std::ferror(in)) {
          *error = "cannot read " + item.path.string();
          ok = false;
        }
        break;
      }
    }
    if (in) std::fclose(in);
  }
  if (zipCloseFileInZip(zip) != ZIP_OK && ok) {
    *error = "cannot finish " + item.name;
    ok = false;
  }
  return ok;
}

// Writes `items` (sorted, folders without their '/') into `archive`.
bool WriteArchive(const std::vector<FolderItem>& folderItems, const std::string& archive, unsigned* fileCount,
                  std::string* error) {
  std::vector<Item> items;
  for (const FolderItem& item : folderItems) {
    if (item.name.size() >= 0xFFFF) {
      *error = "name too long: " + item.name;
      return false;
    }
    std::error_code ec;
    if (!item.folder && stdfs::file_size(item.path, ec) >= 0xFFFFFFFFull) {
      *error = item.name + " is too large for a ZIP archive without ZIP64";
      return false;
    }
    items.push_back({item.folder ? item.name + "/" : item.name, item.path, item.folder});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
  if (items.size() >= 0xFFFF) {
    *error = "too many entries for a ZIP archive without ZIP64";
    return false;
  }

  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  if (!zip) {
    *error = "cannot create " + archive;
    return false;
  }
  std::vector<char> buffer(kPieceSize);
  bool ok = true;
  unsigned files = 0;
  for (const Item& item : items) {
    if (!AddItem(zip, item, &buffer, error)) {
      ok = false;
      break;
    }
    if (!item.folder) ++files;
  }
  if (zipClose(zip, nullptr) != ZIP_OK && ok) {
    *error = "cannot finish " + archive;
    ok = false;
  }
  if (!ok) std::remove(archive.c_str());
  if (fileCount) *fileCount = files;
  return ok;
}

stdfs::path OutputPath(const std::string& archive) {
  std::error_code ec;
  stdfs::path output = stdfs::absolute(archive, ec);
  return ec ? stdfs::path(archive) : output;
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
    std::remove(archive.c_str());
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
