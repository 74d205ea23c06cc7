#include "host/sim/code_page.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <map>
#include <mutex>
#include <stdexcept>

namespace sim {

namespace {

// iconv's name of a code page.
const char* IconvName(UINT codePage) {
  switch (codePage) {
    case 1252:
      return "CP1252";
    case 1250:
      return "CP1250";
    case 936:
      return "CP936";
    default:
      return nullptr;
  }
}

bool IsSingleByte(UINT codePage) { return codePage == 1252 || codePage == 1250; }

// One iconv conversion; false at a sequence it cannot convert, with
// `*consumed` the bytes of the input converted up to there.
bool Convert(const char* from, const char* to, const std::string& in, std::string* out, size_t* consumed) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("iconv lacks ") + from);
  out->clear();
  char* input = const_cast<char*>(in.data());
  size_t inputLeft = in.size();
  bool ok = true;
  while (inputLeft > 0) {
    char chunk[256];
    char* output = chunk;
    size_t outputLeft = sizeof chunk;
    const size_t result = iconv(cd, &input, &inputLeft, &output, &outputLeft);
    out->append(chunk, static_cast<size_t>(output - chunk));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  if (consumed) *consumed = in.size() - inputLeft;
  return ok;
}

std::string Utf8Of(unsigned codePoint) {
  std::string out;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

// A single-byte code page as Windows' table has it: each byte's UTF-8. The
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D in
// 1252) are the C1 controls of the same value in Windows' tables, where
// iconv refuses them.
const std::array<std::string, 256>& SingleByteTable(UINT codePage) {
  static std::mutex mutex;
  static std::map<UINT, std::array<std::string, 256>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(codePage);
  if (it != tables.end()) return it->second;
  std::array<std::string, 256>& table = tables[codePage];
  for (unsigned byte = 0; byte < 256; ++byte) {
    std::string utf8;
    if (byte < 0x80 ||
        !Convert(IconvName(codePage), "UTF-8", std::string(1, static_cast<char>(byte)), &utf8, nullptr))
      utf8 = Utf8Of(byte);
    table[byte] = utf8;
  }
  return table;
}

}  // namespace

bool IsSupportedCodePage(UINT codePage) { return IconvName(codePage) != nullptr; }

std::string AnsiToUtf8(const std::string& bytes, UINT codePage) {
  if (IsSingleByte(codePage)) {
    const std::array<std::string, 256>& table = SingleByteTable(codePage);
    std::string out;
    for (unsigned char byte : bytes) out += table[byte];
    return out;
  }
  std::string out, rest = bytes;
  while (!rest.empty()) {
    std::string part;
    size_t consumed = 0;
    const bool ok = Convert(IconvName(codePage), "UTF-8", rest, &part, &consumed);
    out += part;
    if (ok) break;
    out += '?';
    rest = rest.substr(consumed + 1);
  }
  return out;
}

bool Utf8ToAnsi(const std::string& utf8, UINT codePage, std::string* ansi) {
  ansi->clear();
  if (IsSingleByte(codePage)) {
    // The reverse of the table, so the C1 controls go back to their bytes.
    const std::array<std::string, 256>& table = SingleByteTable(codePage);
    std::map<std::string, char> reverse;
    for (unsigned byte = 0; byte < 256; ++byte) reverse.emplace(table[byte], static_cast<char>(byte));
    size_t position = 0;
    while (position < utf8.size()) {
      const unsigned char lead = static_cast<unsigned char>(utf8[position]);
      const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      auto it = reverse.find(utf8.substr(position, length));
      if (it == reverse.end()) return false;
      *ansi += it->second;
      position += length;
    }
    return true;
  }
  return Convert("UTF-8", IconvName(codePage), utf8, ansi, nullptr);
}

}  // namespace sim
