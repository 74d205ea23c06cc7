#include "host/sim/status_device.h"

#include <algorithm>

namespace sim {

namespace {

// Bits 1 and 4 are always set, 0 and 7 always clear, in every answer.
constexpr BYTE kFixedBits = 0x12;

}  // namespace

const std::vector<std::string>& PrinterConditionNames() {
  static const std::vector<std::string> names = {
      "off_line",       "cover_open",       "feed_button",      "paper_fed",           "paper_end",
      "paper_near_end", "mechanical_error", "autocutter_error", "unrecoverable_error", "recoverable_error",
      "drawer_open"};
  return names;
}

bool StatusDevice::Has(const char* condition) const {
  return std::find(m_conditions.begin(), m_conditions.end(), condition) != m_conditions.end();
}

BYTE StatusDevice::Answer(BYTE n) const {
  const bool error = Has("mechanical_error") || Has("autocutter_error") || Has("unrecoverable_error") ||
                     Has("recoverable_error");
  // A printer stops (goes off line) with its cover open, out of paper or
  // on an error, whatever else it says.
  const bool offLine = Has("off_line") || Has("cover_open") || Has("paper_end") || error;
  BYTE answer = kFixedBits;
  switch (n) {
    case 1:  // printer status
      if (Has("drawer_open")) answer |= 0x04;
      if (offLine) answer |= 0x08;
      if (Has("feed_button")) answer |= 0x40;
      break;
    case 2:  // off-line cause
      if (Has("cover_open")) answer |= 0x04;
      if (Has("paper_fed")) answer |= 0x08;
      if (Has("paper_end")) answer |= 0x20;
      if (error) answer |= 0x40;
      break;
    case 3:  // error cause
      if (Has("mechanical_error")) answer |= 0x04;
      if (Has("autocutter_error")) answer |= 0x08;
      if (Has("unrecoverable_error")) answer |= 0x20;
      if (Has("recoverable_error")) answer |= 0x40;
      break;
    case 4:  // paper roll sensors
      if (Has("paper_near_end") || Has("paper_end")) answer |= 0x0C;
      if (Has("paper_end")) answer |= 0x60;
      break;
    default:
      break;
  }
  return answer;
}

std::vector<BYTE> StatusDevice::Answers(const std::vector<BYTE>& data) const {
  std::vector<BYTE> answers;
  for (size_t i = 0; i + 2 < data.size(); ++i) {
    if (data[i] == 0x10 && data[i + 1] == 0x04 && data[i + 2] >= 1 && data[i + 2] <= 4) {
      answers.push_back(Answer(data[i + 2]));
      i += 2;
    }
  }
  return answers;
}

}  // namespace sim
