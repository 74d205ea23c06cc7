#include "DriverPrinting.h"

#include "platform/platform.h"

namespace setup {

namespace {

// Line spacing when the driver does not measure its font: a sixth of an
// inch (six lines to the inch) at 203 dpi, the usual thermal print head.
constexpr int kFallbackLineHeight = 34;

// Deletes a printer's device context at the end of its scope; a document
// still open in it is aborted first, so nothing half drawn stays queued.
class ScopedPrinterDc {
 public:
  explicit ScopedPrinterDc(HDC dc) : m_dc(dc) {}
  ~ScopedPrinterDc() {
    if (!m_dc) return;
    if (m_documentOpen) plat::Drawing().AbortDoc(m_dc);
    plat::Drawing().DeleteDC(m_dc);
  }
  ScopedPrinterDc(const ScopedPrinterDc&) = delete;
  ScopedPrinterDc& operator=(const ScopedPrinterDc&) = delete;
  HDC Get() const { return m_dc; }
  void SetDocumentOpen(bool open) { m_documentOpen = open; }

 private:
  HDC m_dc;
  bool m_documentOpen = false;
};

}  // namespace

DriverPrintResult PrintThroughDriver(const std::string& printer, const char* document,
                                     const std::vector<std::string>& lines) {
  plat::IPrinterDrawing& drawing = plat::Drawing();
  DriverPrintResult result;
  auto fail = [&result](const char* call) {
    result.failedCall = call;
    result.error = plat::System().GetLastError();
    return result;
  };
  ScopedPrinterDc dc(drawing.CreateDCA(printer.c_str()));
  if (!dc.Get()) return fail("CreateDC");
  const int job = drawing.StartDocA(dc.Get(), document);
  if (job <= 0) return fail("StartDoc");
  dc.SetDocumentOpen(true);
  if (drawing.StartPage(dc.Get()) <= 0) return fail("StartPage");
  plat::TextMetrics metrics;
  const LONG measured =
      drawing.GetTextMetricsA(dc.Get(), &metrics) ? metrics.height + metrics.externalLeading : 0;
  const int lineHeight = measured > 0 ? static_cast<int>(measured) : kFallbackLineHeight;
  int y = 0;
  for (const std::string& line : lines) {
    if (!drawing.TextOutA(dc.Get(), 0, y, line.c_str())) return fail("TextOut");
    y += lineHeight;
  }
  if (drawing.EndPage(dc.Get()) <= 0) return fail("EndPage");
  if (drawing.EndDoc(dc.Get()) <= 0) return fail("EndDoc");
  dc.SetDocumentOpen(false);
  result.job = static_cast<DWORD>(job);
  return result;
}

}  // namespace setup
