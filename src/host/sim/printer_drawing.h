// Drawing through a printer's driver on the simulated machine: a device
// context of a printer whose driver loads, one document of pages at a time,
// each page's text kept in the spooler's job.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

class Machine;

class SimPrinterDrawing : public plat::IPrinterDrawing {
 public:
  explicit SimPrinterDrawing(Machine& machine) : m_machine(machine) {}

  HDC CreateDCA(LPCSTR printerName) override;
  BOOL DeleteDC(HDC dc) override;
  int StartDocA(HDC dc, LPCSTR documentName) override;
  int StartPage(HDC dc) override;
  BOOL TextOutA(HDC dc, int x, int y, LPCSTR text) override;
  BOOL GetTextMetricsA(HDC dc, plat::TextMetrics* metrics) override;
  int EndPage(HDC dc) override;
  int EndDoc(HDC dc) override;
  int AbortDoc(HDC dc) override;

 private:
  struct DeviceContext {
    std::string printer;
    DWORD job = 0;  // the open document's job, or 0
    bool inPage = false;
    std::vector<std::string> page;  // the open page's lines
  };
  // The device context of `dc`, or null with ERROR_INVALID_HANDLE.
  DeviceContext* Find(HDC dc);

  Machine& m_machine;
  std::map<ULONG_PTR, DeviceContext> m_contexts;
  ULONG_PTR m_nextHandle = 0x6000;
};

}  // namespace sim
