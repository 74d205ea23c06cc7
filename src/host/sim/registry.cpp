#include "host/sim/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "host/sim/json_check.h"
#include "host/sim/machine.h"

namespace sim {

namespace {
const char* const kRootNames[6] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                   "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '\\') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// A value as a checked profile gives it (CheckProfile): a string, a DWORD
// or {"type": N, "hex": "..."} with whole bytes.
RegValue MakeValue(const std::string& name, const Profile& value) {
  RegValue out;
  out.name = name;
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    out.type = REG_SZ;
    out.data.assign(text.begin(), text.end());
    out.data.push_back(0);
  } else if (value.is_number_integer()) {
    const DWORD number = value.get<DWORD>();
    out.type = REG_DWORD;
    out.data.resize(4);
    std::memcpy(out.data.data(), &number, 4);
  } else if (value.is_object() && value.contains("hex")) {
    out.type = value.value("type", static_cast<DWORD>(REG_BINARY));
    ParseHexBytes(value["hex"].get<std::string>(), false, &out.data);
  }
  return out;
}

nlohmann::json ValueToJson(const RegValue& value) {
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    std::string text(value.data.begin(), value.data.end());
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    std::memcpy(&number, value.data.data(), 4);
    return number;
  }
  static const char* kDigits = "0123456789abcdef";
  std::string hex;
  for (BYTE b : value.data) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return nlohmann::json{{"type", value.type}, {"hex", hex}};
}

// A value's type and data as RegEnumValueA and RegQueryValueExA give them:
// without a buffer only the size; a buffer too small gets nothing but the
// size needed and ERROR_MORE_DATA.
LONG CopyValue(const RegValue& value, DWORD* type, BYTE* data, DWORD* dataBytes) {
  if (type) *type = value.type;
  if (!dataBytes) return ERROR_SUCCESS;
  const DWORD size = static_cast<DWORD>(value.data.size());
  const bool fits = *dataBytes >= size;
  *dataBytes = size;
  if (!data) return ERROR_SUCCESS;
  if (!fits) return ERROR_MORE_DATA;
  if (size) std::memcpy(data, value.data.data(), size);
  return ERROR_SUCCESS;
}

void NodeToJson(const RegKeyNode& node, const std::string& path, nlohmann::json& out) {
  if (!node.values.empty()) {
    nlohmann::json values = nlohmann::json::object();
    for (const RegValue& value : node.values) values[value.name] = ValueToJson(value);
    out[path] = values;
  }
  for (const auto& child : node.subkeys) NodeToJson(*child.second, path + "\\" + child.second->name, out);
}
}  // namespace

bool SimRegistry::HasKnownRoot(const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return false;
  for (const char* root : kRootNames)
    if (Lower(parts[0]) == Lower(root)) return true;
  return false;
}

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return Lower(a) < Lower(b);
}

RegValue* RegKeyNode::FindValue(const std::string& valueName) {
  const std::string wanted = Lower(valueName);
  for (RegValue& value : values)
    if (Lower(value.name) == wanted) return &value;
  return nullptr;
}

void RegKeyNode::SetValue(const RegValue& value) {
  RegValue* existing = FindValue(value.name);
  if (!existing) return values.push_back(value);
  // A value set again keeps the name it was made with.
  existing->type = value.type;
  existing->data = value.data;
}

SimRegistry::SimRegistry(Machine& machine) : m_machine(machine) {
  for (int i = 0; i < 6; ++i) {
    m_roots[i] = std::make_unique<RegKeyNode>();
    m_roots[i]->name = kRootNames[i];
  }
}

RegKeyNode* SimRegistry::Root(HKEY key) const {
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
  const ULONG_PTR base = static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000));
  if (value < base || value > base + 5) return nullptr;
  // HKEY_CURRENT_CONFIG is a view of the current hardware profile.
  if (value == base + 5)
    return Walk(m_roots[2].get(), "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", true);
  return m_roots[value - base].get();
}

RegKeyNode* SimRegistry::Resolve(HKEY key) const {
  if (RegKeyNode* root = Root(key)) return root;
  auto it = m_handles.find(reinterpret_cast<ULONG_PTR>(key));
  return it == m_handles.end() ? nullptr : it->second;
}

