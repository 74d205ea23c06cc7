// Writes the ZIP archives drvpack builds: deflated files and stored folder
// entries, no ZIP64 (a package is far below its limits), on zlib alone so
// the same writer builds for Windows and Linux.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace drvpack {

class ZipWriter {
 public:
  ZipWriter() = default;
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  bool Create(const std::filesystem::path& archive, std::string* error);
  // A folder entry (`name` ends with '/'), stored and empty.
  bool AddFolder(const std::string& name, std::string* error);
  // The bytes of `source`, deflated.
  bool AddFile(const std::string& name, const std::filesystem::path& source, std::string* error);
  // Writes the central directory and closes the file.
  bool Finish(std::string* error);

 private:
  struct CentralEntry {
    std::string name;
    uint16_t method;
    uint32_t crc, compressedSize, size, offset, attributes;
  };
  bool BeginEntry(const std::string& name, uint16_t method, std::string* error);
  bool EndEntry(uint32_t crc, uint64_t compressedSize, uint64_t size, uint32_t attributes,
                std::string* error);
  bool Put(const std::string& bytes);

  FILE* file_ = nullptr;
  uint64_t offset_ = 0;  // where the next record goes
  std::vector<CentralEntry> entries_;
};

}  // namespace drvpack
