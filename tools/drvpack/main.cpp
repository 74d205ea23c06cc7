// drvpack: builds, checks and unpacks driver packages (DriverData.Drv).
//
//   drvpack build FOLDER -o ARCHIVE    zip a package folder
//   drvpack check ARCHIVE|FOLDER       list every problem, exit 1 if any
//   drvpack extract ARCHIVE -o FOLDER  unpack with the archive library's reader
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "package/ModelTables.h"
#include "package_build.h"
#include "package_check.h"
#include "zip_reader.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: drvpack build FOLDER -o ARCHIVE\n"
               "       drvpack check ARCHIVE|FOLDER\n"
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

int Build(int argc, char** argv) {
  std::string folder, archive, error;
  if (!InputAndOutput(argc, argv, &folder, &archive)) return Usage();
  unsigned files = 0;
  if (!drvpack::BuildPackage(folder, archive, &files, &error)) {
    std::fprintf(stderr, "drvpack build: %s\n", error.c_str());
    return 1;
  }
  std::printf("drvpack build: %s, %u files\n", archive.c_str(), files);
  return 0;
}

int Check(int argc, char** argv) {
  if (argc != 3) return Usage();
  drvpack::PackageContents contents;
  std::error_code ec;
  if (std::filesystem::is_directory(argv[2], ec))
    drvpack::ReadFolder(argv[2], &contents);
  else
    drvpack::ReadArchive(argv[2], &contents);
  std::vector<std::string> problems = drvpack::CheckPackage(contents);
  for (const std::string& problem : problems) std::printf("%s\n", problem.c_str());
  if (!problems.empty()) {
    std::printf("drvpack check: %zu problem(s) in %s\n", problems.size(), argv[2]);
    return 1;
  }
  std::printf("drvpack check: OK, %d models\n", kCatalogueSectionCount);
  return 0;
}

int Extract(int argc, char** argv) {
  std::string archive, folder;
  if (!InputAndOutput(argc, argv, &archive, &folder)) return Usage();
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, folder);
  for (const std::string& line : report.errors) std::fprintf(stderr, "drvpack extract: %s\n", line.c_str());
  if (report.code != zipreader::kOk) return 1;
  std::printf("drvpack extract: %u files, %llu bytes\n", report.filesWritten,
              static_cast<unsigned long long>(report.bytesWritten));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "build") return Build(argc, argv);
  if (command == "check") return Check(argc, argv);
  if (command == "extract") return Extract(argc, argv);
  return Usage();
}
