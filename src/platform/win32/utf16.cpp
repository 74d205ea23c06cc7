#include "platform/win32/utf16.h"

#include <cstring>

namespace plat {
namespace win32 {

std::wstring Utf8ToWide(const char* text, size_t length) {
  if (!text || length == 0) return std::wstring();
  const int bytes = static_cast<int>(length);
  const int chars = ::MultiByteToWideChar(CP_UTF8, 0, text, bytes, nullptr, 0);
  if (chars <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, bytes, &wide[0], chars);
  return wide;
}

std::wstring Utf8ToWide(const char* text) {
  return text ? Utf8ToWide(text, std::strlen(text)) : std::wstring();
}

std::string WideToUtf8(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::string();
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], bytes, nullptr, nullptr);
  return utf8;
}

std::string WideToUtf8(const wchar_t* text) {
  return text ? WideToUtf8(text, static_cast<int>(std::wcslen(text))) : std::string();
}

DWORD CopyPathOut(const std::string& text, LPSTR buffer, DWORD size) {
  const DWORD length = static_cast<DWORD>(text.size());
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), length + 1);
  return length;
}

}  // namespace win32
}  // namespace plat
