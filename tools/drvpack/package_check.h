// Checks a driver package against the model tables and the catalogue
// rules the installer reads it by. Every problem is one line of text.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

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

// What a package holds: its file names ('/'-separated) and the text of
// every file named DriverName.cfg, by its path.
struct PackageContents {
  std::vector<std::string> files;
  std::map<std::string, std::string> catalogues;
  std::vector<std::string> problems;  // found while reading (damaged data, unsafe names)
};

// Reads a package archive, decoding every entry so damaged data is found.
// Returns false (with the reason in contents->problems) when the archive
// cannot be read at all.
bool ReadArchive(const std::string& path, PackageContents* contents);
// Reads an unpacked package folder.
bool ReadFolder(const std::string& path, PackageContents* contents);

// The catalogue rules alone; `sections` receives the section count.
std::vector<std::string> CheckCatalogue(const std::string& text, int* sections);

// Every problem of the package: layout, catalogue and the files each model
// needs. Empty when the package is good.
std::vector<std::string> CheckPackage(const PackageContents& contents);

}  // namespace drvpack
