// The last error after calls that succeed: most calls leave it as it was
// (SetLastError: "most functions ... set it when they fail"); the ones
// documented to set it on success are checked in their own groups.
// https://learn.microsoft.com/windows/win32/api/errhandlingapi/nf-errhandlingapi-getlasterror
#include <string>

#include "harness.h"

namespace conformance {
namespace {

unsigned long U(DWORD value) { return static_cast<unsigned long>(value); }

#define ok_untouched(call)                                                      \
  do {                                                                          \
    MarkLastError();                                                            \
    const bool succeeded = (call);                                              \
    const DWORD error = LastError();                                            \
    ok(succeeded&& error == kLastErrorMarker, "%s: %s, last error %#lx", #call, \
       succeeded ? "succeeded" : "failed", U(error));                           \
  } while (0)

}  // namespace

void TestLastError(const Backend& backend) {
  BeginGroup("lasterror");
  char buffer[MAX_PATH];
  ok_untouched(plat::Files().GetSystemDirectoryA(buffer, sizeof buffer) > 0);
  ok_untouched(plat::Files().GetWindowsDirectoryA(buffer, sizeof buffer) > 0);
  ok_untouched(plat::Files().GetFileAttributesA(backend.tempFolder.c_str()) != INVALID_FILE_ATTRIBUTES);

  HANDLE event = plat::Threads().CreateEventA(TRUE, FALSE);
  ok(event != nullptr, "CreateEventA");
  if (event) {
    ok_untouched(plat::Threads().SetEvent(event) != FALSE);
    ok_untouched(plat::Threads().WaitForSingleObject(event, 0) == WAIT_OBJECT_0);
    ok_untouched(plat::Threads().CloseHandle(event) != FALSE);
  }

  HKEY key = nullptr;
  ok_untouched(plat::Registry().RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) ==
               ERROR_SUCCESS);
  if (key) ok_untouched(plat::Registry().RegCloseKey(key) == ERROR_SUCCESS);

  SC_HANDLE manager =
      plat::Services().OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE spooler =
      manager ? plat::Services().OpenServiceA(manager, "Spooler", SERVICE_ALL_ACCESS) : nullptr;
  ok(spooler != nullptr, "OpenServiceA Spooler");
  if (spooler) {
    SERVICE_STATUS status = {};
    ok_untouched(plat::Services().QueryServiceStatus(spooler, &status) != FALSE);
    plat::Services().CloseServiceHandle(spooler);
  }
  if (manager) plat::Services().CloseServiceHandle(manager);
}

}  // namespace conformance
