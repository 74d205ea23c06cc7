// The registry: keys opened and created, values set, queried and listed,
// with RegQueryValueExA's size rules.
// https://learn.microsoft.com/windows/win32/api/winreg/nf-winreg-regqueryvalueexa
#include <cstring>
#include <string>

#include "harness.h"

namespace conformance {
namespace {

const char kPrivateKey[] = "Software\\InstallerConformance";
// Every Windows profile has it; the installer writes its "Device" there.
const char kWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

LONG SetString(HKEY key, const char* name, const std::string& text) {
  // REG_SZ data is counted with its terminating NUL.
  return plat::Registry().RegSetValueExA(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>(text.size() + 1));
}

void KeysAndMissingNames(HKEY key) {
  plat::IRegistry& registry = plat::Registry();
  HKEY missing = nullptr;
  long result = registry.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\InstallerConformance\\Absent", 0,
                                       KEY_READ, &missing);
  ok(result == ERROR_FILE_NOT_FOUND, "RegOpenKeyExA of a missing key: %ld, expected 2", result);

  DWORD type = 0, size = 0;
  result = registry.RegQueryValueExA(key, "Absent", &type, nullptr, &size);
  ok(result == ERROR_FILE_NOT_FOUND, "RegQueryValueExA of a missing value: %ld, expected 2", result);

  HKEY sub = nullptr;
  result = registry.RegCreateKeyExA(key, "Sub\\Deeper", KEY_ALL_ACCESS, &sub);
  ok(result == ERROR_SUCCESS, "RegCreateKeyExA of a two-level subkey: %ld", result);
  if (result == ERROR_SUCCESS) registry.RegCloseKey(sub);
  HKEY again = nullptr;
  result = registry.RegOpenKeyExA(key, "sub\\DEEPER", 0, KEY_READ, &again);
  ok(result == ERROR_SUCCESS, "RegOpenKeyExA ignores case: %ld", result);
  if (result == ERROR_SUCCESS) registry.RegCloseKey(again);
}

void StringSizes(HKEY key) {
  plat::IRegistry& registry = plat::Registry();
  long result = SetString(key, "Device", "Printer,winspool,COM1:");
  ok(result == ERROR_SUCCESS, "RegSetValueExA REG_SZ: %ld", result);

  DWORD type = 0, size = 0;
  result = registry.RegQueryValueExA(key, "Device", &type, nullptr, &size);
  ok(result == ERROR_SUCCESS && type == REG_SZ && size == 23,
     "size query: %ld, type %lu, %lu bytes, expected 23 with the NUL", result,
     static_cast<unsigned long>(type), static_cast<unsigned long>(size));

  char small[8] = "xxxxxxx";
  size = sizeof small;
  result = registry.RegQueryValueExA(key, "Device", &type, reinterpret_cast<BYTE*>(small), &size);
  ok(result == ERROR_MORE_DATA && size == 23, "a short buffer: %ld, %lu bytes needed, expected 234 and 23",
     result, static_cast<unsigned long>(size));

  char data[64] = {};
  size = sizeof data;
  result = registry.RegQueryValueExA(key, "Device", &type, reinterpret_cast<BYTE*>(data), &size);
  ok(result == ERROR_SUCCESS && size == 23 && std::strcmp(data, "Printer,winspool,COM1:") == 0,
     "read back: %ld, %lu bytes, \"%s\"", result, static_cast<unsigned long>(size), data);

  // UTF-8 on the installer's side: sizes count its bytes, whatever the
  // registry keeps.
  const std::string accented =
      "Dr\xc3\xbc"
      "cker \xe6\x89\x93\xe5\x8d\xb0";
  result = SetString(key, "Name", accented);
  ok(result == ERROR_SUCCESS, "RegSetValueExA with non-ASCII text: %ld", result);
  size = sizeof data;
  std::memset(data, 0, sizeof data);
  result = registry.RegQueryValueExA(key, "Name", &type, reinterpret_cast<BYTE*>(data), &size);
  ok(result == ERROR_SUCCESS && size == accented.size() + 1 && accented == data,
     "non-ASCII read back: %ld, %lu bytes, expected %lu", result, static_cast<unsigned long>(size),
     static_cast<unsigned long>(accented.size() + 1));

  const DWORD number = 9600;
  result =
      registry.RegSetValueExA(key, "Baud", REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  DWORD read = 0;
  size = sizeof read;
  result = registry.RegQueryValueExA(key, "Baud", &type, reinterpret_cast<BYTE*>(&read), &size);
  ok(result == ERROR_SUCCESS && type == REG_DWORD && size == 4 && read == 9600, "REG_DWORD: %ld, %lu", result,
     static_cast<unsigned long>(read));
}

// Values come back in no promised order ("values are not ordered"):
// https://learn.microsoft.com/windows/win32/api/winreg/nf-winreg-regenumvaluea
void Enumeration(HKEY key) {
  plat::IRegistry& registry = plat::Registry();
  char name[64];
  BYTE data[64];
  DWORD nameChars = 0, type = 0, size = 0;
  long result = ERROR_SUCCESS;
  int count = 0;
  bool deviceSeen = false;
  for (DWORD index = 0;; ++index) {
    nameChars = sizeof name;
    size = sizeof data;
    result = registry.RegEnumValueA(key, index, name, &nameChars, &type, data, &size);
    if (result != ERROR_SUCCESS) break;
    ++count;
    if (std::strcmp(name, "Device") == 0) {
      deviceSeen = true;
      ok(nameChars == 6 && type == REG_SZ && size == 23,
         "RegEnumValueA \"Device\": %lu chars, type %lu, %lu bytes", static_cast<unsigned long>(nameChars),
         static_cast<unsigned long>(type), static_cast<unsigned long>(size));
    }
  }
  ok(deviceSeen, "RegEnumValueA lists \"Device\"");
  ok(result == ERROR_NO_MORE_ITEMS && count == 3,
     "RegEnumValueA ends with %ld after %d values, expected 259 after 3", result, count);

  char tiny[4];
  nameChars = sizeof tiny;
  size = sizeof data;
  result = registry.RegEnumValueA(key, 0, tiny, &nameChars, &type, data, &size);
  ok(result == ERROR_MORE_DATA, "a name buffer without room for the NUL: %ld, expected 234", result);
}

void WindowsKey() {
  plat::IRegistry& registry = plat::Registry();
  HKEY key = nullptr;
  const long result =
      registry.RegOpenKeyExA(HKEY_CURRENT_USER, kWindowsKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  ok_or_wine(result == ERROR_SUCCESS, result == ERROR_FILE_NOT_FOUND, "no Windows key in a new prefix",
             "HKEY_CURRENT_USER\\%s opens for writing: %ld", kWindowsKey, result);
  if (result == ERROR_SUCCESS) registry.RegCloseKey(key);
}

}  // namespace

void TestRegistry(const Backend& backend) {
  BeginGroup("registry");
  backend.deleteUserKeyTree(kPrivateKey);
  HKEY key = nullptr;
  const long result = plat::Registry().RegCreateKeyExA(HKEY_CURRENT_USER, kPrivateKey, KEY_ALL_ACCESS, &key);
  ok(result == ERROR_SUCCESS, "RegCreateKeyExA of a private key: %ld", result);
  if (result == ERROR_SUCCESS) {
    KeysAndMissingNames(key);
    StringSizes(key);
    Enumeration(key);
    plat::Registry().RegCloseKey(key);
  }
  WindowsKey();
  backend.deleteUserKeyTree(kPrivateKey);
}

}  // namespace conformance
