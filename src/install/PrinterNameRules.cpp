#include "install/PrinterNameRules.h"

#include <cstring>

int PrinterNameLength(const char* name) {
  int length = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if ((*p & 0xC0) == 0x80) continue;  // a continuation byte
    // A character beyond the Basic Multilingual Plane (a four-byte
    // sequence) is a surrogate pair: two UTF-16 characters.
    length += *p >= 0xF0 ? 2 : 1;
  }
  return length;
}

BOOL CheckPrinterName(const char* name, CString* reason) {
  if (!name || !*name) {
    *reason = "A printer needs a name.";
    return FALSE;
  }
  // "," also separates the printer, "winspool" and the port in the default
  // printer's "Device" value; "\" separates a server from its printers.
  if (const char* forbidden = std::strpbrk(name, ",\\")) {
    reason->Format("A printer name cannot contain \"%c\".", *forbidden);
    return FALSE;
  }
  const int length = PrinterNameLength(name);
  if (length > kMaxPrinterNameLength) {
    reason->Format("A printer name can have at most %d characters; this one has %d.", kMaxPrinterNameLength,
                   length);
    return FALSE;
  }
  return TRUE;
}
