// The archive library's command line, shared by the Windows DLL and the
// host build's simulated machine.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct SevenZipCommand {
  std::string archive;
  std::string destination;         // empty when no -o was given
  std::vector<std::string> names;  // what to extract; empty for everything
  bool assumeYes = false;
  bool hide = false;
};

// Understands `x [-y] [-hide] [-oDEST] ARCHIVE [NAME...]` in any order after
// the command. Double quotes group text and are dropped; a backslash is
// always a plain character, so -o"C:\" means C:\. NAMEs are paths inside the
// archive (a file, or a folder with everything below it). Returns false with
// a message for anything else (unknown command or switch, an open quote, a
// NAME that could lead outside the destination).
bool ParseSevenZipCommand(const char* commandLine, SevenZipCommand* command, std::string* error);

// Parses `commandLine`, maps both paths with `mapPath` (the identity on
// Windows) and extracts the archive with its folders. With NAMEs, an archive
// holding any entry outside them is refused with nothing written
// (zipreader::kUnsafeName), not extracted in part: the caller names all the
// package may hold, so anything more is a package it must not trust. Writes a short report
// into `output` (cut to fit, NUL-terminated when outputSize > 0). Returns 0
// when every entry was written, else one of zipreader's codes. An empty
// mapped path means the path cannot be reached.
int RunSevenZipCommand(const char* commandLine, char* output, unsigned outputSize,
                       const std::function<std::string(const std::string& windowsPath)>& mapPath);
