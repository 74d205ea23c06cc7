// The Win32 service objects, one per file; win32_platform.cpp installs them.
#pragma once

#include "platform/platform.h"

namespace plat {
namespace win32 {

ISystem& SystemService();
IThreads& ThreadsService();
IRegistry& RegistryService();
IFiles& FilesService();
IServices& ServicesService();
ISpooler& SpoolerService();
IUser& UserService();
IComm& CommService();
INetwork& NetworkService();
IPrinterDrawing& PrinterDrawingService();

// Takes the current directory and PATH out of the DLL search for the rest
// of the process; called once at start.
void HardenDllSearch();
// Loads a DLL named without a folder from beside the program, else from the
// system folder, by full path; a name with a folder as it is.
HMODULE LoadLibraryFromTrustedFolder(const char* name);
// Loads a system DLL (a name without a folder) by full path from the system
// folder only.
HMODULE LoadLibraryFromSystemFolder(const char* name);
// Windows Protected Print mode as the Windows Runtime reports it; FALSE
// where Windows cannot say (protected_print.cpp).
BOOL QueryProtectedPrintMode(BOOL* enabled);

}  // namespace win32
}  // namespace plat
