// Deleting registry keys and values (a removed printer's records).
#include "platform/win32/admin_calls.h"
#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

LONG RegDeleteKeyUtf8(HKEY parent, LPCSTR subKey) {
  const std::wstring wide = Utf8ToWide(subKey);
  return ::RegDeleteKeyW(parent, wide.c_str());
}

LONG RegDeleteValueUtf8(HKEY key, LPCSTR name) {
  const std::wstring wide = name ? Utf8ToWide(name) : std::wstring();
  return ::RegDeleteValueW(key, name ? wide.c_str() : nullptr);
}

}  // namespace win32
}  // namespace plat
