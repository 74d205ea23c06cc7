// The named mutex installations take so that only one runs at a time.
#include "platform/win32/admin_calls.h"
#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

HANDLE CreateNamedMutexUtf8(LPCSTR name) {
  const std::wstring wideName = name ? Utf8ToWide(name) : std::wstring();
  return ::CreateMutexW(nullptr, FALSE, name ? wideName.c_str() : nullptr);
}

}  // namespace win32
}  // namespace plat
