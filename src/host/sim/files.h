// The simulated machine's drive C:, kept in a host folder, with the file,
// folder and profile (INI) calls the installer makes. Windows paths are
// matched case-insensitively against what is on the drive, "/" and "\" are
// both separators and doubled separators are one, as on Windows.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/profile.h"

namespace sim {

class Machine;
class IniCache;

class SimFiles : public plat::IFiles {
 public:
  explicit SimFiles(Machine& machine);
  ~SimFiles() override;

  DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) override;
  UINT GetSystemDirectoryA(LPSTR buffer, UINT size) override;
  UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) override;
  DWORD GetFileAttributesA(LPCSTR path) override;
  BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) override;
  BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) override;
  BOOL DeleteFileA(LPCSTR path) override;
  BOOL CreateDirectoryA(LPCSTR path) override;
  BOOL RemoveDirectoryA(LPCSTR path) override;
  HANDLE FindFirstFileA(LPCSTR pattern, plat::FindData* data) override;
  BOOL FindNextFileA(HANDLE search, plat::FindData* data) override;
  BOOL FindClose(HANDLE search) override;
  DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR file) override;
  DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                                 LPCSTR file) override;

  // Profile: {"current_directory": "C:\\Shop", "files": {"C:\\Shop\\a.txt":
  // {"content": "..."} or {"copy_from": HOST_PATH} or {"folder": true},
  // with "readonly": true where wanted}}. Relative host paths are taken
  // from `baseDirectory`.
  void LoadJson(const Profile& profile, const std::string& baseDirectory);
  // Every file and folder on C:, sorted, folders ending in "\".
  nlohmann::json ToJson() const;

  // Whose view of the drive a path is in: the installer's own (a 32-bit
  // process, so on 64-bit Windows the file system redirector applies) or a
  // native process's, such as the spooler.
  enum class View { Process, Native };

  // The host path of a Windows path on C: (for the simulated machine's own
  // modules, such as the archive library); empty when it is not on C:.
  // Takes the lock itself.
  std::string HostPathOf(const std::string& windowsPath);
  const std::string& Root() const { return m_root; }
  // Removes the host folders of every drive of the process (but those a
  // profile keeps): for a process about to end on a signal.
  static void RemoveLiveDrives();
  // The same with the machine's lock already held.
  std::string HostPathLocked(const std::string& windowsPath, View view = View::Process) const {
    return HostPath(windowsPath, view);
  }
  // Writes a file (test helper; takes the lock itself).
  void WriteFile(const std::string& windowsPath, const std::string& content, View view = View::Process);
  bool ReadFile(const std::string& windowsPath, std::string* content);
  // Something other than these calls (the archive library's extraction)
  // wrote to the drive: parsed profile files are read again. Lock held.
  void NoteDriveWrittenLocked() { ++m_driveVersion; }

 private:
  struct Search {
    std::vector<plat::FindData> entries;
    size_t next = 0;
  };
  // Call with the lock held.
  bool Normalize(const std::string& windowsPath, std::vector<std::string>* components) const;
  // What the file system redirector makes of a 32-bit process's path.
  void Redirect(std::vector<std::string>* components) const;
  std::string HostPath(const std::string& windowsPath, View view = View::Process) const;
  std::string Key(const std::string& windowsPath, View view = View::Process) const;
  bool IsReadOnly(const std::string& windowsPath) const;

  Machine& m_machine;
  std::string m_root;  // the host folder that is C:\ .
  std::string m_currentDirectory = "C:\\";
  std::string m_systemDirectory = "C:\\Windows\\system32";
  std::string m_windowsDirectory = "C:\\Windows";
  bool m_keep = false;
  std::set<std::string> m_readOnly;  // keys of read-only files
  std::map<ULONG_PTR, Search> m_searches;
  ULONG_PTR m_nextHandle = 0x4000;
  std::unique_ptr<IniCache> m_iniCache;
  uint64_t m_driveVersion = 0;  // counts the drive's writes
};

}  // namespace sim
