// A printer's status and queue, documents without a start, and TCP
// connections that cannot be made: the calls printer-setup test stands on.
#include <string>
#include <vector>

#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

void StatusAndQueue() {
  plat::ISpooler& spooler = plat::Spooler();
  plat::PrinterInfo2 info;
  MarkLastError();
  BOOL done = spooler.GetPrinterA(nullptr, &info);
  ok(!done && LastError() == ERROR_INVALID_HANDLE, "GetPrinterA without a handle: %d, error %lu, expected 6",
     done, U(LastError()));

  std::vector<plat::PrinterInfo2> printers;
  if (!spooler.EnumPrintersA(PRINTER_ENUM_LOCAL, &printers) || printers.empty()) {
    skip("no local printer to read the status of");
    return;
  }
  const plat::PrinterInfo2& listed = printers.front();
  HANDLE printer = nullptr;
  ok(spooler.OpenPrinterA(listed.printerName.c_str(), &printer, "RAW", PRINTER_ACCESS_USE) != FALSE,
     "OpenPrinterA \"%s\" to use it", listed.printerName.c_str());
  if (!printer) return;
  MarkLastError();
  done = spooler.GetPrinterA(printer, &info);
  ok(done && info.printerName == listed.printerName && info.portName == listed.portName &&
         info.status == listed.status,
     "GetPrinterA level 2: %d, \"%s\" on \"%s\", status %#lx (listed %#lx)", done, info.printerName.c_str(),
     info.portName.c_str(), U(info.status), U(listed.status));
  std::vector<plat::JobInfo2> jobs(1);
  MarkLastError();
  done = spooler.EnumJobsA(printer, &jobs);
  ok(done && jobs.size() == info.jobCount, "EnumJobsA level 2: %d, %lu jobs, cJobs %lu", done,
     U(static_cast<DWORD>(jobs.size())), U(info.jobCount));

  // Bytes and an end belong to a document: without StartDocPrinter both
  // are refused, and nothing reaches the queue.
  DWORD written = 7;
  MarkLastError();
  done = spooler.WritePrinter(printer, "x", 1, &written);
  ok(!done && written == 0 && LastError() == ERROR_SPL_NO_STARTDOC,
     "WritePrinter before StartDocPrinter: %d, %lu written, error %lu, expected 3003", done, U(written),
     U(LastError()));
  MarkLastError();
  done = spooler.EndDocPrinter(printer);
  ok(!done && LastError() == ERROR_SPL_NO_STARTDOC,
     "EndDocPrinter before StartDocPrinter: %d, error %lu, expected 3003", done, U(LastError()));
  ok(spooler.EnumJobsA(printer, &jobs) && jobs.size() == info.jobCount, "the queue is as it was: %lu jobs",
     U(static_cast<DWORD>(jobs.size())));
  spooler.ClosePrinter(printer);
}

void Connections() {
  plat::INetwork& network = plat::Network();
  // Only an address is contacted: a name is refused before anything goes
  // out.
  MarkLastError();
  plat::SocketHandle socket = network.ConnectA("printer.example", 9100, 200);
  ok(socket == plat::kInvalidSocket && network.WSAGetLastError() == plat::kWsaInvalidArgument,
     "ConnectA to a host name: refused with %d, expected 10022", network.WSAGetLastError());
  // Nothing listens on port 1 of the loopback address: the system answers
  // the connection with a reset at once.
  MarkLastError();
  socket = network.ConnectA("127.0.0.1", 1, 2000);
  ok(socket == plat::kInvalidSocket && network.WSAGetLastError() == plat::kWsaConnectionRefused,
     "ConnectA to 127.0.0.1 port 1: error %d, expected 10061", network.WSAGetLastError());
  if (socket != plat::kInvalidSocket) network.closesocket(socket);
}

}  // namespace

void TestQueue(const Backend&) {
  BeginGroup("queue and network");
  StatusAndQueue();
  Connections();
}

}  // namespace conformance
