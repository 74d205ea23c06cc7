#include "platform/win32/admin_calls.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

class Win32Registry : public IRegistry {
 public:
  LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) override {
    return ::RegOpenKeyExA(parent, subKey, options, access, result);
  }
  LONG RegCreateKeyExA(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result) override {
    return ::RegCreateKeyExA(parent, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, result,
                             nullptr);
  }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                     DWORD* dataBytes) override {
    return ::RegEnumValueA(key, index, name, nameChars, nullptr, type, data, dataBytes);
  }
  LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* dataBytes) override {
    return ::RegQueryValueExA(key, name, nullptr, type, data, dataBytes);
  }
  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataBytes) override {
    return ::RegSetValueExA(key, name, 0, type, data, dataBytes);
  }
  LONG RegDeleteKeyA(HKEY parent, LPCSTR subKey) override { return RegDeleteKeyUtf8(parent, subKey); }
  LONG RegDeleteValueA(HKEY key, LPCSTR name) override { return RegDeleteValueUtf8(key, name); }
};

}  // namespace

IRegistry& RegistryService() {
  static Win32Registry service;
  return service;
}

}  // namespace win32
}  // namespace plat
