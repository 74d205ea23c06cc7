// A printer's status and its queue through GetPrinterW and EnumJobsW.
#include <vector>

#include "platform/win32/queue_calls.h"
#include "platform/win32/utf16.h"

namespace plat {
namespace win32 {

namespace {

// Records with their strings in one caller buffer: the first call learns
// the size; a queue may grow between the calls, so a second shortfall is
// tried again with the new size.
template <typename Call>
bool FillBuffer(Call call, std::vector<BYTE>* buffer) {
  DWORD needed = 0;
  call(nullptr, 0, &needed);
  for (int attempt = 0; attempt < 3; ++attempt) {
    buffer->assign(needed ? needed : 1, 0);
    if (call(buffer->data(), static_cast<DWORD>(buffer->size()), &needed)) return true;
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  }
  return false;
}

}  // namespace

PrinterInfo2 FromPrinterInfo2W(const PRINTER_INFO_2W& record) {
  PrinterInfo2 printer;
  printer.printerName = WideToUtf8(record.pPrinterName);
  printer.portName = WideToUtf8(record.pPortName);
  printer.driverName = WideToUtf8(record.pDriverName);
  printer.printProcessor = WideToUtf8(record.pPrintProcessor);
  printer.dataType = WideToUtf8(record.pDatatype);
  printer.attributes = record.Attributes;
  printer.status = record.Status;
  printer.jobCount = record.cJobs;
  return printer;
}

BOOL GetPrinterUtf8(HANDLE printer, PrinterInfo2* info) {
  std::vector<BYTE> buffer;
  if (!FillBuffer([printer](BYTE* data, DWORD size,
                            DWORD* needed) { return ::GetPrinterW(printer, 2, data, size, needed) != FALSE; },
                  &buffer))
    return FALSE;
  *info = FromPrinterInfo2W(*reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data()));
  return TRUE;
}

BOOL EnumJobsUtf8(HANDLE printer, std::vector<JobInfo2>* jobs) {
  jobs->clear();
  // Every job: from the first, as many as a DWORD counts.
  DWORD count = 0;
  std::vector<BYTE> buffer;
  if (!FillBuffer(
          [printer, &count](BYTE* data, DWORD size, DWORD* needed) {
            return ::EnumJobsW(printer, 0, MAXDWORD, 2, data, size, needed, &count) != FALSE;
          },
          &buffer))
    return FALSE;
  const JOB_INFO_2W* records = reinterpret_cast<const JOB_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    JobInfo2 job;
    job.jobId = records[i].JobId;
    job.document = WideToUtf8(records[i].pDocument);
    job.statusText = WideToUtf8(records[i].pStatus);
    job.status = records[i].Status;
    job.size = records[i].Size;
    job.pagesPrinted = records[i].PagesPrinted;
    job.submitted = records[i].Submitted;
    jobs->push_back(job);
  }
  return TRUE;
}

}  // namespace win32
}  // namespace plat
