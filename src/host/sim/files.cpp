#include "host/sim/files.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "host/sim/ini_cache.h"
#include "host/sim/json_check.h"
#include "host/sim/machine.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
constexpr DWORD kErrorNoMoreFiles = 18;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorDirNotEmpty = 145;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kFileAttributeArchive = 0x20;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// Windows wildcard match: '*' any run, '?' one character, case-insensitive;
// "*.*" also matches names without a dot.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  const std::string p = Lower(pattern), n = Lower(name);
  size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// GetCurrentDirectoryA, GetSystemDirectoryA and GetWindowsDirectoryA: the
// length copied, or for too small a buffer (left alone) the size needed.
template <class Size>
Size CopyFolderName(const std::string& folder, LPSTR buffer, Size size) {
  const Size length = static_cast<Size>(folder.size());
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, folder.c_str(), length + 1);
  return length;
}

// A profile string as the caller gets it: cut to fit with its NUL, and
// ending at a NUL inside the value, so the count never runs past the text.
DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const size_t count = std::min<size_t>(std::min(text.find('\0'), text.size()), size - 1);
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

// The host folders of the drives that exist now and are to be removed, for
// a process ended by a signal before their owners' destructors ran.
std::mutex g_drivesMutex;
std::set<std::string> g_liveDrives;

void ForgetDrive(const std::string& root) {
  std::lock_guard<std::mutex> lock(g_drivesMutex);
  g_liveDrives.erase(root);
}

}  // namespace

void SimFiles::RemoveLiveDrives() {
  std::lock_guard<std::mutex> lock(g_drivesMutex);
  for (const std::string& root : g_liveDrives) {
    std::error_code ignored;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root, ignored);
  }
  g_liveDrives.clear();
}

SimFiles::SimFiles(Machine& machine) : m_machine(machine), m_iniCache(std::make_unique<IniCache>()) {
  std::string pattern = (fs::temp_directory_path() / "installer-sim-C-XXXXXX").string();
  if (!mkdtemp(&pattern[0])) throw std::runtime_error("cannot make the simulated drive C:");
  m_root = pattern;
  {
    std::lock_guard<std::mutex> lock(g_drivesMutex);
    g_liveDrives.insert(m_root);
  }
  fs::create_directories(fs::path(m_root) / "Windows" / "System32");
  fs::create_directories(fs::path(m_root) / "Windows" / "SysWOW64");
}

SimFiles::~SimFiles() {
  ForgetDrive(m_root);
  if (m_keep) return;
  std::error_code ignored;
  fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(m_root, ignored);
}

bool SimFiles::Normalize(const std::string& windowsPath, std::vector<std::string>* components) const {
  std::string path = windowsPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  std::string rest;
  if (path.size() >= 2 && path[1] == ':') {
    if (std::toupper(static_cast<unsigned char>(path[0])) != 'C') return false;
    rest = path.substr(2);
    if (rest.empty() || rest[0] != '\\') rest = m_currentDirectory.substr(2) + "\\" + rest;
  } else if (!path.empty() && path[0] == '\\') {
    rest = path;  // the root of the current drive
  } else {
    rest = m_currentDirectory.substr(2) + "\\" + path;
  }
  components->clear();
  std::string part;
  std::istringstream in(rest);
  while (std::getline(in, part, '\\')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!components->empty()) components->pop_back();
      continue;
    }
    components->push_back(part);
  }
  return true;
}

// A 32-bit process on 64-bit Windows that names %windir%\System32 gets
// %windir%\SysWOW64, but for a few subfolders (spool among them); the
// Sysnative alias (Windows Vista on) names the real System32.
// https://learn.microsoft.com/windows/win32/winprog64/file-system-redirector
void SimFiles::Redirect(std::vector<std::string>* components) const {
  const WindowsVersion& version = m_machine.Version();
  std::vector<std::string>& parts = *components;
  if (!version.wow64 || parts.size() < 2 || !EqualNoCase(parts[0], "Windows")) return;
  if (EqualNoCase(parts[1], "Sysnative")) {
    if (version.major >= 6) parts[1] = "System32";
    return;
  }
  if (!EqualNoCase(parts[1], "System32")) return;
  if (parts.size() > 2) {
    const std::string sub = Lower(parts[2]);
    // driverstore was redirected up to Windows Vista and Server 2008.
    const bool driverStoreExempt = version.major > 6 || (version.major == 6 && version.minor >= 1);
    if (sub == "catroot" || sub == "catroot2" || sub == "logfiles" || sub == "spool" ||
        (sub == "driverstore" && driverStoreExempt) ||
        (sub == "drivers" && parts.size() > 3 && EqualNoCase(parts[3], "etc")))
      return;
  }
  parts[1] = "SysWOW64";
}

