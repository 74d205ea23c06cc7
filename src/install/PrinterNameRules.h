// The names Windows' spooler takes for a local printer, checked before
// anything is installed: the spooler itself refuses a bad name only at
// AddPrinter, once the driver is already in place.
#pragma once

#include "framework/cstring.h"

// The length of a UTF-8 name as Windows counts it, in UTF-16 characters.
int PrinterNameLength(const char* name);

// TRUE when the spooler takes `name` (UTF-8); otherwise FALSE with the
// reason in `reason`, one sentence saying which character or length is not
// allowed.
BOOL CheckPrinterName(const char* name, CString* reason);
