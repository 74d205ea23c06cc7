// Fuzz target: the input is a ZIP archive, extracted by the archive
// library's reader (ExtractZip) into a fresh folder, then read by drvpack's
// package check. An input of odd length is read from inside the
// destination as DriverData.Drv, as the installer unpacks C:\DriverData.Drv
// into C:\; otherwise from beside it, the destination left for the reader
// to make.
//
// Checked after each run:
//  - nothing appears outside the destination (a sibling folder and the
//    sandbox stay as they were), and the archive keeps its bytes;
//  - an archive Open() refuses, or one with an unsafe name, writes nothing;
//  - every file left behind holds exactly the bytes (size and CRC) of the
//    last entry naming it, whatever the result code: a damaged entry must
//    not stay behind looking good;
//  - a successful run leaves every file entry's file;
//  - drvpack check never throws, and never passes an archive the library
//    fails to unpack.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "package_check.h"
#include "zip_reader.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "archive_fuzz: invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

struct FileFacts {
  uint64_t size = 0;
  uint32_t crc = 0;
};

bool ReadFacts(const fs::path& path, FileFacts* facts) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(in.gcount()));
    size += static_cast<uint64_t>(in.gcount());
  }
  facts->size = size;
  facts->crc = static_cast<uint32_t>(crc);
  return true;
}

// Every path below `root`, relative, with a trailing '/' on folders.
std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string relative = fs::relative(it->path(), root).string();
    if (it->is_symlink()) Fail("a symbolic link was made: " + relative);
    paths.insert(relative + (it->is_directory() ? "/" : ""));
  }
  return paths;
}

class Sandbox {
 public:
  Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "archive-fuzz-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) Fail("cannot make a temporary folder");
    root_ = pattern;
    // The destination is two levels down so a way out at either level shows.
    fs::create_directories(root_ / "outer" / "dest");
    fs::create_directories(root_ / "sibling");
    std::ofstream(root_ / "sibling" / "keep.txt") << "untouched";
  }
  ~Sandbox() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path Archive() const { return inside_ ? Destination() / "DriverData.Drv" : root_ / "input.zip"; }
  void PutArchiveInside(bool inside) { inside_ = inside; }
  fs::path Destination() const { return root_ / "outer" / "dest"; }
  const fs::path& Root() const { return root_; }
  // Empties the destination and drops the archive, keeping the rest.
  void Wipe() {
    std::error_code ignored;
    fs::remove_all(root_ / "outer" / "dest", ignored);
    fs::remove(root_ / "input.zip", ignored);
  }

 private:
  fs::path root_;
  bool inside_ = false;
};

std::set<std::string> OutsideDestination(std::set<std::string> paths) {
  for (auto it = paths.begin(); it != paths.end();) {
    if (it->rfind("outer/dest/", 0) == 0)
      it = paths.erase(it);
    else
      ++it;
  }
  return paths;
}

// drvpack's check of the same archive: bounded, no exception, and no pass
// for an archive the library refused or failed to unpack.
void CheckWithDrvpack(const std::string& archive, int extractCode) {
  try {
    drvpack::PackageContents contents;
    drvpack::ReadArchive(archive, &contents);
    const std::vector<std::string> problems = drvpack::CheckPackage(contents);
    drvpack::CheckBinaries(contents);
    if (extractCode != zipreader::kOk && problems.empty())
      Fail("drvpack check passes an archive the library fails with code " + std::to_string(extractCode));
  } catch (const std::exception& e) {
    Fail(std::string("drvpack check threw: ") + e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Sandbox sandbox;  // made once; the destination is wiped every run
  sandbox.Wipe();
  sandbox.PutArchiveInside(size % 2 == 1);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size % 2 == 1) fs::create_directories(sandbox.Destination());
  std::ofstream(sandbox.Archive(), std::ios::binary) << bytes;
  const std::set<std::string> before = OutsideDestination(Listing(sandbox.Root()));

  // Left missing (even lengths): the reader must create the destination itself.
  const zipreader::ExtractReport report =
      zipreader::ExtractZip(sandbox.Archive().string(), sandbox.Destination().string());

  // Outside the destination nothing changed.
  const std::set<std::string> after = OutsideDestination(Listing(sandbox.Root()));
  if (after != before) Fail("something was written outside the destination");
  {
    std::ifstream in(sandbox.Archive(), std::ios::binary);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (kept != bytes) Fail("the archive being read was changed or deleted");
  }
  CheckWithDrvpack(sandbox.Archive().string(), report.code);

  std::set<std::string> written = Listing(sandbox.Destination());
  if (size % 2 == 1) written.erase("DriverData.Drv");  // the archive itself
  if ((report.code == zipreader::kOk) != report.errors.empty())
    Fail("the result code and the error lines disagree");

  zipreader::Archive archive;
  std::string error;
  if (archive.Open(sandbox.Archive().string(), &error) != zipreader::kOk) {
    if (report.code == zipreader::kOk) Fail("an archive Open() refuses was extracted");
    if (!written.empty()) Fail("an archive Open() refuses left files: " + error);
    return 0;
  }

  // The last entry naming each path decides what may be there.
  std::map<std::string, const zipreader::Entry*> last;
  bool unsafe = false;
  for (const zipreader::Entry& entry : archive.entries()) {
    std::vector<std::string> parts;
    if (!zipreader::SplitEntryName(entry.name, &parts, nullptr) || (parts.empty() && !entry.isDirectory)) {
      unsafe = true;
      continue;
    }
    std::string path;
    for (const std::string& part : parts) path += (path.empty() ? "" : "/") + part;
    if (!parts.empty()) last[path + (entry.isDirectory ? "/" : "")] = &entry;
  }
  if (unsafe) {
    if (report.code != zipreader::kUnsafeName) Fail("an unsafe name did not refuse the archive");
    if (!written.empty()) Fail("a refused archive left files behind");
    return 0;
  }

  for (const std::string& path : written) {
    if (path.back() == '/') continue;
    auto it = last.find(path);
    if (it == last.end()) Fail("a file no entry names: " + path);
    FileFacts facts;
    if (!ReadFacts(sandbox.Destination() / path, &facts)) Fail("cannot read back " + path);
    if (facts.size != it->second->size || facts.crc != it->second->crc)
      Fail("file " + path + " does not hold its entry's data (result code " + std::to_string(report.code) +
           ")");
  }
  if (report.code == zipreader::kOk) {
    for (const auto& named : last)
      if (!written.count(named.first)) Fail("a successful run left out " + named.first);
  }
  return 0;
}
