#include "host/sim/printer_drawing.h"

#include "host/sim/machine.h"
#include "host/sim/spooler.h"

namespace sim {

namespace {

// The printer's device font: 24 dots high with 2 between lines, about 9
// points at 203 dpi, the usual thermal print head.
constexpr LONG kFontHeight = 24;
constexpr LONG kFontLeading = 2;
// What the int calls give when they fail.
constexpr int kGdiFailed = -1;  // SP_ERROR

}  // namespace

SimPrinterDrawing::DeviceContext* SimPrinterDrawing::Find(HDC dc) {
  auto it = m_contexts.find(reinterpret_cast<ULONG_PTR>(dc));
  if (it != m_contexts.end()) return &it->second;
  m_machine.SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

HDC SimPrinterDrawing::CreateDCA(LPCSTR printerName) {
  CallScope call(m_machine, "CreateDCA");
  const std::string name = printerName ? printerName : "";
  if (call.Fails(name)) return nullptr;
  const DWORD error = m_machine.Spooler().DriverLoadErrorLocked(name);
  if (error != ERROR_SUCCESS) return m_machine.Fail(error);
  const ULONG_PTR handle = m_nextHandle += 4;
  m_contexts[handle].printer = name;
  return reinterpret_cast<HDC>(handle);
}

BOOL SimPrinterDrawing::DeleteDC(HDC dc) {
  CallScope call(m_machine, "DeleteDC");
  DeviceContext* context = Find(dc);
  if (!context) return FALSE;
  // A document still open is not printed.
  if (context->job) m_machine.Spooler().EndDrawnJobLocked(context->printer, context->job, true);
  m_contexts.erase(reinterpret_cast<ULONG_PTR>(dc));
  return TRUE;
}

int SimPrinterDrawing::StartDocA(HDC dc, LPCSTR documentName) {
  CallScope call(m_machine, "StartDocA");
  DeviceContext* context = Find(dc);
  if (!context) return kGdiFailed;
  if (context->job) return m_machine.Fail(ERROR_INVALID_PARAMETER, kGdiFailed);
  if (call.Fails(context->printer)) return kGdiFailed;
  const DWORD job =
      m_machine.Spooler().StartDrawnJobLocked(context->printer, documentName ? documentName : "");
  if (!job) return kGdiFailed;
  context->job = job;
  return static_cast<int>(job);
}

int SimPrinterDrawing::StartPage(HDC dc) {
  CallScope call(m_machine, "StartPage");
  DeviceContext* context = Find(dc);
  if (!context) return kGdiFailed;
  if (!context->job || context->inPage) return m_machine.Fail(ERROR_INVALID_PARAMETER, kGdiFailed);
  if (call.Fails(context->printer)) return kGdiFailed;
  context->inPage = true;
  context->page.clear();
  return 1;
}

BOOL SimPrinterDrawing::TextOutA(HDC dc, int, int, LPCSTR text) {
  CallScope call(m_machine, "TextOutA");
  DeviceContext* context = Find(dc);
  if (!context) return FALSE;
  if (!context->inPage || !text) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  context->page.push_back(text);
  return TRUE;
}

BOOL SimPrinterDrawing::GetTextMetricsA(HDC dc, plat::TextMetrics* metrics) {
  CallScope call(m_machine, "GetTextMetricsA");
  if (!Find(dc)) return FALSE;
  if (!metrics) return m_machine.Fail(ERROR_INVALID_PARAMETER);
  metrics->height = kFontHeight;
  metrics->externalLeading = kFontLeading;
  return TRUE;
}

int SimPrinterDrawing::EndPage(HDC dc) {
  CallScope call(m_machine, "EndPage");
  DeviceContext* context = Find(dc);
  if (!context) return kGdiFailed;
  if (!context->inPage) return m_machine.Fail(ERROR_INVALID_PARAMETER, kGdiFailed);
  if (call.Fails(context->printer)) return kGdiFailed;
  context->inPage = false;
  m_machine.Spooler().AddDrawnPageLocked(context->printer, context->job, context->page);
  return 1;
}

int SimPrinterDrawing::EndDoc(HDC dc) {
  CallScope call(m_machine, "EndDoc");
  DeviceContext* context = Find(dc);
  if (!context) return kGdiFailed;
  if (!context->job || context->inPage) return m_machine.Fail(ERROR_INVALID_PARAMETER, kGdiFailed);
  if (call.Fails(context->printer)) return kGdiFailed;
  m_machine.Spooler().EndDrawnJobLocked(context->printer, context->job, false);
  context->job = 0;
  return 1;
}

int SimPrinterDrawing::AbortDoc(HDC dc) {
  CallScope call(m_machine, "AbortDoc");
  DeviceContext* context = Find(dc);
  if (!context) return kGdiFailed;
  if (!context->job) return m_machine.Fail(ERROR_INVALID_PARAMETER, kGdiFailed);
  m_machine.Spooler().EndDrawnJobLocked(context->printer, context->job, true);
  context->job = 0;
  context->inPage = false;
  return 1;
}

}  // namespace sim
