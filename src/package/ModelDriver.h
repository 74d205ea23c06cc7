// What installing one model puts on the machine: the driver record it
// registers and the package files it stages for it, for one word size. The
// installation paths stage and register from this, and printer-setup's plan
// prints it, so what is announced is what gets installed.
#pragma once

#include <string>
#include <vector>

// The environment names of the spooler's driver records.
constexpr const char* kEnvironmentX86 = "Windows NT x86";
constexpr const char* kEnvironmentX64 = "Windows x64";

// A package file copied into the spooler's driver directory before the
// driver is registered.
struct StagedFile {
  std::string source;  // its full path in the unpacked package
  std::string name;    // its name in the driver directory
  bool kept;           // left there once the spooler has its own copies
};

struct ModelDriver {
  bool label = false;
  std::string driverName;
  const char* environment = kEnvironmentX86;
  // The record's four files, by their names in the driver directory.
  std::string driverFile;
  std::string dataFile;
  std::string configFile;
  std::string helpFile;
  // The record's dependent files, written as the record lists them (some
  // with a leading backslash).
  std::vector<std::string> dependentFiles;
  const char* monitorName = "";
  // A label driver's language monitor DLL: staged from `monitorSource`
  // into the folder where the spooler loads monitors, before the driver.
  std::string monitorFile;
  std::string monitorSource;
  // In the order they are staged.
  std::vector<StagedFile> stagedFiles;
  // The sizes each kind's record was always built in: a path of `pathSize`
  // bytes or more, or a dependent list (with its NULs) over
  // `dependentListSize`, is refused rather than cut.
  int pathSize = 0;
  size_t dependentListSize = 0;
};

// Model `index` (a catalogue section: receipt models first, then label
// models) installed under the catalogue name `chosenName` on a machine of
// the given word size. `index` must be below kCatalogueSectionCount.
ModelDriver DescribeModelDriver(int index, const char* chosenName, bool x64);

// The names of the files the registered driver holds: its four files, then
// its dependent files, without any folder.
std::vector<std::string> RegisteredFileNames(const ModelDriver& driver);