RegKeyNode* SimRegistry::Walk(RegKeyNode* from, const std::string& subKey, bool create) const {
  RegKeyNode* node = from;
  for (const std::string& part : SplitPath(subKey)) {
    auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<RegKeyNode>();
      child->name = part;
      RegKeyNode* raw = child.get();
      node->subkeys.emplace(part, std::move(child));
      node = raw;
    } else {
      node = it->second.get();
    }
  }
  return node;
}

RegKeyNode* SimRegistry::NodeForPath(const std::string& path, bool create) const {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return nullptr;
  if (Lower(parts[0]) == "hkey_current_config") {
    const std::string rest = path.size() > parts[0].size() ? path.substr(parts[0].size()) : "";
    return Walk(Root(HKEY_CURRENT_CONFIG), rest, create);
  }
  for (int i = 0; i < 6; ++i) {
    if (Lower(parts[0]) == Lower(kRootNames[i])) {
      const std::string rest = path.size() > parts[0].size() ? path.substr(parts[0].size()) : "";
      return Walk(m_roots[i].get(), rest, create);
    }
  }
  return nullptr;
}

HKEY SimRegistry::NewHandle(RegKeyNode* node) {
  const ULONG_PTR handle = m_nextHandle += 4;
  m_handles[handle] = node;
  return reinterpret_cast<HKEY>(handle);
}

LONG SimRegistry::RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM access, HKEY* result) {
  CallScope call(m_machine, "RegOpenKeyExA");
  const std::string path = subKey ? subKey : "";
  if (call.Fails(path)) return call.ErrorCode();
  RegKeyNode* base = Resolve(parent);
  if (!base) return ERROR_INVALID_HANDLE;
  RegKeyNode* node = Walk(base, path, false);
  if (!node) return ERROR_FILE_NOT_FOUND;
  if (node->denyOpen || ((access & KEY_SET_VALUE) && node->denyWrite)) return ERROR_ACCESS_DENIED;
  *result = NewHandle(node);
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegCreateKeyExA(HKEY parent, LPCSTR subKey, REGSAM, HKEY* result) {
  CallScope call(m_machine, "RegCreateKeyExA");
  const std::string path = subKey ? subKey : "";
  if (call.Fails(path)) return call.ErrorCode();
  RegKeyNode* base = Resolve(parent);
  if (!base) return ERROR_INVALID_HANDLE;
  RegKeyNode* node = Walk(base, path, true);
  if (node->denyOpen) return ERROR_ACCESS_DENIED;
  *result = NewHandle(node);
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  if (Root(key)) return ERROR_SUCCESS;
  return m_handles.erase(reinterpret_cast<ULONG_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG SimRegistry::RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                                DWORD* dataBytes) {
  CallScope call(m_machine, "RegEnumValueA");
  if (call.Fails()) return call.ErrorCode();
  RegKeyNode* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = node->values[index];
  // The name buffer must hold the name and its terminator.
  if (!name || !nameChars || *nameChars <= value.name.size()) return ERROR_MORE_DATA;
  std::memcpy(name, value.name.c_str(), value.name.size() + 1);
  *nameChars = static_cast<DWORD>(value.name.size());
  return CopyValue(value, type, data, dataBytes);
}

LONG SimRegistry::RegQueryValueExA(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* dataBytes) {
  CallScope call(m_machine, "RegQueryValueExA");
  if (call.Fails(name ? name : "")) return call.ErrorCode();
  RegKeyNode* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  RegValue* value = node->FindValue(name ? name : "");
  if (!value) return ERROR_FILE_NOT_FOUND;
  return CopyValue(*value, type, data, dataBytes);
}

LONG SimRegistry::RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataBytes) {
  CallScope call(m_machine, "RegSetValueExA");
  const std::string valueName = name ? name : "";
  if (call.Fails(valueName)) return call.ErrorCode();
  RegKeyNode* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->denyWrite) return ERROR_ACCESS_DENIED;
  node->SetValue(RegValue{valueName, type, std::vector<BYTE>(data, data + dataBytes)});
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegDeleteKeyA(HKEY parent, LPCSTR subKey) {
  CallScope call(m_machine, "RegDeleteKeyA");
  const std::string path = subKey ? subKey : "";
  if (call.Fails(path)) return call.ErrorCode();
  RegKeyNode* from = Resolve(parent);
  if (!from) return ERROR_INVALID_HANDLE;
  const size_t slash = path.rfind('\\');
  RegKeyNode* owner = slash == std::string::npos ? from : Walk(from, path.substr(0, slash), false);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!owner || name.empty()) return ERROR_FILE_NOT_FOUND;
  auto it = owner->subkeys.find(name);
  if (it == owner->subkeys.end()) return ERROR_FILE_NOT_FOUND;
  if (owner->denyWrite || it->second->denyWrite) return ERROR_ACCESS_DENIED;
  // RegDeleteKey deletes a key without subkeys only.
  if (!it->second->subkeys.empty()) return ERROR_ACCESS_DENIED;
  m_deleted.push_back(std::move(it->second));
  owner->subkeys.erase(it);
  return ERROR_SUCCESS;
}