std::string SimFiles::HostPath(const std::string& windowsPath, View view) const {
  std::vector<std::string> components;
  if (!Normalize(windowsPath, &components)) return std::string();
  if (view == View::Process) Redirect(&components);
  fs::path host(m_root);
  for (const std::string& component : components) {
    std::string actual = component;
    std::error_code error;
    if (fs::is_directory(host, error)) {
      for (const auto& entry : fs::directory_iterator(host, error)) {
        const std::string name = entry.path().filename().string();
        if (EqualNoCase(name, component)) {
          actual = name;
          break;
        }
      }
    }
    host /= actual;
  }
  return host.string();
}

std::string SimFiles::Key(const std::string& windowsPath, View view) const {
  std::vector<std::string> components;
  if (!Normalize(windowsPath, &components)) return std::string();
  if (view == View::Process) Redirect(&components);
  std::string key = "c:";
  for (const std::string& component : components) key += "\\" + Lower(component);
  return key;
}

bool SimFiles::IsReadOnly(const std::string& windowsPath) const {
  return m_readOnly.count(Key(windowsPath)) > 0;
}

std::string SimFiles::HostPathOf(const std::string& windowsPath) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return HostPath(windowsPath);
}

void SimFiles::WriteFile(const std::string& windowsPath, const std::string& content, View view) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  ++m_driveVersion;
  const fs::path host = HostPath(windowsPath, view);
  fs::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << content;
}

bool SimFiles::ReadFile(const std::string& windowsPath, std::string* content) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  std::ifstream in(HostPath(windowsPath), std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  *content = out.str();
  return true;
}

void SimFiles::LoadJson(const Profile& profile, const std::string& baseDirectory) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  ++m_driveVersion;
  // The profile was checked (CheckProfile); what can still go wrong is the
  // host's file system, or entries that contradict each other (a file where
  // another entry wants a folder): the field that failed is named.
  const auto made = [](const std::error_code& error, const std::string& field) {
    if (error) throw InputError(field + ": cannot be made on the simulated drive: " + error.message());
  };
  std::error_code error;
  if (profile.contains("current_directory"))
    m_currentDirectory = profile["current_directory"].get<std::string>();
  fs::create_directories(HostPath(m_currentDirectory, View::Native), error);
  made(error, "current_directory");
  // The driver package the installer will find in its current folder.
  if (profile.contains("package")) {
    fs::path source = profile["package"].get<std::string>();
    if (source.is_relative()) source = fs::path(baseDirectory) / source;
    fs::copy_file(source, HostPath(m_currentDirectory + "\\DriverData.Drv", View::Native),
                  fs::copy_options::overwrite_existing, error);
    made(error, "package");
  }
  if (profile.contains("files")) {
    for (auto it = profile["files"].begin(); it != profile["files"].end(); ++it) {
      const std::string field = check::Member("files", it.key());
      const Profile& entry = it.value();
      const fs::path host = HostPath(it.key(), View::Native);
      if (entry.value("folder", false)) {
        fs::create_directories(host, error);
        made(error, field);
      } else {
        fs::create_directories(host.parent_path(), error);
        made(error, field);
        if (entry.contains("copy_from")) {
          fs::path source = entry["copy_from"].get<std::string>();
          if (source.is_relative()) source = fs::path(baseDirectory) / source;
          fs::copy_file(source, host, fs::copy_options::overwrite_existing, error);
          made(error, field);
        } else {
          std::ofstream out(host, std::ios::binary);
          out << entry.value("content", std::string());
          if (!out) made(std::make_error_code(std::errc::io_error), field);
        }
      }
      if (entry.value("readonly", false)) m_readOnly.insert(Key(it.key(), View::Native));
    }
  }
  m_keep = profile.value("keep_drive", false);
  if (m_keep) ForgetDrive(m_root);
}

nlohmann::json SimFiles::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  std::vector<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(m_root, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    std::string relative = fs::relative(it->path(), m_root).string();
    std::replace(relative.begin(), relative.end(), '/', '\\');
    paths.push_back("C:\\" + relative + (it->is_directory() ? "\\" : ""));
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

DWORD SimFiles::GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  CallScope call(m_machine, "GetCurrentDirectoryA");
  return call.Fails() ? 0 : CopyFolderName(m_currentDirectory, buffer, size);
}

UINT SimFiles::GetSystemDirectoryA(LPSTR buffer, UINT size) {
  CallScope call(m_machine, "GetSystemDirectoryA");
  return call.Fails() ? 0 : CopyFolderName(m_systemDirectory, buffer, size);
}

UINT SimFiles::GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  CallScope call(m_machine, "GetWindowsDirectoryA");
  return call.Fails() ? 0 : CopyFolderName(m_windowsDirectory, buffer, size);
}

