// drvpack's paths: UTF-8 in every std::string, wide on Windows underneath,
// so a folder name of any script works whatever the machine's code page.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace drvpack {

// A path from UTF-8 text, and back.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8(const std::filesystem::path& path);
// The name relative to `root`, '/'-separated, in UTF-8.
std::string RelativeName(const std::filesystem::path& path, const std::filesystem::path& root);

FILE* OpenFile(const std::filesystem::path& path, const char* mode);
bool SeekFile(FILE* file, uint64_t offset);

// Closes a FILE on every path out.
class FileCloser {
 public:
  explicit FileCloser(FILE* file) : file_(file) {}
  ~FileCloser() {
    if (file_) std::fclose(file_);
  }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;
  FILE* get() const { return file_; }

 private:
  FILE* file_;
};

}  // namespace drvpack
