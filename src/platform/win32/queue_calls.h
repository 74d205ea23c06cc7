// The calls printer-setup's test adds to the Win32 spooler: a printer's
// status and queue, and RAW documents. Win32Spooler forwards its methods
// here.
#pragma once

#include "platform/platform.h"

namespace plat {
namespace win32 {

BOOL GetPrinterUtf8(HANDLE printer, PrinterInfo2* info);
BOOL EnumJobsUtf8(HANDLE printer, std::vector<JobInfo2>* jobs);
DWORD StartDocPrinterUtf8(HANDLE printer, LPCSTR documentName, LPCSTR dataType);
BOOL WritePrinterBytes(HANDLE printer, LPCVOID data, DWORD size, DWORD* written);
BOOL EndDocPrinterCall(HANDLE printer);
// The fields of a PRINTER_INFO_2W record that PrinterInfo2 holds.
PrinterInfo2 FromPrinterInfo2W(const PRINTER_INFO_2W& record);

}  // namespace win32
}  // namespace plat
