#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

void Fill(const WIN32_FIND_DATAA& found, FindData* data) {
  data->fileName = found.cFileName;
  data->attributes = found.dwFileAttributes;
}

class Win32Files : public IFiles {
 public:
  DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) override {
    return ::GetCurrentDirectoryA(size, buffer);
  }
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override { return ::GetSystemDirectoryA(buffer, size); }
  UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) override { return ::GetWindowsDirectoryA(buffer, size); }
  DWORD GetFileAttributesA(LPCSTR path) override { return ::GetFileAttributesA(path); }
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override {
    return ::SetFileAttributesA(path, attributes);
  }
  BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) override {
    return ::CopyFileA(from, to, failIfExists);
  }
  BOOL DeleteFileA(LPCSTR path) override { return ::DeleteFileA(path); }
  BOOL CreateDirectoryA(LPCSTR path) override { return ::CreateDirectoryA(path, nullptr); }
  BOOL RemoveDirectoryA(LPCSTR path) override { return ::RemoveDirectoryA(path); }
  HANDLE FindFirstFileA(LPCSTR pattern, FindData* data) override {
    WIN32_FIND_DATAA found = {};
    HANDLE search = ::FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) Fill(found, data);
    return search;
  }
  BOOL FindNextFileA(HANDLE search, FindData* data) override {
    WIN32_FIND_DATAA found = {};
    if (!::FindNextFileA(search, &found)) return FALSE;
    Fill(found, data);
    return TRUE;
  }
  BOOL FindClose(HANDLE search) override { return ::FindClose(search); }
  DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) override {
    return ::GetPrivateProfileSectionNamesA(buffer, size, file);
  }
  DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                                 LPCSTR file) override {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
  }
};

}  // namespace

IFiles& FilesService() {
  static Win32Files service;
  return service;
}

}  // namespace win32
}  // namespace plat
