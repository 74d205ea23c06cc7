// The ANSI code pages the simulated machine can have (1252, 1250, 936):
// bytes of an ANSI file or command line to the UTF-8 the machine keeps its
// text in, and back.
#pragma once

#include <string>

#include "platform/types.h"

namespace sim {

constexpr UINT kDefaultCodePage = 1252;

bool IsSupportedCodePage(UINT codePage);

// MultiByteToWideChar(codePage) then UTF-8: every byte sequence decodes; a
// sequence the code page does not define becomes its default character "?".
std::string AnsiToUtf8(const std::string& bytes, UINT codePage);

// UTF-8 to the code page with no best fit; false when a character has no
// form there (or the text is not UTF-8).
bool Utf8ToAnsi(const std::string& utf8, UINT codePage, std::string* ansi);

}  // namespace sim
