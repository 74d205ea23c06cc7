#include "file_system.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace zipreader {
namespace fs {

#ifdef _WIN32

// Paths arrive as bytes of the ANSI code page, as the DLL's callers pass
// them, or as UTF-8 where the reader is built into a program that reads
// its command line wide (drvpack.exe: ZIPREADER_UTF8_PATHS). Either way
// they reach the file system through the wide calls, so the conversion is
// this one and no other.
namespace {

#ifdef ZIPREADER_UTF8_PATHS
constexpr UINT kPathCodePage = CP_UTF8;
#else
constexpr UINT kPathCodePage = CP_ACP;
#endif

std::wstring Wide(const std::string& path) {
  if (path.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(kPathCodePage, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(kPathCodePage, 0, path.data(), static_cast<int>(path.size()), &wide[0], size);
  return wide;
}

}  // namespace

char Separator() { return '\\'; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) || IsDirectory(path);
}

FILE* OpenRead(const std::string& path) { return _wfopen(Wide(path).c_str(), L"rb"); }

FILE* OpenWrite(const std::string& path) {
  FILE* file = _wfopen(Wide(path).c_str(), L"wb");
  if (file) return file;
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return nullptr;
  SetFileAttributesW(Wide(path).c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return _wfopen(Wide(path).c_str(), L"wb");
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

void Remove(const std::string& path) { DeleteFileW(Wide(path).c_str()); }

namespace {

// Closes a handle of CreateFileW on every path out.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

bool IsSameFile(FILE* open, const std::string& path) {
  // The volume serial number and file index name one file on a volume
  // (BY_HANDLE_FILE_INFORMATION); no access is asked, so an open file
  // is still examined. FILE_FLAG_BACKUP_SEMANTICS lets folders open too.
  HANDLE openHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open)));
  FileHandle other(CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (openHandle == INVALID_HANDLE_VALUE || other.get() == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  if (!GetFileInformationByHandle(openHandle, &a) || !GetFileInformationByHandle(other.get(), &b))
    return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool FreeSpace(const std::string& folder, uint64_t* bytes) {
  // The caller's share: disk quotas count, as they would when writing.
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(Wide(folder).c_str(), &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

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

bool IsSameFile(FILE* open, const std::string& path) {
  struct stat a, b;
  return fstat(fileno(open), &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

bool FreeSpace(const std::string& folder, uint64_t* bytes) {
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return false;
  *bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

#endif

}  // namespace fs
}  // namespace zipreader
