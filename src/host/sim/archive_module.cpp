// The archive library as the simulated machine has it: "7-zip32.dll" with
// its three exports, running the same reader and command line as the real
// DLL on the simulated drive C:.
#include "host/sim/archive_module.h"

#include "host/sim/code_page.h"
#include "host/sim/files.h"
#include "host/sim/machine.h"
#include "sevenzip_command.h"

namespace sim {

namespace {

int WINAPI SimSevenZip(HWND, LPCSTR commandLine, LPSTR output, DWORD outputSize) {
  Machine* machine = Machine::Current();
  if (!machine) return 1;
  CallScope call(*machine, "SevenZip");
  if (call.Fails(commandLine ? commandLine : "")) return call.ErrorCode();
  // The reader takes the lock itself, through the drive's host paths.
  call.Lock().unlock();
  SimFiles& files = machine->Files();
  // The command line is ANSI text, as the real DLL reads it; the drive's
  // names are UTF-8.
  const std::string command = AnsiToUtf8(commandLine ? commandLine : "", machine->Version().codePage);
  const int result =
      RunSevenZipCommand(command.c_str(), output, outputSize,
                         [&files](const std::string& windowsPath) { return files.HostPathOf(windowsPath); });
  // The reader wrote through host paths, past the drive's own calls.
  call.Lock().lock();
  files.NoteDriveWrittenLocked();
  return result;
}

BOOL WINAPI SimSevenZipSetOwnerWindowEx(HWND, void*) { return TRUE; }

BOOL WINAPI SimSevenZipKillOwnerWindowEx(HWND) { return TRUE; }

template <typename Function>
FARPROC Export(Function function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

SimModule ArchiveLibraryModule() {
  SimModule module;
  module.name = "7-zip32";
  module.exports["SevenZip"] = Export(&SimSevenZip);
  module.exports["SevenZipSetOwnerWindowEx"] = Export(&SimSevenZipSetOwnerWindowEx);
  module.exports["SevenZipKillOwnerWindowEx"] = Export(&SimSevenZipKillOwnerWindowEx);
  return module;
}

}  // namespace sim
