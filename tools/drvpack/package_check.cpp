#include "package_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "package/ModelTables.h"
#include "zip_reader.h"

namespace drvpack {

namespace {

// The installer reads section names into this buffer, names into 128 bytes.
constexpr size_t kSectionNamesBuffer = 3000;
constexpr size_t kMaxNameLength = 127;
constexpr int kMaxNames = 50;
const char kCatalogueName[] = "DriverName.cfg";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

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
  std::string lower = Lower(key);
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
  if (printNameKeys > kMaxNames || highest > kMaxNames)
    problems->push_back(where + " has " + std::to_string(printNameKeys) +
                        " PrintName keys (highest PrintName" + std::to_string(highest) +
                        "); only PrintName1 to PrintName50 are read");
  // Reading stops at the first missing or empty key.
  int gap = 1;
  while (gap <= kMaxNames && names.count(gap) && !names[gap]->empty()) ++gap;
  std::string unread;
  for (const auto& name : names) {
    if (name.first > gap && name.first <= kMaxNames && !name.second->empty())
      unread += (unread.empty() ? "" : ", ") + std::string("PrintName") + std::to_string(name.first);
  }
  if (!unread.empty())
    problems->push_back(where + ": PrintName" + std::to_string(gap) + " is missing or empty, so " + unread +
                        (unread.find(',') == std::string::npos ? " is" : " are") + " never read");
  else if (gap == 1)
    problems->push_back(where + " has no PrintName1: the model offers no printer name");
  for (int i = 1; i < gap; ++i) {
    if (names[i]->size() > kMaxNameLength)
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

bool ReadArchive(const std::string& path, PackageContents* contents) {
  zipreader::Archive archive;
  std::string error;
  if (archive.Open(path, &error) != zipreader::kOk) {
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
    bool isCatalogue = EqualsNoCase(LastPart(name), kCatalogueName);
    std::string text;
    int rc = archive.Read(
        i,
        [&](const unsigned char* data, size_t size) {
          if (isCatalogue) text.append(reinterpret_cast<const char*>(data), size);
          return true;
        },
        &error);
    if (rc != zipreader::kOk) {
      contents->problems.push_back("archive: " + error);
      continue;
    }
    if (entry.isDirectory) continue;
    contents->files.push_back(name);
    if (isCatalogue) contents->catalogues[name] = text;
  }
  return true;
}

bool ReadFolder(const std::string& path, PackageContents* contents) {
  namespace stdfs = std::filesystem;
  std::error_code ec;
  if (!stdfs::is_directory(path, ec)) {
    contents->problems.push_back("folder: " + path + " is not a folder");
    return false;
  }
  for (auto it = stdfs::recursive_directory_iterator(path, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string name = stdfs::relative(it->path(), path, ec).generic_string();
    contents->files.push_back(name);
    if (EqualsNoCase(LastPart(name), kCatalogueName)) {
      std::ifstream in(it->path(), std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      contents->catalogues[name] = text.str();
    }
  }
  if (ec) contents->problems.push_back("folder: " + ec.message());
  return !ec;
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
    if (used > kSectionNamesBuffer) {
      problems.push_back("catalogue: the section names do not fit the 3000-byte buffer; sections from [" +
                         section.name + "] on are not seen");
      break;
    }
  }
  for (const IniSection& section : sections) CheckSectionNames(section, &problems);
  return problems;
}

std::vector<std::string> CheckPackage(const PackageContents& contents) {
  std::vector<std::string> problems = contents.problems;
  // Nothing could be read: listing every file as missing would bury the cause.
  if (contents.files.empty() && !problems.empty()) return problems;
  std::set<std::string> files;
  std::set<std::string> tops;
  for (const std::string& f : contents.files) {
    files.insert(Lower(f));
    tops.insert(Lower(FirstPart(f)));
  }

  // A package packed from the folder above its root unpacks one level too
  // deep: the installer then finds no catalogue.
  std::string root;
  const std::string catalogue = Lower(kCatalogueName);
  if (!files.count(catalogue) && tops.size() == 1 && !tops.count("ticket") && !tops.count("barcode") &&
      !contents.files.empty() && contents.files[0].find('/') != std::string::npos) {
    root = FirstPart(contents.files[0]) + "/";
    problems.push_back("layout: entries lie under an extra top folder \"" + root +
                       "\"; the package root must directly contain DriverName.cfg, Ticket/ and Barcode/");
  }
  auto has = [&](const std::string& path) { return files.count(Lower(root + path)) > 0; };

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
  // Anything else at the root would be unpacked into C:\ and never removed.
  std::set<std::string> reported;
  for (const std::string& f : contents.files) {
    if (Lower(f).compare(0, root.size(), Lower(root)) != 0) continue;
    std::string top = FirstPart(f.substr(root.size()));
    bool isFile = f.find('/', root.size()) == std::string::npos;
    bool expected = isFile ? EqualsNoCase(top, kCatalogueName)
                           : EqualsNoCase(top, "Ticket") || EqualsNoCase(top, "Barcode");
    if (!expected && reported.insert(Lower(top)).second)
      problems.push_back("layout: unexpected " + std::string(isFile ? "file " : "folder ") + top +
                         (isFile ? "" : "/") +
                         " at the package root (only DriverName.cfg, Ticket/, Barcode/)");
  }
  for (const auto& required : RequiredFiles()) {
    if (!has(required.first))
      problems.push_back("missing: " + required.first + " (" + ModelList(required.second) + ")");
  }
  return problems;
}

}  // namespace drvpack
