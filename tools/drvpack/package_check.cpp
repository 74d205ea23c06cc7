#include "package_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "package/CatalogueLimits.h"
#include "package/ModelTables.h"
#include "package_folder.h"
#include "zip_reader.h"
#include "common/no_case.h"

namespace drvpack {

namespace {

const char kCatalogueName[] = "DriverName.cfg";

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool IsBinary(const std::string& path) {
  std::string lower = ToLowerAscii(path);
  return lower.size() > 4 &&
         (lower.compare(lower.size() - 4, 4, ".dll") == 0 || lower.compare(lower.size() - 4, 4, ".exe") == 0);
}

// Keeps at most `limit` bytes of a file's data in `text`; the size is counted.
struct BoundedText {
  size_t limit;
  std::string text;
  uint64_t size = 0;
  void Append(const char* data, size_t n) {
    size += n;
    if (text.size() < limit) text.append(data, std::min(n, limit - text.size()));
  }
};

std::string FirstPart(const std::string& path) { return path.substr(0, path.find('/')); }

std::string LastPart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The number of a "PrintNameN" key as the installer formats it ("%d"), 0
// for a key of that family it never asks for ("PrintName01", "PrintName0"),
// -1 for any other key.
int PrintNameIndex(const std::string& key) {
  static const std::string prefix = "printname";
  std::string lower = ToLowerAscii(key);
  if (lower.compare(0, prefix.size(), prefix) != 0 || lower.size() == prefix.size()) return -1;
  std::string digits = lower.substr(prefix.size());
  if (digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  if (digits[0] == '0' || digits.size() > 6) return 0;
  return std::stoi(digits);
}

void CheckSectionNames(const IniSection& section, std::vector<std::string>* problems) {
  const std::string where = "catalogue: section [" + section.name + "]";
  std::map<int, const std::string*> names;  // first key of each number wins, as on Windows
  int printNameKeys = 0, highest = 0;
  for (const auto& key : section.keys) {
    int index = PrintNameIndex(key.first);
    if (index < 0) continue;
    ++printNameKeys;
    if (index == 0) {
      problems->push_back(where + ": key " + key.first +
                          " is never read (keys are PrintName1 to PrintName50)");
      continue;
    }
    highest = std::max(highest, index);
    names.emplace(index, &key.second);
  }
  if (printNameKeys > kCatalogueMaxNames || highest > kCatalogueMaxNames)
    problems->push_back(where + " has " + std::to_string(printNameKeys) +
                        " PrintName keys (highest PrintName" + std::to_string(highest) +
                        "); only PrintName1 to PrintName50 are read");
  // Reading stops at the first missing or empty key.
  int gap = 1;
  while (gap <= kCatalogueMaxNames && names.count(gap) && !names[gap]->empty()) ++gap;
  std::string unread;
  for (const auto& name : names) {
    if (name.first > gap && name.first <= kCatalogueMaxNames && !name.second->empty())
      unread += (unread.empty() ? "" : ", ") + std::string("PrintName") + std::to_string(name.first);
  }
  if (!unread.empty())
    problems->push_back(where + ": PrintName" + std::to_string(gap) + " is missing or empty, so " + unread +
                        (unread.find(',') == std::string::npos ? " is" : " are") + " never read");
  else if (gap == 1)
    problems->push_back(where + " has no PrintName1: the model offers no printer name");
  for (int i = 1; i < gap; ++i) {
    if (names[i]->size() > (kCatalogueNameSize - 1))
      problems->push_back(where + ": PrintName" + std::to_string(i) + " is " +
                          std::to_string(names[i]->size()) + " characters long; at most 127 are read");
  }
}

std::string ModelList(const std::vector<std::string>& models) {
  std::string text;
  for (const std::string& m : models) text += (text.empty() ? "" : ", ") + m;
  return text;
}

// Every file the models need, by package path, with the models needing it.
std::vector<std::pair<std::string, std::vector<std::string>>> RequiredFiles() {
  std::vector<std::pair<std::string, std::vector<std::string>>> files;
  auto need = [&files](const std::string& path, const std::string& who) {
    for (auto& f : files) {
      if (EqualsNoCase(f.first, path)) {
        f.second.push_back(who);
        return;
      }
    }
    files.push_back({path, {who}});
  };
  for (const char* folder : {"Ticket/x86/", "Ticket/x64/"}) {
    for (const ReceiptModel& model : kReceiptModels)
      need(folder + std::string(model.gpdBaseName) + ".GPD", model.driverName);
    for (const char* resource : {kDefaultResourceName, kAlternateResourceName, kGroup3ResourceName})
      need(folder + std::string(resource) + ".DLL", "receipt models");
    need(folder + std::string(kOemPluginBaseName) + ".dll", "receipt models");
    need(folder + std::string(kOemPluginBaseName) + ".ini", "receipt models");
    for (const char* file : kUnidrvFiles) need(folder + std::string(file), "receipt models");
  }
  for (bool x64 : {false, true}) {
    for (int i = 0; i < kLabelFamilySize; ++i) {
      char name[32];
      LabelFamilyFileName(x64, i, name, sizeof name);
      need(std::string(x64 ? "Barcode/x64/" : "Barcode/x86/") + name,
           x64 ? "label models, 64-bit" : "label models, 32-bit");
    }
  }
  need(std::string("Barcode/Common/") + kLabelHelpFile, "label models");
  for (const LabelModel& model : kLabelModels) {
    for (const char* extension : kLabelDataExtensions)
      need("Barcode/Common/" + std::string(model.dataBaseName) + extension, model.driverName);
  }
  return files;
}

}  // namespace

std::vector<IniSection> ParseIni(const std::string& text) {
  std::vector<IniSection> sections;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      sections.push_back(
          {Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)), {}});
      continue;
    }
    size_t equals = line.find('=');
    if (sections.empty() || equals == std::string::npos) continue;
    std::string value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    sections.back().keys.push_back({Trim(line.substr(0, equals)), value});
  }
  return sections;
}

