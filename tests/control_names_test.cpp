// The control-name table that scripts, the UI driver and the Wine harness
// share is written by hand beside resource.h: a control added to the dialogs
// without a name would be unreachable by name in every one of them.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "framework/ui_types.h"  // IDOK, IDCANCEL for the table
#include "res/control_names.h"

namespace {

TEST(ControlNames, EveryControlOfTheResourcesHasAUniqueName) {
  std::set<int> named;
  std::set<std::string> names;
#define COLLECT_NAME(name, id) \
  named.insert(id);            \
  EXPECT_TRUE(names.insert(name).second) << "the name " << name << " is given twice";
  CONTROL_NAMES(COLLECT_NAME)
#undef COLLECT_NAME

  std::ifstream header(std::string(INSTALLER_SOURCE_DIR) + "/src/res/resource.h");
  ASSERT_TRUE(header) << "src/res/resource.h not found";
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  const std::regex control(R"(#define (IDC_\w+) (\d+))");
  int controls = 0;
  for (std::sregex_iterator it(source.begin(), source.end(), control), end; it != end; ++it, ++controls)
    EXPECT_TRUE(named.count(std::stoi((*it)[2].str()))) << (*it)[1].str() << " has no name";
  EXPECT_GT(controls, 10) << "resource.h was not read as expected";
}

}  // namespace
