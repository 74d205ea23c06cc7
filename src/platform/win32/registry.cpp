// The registry through the W functions: names and string data are UTF-8 on
// the installer's side and UTF-16 in the registry, converted here once.
// Sizes the caller gives and gets back count UTF-8 bytes, with the A
// functions' rules (ERROR_MORE_DATA with the size needed, a null data
// buffer asks for the size).
#include <cstring>
#include <vector>

#include "platform/win32/utf16.h"
#include "platform/win32/admin_calls.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

// Longest value name the registry keeps, in characters, with its NUL.
constexpr DWORD kMaxValueNameChars = 16384;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The value's data as the installer sees it: strings (their NULs included)
// in UTF-8, anything else as it is.
std::string CallerData(DWORD type, const std::vector<BYTE>& raw) {
  if (!IsStringType(type)) return std::string(raw.begin(), raw.end());
  // Strings are whole UTF-16 units; an odd last byte cannot be one.
  return WideToUtf8(reinterpret_cast<const wchar_t*>(raw.data()), static_cast<int>(raw.size() / 2));
}

// Hands `value` to the caller's data buffer as RegQueryValueExA does.
LONG ReturnData(const std::string& value, BYTE* data, DWORD* dataBytes) {
  if (!dataBytes) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(value.size());
  if (!data) {
    *dataBytes = needed;
    return ERROR_SUCCESS;
  }
  if (*dataBytes < needed) {
    *dataBytes = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, value.data(), needed);
  *dataBytes = needed;
  return ERROR_SUCCESS;
}

class Win32Registry : public IRegistry {
 public:
  LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result) override {
    return ::RegOpenKeyExW(parent, WideArg(subKey).c_str(), options, access, result);
  }
  LONG RegCreateKeyExA(HKEY parent, LPCSTR subKey, REGSAM access, HKEY* result) override {
    WideArg wideKey(subKey);
    return ::RegCreateKeyExW(parent, wideKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             result, nullptr);
  }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }

  LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameChars, DWORD* type, BYTE* data,
                     DWORD* dataBytes) override {
    if (!name || !nameChars) return ERROR_INVALID_PARAMETER;
    std::vector<wchar_t> wideName(kMaxValueNameChars);
    std::vector<BYTE> raw;
    DWORD valueType = 0;
    LONG result = ERROR_MORE_DATA;
    // The value may grow between the size query and the read.
    for (int attempt = 0; attempt < 3 && result == ERROR_MORE_DATA; ++attempt) {
      DWORD wideChars = kMaxValueNameChars;
      DWORD rawBytes = 0;
      result =
          ::RegEnumValueW(key, index, wideName.data(), &wideChars, nullptr, &valueType, nullptr, &rawBytes);
      if (result != ERROR_SUCCESS) return result;
      raw.assign(rawBytes ? rawBytes : 1, 0);
      wideChars = kMaxValueNameChars;
      result = ::RegEnumValueW(key, index, wideName.data(), &wideChars, nullptr, &valueType, raw.data(),
                               &rawBytes);
      if (result == ERROR_SUCCESS) raw.resize(rawBytes);
    }
    if (result != ERROR_SUCCESS) return result;
    const std::string valueName = WideToUtf8(wideName.data());
    if (valueName.size() + 1 > *nameChars) return ERROR_MORE_DATA;
    std::memcpy(name, valueName.c_str(), valueName.size() + 1);
    *nameChars = static_cast<DWORD>(valueName.size());
    if (type) *type = valueType;
    return ReturnData(CallerData(valueType, raw), data, dataBytes);
  }

  LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* type, BYTE* data, DWORD* dataBytes) override {
    const WideArg wideName(name);
    std::vector<BYTE> raw;
    DWORD valueType = 0;
    LONG result = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 3 && result == ERROR_MORE_DATA; ++attempt) {
      DWORD rawBytes = 0;
      result = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &valueType, nullptr, &rawBytes);
      if (result != ERROR_SUCCESS) return result;
      raw.assign(rawBytes ? rawBytes : 1, 0);
      result = ::RegQueryValueExW(key, wideName.c_str(), nullptr, &valueType, raw.data(), &rawBytes);
      if (result == ERROR_SUCCESS) raw.resize(rawBytes);
    }
    if (result != ERROR_SUCCESS) return result;
    if (type) *type = valueType;
    return ReturnData(CallerData(valueType, raw), data, dataBytes);
  }

  LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD dataBytes) override {
    const WideArg wideName(name);
    if (!IsStringType(type) || !data)
      return ::RegSetValueExW(key, wideName.c_str(), 0, type, data, dataBytes);
    // The bytes given, their NULs included, as UTF-16.
    const std::wstring wide = Utf8ToWide(reinterpret_cast<const char*>(data), dataBytes);
    return ::RegSetValueExW(key, wideName.c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                            static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
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
