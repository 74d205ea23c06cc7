#include "host/sim/json_check.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace sim {

nlohmann::ordered_json ParseJsonText(const std::string& text) {
  // The parser itself keeps its own stack, but everything that walks the
  // result (copies, dumps) recurses: stop at the limit while parsing.
  const auto depthLimit = [](int depth, nlohmann::ordered_json::parse_event_t event,
                             nlohmann::ordered_json&) {
    if ((event == nlohmann::ordered_json::parse_event_t::object_start ||
         event == nlohmann::ordered_json::parse_event_t::array_start) &&
        depth >= kMaxJsonDepth)
      throw InputError("nested more than " + std::to_string(kMaxJsonDepth) + " levels deep");
    return true;
  };
  try {
    return nlohmann::ordered_json::parse(text, depthLimit, true, true);
  } catch (const nlohmann::json::exception& error) {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ...",
    // or out_of_range.406 for a number too large for a double.
    std::string what = error.what();
    const size_t bracket = what.find("] ");
    if (bracket != std::string::npos) what.erase(0, bracket + 2);
    throw InputError("not JSON: " + what);
  }
}

nlohmann::ordered_json ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in) throw InputError("cannot be read");
  return ParseJsonText(text.str());
}

bool ParseHexBytes(const std::string& text, bool allowSpaces, std::vector<BYTE>* bytes) {
  bytes->clear();
  int high = -1;
  for (char c : text) {
    if (allowSpaces && std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = digit;
    } else {
      bytes->push_back(static_cast<BYTE>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

namespace check {

std::string Member(const std::string& path, const std::string& key) {
  bool plain = !key.empty();
  for (char c : key) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (plain) return path.empty() ? key : path + "." + key;
  return path + "[" + nlohmann::json(key).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "]";
}

std::string Element(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

void Fail(const std::string& path, const std::string& what) {
  throw InputError(path.empty() ? what : path + ": " + what);
}

}  // namespace check
}  // namespace sim