LONG SimRegistry::RegDeleteValueA(HKEY key, LPCSTR name) {
  CallScope call(m_machine, "RegDeleteValueA");
  const std::string valueName = name ? name : "";
  if (call.Fails(valueName)) return call.ErrorCode();
  RegKeyNode* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->denyWrite) return ERROR_ACCESS_DENIED;
  RegValue* value = node->FindValue(valueName);
  if (!value) return ERROR_FILE_NOT_FOUND;
  node->values.erase(node->values.begin() + (value - node->values.data()));
  return ERROR_SUCCESS;
}

void SimRegistry::LoadJson(const Profile& keys) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  for (auto it = keys.begin(); it != keys.end(); ++it) {
    RegKeyNode* node = NodeForPath(it.key(), true);
    if (!node) continue;
    for (auto v = it.value().begin(); v != it.value().end(); ++v) {
      if (v.key() == "@deny") {
        const std::string deny = v.value().get<std::string>();
        node->denyOpen = deny == "open";
        node->denyWrite = deny == "write" || deny == "open";
        continue;
      }
      node->SetValue(MakeValue(v.key(), v.value()));
    }
  }
}

nlohmann::json SimRegistry::ToJson() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  nlohmann::json out = nlohmann::json::object();
  for (const auto& root : m_roots) NodeToJson(*root, root->name, out);  // the view is listed under HKLM
  return out;
}

void SimRegistry::SetString(const std::string& keyPath, const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  SetStringLocked(keyPath, name, value);
}

void SimRegistry::SetDword(const std::string& keyPath, const std::string& name, DWORD value) {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  SetDwordLocked(keyPath, name, value);
}

bool SimRegistry::GetString(const std::string& keyPath, const std::string& name, std::string* value) const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return GetStringLocked(keyPath, name, value);
}

void SimRegistry::SetStringLocked(const std::string& keyPath, const std::string& name,
                                  const std::string& value) {
  NodeForPath(keyPath, true)->SetValue(MakeValue(name, Profile(value)));
}

void SimRegistry::SetDwordLocked(const std::string& keyPath, const std::string& name, DWORD value) {
  NodeForPath(keyPath, true)->SetValue(MakeValue(name, Profile(value)));
}

bool SimRegistry::GetStringLocked(const std::string& keyPath, const std::string& name,
                                  std::string* value) const {
  RegKeyNode* node = NodeForPath(keyPath, false);
  RegValue* found = node ? node->FindValue(name) : nullptr;
  if (!found) return false;
  const nlohmann::json text = ValueToJson(*found);
  *value = text.is_string() ? text.get<std::string>() : std::string();
  return true;
}

bool SimRegistry::GetDwordLocked(const std::string& keyPath, const std::string& name, DWORD* value) const {
  RegKeyNode* node = NodeForPath(keyPath, false);
  RegValue* found = node ? node->FindValue(name) : nullptr;
  if (!found || found->data.size() < 4) return false;
  std::memcpy(value, found->data.data(), 4);
  return true;
}

void SimRegistry::DeleteKeyLocked(const std::string& keyPath) {
  const size_t slash = keyPath.rfind('\\');
  if (slash == std::string::npos) return;
  RegKeyNode* parent = NodeForPath(keyPath.substr(0, slash), false);
  if (!parent) return;
  auto it = parent->subkeys.find(keyPath.substr(slash + 1));
  if (it == parent->subkeys.end()) return;
  // Handles still open on the key keep pointing at it, as Windows keeps
  // them valid on a deleted key.
  m_deleted.push_back(std::move(it->second));
  parent->subkeys.erase(it);
}

int SimRegistry::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(m_machine.Mutex());
  return static_cast<int>(m_handles.size());
}

}  // namespace sim
