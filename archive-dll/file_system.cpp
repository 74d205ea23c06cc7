#include "file_system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace zipreader {
namespace fs {

#ifdef _WIN32

char Separator() { return '\\'; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || IsDirectory(path);
}

FILE* OpenRead(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

FILE* OpenWrite(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file) return file;
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return nullptr;
  SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return std::fopen(path.c_str(), "wb");
}

bool Seek(FILE* file, uint64_t offset) {
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool Size(FILE* file, uint64_t* size) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return false;
  __int64 end = _ftelli64(file);
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

void Remove(const std::string& path) { DeleteFileA(path.c_str()); }

#else

char Separator() { return '/'; }

bool IsSeparator(char c) { return c == '/'; }

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0 || IsDirectory(path); }

FILE* OpenRead(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

FILE* OpenWrite(const std::string& path) { return std::fopen(path.c_str(), "wb"); }

bool Seek(FILE* file, uint64_t offset) { return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool Size(FILE* file, uint64_t* size) {
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file);
  if (end < 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

void Remove(const std::string& path) { unlink(path.c_str()); }

#endif

}  // namespace fs
}  // namespace zipreader