const std::string* FindKey(const IniSection& section, const std::string& key) {
  for (const auto& k : section.keys) {
    if (EqualsNoCase(k.first, key)) return &k.second;
  }
  return nullptr;
}

namespace {

// Files the check reads into memory, each bounded.
void Keep(const std::string& name, const BoundedText& data, PackageContents* contents) {
  if (EqualsNoCase(LastPart(name), kCatalogueName)) {
    if (data.size > kMaxCatalogueSize)
      contents->problems.push_back("catalogue: " + name + " is " + std::to_string(data.size) +
                                   " bytes; a catalogue over " + std::to_string(kMaxCatalogueSize) +
                                   " bytes is not read");
    else
      contents->catalogues[name] = data.text;
  } else if (IsBinary(name)) {
    contents->binaryHeaders[name] = data.text;
  }
}

size_t KeptSize(const std::string& name) {
  if (EqualsNoCase(LastPart(name), kCatalogueName)) return kMaxCatalogueSize;
  return IsBinary(name) ? kBinaryHeaderSize : 0;
}

}  // namespace

bool ReadArchive(const std::string& path, PackageContents* contents) {
  zipreader::Archive archive;
  std::string error;
  if (archive.Open(path, &error) != zipreader::kOk) {
    // Packed again as drvpack packs, the same files can be read.
    if (archive.FormatUnsupported()) error += ": rebuild it with drvpack build from the unpacked folder";
    contents->problems.push_back("archive: " + error);
    return false;
  }
  for (size_t i = 0; i < archive.entries().size(); ++i) {
    const zipreader::Entry& entry = archive.entries()[i];
    std::vector<std::string> parts;
    std::string why;
    if (!zipreader::SplitEntryName(entry.name, &parts, &why)) {
      contents->problems.push_back("archive: unsafe entry name \"" + entry.name + "\" (" + why +
                                   "): the archive library refuses the whole package");
      continue;
    }
    std::string name;
    for (const std::string& part : parts) name += (name.empty() ? "" : "/") + part;
    if (name.empty() && !entry.isDirectory) {
      contents->problems.push_back("archive: entry \"" + entry.name +
                                   "\" names no file: the archive library refuses the whole package");
      continue;
    }
    BoundedText data{entry.isDirectory ? 0 : KeptSize(name), {}};
    int rc = archive.Read(
        i,
        [&data](const unsigned char* bytes, size_t size) {
          data.Append(reinterpret_cast<const char*>(bytes), size);
          return true;
        },
        &error);
    if (rc != zipreader::kOk) {
      contents->problems.push_back("archive: " + error);
      continue;
    }
    if (entry.isDirectory) {
      if (!name.empty()) contents->folders.push_back(name);
      continue;
    }
    contents->files.push_back(name);
    Keep(name, data, contents);
  }
  return true;
}

bool ReadFolder(const std::string& path, PackageContents* contents) {
  std::vector<FolderItem> items;
  if (!WalkPackageFolder(path, std::filesystem::path(), &items, &contents->problems)) return false;
  ReadFolderItems(items, contents);
  return true;
}

void ReadFolderItems(const std::vector<FolderItem>& items, PackageContents* contents) {
  std::vector<char> buffer(64 * 1024);
  for (const FolderItem& item : items) {
    if (item.folder) {
      contents->folders.push_back(item.name);
      continue;
    }
    contents->files.push_back(item.name);
    BoundedText data{KeptSize(item.name), {}};
    if (data.limit == 0) continue;
    std::ifstream in(item.path, std::ios::binary);
    if (!in) {
      contents->problems.push_back("folder: cannot read " + item.name);
      continue;
    }
    // Only what is kept is read; a file's size comes from the file system.
    while (data.size <= data.limit &&
           (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0))
      data.Append(buffer.data(), static_cast<size_t>(in.gcount()));
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(item.path, ec);
    if (!ec) data.size = size;
    Keep(item.name, data, contents);
  }
}

