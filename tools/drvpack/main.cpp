// drvpack: builds, checks and unpacks driver packages (DriverData.Drv).
//
//   drvpack build FOLDER -o ARCHIVE         check, then zip a package folder
//   drvpack check [--strict] ARCHIVE|FOLDER list every problem, exit 1 if any;
//                                           --strict: placeholder binaries too
//   drvpack extract ARCHIVE -o FOLDER       unpack with the archive library's reader
// Every line from a package is printed escaped (printable_text.h).
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "file_io.h"
#include "package/ModelTables.h"
#include "package_build.h"
#include "package_check.h"
#include "printable_text.h"
#include "zip_reader.h"

namespace {

using drvpack::PrintableText;

int Usage() {
  std::fprintf(stderr,
               "usage: drvpack build FOLDER -o ARCHIVE\n"
               "       drvpack check [--strict] ARCHIVE|FOLDER\n"
               "       drvpack extract ARCHIVE -o FOLDER\n");
  return 2;
}

// Reads "INPUT -o OUTPUT" in either order.
bool InputAndOutput(int argc, char** argv, std::string* input, std::string* output) {
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc && output->empty())
      *output = argv[++i];
    else if (input->empty() && argv[i][0] != '-')
      *input = argv[i];
    else
      return false;
  }
  return !input->empty() && !output->empty();
}

void PrintLine(FILE* stream, const char* prefix, const std::string& line) {
  std::fprintf(stream, "%s%s\n", prefix, PrintableText(line).c_str());
}

int Build(int argc, char** argv) {
  std::string folder, archive;
  if (!InputAndOutput(argc, argv, &folder, &archive)) return Usage();
  unsigned files = 0;
  std::vector<std::string> problems;
  if (!drvpack::BuildPackage(folder, archive, &files, &problems)) {
    for (const std::string& problem : problems) PrintLine(stderr, "drvpack build: ", problem);
    std::fprintf(stderr, "drvpack build: %s not written\n", PrintableText(archive).c_str());
    return 1;
  }
  std::printf("drvpack build: %s, %u files\n", PrintableText(archive).c_str(), files);
  return 0;
}

int Check(int argc, char** argv) {
  bool strict = false;
  std::string input;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--strict") == 0 && !strict)
      strict = true;
    else if (input.empty() && argv[i][0] != '-')
      input = argv[i];
    else
      return Usage();
  }
  if (input.empty()) return Usage();
  drvpack::PackageContents contents;
  std::error_code ec;
  if (std::filesystem::is_directory(drvpack::PathOf(input), ec))
    drvpack::ReadFolder(input, &contents);
  else
    drvpack::ReadArchive(input, &contents);
  std::vector<std::string> problems = drvpack::CheckPackage(contents);
  std::vector<std::string> binaries = drvpack::CheckBinaries(contents);
  for (const std::string& problem : problems) PrintLine(stdout, "", problem);
  for (const std::string& finding : binaries) PrintLine(stdout, strict ? "" : "warning: ", finding);
  const size_t failing = problems.size() + (strict ? binaries.size() : 0);
  if (failing > 0) {
    std::printf("drvpack check: %zu problem(s) in %s\n", failing, PrintableText(input).c_str());
    return 1;
  }
  std::printf("drvpack check: OK, %d models\n", kCatalogueSectionCount);
  if (!binaries.empty())
    std::printf(
        "drvpack check: %zu DLL/EXE file(s) are not Windows PE files for their folder; "
        "--strict fails on them\n",
        binaries.size());
  return 0;
}

int Extract(int argc, char** argv) {
  std::string archive, folder;
  if (!InputAndOutput(argc, argv, &archive, &folder)) return Usage();
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, folder);
  for (const std::string& line : report.errors) PrintLine(stderr, "drvpack extract: ", line);
  if (report.code != zipreader::kOk) return 1;
  std::printf("drvpack extract: %u files, %llu bytes\n", report.filesWritten,
              static_cast<unsigned long long>(report.bytesWritten));
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  try {
    if (command == "build") return Build(argc, argv);
    if (command == "check") return Check(argc, argv);
    if (command == "extract") return Extract(argc, argv);
  } catch (const std::exception& e) {
    // Out of memory or a file system failure: a message, never an abort.
    PrintLine(stderr, "drvpack: ", e.what());
    return 1;
  }
  return Usage();
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

// Windows hands the command line over in UTF-16: taken as wide text and
// carried as UTF-8, a folder name the ANSI code page cannot spell still
// reaches the file system intact (file_io.h).
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &arg[0], size, nullptr, nullptr);
    arg.resize(std::char_traits<char>::length(arg.c_str()));
    args.push_back(arg);
  }
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(&arg[0]);
  return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
