#include "test_support.h"

namespace testing_support {

nlohmann::json WindowsProfile(int platformId, int major, int minor, bool wow64) {
  nlohmann::json profile;
  profile["name"] = "test machine";
  profile["windows"] = {{"platform_id", platformId}, {"major", major}, {"minor", minor}, {"wow64", wow64}};
  return profile;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i)
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
  return -1;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

}  // namespace testing_support
