#include "file_io.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace drvpack {

// u8path and u8string are the only conversions that mean UTF-8 on both
// systems: on Windows, string() and a path made from a std::string use the
// ANSI code page, which cannot name every file.
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::u8path(utf8); }

std::string Utf8(const std::filesystem::path& path) { return path.u8string(); }

std::string RelativeName(const std::filesystem::path& path, const std::filesystem::path& root) {
  return path.lexically_relative(root).generic_u8string();
}

#ifdef _WIN32

FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool SeekFile(FILE* file, uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

#else

FILE* OpenFile(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool SeekFile(FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

#endif

}  // namespace drvpack