DWORD SimFiles::GetFileAttributesA(LPCSTR path) {
  CallScope call(m_machine, "GetFileAttributesA");
  const std::string windowsPath = path ? path : "";
  if (call.Fails(windowsPath)) return INVALID_FILE_ATTRIBUTES;
  const std::string host = HostPath(windowsPath);
  std::error_code error;
  if (host.empty() || !fs::exists(host, error)) {
    // A name in a folder that is not there: the path is what is missing.
    const bool folderThere = !host.empty() && fs::is_directory(fs::path(host).parent_path(), error);
    return m_machine.Fail(folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
  }
  if (fs::is_directory(host, error)) return FILE_ATTRIBUTE_DIRECTORY;
  return kFileAttributeArchive | (IsReadOnly(windowsPath) ? FILE_ATTRIBUTE_READONLY : 0);
}

BOOL SimFiles::SetFileAttributesA(LPCSTR path, DWORD attributes) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  const std::string windowsPath = path ? path : "";
  std::error_code error;
  if (!fs::exists(HostPath(windowsPath), error)) return m_machine.Fail(ERROR_FILE_NOT_FOUND);
  if (attributes & FILE_ATTRIBUTE_READONLY)
    m_readOnly.insert(Key(windowsPath));
  else
    m_readOnly.erase(Key(windowsPath));
  return TRUE;
}

BOOL SimFiles::CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  CallScope call(m_machine, "CopyFileA");
  ++m_driveVersion;
  const std::string source = from ? from : "", target = to ? to : "";
  if (call.Fails(source)) return FALSE;
  const fs::path hostSource = HostPath(source), hostTarget = HostPath(target);
  std::error_code error;
  if (hostSource.empty() || !fs::is_regular_file(hostSource, error))
    return m_machine.Fail(ERROR_FILE_NOT_FOUND);
  if (hostTarget.empty() || !fs::is_directory(hostTarget.parent_path(), error))
    return m_machine.Fail(ERROR_PATH_NOT_FOUND);
  if (fs::exists(hostTarget, error)) {
    if (failIfExists) return m_machine.Fail(kErrorFileExists);
    if (IsReadOnly(target) || fs::is_directory(hostTarget, error)) return m_machine.Fail(ERROR_ACCESS_DENIED);
  }
  if (!fs::copy_file(hostSource, hostTarget, fs::copy_options::overwrite_existing, error))
    return m_machine.Fail(ERROR_ACCESS_DENIED);
  // "File attributes for the existing file are copied to the new file."
  // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-copyfilea
  if (IsReadOnly(source))
    m_readOnly.insert(Key(target));
  else
    m_readOnly.erase(Key(target));
  return TRUE;
}

BOOL SimFiles::DeleteFileA(LPCSTR path) {
  CallScope call(m_machine, "DeleteFileA");
  ++m_driveVersion;
  const std::string windowsPath = path ? path : "";
  if (call.Fails(windowsPath)) return FALSE;
  const fs::path host = HostPath(windowsPath);
  std::error_code error;
  if (host.empty() || !fs::exists(host, error)) return m_machine.Fail(ERROR_FILE_NOT_FOUND);
  if (fs::is_directory(host, error) || IsReadOnly(windowsPath)) return m_machine.Fail(ERROR_ACCESS_DENIED);
  fs::remove(host, error);
  return error ? FALSE : TRUE;
}

BOOL SimFiles::CreateDirectoryA(LPCSTR path) {
  CallScope call(m_machine, "CreateDirectoryA");
  ++m_driveVersion;
  const std::string windowsPath = path ? path : "";
  if (call.Fails(windowsPath)) return FALSE;
  const fs::path host = HostPath(windowsPath);
  std::error_code error;
  if (host.empty() || !fs::is_directory(host.parent_path(), error))
    return m_machine.Fail(ERROR_PATH_NOT_FOUND);
  if (fs::exists(host, error)) return m_machine.Fail(kErrorAlreadyExists);
  return fs::create_directory(host, error) ? TRUE : FALSE;
}

BOOL SimFiles::RemoveDirectoryA(LPCSTR path) {
  CallScope call(m_machine, "RemoveDirectoryA");
  ++m_driveVersion;
  const std::string windowsPath = path ? path : "";
  if (call.Fails(windowsPath)) return FALSE;
  std::vector<std::string> components;
  const fs::path host = HostPath(windowsPath);
  std::error_code error;
  if (host.empty() || !fs::exists(host, error)) return m_machine.Fail(ERROR_FILE_NOT_FOUND);
  if (!Normalize(windowsPath, &components) || components.empty()) return m_machine.Fail(ERROR_ACCESS_DENIED);
  if (!fs::is_directory(host, error)) return m_machine.Fail(kErrorDirectory);
  if (!fs::is_empty(host, error)) return m_machine.Fail(kErrorDirNotEmpty);
  return fs::remove(host, error) ? TRUE : FALSE;
}

