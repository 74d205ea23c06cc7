// The test receipt printer-setup test /print sends as one RAW job: ESC/POS
// bytes that prove the queue, the port and the printer at once; and the
// same facts as the lines of text a label printer's driver draws.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace setup {

struct ReceiptFacts {
  std::string printer;
  std::string model;  // the driver's name
  std::string port;
  std::string machine;
  SYSTEMTIME time = {};  // local time
};

// Characters per line of font A on 80 mm paper (576 dots of 12-dot
// characters); a 58 mm printer wraps the ruler at its own 32.
constexpr int kReceiptColumns = 48;

std::string BuildTestReceipt(const ReceiptFacts& facts);
// The title, then one line per fact.
std::vector<std::string> TestLabelLines(const ReceiptFacts& facts);

}  // namespace setup
