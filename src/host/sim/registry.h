// The simulated registry: a tree of keys with case-insensitive names and
// values kept in the order they were written (the order RegEnumValueA
// reports).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "host/sim/profile.h"

namespace sim {

class Machine;

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct RegValue {
  std::string name;
  DWORD type = REG_SZ;
  std::vector<BYTE> data;
};

struct RegKeyNode {
  std::string name;
  std::map<std::string, std::unique_ptr<RegKeyNode>, CaseInsensitiveLess> subkeys;
  std::vector<RegValue> values;
  bool denyOpen = false;   // RegOpenKeyExA gives ERROR_ACCESS_DENIED
  bool denyWrite = false;  // RegSetValueExA gives ERROR_ACCESS_DENIED

  RegValue* FindValue(const std::string& valueName);
  // Sets a value, adding it when the key has none of that name.
  void SetValue(const RegValue& value);
};

class SimRegistry : public plat::IRegistry {
 public:
  explicit SimRegistry(Machine& machine);

  LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) override;
  LONG RegCreateKeyExA(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                     DWORD* dataBytes) override;
  LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* dataBytes) override;
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataBytes) override;
  LONG RegDeleteKeyA(HKEY parent, LPCSTR subKey) override;
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override;

  // Profile and state helpers (take the machine's lock themselves).
  // Path form: "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM".
  void LoadJson(const Profile& keys);
  // Whether a key path starts with a root key's name ("HKEY_LOCAL_MACHINE").
  static bool HasKnownRoot(const std::string& path);
  nlohmann::json ToJson() const;
  void SetString(const std::string& keyPath, const std::string& name, const std::string& value);
  void SetDword(const std::string& keyPath, const std::string& name, DWORD value);
  bool GetString(const std::string& keyPath, const std::string& name, std::string* value) const;
  int OpenHandleCount() const;

  // The same for the machine's own parts that already hold the lock.
  void SetStringLocked(const std::string& keyPath, const std::string& name, const std::string& value);
  void SetDwordLocked(const std::string& keyPath, const std::string& name, DWORD value);
  bool GetStringLocked(const std::string& keyPath, const std::string& name, std::string* value) const;
  bool GetDwordLocked(const std::string& keyPath, const std::string& name, DWORD* value) const;
  void DeleteKeyLocked(const std::string& keyPath);

 private:
  RegKeyNode* Root(HKEY key) const;
  RegKeyNode* Resolve(HKEY key) const;
  RegKeyNode* Walk(RegKeyNode* from, const std::string& subKey, bool create) const;
  RegKeyNode* NodeForPath(const std::string& path, bool create) const;
  HKEY NewHandle(RegKeyNode* node);

  Machine& m_machine;
  std::unique_ptr<RegKeyNode> m_roots[6];
  std::map<ULONG_PTR, RegKeyNode*> m_handles;
  std::vector<std::unique_ptr<RegKeyNode>> m_deleted;
  ULONG_PTR m_nextHandle = 0x1000;
};

}  // namespace sim
