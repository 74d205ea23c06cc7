// Lines of text printed through a printer's driver with GDI, for a printer
// that takes no RAW bytes of ours: one document of one page, one line under
// the other.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace setup {

struct DriverPrintResult {
  DWORD job = 0;           // the spooler's job, once the document ended
  std::string failedCall;  // the GDI call that failed ("CreateDC", ...), empty when none did
  DWORD error = 0;         // its last error; 0 where Windows set none
};

DriverPrintResult PrintThroughDriver(const std::string& printer, const char* document,
                                     const std::vector<std::string>& lines);

}  // namespace setup
