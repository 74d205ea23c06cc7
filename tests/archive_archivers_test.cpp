// Packages as the archivers on a vendor's desk make them, made now by the
// real programs (scripts/setup.sh installs them): each either unpacks byte
// for byte, ZIP64 records and data descriptors included, or is refused:
// as a format the library does not decode, with drvpack's way out, or as
// damaged. The table in docs/release/PACKAGING.md lists the same rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "package_check.h"
#include "temp_folder.h"
#include "zip_reader.h"

namespace stdfs = std::filesystem;

namespace {

using testing_support::FilesBelow;
using testing_support::ReadText;
using testing_support::WriteText;

struct Archiver {
  const char* label;
  const char* command;  // run in the package folder; OUT is the archive to write
  int code;             // what opening it gives
  const char* refusal;  // a part of the reason when refused
};

// Python's zipfile: every entry with ZIP64 fields, or written to a pipe,
// which gives data descriptors since the stream cannot be sought back.
#define PYTHON_ZIP(target, options)        \
  "python3 -c \"import os,sys,zipfile\n"   \
  "z=zipfile.ZipFile(" target              \
  ",'w',zipfile.ZIP_DEFLATED)\n"           \
  "for d,_,fs in sorted(os.walk('.')):\n"  \
  " for f in sorted(fs):\n"                \
  "  p=os.path.join(d,f)[2:]\n"            \
  "  with z.open(p,'w'" options            \
  ") as o: o.write(open(p,'rb').read())\n" \
  "z.close()\""

const Archiver kArchivers[] = {
    {"zip", "zip -qrX OUT .", zipreader::kOk, ""},
    {"zip_zip64", "zip -qrX -fz OUT .", zipreader::kOk, ""},
    {"zip_streamed", "zip -qrX - . | cat > OUT", zipreader::kOk, ""},
    // Streamed with -fz, zip puts all ones in the end record's directory
    // offset but writes no ZIP64 end record: no reader can find the
    // directory.
    {"zip_streamed_zip64", "zip -qrX -fz - . | cat > OUT", zipreader::kCorrupt,
     "central directory lies outside"},
    {"7z_zip_deflate", "7z a -bd -tzip -mm=Deflate OUT . > /dev/null", zipreader::kOk, ""},
    {"7z_zip_copy", "7z a -bd -tzip -mm=Copy OUT . > /dev/null", zipreader::kOk, ""},
    {"python_zip64", PYTHON_ZIP("'OUT'", ",force_zip64=True"), zipreader::kOk, ""},
    {"python_streamed", PYTHON_ZIP("sys.stdout.buffer", "") " | cat > OUT", zipreader::kOk, ""},
    {"7z_archive", "7z a -bd -t7z OUT . > /dev/null", zipreader::kUnsupported,
     "not a ZIP archive but a 7z archive"},
    {"zip_bzip2", "zip -qrX -Z bzip2 OUT .", zipreader::kUnsupported, "BZip2 (method 12)"},
    {"7z_zip_deflate64", "7z a -bd -tzip -mm=Deflate64 OUT . > /dev/null", zipreader::kUnsupported,
     "Deflate64 (method 9)"},
    {"7z_zip_lzma", "7z a -bd -tzip -mm=LZMA OUT . > /dev/null", zipreader::kUnsupported, "LZMA (method 14)"},
};

class ArchiverTest : public testing_support::TempFolderTest, public ::testing::WithParamInterface<Archiver> {
 protected:
  // A small tree with a compressible text, 300 KB that deflate cannot
  // shrink, an empty file and nested folders.
  void MakeTree(const stdfs::path& folder) {
    std::string text, noise;
    for (int i = 0; i < 2000; ++i) text += "PrintName" + std::to_string(i % 50 + 1) + "=Receipt 80\r\n";
    uint32_t state = 12345;
    for (int i = 0; i < 300000; ++i) {
      state = state * 1103515245u + 12345u;
      noise += static_cast<char>(state >> 24);
    }
    WriteText(folder / "DriverName.cfg", text);
    WriteText(folder / "Ticket" / "x86" / "noise.dll", noise);
    WriteText(folder / "Ticket" / "empty.txt", "");
  }
};

TEST_P(ArchiverTest, UnpacksByteForByteOrNamesTheFormat) {
  const Archiver& archiver = GetParam();
  const stdfs::path tree = root_ / "tree", archive = root_ / "package.zip", out = root_ / "out";
  MakeTree(tree);
  std::string command = archiver.command;
  command.replace(command.find("OUT"), 3, archive.string());
  ASSERT_EQ(std::system(("cd '" + tree.string() + "' && " + command).c_str()), 0) << command;

  zipreader::Archive reader;
  std::string why;
  const int rc = reader.Open(archive.string(), &why);
  zipreader::ExtractReport report = zipreader::ExtractZip(archive.string(), out.string());
  if (archiver.code == zipreader::kOk) {
    ASSERT_EQ(rc, zipreader::kOk) << why;
    ASSERT_EQ(report.code, zipreader::kOk) << (report.errors.empty() ? "" : report.errors[0]);
    const std::vector<std::string> files = FilesBelow(tree);
    EXPECT_EQ(FilesBelow(out), files);
    for (const std::string& file : files) EXPECT_EQ(ReadText(out / file), ReadText(tree / file)) << file;
    return;
  }
  EXPECT_EQ(rc, archiver.code);
  EXPECT_NE(why.find(archiver.refusal), std::string::npos) << why;
  EXPECT_EQ(report.code, archiver.code);
  EXPECT_FALSE(stdfs::exists(out));
  EXPECT_EQ(reader.FormatUnsupported(), archiver.code == zipreader::kUnsupported);
  if (archiver.code != zipreader::kUnsupported) return;
  // drvpack check names it with the way out.
  drvpack::PackageContents contents;
  EXPECT_FALSE(drvpack::ReadArchive(archive.string(), &contents));
  ASSERT_FALSE(contents.problems.empty());
  EXPECT_NE(contents.problems[0].find(archiver.refusal), std::string::npos) << contents.problems[0];
  EXPECT_NE(contents.problems[0].find("rebuild it with drvpack build from the unpacked folder"),
            std::string::npos)
      << contents.problems[0];
}

INSTANTIATE_TEST_SUITE_P(Archivers, ArchiverTest, ::testing::ValuesIn(kArchivers),
                         [](const ::testing::TestParamInfo<Archiver>& row) { return row.param.label; });

}  // namespace
