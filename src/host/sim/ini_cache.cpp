#include "host/sim/ini_cache.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "host/sim/code_page.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

IniFile IniFile::Parse(const std::string& text) {
  IniFile file;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (trimmed[0] == '[') {
      const size_t close = trimmed.find(']');
      Section section;
      section.name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      file.m_firstSection.emplace(Lower(section.name), file.m_sections.size());
      file.m_sectionNames += section.name + '\0';
      file.m_sections.push_back(std::move(section));
      continue;
    }
    const size_t equals = trimmed.find('=');
    if (equals == std::string::npos || file.m_sections.empty()) continue;
    std::string value = Trim(trimmed.substr(equals + 1));
    // A value in matching quotes loses them, as the profile functions do.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    file.m_sections.back().values.emplace(Lower(Trim(trimmed.substr(0, equals))), value);
  }
  return file;
}

const std::string* IniFile::Find(const std::string& section, const std::string& key) const {
  auto found = m_firstSection.find(Lower(section));
  if (found == m_firstSection.end()) return nullptr;
  const auto& values = m_sections[found->second].values;
  auto value = values.find(Lower(key));
  return value == values.end() ? nullptr : &value->second;
}

const IniFile* IniCache::Lookup(const std::string& hostPath, uint64_t driveVersion, UINT codePage) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(hostPath, error);
  if (error) {
    m_files.erase(hostPath);
    return nullptr;
  }
  const fs::file_time_type modified = fs::last_write_time(hostPath, error);
  if (error) return nullptr;
  auto cached = m_files.find(hostPath);
  if (cached != m_files.end() && cached->second.driveVersion == driveVersion &&
      cached->second.codePage == codePage && cached->second.size == size &&
      cached->second.modified == modified)
    return &cached->second.file;

  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return nullptr;
  std::ostringstream text;
  text << in.rdbuf();
  Entry& entry = m_files[hostPath];
  entry.driveVersion = driveVersion;
  entry.size = size;
  entry.modified = modified;
  entry.codePage = codePage;
  // The one place the file's bytes become its parsed form. GetPrivateProfile-
  // StringW decodes a file without a Unicode byte-order mark with the ANSI
  // code page; the machine keeps its text in UTF-8.
  entry.file = IniFile::Parse(AnsiToUtf8(text.str(), codePage));
  return &entry.file;
}

}  // namespace sim
