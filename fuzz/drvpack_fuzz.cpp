// Fuzz target: the input is a catalogue (DriverName.cfg), checked by
// drvpack's catalogue rules (CheckCatalogue) as `drvpack check` does.
//
// Checked after each run:
//  - no exception, and every problem line, escaped for the terminal, holds
//    printable bytes only;
//  - a catalogue passing the check is one the installer reads as meant:
//    33 sections, their names distinct without case, each under 100
//    characters and all fitting the 3000-byte list, each with a PrintName1
//    of 1 to 127 characters.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "package/ModelTables.h"
#include "package_check.h"
#include "printable_text.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "drvpack_fuzz: invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void CheckPassingCatalogue(const std::string& text) {
  const std::vector<drvpack::IniSection> sections = drvpack::ParseIni(text);
  if (sections.size() != kCatalogueSectionCount)
    Fail("passed with " + std::to_string(sections.size()) + " sections");
  std::set<std::string> names;
  size_t listSize = 1;
  for (const drvpack::IniSection& section : sections) {
    if (!names.insert(Lower(section.name)).second) Fail("passed with two sections named " + section.name);
    if (section.name.size() >= 100)
      Fail("passed with a section name of " + std::to_string(section.name.size()));
    listSize += section.name.size() + 1;
    const std::string* first = drvpack::FindKey(section, "PrintName1");
    if (!first || first->empty() || first->size() > 127) Fail("passed without a usable PrintName1");
  }
  if (listSize > 3000) Fail("passed with section names of " + std::to_string(listSize) + " bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    int sections = 0;
    const std::vector<std::string> problems = drvpack::CheckCatalogue(text, &sections);
    for (const std::string& line : problems) {
      for (char c : drvpack::PrintableText(line)) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
          Fail("an escaped problem line holds byte " + std::to_string(static_cast<unsigned char>(c)));
      }
    }
    if (problems.empty()) CheckPassingCatalogue(text);
  } catch (const std::exception& e) {
    Fail(std::string("CheckCatalogue threw: ") + e.what());
  }
  return 0;
}