std::vector<std::string> CheckCatalogue(const std::string& text, int* sectionCount) {
  std::vector<std::string> problems;
  std::vector<IniSection> sections = ParseIni(text);
  if (sectionCount) *sectionCount = static_cast<int>(sections.size());
  int count = static_cast<int>(sections.size());
  if (count != kCatalogueSectionCount) {
    std::string which;
    if (count < kCatalogueSectionCount) {
      // Sections match the model rows by position, so the last rows go without.
      std::vector<std::string> rows;
      for (int row = count; row < kCatalogueSectionCount; ++row)
        rows.push_back(row < kReceiptModelCount ? kReceiptModels[row].driverName
                                                : kLabelModels[row - kReceiptModelCount].driverName);
      which = "; no section for the last " + std::to_string(rows.size()) + " model(s): " + ModelList(rows);
    } else {
      std::vector<std::string> extra;
      for (int i = kCatalogueSectionCount; i < count; ++i) extra.push_back("[" + sections[i].name + "]");
      which = "; extra sections: " + ModelList(extra);
    }
    problems.push_back("catalogue: " + std::to_string(count) + " sections, expected " +
                       std::to_string(kCatalogueSectionCount) + " (" + std::to_string(kReceiptModelCount) +
                       " receipt + " + std::to_string(kLabelModelCount) + " label)" + which);
  }
  size_t used = 1;  // the list's closing NUL
  for (const IniSection& section : sections) {
    used += section.name.size() + 1;
    if (used > kCatalogueSectionListSize) {
      problems.push_back("catalogue: the section names do not fit the 3000-byte buffer; sections from [" +
                         section.name + "] on are not seen");
      break;
    }
  }
  // GetPrivateProfileString finds a section by name without case: of two
  // sections with one name, one model's printer names are lost.
  std::map<std::string, size_t> firstOfName;
  for (size_t i = 0; i < sections.size(); ++i) {
    auto first = firstOfName.emplace(ToLowerAscii(sections[i].name), i);
    if (!first.second)
      problems.push_back("catalogue: sections " + std::to_string(first.first->second + 1) + " [" +
                         sections[first.first->second].name + "] and " + std::to_string(i + 1) + " [" +
                         sections[i].name + "] have one name (names compare without case)");
  }
  for (const IniSection& section : sections) {
    if (section.name.size() >= kCatalogueSectionNameSize)
      problems.push_back("catalogue: section [" + section.name + "] has a name of " +
                         std::to_string(section.name.size()) + " characters; the installer reads " +
                         std::to_string(kCatalogueSectionNameSize - 1) +
                         ", so that model's printer names never appear");
  }
  for (const IniSection& section : sections) CheckSectionNames(section, &problems);
  return problems;
}

namespace {

// A package packed from the folder above its root unpacks one level too
// deep: the installer then finds no catalogue. Returns that folder with
// its '/', or empty.
std::string ExtraTopFolder(const PackageContents& contents) {
  std::set<std::string> tops;
  for (const std::string& f : contents.files) {
    if (EqualsNoCase(f, kCatalogueName)) return std::string();
    tops.insert(ToLowerAscii(FirstPart(f)));
  }
  if (tops.size() == 1 && !tops.count("ticket") && !tops.count("barcode") && !contents.files.empty() &&
      contents.files[0].find('/') != std::string::npos)
    return FirstPart(contents.files[0]) + "/";
  return std::string();
}

// Windows keeps one file for names differing only in case, and a path
// cannot be a file and a folder at once: the archive library then fails
// or the last entry silently wins.
void CheckPathClashes(const PackageContents& contents, std::vector<std::string>* problems) {
  std::map<std::string, std::string> spelling;
  for (const std::string& f : contents.files) {
    auto first = spelling.emplace(ToLowerAscii(f), f);
    if (first.second) continue;
    if (first.first->second == f)
      problems->push_back("layout: " + f + " is in the package twice; only the last one unpacked is kept");
    else
      problems->push_back("layout: " + first.first->second + " and " + f +
                          " are one file on Windows (names compare without case); only the last one "
                          "unpacked is kept");
  }
  std::set<std::string> folders;
  for (const std::string& folder : contents.folders) folders.insert(ToLowerAscii(folder));
  for (const std::string& f : contents.files) {
    for (size_t slash = f.find('/'); slash != std::string::npos; slash = f.find('/', slash + 1))
      folders.insert(ToLowerAscii(f.substr(0, slash)));
  }
  // Unpacked into C:\ a path must stay below MAX_PATH (260 with the NUL).
  constexpr size_t kMaxPackagePath = 260 - 1 - std::char_traits<char>::length("C:\\");
  for (const std::vector<std::string>* paths : {&contents.files, &contents.folders}) {
    for (const std::string& path : *paths) {
      if (path.size() > kMaxPackagePath)
        problems->push_back(
            "layout: " + path + " is " + std::to_string(path.size()) +
            " characters long; unpacked into C:\\ it passes Windows' 260-character path limit");
    }
  }
  std::set<std::string> reported;
  for (const std::string& f : contents.files) {
    if (folders.count(ToLowerAscii(f)) && reported.insert(ToLowerAscii(f)).second)
      problems->push_back("layout: " + f +
                          " is both a file and a folder; the archive library cannot unpack both");
  }
}

}  // namespace

