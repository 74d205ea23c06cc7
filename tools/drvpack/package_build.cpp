#include "package_build.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

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

}  // namespace

bool BuildPackage(const std::string& folder, const std::string& archive, unsigned* fileCount,
                  std::string* error) {
  std::error_code ec;
  if (!stdfs::is_directory(folder, ec)) {
    *error = folder + " is not a folder";
    return false;
  }
  stdfs::path output = stdfs::absolute(archive, ec);
  std::vector<Item> items;
  for (auto it = stdfs::recursive_directory_iterator(folder, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    bool isFolder = it->is_directory(ec);
    if (!isFolder && !it->is_regular_file(ec)) continue;                   // sockets, broken links
    if (!isFolder && stdfs::absolute(it->path(), ec) == output) continue;  // the archive being written
    std::string name = stdfs::relative(it->path(), folder, ec).generic_string();
    if (name.size() >= 0xFFFF) {
      *error = "name too long: " + name;
      return false;
    }
    if (!isFolder && it->file_size(ec) >= 0xFFFFFFFFull) {
      *error = name + " is too large for a ZIP archive without ZIP64";
      return false;
    }
    items.push_back({isFolder ? name + "/" : name, it->path(), isFolder});
  }
  if (ec) {
    *error = "cannot list " + folder + ": " + ec.message();
    return false;
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

}  // namespace drvpack
