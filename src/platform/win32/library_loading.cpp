// Where the installer takes DLLs from. It runs elevated, often straight from
// a download folder or a shared drive, so a DLL found by the generic search
// (current directory, PATH) could be anyone's. Libraries loaded by name come
// from beside the program (the archive library the package ships there) or
// from the system folder, by full path; the current directory and PATH are
// out of the search for every later load in the process.
#include <string>

#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

// Longest path the wide functions take.
constexpr DWORD kMaxPath = 32768;

// Set when SetDefaultDllDirectories took: loads then name their search
// with LOAD_LIBRARY_SEARCH_* flags.
bool g_defaultDirectoriesSet = false;

// The program's folder, with a trailing backslash; empty when Windows
// cannot say.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    // Cut to fit: try a larger buffer, up to the longest path there is.
    if (path.size() >= kMaxPath) return std::wstring();
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The system folder, with a trailing backslash; empty when Windows cannot
// say.
std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  std::wstring result(folder, length);
  if (result.back() != L'\\') result += L'\\';
  return result;
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HMODULE LoadByFullPath(const std::wstring& path) {
  // The DLL's own imports are looked for beside it, then in the system
  // folder, never in the current directory.
  const DWORD flags = g_defaultDirectoriesSet
                          ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                          : LOAD_WITH_ALTERED_SEARCH_PATH;
  return ::LoadLibraryExW(path.c_str(), nullptr, flags);
}

}  // namespace

void HardenDllSearch() {
  // Takes the current directory out of the search on every Windows since
  // XP SP1.
  ::SetDllDirectoryW(L"");
  // Windows 8 and later (7 with its loader update): later loads by bare
  // name search the system folder only. Looked up at run time so the
  // program still starts where it is missing.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                         ::GetProcAddress(kernel32, "SetDefaultDllDirectories")))
                                   : nullptr;
  g_defaultDirectoriesSet = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadLibraryFromTrustedFolder(const char* name) {
  const std::wstring wide = Utf8ToWide(name ? name : "");
  if (wide.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A path the program built itself is taken as it is.
  if (wide.find_first_of(L"\\/:") != std::wstring::npos) return LoadByFullPath(wide);
  const std::wstring beside = ProgramFolder();
  if (!beside.empty() && IsFile(beside + wide)) return LoadByFullPath(beside + wide);
  const std::wstring system = SystemFolder();
  if (!system.empty() && IsFile(system + wide)) return LoadByFullPath(system + wide);
  ::SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE LoadLibraryFromSystemFolder(const char* name) {
  const std::wstring wide = Utf8ToWide(name ? name : "");
  if (wide.empty() || wide.find_first_of(L"\\/:") != std::wstring::npos) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::wstring system = SystemFolder();
  if (system.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  return LoadByFullPath(system + wide);
}

}  // namespace win32
}  // namespace plat
