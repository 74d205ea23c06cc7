// UTF-8 <-> UTF-16 for the Win32 backend. The installer's strings are UTF-8
// throughout; the backend hands them to the wide-character functions,
// converting once here, so they reach Windows as the same characters on
// any ANSI code page (the A functions would read UTF-8 bytes as ANSI).
#pragma once

#include <string>

#include "platform/types.h"

namespace plat {
namespace win32 {

std::wstring Utf8ToWide(const char* text);
// All `length` bytes, NULs inside included.
std::wstring Utf8ToWide(const char* text, size_t length);
std::string WideToUtf8(const wchar_t* text, int length);
// Up to the first NUL.
std::string WideToUtf8(const wchar_t* text);

// A wide copy of a UTF-8 argument that may be null: c_str() is null then,
// as some calls give a null name its own meaning.
class WideArg {
 public:
  explicit WideArg(const char* text) : m_null(text == nullptr), m_text(Utf8ToWide(text)) {}
  const wchar_t* c_str() const { return m_null ? nullptr : m_text.c_str(); }
  // For the calls whose records take non-const strings.
  wchar_t* data() { return m_null ? nullptr : &m_text[0]; }

 private:
  bool m_null;
  std::wstring m_text;
};

// Copies `text` with its NUL into a caller buffer of `size` bytes and
// returns its length; when it does not fit, leaves the buffer alone and
// returns the size needed with the NUL, as GetCurrentDirectory,
// GetSystemDirectory and GetWindowsDirectory count. Sizes are UTF-8 bytes.
DWORD CopyPathOut(const std::string& text, LPSTR buffer, DWORD size);

}  // namespace win32
}  // namespace plat
