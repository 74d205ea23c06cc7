#include "host/sim/json_check.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

// Reads the text once, building nothing, to refuse nesting beyond the limit
// before a document is built. The library's callback parser could do it in
// one pass, but it searches the enclosing array for discarded values at the
// end of every object: a script of many steps then parses in quadratic time.
class DepthCheck : public nlohmann::json_sax<nlohmann::ordered_json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return Enter(); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return Leave(); }
  bool start_array(std::size_t) override { return Enter(); }
  bool end_array() override { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    throw NotJson(error);
  }

  static InputError NotJson(const nlohmann::detail::exception& error) {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ...",
    // or out_of_range.406 for a number too large for a double.
    std::string what = error.what();
    const size_t bracket = what.find("] ");
    if (bracket != std::string::npos) what.erase(0, bracket + 2);
    return InputError("not JSON: " + what);
  }

 private:
  bool Enter() {
    if (m_depth >= kMaxJsonDepth)
      throw InputError("nested more than " + std::to_string(kMaxJsonDepth) + " levels deep");
    ++m_depth;
    return true;
  }
  bool Leave() {
    --m_depth;
    return true;
  }

  int m_depth = 0;
};

}  // namespace

nlohmann::ordered_json ParseJsonText(const std::string& text) {
  // The parser itself keeps its own stack, but everything that walks the
  // result (copies, dumps) recurses: the depth is checked first.
  try {
    DepthCheck depth;
    nlohmann::ordered_json::sax_parse(text, &depth, nlohmann::detail::input_format_t::json, true, true);
    return nlohmann::ordered_json::parse(text, nullptr, true, true);
  } catch (const nlohmann::json::exception& error) {
    throw DepthCheck::NotJson(error);
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
