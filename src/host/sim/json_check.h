// Checking JSON read from a file the user gave (a machine profile, an
// installer-sim script) before anything acts on it: every field's type and
// range, with the field's place in the message ("com_ports.COM3.baud:
// expected a number from 1 to 4294967295, got -5").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/types.h"

namespace sim {

// A file or a field in it is not what it must be. The text names the field
// and what is wrong; the caller adds the file's name.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Deeper nesting than any profile or script needs; the limit keeps a
// hostile file from exhausting the stack of whatever walks the document.
constexpr int kMaxJsonDepth = 32;

// The longest virtual delay or moment a profile or script may name: a day.
// Anything larger is a mistake, and the clock's sums stay far from wrapping.
constexpr uint64_t kMaxVirtualMs = 24ull * 60 * 60 * 1000;

// Parses JSON text with `//` comments, objects in the order written.
// Throws InputError for malformed text or nesting deeper than kMaxJsonDepth.
nlohmann::ordered_json ParseJsonText(const std::string& text);
// Reads and parses a file the same way; InputError when it cannot be read.
nlohmann::ordered_json ReadJsonFile(const std::string& path);

// Hex bytes ("0a1B", or "10 04 01" where spaces are allowed) into `bytes`;
// false for an odd count of digits or anything not a hex digit.
bool ParseHexBytes(const std::string& text, bool allowSpaces, std::vector<BYTE>* bytes);

namespace check {

// The path of a member or an element, for messages.
std::string Member(const std::string& path, const std::string& key);
std::string Element(const std::string& path, size_t index);

// How a value looks in a message: the value itself, cut when long.
template <class Json>
std::string Shown(const Json& value) {
  if (value.is_object()) return "an object";
  if (value.is_array()) return "a list";
  std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  constexpr size_t kShownChars = 40;
  if (text.size() > kShownChars) text = text.substr(0, kShownChars) + "...";
  return text;
}

[[noreturn]] void Fail(const std::string& path, const std::string& what);

template <class Json>
[[noreturn]] void Expected(const std::string& path, const std::string& what, const Json& got) {
  Fail(path, "expected " + what + ", got " + Shown(got));
}

// An object whose members are all among `known`.
template <class Json>
void Object(const Json& value, const std::string& path, std::initializer_list<const char*> known) {
  if (!value.is_object()) Expected(path, "an object", value);
  for (auto it = value.begin(); it != value.end(); ++it) {
    bool found = false;
    for (const char* name : known) found = found || it.key() == name;
    if (found) continue;
    std::string list;
    for (const char* name : known) list += (list.empty() ? "" : ", ") + std::string(name);
    Fail(Member(path, it.key()), "unknown field (known: " + list + ")");
  }
}

template <class Json>
void List(const Json& value, const std::string& path) {
  if (!value.is_array()) Expected(path, "a list", value);
}

template <class Json>
bool Bool(const Json& value, const std::string& path) {
  if (!value.is_boolean()) Expected(path, "true or false", value);
  return value.template get<bool>();
}

template <class Json>
std::string String(const Json& value, const std::string& path) {
  if (!value.is_string()) Expected(path, "a string", value);
  return value.template get<std::string>();
}

// A whole number from `low` to `high`.
template <class Json>
int64_t Integer(const Json& value, const std::string& path, int64_t low, int64_t high) {
  const std::string range = "a number from " + std::to_string(low) + " to " + std::to_string(high);
  if (value.is_number_unsigned()) {
    const uint64_t number = value.template get<uint64_t>();
    if (number > static_cast<uint64_t>(high)) Expected(path, range, value);
    if (low > 0 && number < static_cast<uint64_t>(low)) Expected(path, range, value);
    return static_cast<int64_t>(number);
  }
  if (value.is_number_integer()) {
    const int64_t number = value.template get<int64_t>();
    if (number < low || number > high) Expected(path, range, value);
    return number;
  }
  Expected(path, range, value);
}

template <class Json>
DWORD Dword(const Json& value, const std::string& path) {
  return static_cast<DWORD>(Integer(value, path, 0, 0xFFFFFFFFll));
}

// A string among `names`.
template <class Json>
std::string OneOf(const Json& value, const std::string& path, const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + ("\"" + name + "\"");
  if (value.is_string()) {
    const std::string text = value.template get<std::string>();
    for (const std::string& name : names)
      if (text == name) return text;
  }
  Expected(path, "one of " + list, value);
}

}  // namespace check
}  // namespace sim
