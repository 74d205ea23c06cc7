// Host folders for tests that read and write real files: a fresh folder
// per test, what ends up in one, and a file's text.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// Each test gets root_, an empty folder of its own below the temporary
// folder, removed with everything in it when the test ends.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path root_;
};

enum class Listing { Files, FilesAndFolders };

// The paths below `root`, relative to it with '/' and sorted; none when
// `root` does not exist.
std::vector<std::string> FilesBelow(const std::filesystem::path& root, Listing listing = Listing::Files);

// A file's bytes ("" when it cannot be read), and writing them, with any
// missing folders, over what was there.
std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace testing_support
