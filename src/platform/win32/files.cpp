// Files, folders and profiles through the W functions: paths are UTF-8 on
// the installer's side, converted here once. The profile functions read an
// ANSI INI file with the ANSI code page (GetPrivateProfileStringW's
// documented behaviour for a file without a Unicode byte-order mark), so a
// catalogue written in the machine's code page reaches the installer as the
// same characters. Buffer sizes the caller gives are UTF-8 bytes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

// Longest path the wide functions take, in characters.
constexpr DWORD kMaxPathChars = 32768;
// Largest profile text read back, in characters.
constexpr DWORD kMaxProfileChars = 1 << 20;

void Fill(const WIN32_FIND_DATAW& found, FindData* data) {
  data->fileName = WideToUtf8(found.cFileName);
  data->attributes = found.dwFileAttributes;
}

// A folder a Get...Directory call names, in UTF-8; empty with the call's
// error when it fails.
template <typename Call>
std::string FolderFrom(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return WideToUtf8(buffer.data(), static_cast<int>(length));
    // Too small: `length` is the size needed, with the NUL.
    if (length > kMaxPathChars) return std::string();
    buffer.assign(length, L'\0');
  }
}

// The length of the longest start of `text` that fits `limit` bytes
// without splitting a UTF-8 character.
size_t FittingLength(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t length = limit;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

// A value as GetPrivateProfileStringA hands it out: cut to size - 1 and
// always terminated; the count copied.
DWORD CopyValueOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const size_t count = FittingLength(text, size - 1);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

// A list of NUL-terminated names as the profile functions hand it out: the
// whole list with its final NUL when it fits, else cut wherever that falls
// and ended with two NULs, the count then being size - 2.
DWORD CopyListOut(const std::string& list, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  buffer[0] = '\0';
  if (size < 2) return 0;
  const size_t count = FittingLength(list, size - 2);
  std::memcpy(buffer, list.data(), count);
  std::memset(buffer + count, 0, size - count);
  return size - 2;
}

// Reads a profile text whole: the W call says it cut its result by
// returning `cutAt(size)`, so the buffer grows until it does not.
template <typename Call, typename CutAt>
std::wstring ReadWhole(Call call, CutAt cutAt) {
  std::vector<wchar_t> buffer(4096);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD count = call(buffer.data(), size);
    if (count != cutAt(size) || size >= kMaxProfileChars) return std::wstring(buffer.data(), count);
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

class Win32Files : public IFiles {
 public:
  DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) override {
    const std::string folder = FolderFrom([](wchar_t* b, DWORD n) { return ::GetCurrentDirectoryW(n, b); });
    return folder.empty() ? 0 : CopyPathOut(folder, buffer, size);
  }
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override {
    const std::string folder =
        FolderFrom([](wchar_t* b, DWORD n) { return static_cast<DWORD>(::GetSystemDirectoryW(b, n)); });
    return folder.empty() ? 0 : CopyPathOut(folder, buffer, size);
  }
  UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) override {
    const std::string folder =
        FolderFrom([](wchar_t* b, DWORD n) { return static_cast<DWORD>(::GetWindowsDirectoryW(b, n)); });
    return folder.empty() ? 0 : CopyPathOut(folder, buffer, size);
  }
  DWORD GetFileAttributesA(LPCSTR path) override { return ::GetFileAttributesW(WideArg(path).c_str()); }
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override {
    return ::SetFileAttributesW(WideArg(path).c_str(), attributes);
  }
  BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) override {
    return ::CopyFileW(WideArg(from).c_str(), WideArg(to).c_str(), failIfExists);
  }
  BOOL DeleteFileA(LPCSTR path) override { return ::DeleteFileW(WideArg(path).c_str()); }
  BOOL CreateDirectoryA(LPCSTR path) override { return ::CreateDirectoryW(WideArg(path).c_str(), nullptr); }
  BOOL RemoveDirectoryA(LPCSTR path) override { return ::RemoveDirectoryW(WideArg(path).c_str()); }
  HANDLE FindFirstFileA(LPCSTR pattern, FindData* data) override {
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW(WideArg(pattern).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) Fill(found, data);
    return search;
  }
  BOOL FindNextFileA(HANDLE search, FindData* data) override {
    WIN32_FIND_DATAW found = {};
    if (!::FindNextFileW(search, &found)) return FALSE;
    Fill(found, data);
    return TRUE;
  }
  BOOL FindClose(HANDLE search) override { return ::FindClose(search); }

  DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) override {
    const WideArg wideFile(file);
    const std::wstring list = ReadWhole(
        [&wideFile](wchar_t* b, DWORD n) { return ::GetPrivateProfileSectionNamesW(b, n, wideFile.c_str()); },
        [](DWORD n) { return n - 2; });
    return CopyListOut(WideToUtf8(list.data(), static_cast<int>(list.size())), buffer, size);
  }

  DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                                 LPCSTR file) override {
    const WideArg wideSection(section), wideKey(key), wideDefault(defaultValue), wideFile(file);
    // Without a section or a key the result is a list of names, cut as a
    // list is.
    const bool list = !section || !key;
    const std::wstring text = ReadWhole(
        [&](wchar_t* b, DWORD n) {
          return ::GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideDefault.c_str(), b, n,
                                            wideFile.c_str());
        },
        [list](DWORD n) { return list ? n - 2 : n - 1; });
    const std::string utf8 = WideToUtf8(text.data(), static_cast<int>(text.size()));
    return list ? CopyListOut(utf8, buffer, size) : CopyValueOut(utf8, buffer, size);
  }
};

}  // namespace

IFiles& FilesService() {
  static Win32Files service;
  return service;
}

}  // namespace win32
}  // namespace plat
