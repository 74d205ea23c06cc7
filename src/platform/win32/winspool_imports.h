// The spooler functions the program takes from winspool.drv, with the bytes
// of arguments each takes (its stdcall decoration). The delay-load import
// library is made from these rows at build time (cmake/WindowsBuild.cmake
// reads them), delay_load.cpp has a refusal for each, and each row's byte
// count is checked there against the function's declaration. A spooler
// function missing here does not link.
#pragma once

#define WINSPOOL_IMPORTS(X)         \
  X(AddMonitorA, 12)                \
  X(AddMonitorW, 12)                \
  X(AddPortA, 12)                   \
  X(AddPortW, 12)                   \
  X(AddPrinterA, 12)                \
  X(AddPrinterW, 12)                \
  X(AddPrinterDriverExA, 16)        \
  X(AddPrinterDriverExW, 16)        \
  X(ClosePrinter, 4)                \
  X(ConfigurePortA, 12)             \
  X(ConfigurePortW, 12)             \
  X(DeleteMonitorA, 12)             \
  X(DeleteMonitorW, 12)             \
  X(DeletePortA, 12)                \
  X(DeletePortW, 12)                \
  X(DeletePrinter, 4)               \
  X(DeletePrinterDriverExW, 20)     \
  X(EndDocPrinter, 4)               \
  X(EnumJobsW, 32)                  \
  X(EnumMonitorsW, 24)              \
  X(EnumPortsA, 24)                 \
  X(EnumPortsW, 24)                 \
  X(EnumPrintersA, 28)              \
  X(EnumPrintersW, 28)              \
  X(GetPrinterDriverDirectoryA, 24) \
  X(GetPrinterDriverDirectoryW, 24) \
  X(GetPrinterW, 20)                \
  X(OpenPrinterA, 12)               \
  X(OpenPrinterW, 12)               \
  X(SetPrinterA, 16)                \
  X(SetPrinterW, 16)                \
  X(StartDocPrinterW, 12)           \
  X(WritePrinter, 16)               \
  X(XcvDataW, 32)
