// Profile (INI) files as the simulated profile functions read them, parsed
// once per version of the file. Windows keeps the profile file it last used
// in memory (WritePrivateProfileStringA with every string NULL is
// documented to flush that cache), so a caller walking a large file key by
// key does not pay for a parse per call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace sim {

class IniFile {
 public:
  // Lines "[name]", "key=value" (a value in matching quotes loses them) and
  // ";" comments; keys before the first section are ignored.
  static IniFile Parse(const std::string& text);

  // The value of `key` in the first section named `section` (the first
  // such key there); names compare without case. nullptr when absent.
  const std::string* Find(const std::string& section, const std::string& key) const;
  // Every section's name, in file order, each ended by a NUL.
  const std::string& SectionNames() const { return m_sectionNames; }

 private:
  struct Section {
    std::string name;
    std::unordered_map<std::string, std::string> values;  // by lower-case key, first wins
  };
  std::vector<Section> m_sections;
  std::unordered_map<std::string, size_t> m_firstSection;  // lower-case name -> index
  std::string m_sectionNames;
};

class IniCache {
 public:
  // The parsed file at `hostPath`, or nullptr when it cannot be read. The
  // file is read and parsed again only when it changed: another size or
  // modification time, or another `driveVersion` (bumped by every write
  // the simulated drive makes, for writes within one tick of the clock).
  // The file holds ANSI text of `codePage`; the parsed form is UTF-8.
  const IniFile* Lookup(const std::string& hostPath, uint64_t driveVersion, UINT codePage);

 private:
  struct Entry {
    uint64_t driveVersion = 0;
    UINT codePage = 0;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    IniFile file;
  };
  std::map<std::string, Entry> m_files;
};

}  // namespace sim
