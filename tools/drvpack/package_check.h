// Checks a driver package against the model tables and the catalogue
// rules the installer reads it by. Every problem is one line of text.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/pe_header.h"
#include "package_folder.h"

namespace drvpack {

// One [section] of an INI file, keys in file order.
struct IniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> keys;
};

// Reads INI text as the Windows profile functions do: names trimmed and
// compared without case, values trimmed and stripped of enclosing quotes,
// ';' comments and lines before the first section ignored.
std::vector<IniSection> ParseIni(const std::string& text);

// The value of the first key named `key` (any case), or null.
const std::string* FindKey(const IniSection& section, const std::string& key);

// A catalogue larger than this is not read: the installer reads at most 33
// sections of 50 names of 127 bytes (about 250 KiB with the keys), so 1 MiB
// holds any catalogue it can use and bounds what drvpack keeps in memory.
constexpr size_t kMaxCatalogueSize = 1 << 20;
// The first bytes of each DLL and EXE are kept for the PE header check.
constexpr size_t kBinaryHeaderSize = kPeHeaderReadSize;

// What a package holds: its file and folder names ('/'-separated, in
// package order), the text of every file named DriverName.cfg and the
// first bytes of every .dll and .exe, by path.
struct PackageContents {
  std::vector<std::string> files;
  std::vector<std::string> folders;  // folder entries, or a folder's subfolders
  std::map<std::string, std::string> catalogues;
  std::map<std::string, std::string> binaryHeaders;
  std::vector<std::string> problems;  // found while reading (damaged data, unsafe names)
};

// Reads a package archive, decoding every entry so damaged data is found.
// Returns false (with the reason in contents->problems) when the archive
// cannot be read at all.
bool ReadArchive(const std::string& path, PackageContents* contents);
// Reads an unpacked package folder, with the names and links rules of
// WalkPackageFolder (package_folder.h).
bool ReadFolder(const std::string& path, PackageContents* contents);
// The same for items already listed by WalkPackageFolder.
void ReadFolderItems(const std::vector<FolderItem>& items, PackageContents* contents);

// The catalogue rules alone; `sections` receives the section count.
std::vector<std::string> CheckCatalogue(const std::string& text, int* sections);

// Every problem of the package: layout, catalogue and the files each model
// needs. Empty when the package is good.
std::vector<std::string> CheckPackage(const PackageContents& contents);

// Every DLL and EXE the installation copies that is not a Windows PE file
// for its folder's machine (x86 under x86/, x64 under x64/): the sample's
// placeholders, or a driver built for the other word size. Installed, such
// a file lands over the machine's shared driver files.
std::vector<std::string> CheckBinaries(const PackageContents& contents);

}  // namespace drvpack
