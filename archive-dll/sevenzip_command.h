// The archive library's command line, shared by the Windows DLL and the
// host build's simulated machine.
#pragma once

#include <functional>
#include <string>

struct SevenZipCommand {
  std::string archive;
  std::string destination;  // empty when no -o was given
  bool assumeYes = false;
  bool hide = false;
};

// Understands `x [-y] [-hide] [-oDEST] ARCHIVE` in any order after the
// command. Double quotes group text and are dropped; a backslash is always a
// plain character, so -o"C:\" means C:\. Returns false with a message for
// anything else (unknown command or switch, a second archive, an open quote).
bool ParseSevenZipCommand(const char* commandLine, SevenZipCommand* command, std::string* error);

// Parses `commandLine`, maps both paths with `mapPath` (the identity on
// Windows) and extracts the archive with its folders. Writes a short report
// into `output` (cut to fit, NUL-terminated when outputSize > 0). Returns 0
// when every entry was written, else one of zipreader's codes. An empty
// mapped path means the path cannot be reached.
int RunSevenZipCommand(const char* commandLine, char* output, unsigned outputSize,
                       const std::function<std::string(const std::string& windowsPath)>& mapPath);
