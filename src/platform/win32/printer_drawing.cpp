// Printing through a printer's driver with GDI: CreateDCW, StartDocW,
// StartPage, TextOutW, EndPage, EndDoc. Names and text are UTF-8 on the
// installer's side and reach GDI as the same characters on any ANSI code
// page.
#include <climits>

#include "platform/win32/utf16.h"
#include "platform/win32/win32_services.h"

namespace plat {
namespace win32 {
namespace {

class Win32PrinterDrawing : public IPrinterDrawing {
 public:
  // "For printing, we recommend that you pass NULL to lpszDriver because
  // GDI ignores lpszDriver for printer devices"; a null device mode takes
  // the printer's defaults (CreateDCW, Microsoft Learn).
  // https://learn.microsoft.com/windows/win32/api/wingdi/nf-wingdi-createdcw
  HDC CreateDCA(LPCSTR printerName) override {
    const std::wstring device = Utf8ToWide(printerName);
    return ::CreateDCW(nullptr, device.c_str(), nullptr, nullptr);
  }
  BOOL DeleteDC(HDC dc) override { return ::DeleteDC(dc); }

  int StartDocA(HDC dc, LPCSTR documentName) override {
    const std::wstring name = Utf8ToWide(documentName);
    DOCINFOW document = {};
    document.cbSize = sizeof document;
    document.lpszDocName = name.c_str();
    return ::StartDocW(dc, &document);
  }
  int StartPage(HDC dc) override { return ::StartPage(dc); }

  BOOL TextOutA(HDC dc, int x, int y, LPCSTR text) override {
    const std::wstring wide = Utf8ToWide(text);
    // TextOutW counts UTF-16 units in an int.
    if (wide.size() > static_cast<size_t>(INT_MAX)) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return ::TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  }

  BOOL GetTextMetricsA(HDC dc, TextMetrics* metrics) override {
    TEXTMETRICW record = {};
    if (!metrics || !::GetTextMetricsW(dc, &record)) return FALSE;
    metrics->height = record.tmHeight;
    metrics->externalLeading = record.tmExternalLeading;
    return TRUE;
  }

  int EndPage(HDC dc) override { return ::EndPage(dc); }
  int EndDoc(HDC dc) override { return ::EndDoc(dc); }
  int AbortDoc(HDC dc) override { return ::AbortDoc(dc); }
};

}  // namespace

IPrinterDrawing& PrinterDrawingService() {
  static Win32PrinterDrawing service;
  return service;
}

}  // namespace win32
}  // namespace plat
