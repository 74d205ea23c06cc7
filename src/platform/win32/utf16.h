// UTF-8 <-> UTF-16 for the Win32 backend: the installer's text is UTF-8 and
// the W functions show it right whatever the ANSI code page is.
#pragma once

#include <string>

#include "platform/types.h"

namespace plat {
namespace win32 {

std::wstring Utf8ToWide(const char* text);
std::string WideToUtf8(const wchar_t* text, int length);

}  // namespace win32
}  // namespace plat
