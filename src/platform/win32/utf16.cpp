#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

std::wstring Utf8ToWide(const char* text) {
  if (!text || !*text) return std::wstring();
  const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (chars <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], chars);
  wide.resize(static_cast<size_t>(chars - 1));  // drop the terminator
  return wide;
}

std::string WideToUtf8(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::string();
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

}  // namespace win32
}  // namespace plat
