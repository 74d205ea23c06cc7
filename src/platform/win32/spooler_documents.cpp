// RAW documents through the spooler: StartDocPrinterW with DOC_INFO_1,
// WritePrinter, EndDocPrinter. With the "RAW" data type the print processor
// hands the bytes to the port monitor untouched ("About Data Types",
// Microsoft Learn), so the printer receives exactly what was written.
#include "platform/win32/queue_calls.h"
#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

DWORD StartDocPrinterUtf8(HANDLE printer, LPCSTR documentName, LPCSTR dataType) {
  std::wstring name = Utf8ToWide(documentName ? documentName : "");
  std::wstring type = Utf8ToWide(dataType ? dataType : "RAW");
  DOC_INFO_1W document = {};
  document.pDocName = &name[0];
  document.pOutputFile = nullptr;
  document.pDatatype = &type[0];
  return ::StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&document));
}

BOOL WritePrinterBytes(HANDLE printer, LPCVOID data, DWORD size, DWORD* written) {
  DWORD done = 0;
  // Windows takes a non-const buffer; it does not write to it.
  const BOOL ok = ::WritePrinter(printer, const_cast<LPVOID>(data), size, &done);
  if (written) *written = done;
  return ok;
}

BOOL EndDocPrinterCall(HANDLE printer) { return ::EndDocPrinter(printer); }

}  // namespace win32
}  // namespace plat