std::vector<std::string> CheckPackage(const PackageContents& contents) {
  std::vector<std::string> problems = contents.problems;
  // Nothing could be read: listing every file as missing would bury the cause.
  if (contents.files.empty() && !problems.empty()) return problems;
  std::set<std::string> files, folders;
  for (const std::string& f : contents.files) files.insert(ToLowerAscii(f));
  for (const std::string& f : contents.folders) folders.insert(ToLowerAscii(f));

  const std::string root = ExtraTopFolder(contents);
  if (!root.empty())
    problems.push_back("layout: entries lie under an extra top folder \"" + root +
                       "\"; the package root must directly contain DriverName.cfg, Ticket/ and Barcode/");
  auto has = [&](const std::string& path) { return files.count(ToLowerAscii(root + path)) > 0; };

  if (!has(kCatalogueName)) {
    problems.push_back("layout: DriverName.cfg missing");
  } else {
    for (const auto& c : contents.catalogues) {
      if (EqualsNoCase(c.first, root + kCatalogueName)) {
        std::vector<std::string> found = CheckCatalogue(c.second, nullptr);
        problems.insert(problems.end(), found.begin(), found.end());
        break;
      }
    }
  }
  CheckPathClashes(contents, &problems);
  // Anything else at the root would be unpacked into C:\ and never removed,
  // an empty folder too.
  std::set<std::string> reported;
  auto checkTop = [&](const std::string& path, bool isFolderEntry) {
    if (ToLowerAscii(path).compare(0, root.size(), ToLowerAscii(root)) != 0) return;
    std::string top = FirstPart(path.substr(root.size()));
    bool isFile = !isFolderEntry && path.find('/', root.size()) == std::string::npos;
    bool expected = isFile ? EqualsNoCase(top, kCatalogueName)
                           : EqualsNoCase(top, "Ticket") || EqualsNoCase(top, "Barcode");
    if (!expected && reported.insert(ToLowerAscii(top)).second)
      problems.push_back("layout: unexpected " + std::string(isFile ? "file " : "folder ") + top +
                         (isFile ? "" : "/") +
                         " at the package root (only DriverName.cfg, Ticket/, Barcode/)");
  };
  for (const std::string& f : contents.files) checkTop(f, false);
  for (const std::string& f : contents.folders) checkTop(f, true);
  for (const auto& required : RequiredFiles()) {
    if (has(required.first)) continue;
    if (folders.count(ToLowerAscii(root + required.first)))
      problems.push_back("missing: " + required.first + " (" + ModelList(required.second) +
                         "): a folder stands where the file must be");
    else
      problems.push_back("missing: " + required.first + " (" + ModelList(required.second) + ")");
  }
  return problems;
}

std::vector<std::string> CheckBinaries(const PackageContents& contents) {
  std::map<std::string, const std::pair<const std::string, std::string>*> headers;
  for (const auto& header : contents.binaryHeaders) headers.emplace(ToLowerAscii(header.first), &header);
  const std::string root = ExtraTopFolder(contents);
  std::vector<std::string> findings;
  for (const auto& required : RequiredFiles()) {
    if (!IsBinary(required.first)) continue;
    auto found = headers.find(ToLowerAscii(root + required.first));
    if (found == headers.end()) continue;  // missing: CheckPackage says so
    const std::string& name = found->second->first;
    const bool x64 = ToLowerAscii(required.first).find("/x64/") != std::string::npos;
    uint16_t machine = 0;
    if (!PeMachine(found->second->second, &machine)) {
      findings.push_back("binary: " + name +
                         " is not a Windows PE file (a placeholder?); installed, it would replace the "
                         "machine's driver file of that name");
    } else if (machine != (x64 ? kPeMachineX64 : kPeMachineX86)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%04X", machine);
      findings.push_back("binary: " + name + " is a PE file for machine " + hex + ", not " +
                         (x64 ? "x64 (0x8664)" : "x86 (0x014C)"));
    }
  }
  return findings;
}

}  // namespace drvpack
