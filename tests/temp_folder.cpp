#include "temp_folder.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace testing_support {

void TempFolderTest::SetUp() {
  // The process id keeps parallel test processes apart, the count the
  // tests of one process.
  static int counter = 0;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test->test_suite_name();  // "Prefix/Suite" when parameterized
  std::replace(name.begin(), name.end(), '/', '-');
  root_ = std::filesystem::temp_directory_path() /
          (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(root_);
  std::filesystem::create_directories(root_);
}

void TempFolderTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> FilesBelow(const std::filesystem::path& root, Listing listing) {
  std::vector<std::string> names;
  if (!std::filesystem::exists(root)) return names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (listing == Listing::FilesAndFolders || entry.is_regular_file())
      names.push_back(entry.path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace testing_support