HANDLE SimFiles::FindFirstFileA(LPCSTR pattern, plat::FindData* data) {
  CallScope call(m_machine, "FindFirstFileA");
  const std::string windowsPattern = pattern ? pattern : "";
  if (call.Fails(windowsPattern)) return INVALID_HANDLE_VALUE;
  std::vector<std::string> components;
  if (!Normalize(windowsPattern, &components) || components.empty())
    return m_machine.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  const std::string wildcard = components.back();
  components.pop_back();
  std::string folder = "C:";
  for (const std::string& component : components) folder += "\\" + component;
  const fs::path host = HostPath(folder + "\\");
  std::error_code error;
  if (!fs::is_directory(host, error)) return m_machine.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  Search search;
  // Every folder but the root lists itself and its parent first.
  if (!components.empty()) {
    for (const char* dots : {".", ".."})
      if (WildcardMatch(wildcard, dots))
        search.entries.push_back(plat::FindData{dots, FILE_ATTRIBUTE_DIRECTORY});
  }
  std::vector<plat::FindData> found;
  for (const auto& entry : fs::directory_iterator(host, error)) {
    const std::string name = entry.path().filename().string();
    if (!WildcardMatch(wildcard, name)) continue;
    const std::string windowsName = folder + "\\" + name;
    const DWORD attributes =
        entry.is_directory()
            ? FILE_ATTRIBUTE_DIRECTORY
            : kFileAttributeArchive | (IsReadOnly(windowsName) ? FILE_ATTRIBUTE_READONLY : 0);
    found.push_back(plat::FindData{name, attributes});
  }
  // The order of an NTFS folder: names compared without case.
  std::sort(found.begin(), found.end(), [](const plat::FindData& a, const plat::FindData& b) {
    return Lower(a.fileName) < Lower(b.fileName);
  });
  search.entries.insert(search.entries.end(), found.begin(), found.end());
  if (search.entries.empty()) return m_machine.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  *data = search.entries[0];
  search.next = 1;
  const ULONG_PTR handle = m_nextHandle += 4;
  m_searches[handle] = std::move(search);
  return reinterpret_cast<HANDLE>(handle);
}

BOOL SimFiles::FindNextFileA(HANDLE handle, plat::FindData* data) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  auto it = m_searches.find(reinterpret_cast<ULONG_PTR>(handle));
  if (it == m_searches.end()) return m_machine.Fail(ERROR_INVALID_HANDLE);
  Search& search = it->second;
  if (search.next >= search.entries.size()) return m_machine.Fail(kErrorNoMoreFiles);
  *data = search.entries[search.next++];
  return TRUE;
}

BOOL SimFiles::FindClose(HANDLE handle) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (m_searches.erase(reinterpret_cast<ULONG_PTR>(handle)) == 0) return m_machine.Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

DWORD SimFiles::GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) {
  CallScope call(m_machine, "GetPrivateProfileSectionNamesA");
  if (!buffer || size == 0) return 0;
  buffer[0] = '\0';
  if (size > 1) buffer[1] = '\0';
  if (call.Fails(file ? file : "")) return 0;
  const IniFile* ini =
      m_iniCache->Lookup(HostPath(file ? file : ""), m_driveVersion, m_machine.Version().codePage);
  if (!ini) return 0;
  const std::string& list = ini->SectionNames();
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<DWORD>(list.size());
  }
  // A list that does not fit is cut, wherever that falls, and ends with two
  // NULs; the result is then the size less two.
  if (size < 2) return 0;
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

DWORD SimFiles::GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                         DWORD size, LPCSTR file) {
  CallScope call(m_machine, "GetPrivateProfileStringA");
  const std::string fallback = Trim(defaultValue ? defaultValue : "");
  if (call.Fails(key ? key : "")) return CopyOut(fallback, buffer, size);
  const IniFile* ini =
      m_iniCache->Lookup(HostPath(file ? file : ""), m_driveVersion, m_machine.Version().codePage);
  if (!ini) {
    // Documented: the default, and ERROR_FILE_NOT_FOUND from GetLastError.
    // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getprivateprofilestringa
    return m_machine.Fail(ERROR_FILE_NOT_FOUND, CopyOut(fallback, buffer, size));
  }
  if (!section || !key) return CopyOut(fallback, buffer, size);
  const std::string* value = ini->Find(section, key);
  return CopyOut(value ? *value : fallback, buffer, size);
}

}  // namespace sim
