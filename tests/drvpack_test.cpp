// drvpack's package checks: the sample package is good, and each kind of
// fault on a broken copy of it is reported, one line per problem.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <minizip/zip.h>
#include <sys/wait.h>
#include <unistd.h>

#include "package_build.h"
#include "package_check.h"
#include "printable_text.h"
#include "temp_folder.h"
#include "zip_reader.h"

namespace stdfs = std::filesystem;

namespace {

using testing_support::ReadText;
using testing_support::WriteText;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

int CountContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

// A copy of packages/sample laid out as the build stages it (no README,
// monitor DLLs added; placeholders do here, only presence is checked).
class DrvpackTest : public testing_support::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    package_ = root_ / "pkg";
    stdfs::create_directories(package_);
    stdfs::copy(stdfs::path(INSTALLER_SOURCE_DIR) / "packages" / "sample", package_,
                stdfs::copy_options::recursive);
    stdfs::remove(package_ / "README.md");
    WriteText(package_ / "Barcode/x86/qrtNLMNT.dll", "monitor");
    WriteText(package_ / "Barcode/x64/qrtNLM64.dll", "monitor");
    catalogue_ = ReadText(package_ / "DriverName.cfg");
  }

  std::vector<std::string> FolderProblems() {
    drvpack::PackageContents contents;
    EXPECT_TRUE(drvpack::ReadFolder(package_.string(), &contents));
    return drvpack::CheckPackage(contents);
  }

  std::vector<std::string> ArchiveProblems(const stdfs::path& folder) {
    std::string archive = (root_ / "DriverData.Drv").string(), error;
    EXPECT_TRUE(drvpack::PackFolderUnchecked(folder.string(), archive, nullptr, &error)) << error;
    drvpack::PackageContents contents;
    drvpack::ReadArchive(archive, &contents);
    return drvpack::CheckPackage(contents);
  }

  std::vector<std::string> CatalogueProblems(const std::string& text) {
    return drvpack::CheckCatalogue(text, nullptr);
  }

  stdfs::path package_;
  std::string catalogue_;
};

// --- The good package -----------------------------------------------------

TEST_F(DrvpackTest, TheSamplePackageChecksCleanAndSurvivesPackingAndUnpacking) {
  // Beside the sample's small files: one deflate cannot shrink, spanning
  // several of the writer's pieces, and an empty one.
  std::string noise;
  uint32_t state = 7;
  for (int i = 0; i < 600000; ++i) noise += static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  WriteText(package_ / "Ticket/x86/noise.bin", noise);
  WriteText(package_ / "Ticket/x86/empty.txt", "");
  EXPECT_EQ(Joined(FolderProblems()), "");
  int sections = 0;
  EXPECT_TRUE(drvpack::CheckCatalogue(catalogue_, &sections).empty());
  EXPECT_EQ(sections, 33);

  unsigned files = 0;
  std::string archive = (root_ / "DriverData.Drv").string();
  std::vector<std::string> problems;
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), archive, &files, &problems)) << Joined(problems);
  EXPECT_EQ(files, testing_support::FilesBelow(package_).size());
  drvpack::PackageContents contents;
  ASSERT_TRUE(drvpack::ReadArchive(archive, &contents));
  EXPECT_EQ(Joined(drvpack::CheckPackage(contents)), "");

  // Forward-slash names relative to the root, as the installer unpacks them.
  for (const std::string& name : contents.files) {
    EXPECT_EQ(name.find('\\'), std::string::npos) << name;
    EXPECT_NE(name.rfind("pkg", 0), 0u) << name;
  }
  stdfs::path out = root_ / "unpacked";
  ASSERT_EQ(zipreader::ExtractZip(archive, out.string()).code, zipreader::kOk);
  EXPECT_EQ(testing_support::FilesBelow(out), testing_support::FilesBelow(package_));
  for (const std::string& file : testing_support::FilesBelow(package_))
    EXPECT_EQ(ReadText(out / file), ReadText(package_ / file)) << file;
  // Another reader takes the archive too: Info-ZIP's test of every entry.
  EXPECT_EQ(std::system(("unzip -tqq '" + archive + "'").c_str()), 0);

  // Packing the same tree again gives the same bytes.
  std::string again = (root_ / "again.Drv").string();
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), again, nullptr, &problems));
  EXPECT_EQ(ReadText(again), ReadText(archive));
}

TEST_F(DrvpackTest, FileNamesCompareWithoutCase) {
  stdfs::rename(package_ / "Ticket/x86/uniDRVui.DLL", package_ / "Ticket/x86/UNIDRVUI.dll");
  stdfs::rename(package_ / "Barcode/Common/LB400.BA0", package_ / "Barcode/Common/lb400.ba0");
  stdfs::rename(package_ / "DriverName.cfg", package_ / "DRIVERNAME.CFG");
  EXPECT_EQ(Joined(FolderProblems()), "");
}

// --- Layout and files -----------------------------------------------------

TEST_F(DrvpackTest, EveryMissingFileIsReportedWithWhoNeedsIt) {
  const char* removed[] = {
      "Ticket/x64/RV580.GPD",    "Ticket/x86/KX-702.GPD",      "Ticket/x86/MPRES.DLL",
      "Ticket/x64/DMRES.DLL",    "Ticket/x64/STDNAMES.GPD",    "Ticket/x86/ZOEMUNI.ini",
      "Ticket/x64/ZOEMUNI.dll",  "Barcode/x86/qrtNLMNT.dll",   "Barcode/x64/LBXPBR56.DLL",
      "Barcode/x86/LBXUI50.DLL", "Barcode/Common/THERMAL.chm", "Barcode/Common/LB610.PP0",
  };
  for (const char* file : removed) ASSERT_TRUE(stdfs::remove(package_ / file)) << file;
  std::vector<std::string> problems = FolderProblems();
  EXPECT_EQ(problems.size(), std::size(removed)) << Joined(problems);
  for (const char* file : removed)
    EXPECT_EQ(CountContaining(problems, std::string("missing: ") + file), 1) << file;
  // One GPD serves two rows; both are named.
  EXPECT_EQ(CountContaining(problems, "missing: Ticket/x64/RV580.GPD (RV-580, RV-580II)"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "(LB-610 Label)"), 1);
}

TEST_F(DrvpackTest, EntriesUnderAnExtraTopFolderAreReportedOnce) {
  // Packing the folder above the package root.
  std::vector<std::string> problems = ArchiveProblems(root_);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("extra top folder \"pkg/\""), std::string::npos) << problems[0];
}

TEST_F(DrvpackTest, AMissingCatalogueAndStrayRootEntriesAreReported) {
  stdfs::remove(package_ / "DriverName.cfg");
  WriteText(package_ / "README.md", "notes");
  WriteText(package_ / "Extra" / "file.txt", "x");
  std::vector<std::string> problems = ArchiveProblems(package_);
  EXPECT_EQ(problems.size(), 3u) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "DriverName.cfg missing"), 1);
  EXPECT_EQ(CountContaining(problems, "unexpected file README.md"), 1);
  EXPECT_EQ(CountContaining(problems, "unexpected folder Extra/"), 1);
}

TEST_F(DrvpackTest, DamagedArchiveDataIsReported) {
  std::string archive = (root_ / "DriverData.Drv").string();
  std::vector<std::string> built;
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), archive, nullptr, &built)) << Joined(built);
  std::string bytes = ReadText(archive);
  // The catalogue's data follows its local header (30 bytes + name).
  size_t data = bytes.find("DriverName.cfg") + std::strlen("DriverName.cfg") + 10;
  bytes[data] = static_cast<char>(bytes[data] ^ 0xFF);
  WriteText(archive, bytes);
  drvpack::PackageContents contents;
  ASSERT_TRUE(drvpack::ReadArchive(archive, &contents));
  std::vector<std::string> problems = drvpack::CheckPackage(contents);
  EXPECT_EQ(CountContaining(problems, "archive: "), 1) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "DriverName.cfg missing"), 1) << Joined(problems);

  WriteText(archive, bytes.substr(0, bytes.size() - 30));
  drvpack::PackageContents cut;
  EXPECT_FALSE(drvpack::ReadArchive(archive, &cut));
  EXPECT_EQ(CountContaining(drvpack::CheckPackage(cut), "archive: "), 1);
}

// --- Catalogue rules ------------------------------------------------------

TEST_F(DrvpackTest, AWrongSectionCountSaysWhichRowsAreAffected) {
  std::string fewer = catalogue_.substr(0, catalogue_.find("[Label04]"));
  std::vector<std::string> problems = CatalogueProblems(fewer);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("31 sections, expected 33 (28 receipt + 5 label)"), std::string::npos)
      << problems[0];
  EXPECT_NE(problems[0].find("LB-600 Label, LB-610 Label"), std::string::npos) << problems[0];

  problems = CatalogueProblems(catalogue_ + "[Extra]\nPrintName1=Something\n");
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("34 sections"), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("[Extra]"), std::string::npos) << problems[0];
}

TEST_F(DrvpackTest, NamesTheInstallerWouldNeverReadAreReported) {
  std::string text = catalogue_;
  auto appendTo = [&text](const std::string& section, const std::string& lines) {
    size_t at = text.find("[" + section + "]");
    at = text.find('\n', at) + 1;
    text.insert(at, lines);
  };
  // Receipt01: PrintName1 plus 2..51 (more than 50).
  std::string many;
  for (int i = 2; i <= 51; ++i) many += "PrintName" + std::to_string(i) + "=Name " + std::to_string(i) + "\n";
  appendTo("Receipt01", many);
  // Receipt02 holds PrintName1 and 2; 3 is empty, so 4 and 7 are lost.
  appendTo("Receipt02", "PrintName3=\nPrintName4=Lost\nPrintName7=Lost too\n");
  // Receipt03: a 128-character name; Receipt04: exactly 127 is fine.
  appendTo("Receipt03", "PrintName2=" + std::string(128, 'n') + "\n");
  appendTo("Receipt04", "PrintName2=" + std::string(127, 'n') + "\n");
  // Receipt05: a zero-padded key is never asked for.
  appendTo("Receipt05", "PrintName03=Padded\n");

  std::vector<std::string> problems = CatalogueProblems(text);
  EXPECT_EQ(problems.size(), 4u) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "[Receipt01] has 51 PrintName keys"), 1) << Joined(problems);
  EXPECT_EQ(CountContaining(problems,
                            "[Receipt02]: PrintName3 is missing or empty, so PrintName4, PrintName7 are "
                            "never read"),
            1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "[Receipt03]: PrintName2 is 128 characters long"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "[Receipt05]: key PrintName03 is never read"), 1) << Joined(problems);
}

TEST_F(DrvpackTest, ASectionWithoutAFirstNameIsReported) {
  std::string text = catalogue_;
  size_t at = text.find("PrintName1=RV-600");
  text.replace(at, std::strlen("PrintName1=RV-600"), "PrintName2=RV-600");
  std::vector<std::string> problems = CatalogueProblems(text);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("[Receipt03]: PrintName1 is missing or empty, so PrintName2 is never read"),
            std::string::npos)
      << problems[0];
}

TEST_F(DrvpackTest, SectionNamesMustFitTheInstallersBuffer) {
  // 33 names of 90 characters: 33 * 91 + 1 = 3004 bytes.
  std::string text;
  for (int i = 0; i < 33; ++i) {
    std::string name = "Section" + std::to_string(100 + i);
    name += std::string(90 - name.size(), 'x');
    text += "[" + name + "]\nPrintName1=Printer " + std::to_string(i) + "\n";
  }
  std::vector<std::string> problems = CatalogueProblems(text);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("3000-byte buffer; sections from [Section132"), std::string::npos)
      << problems[0];

  // 29 names of 90 and 4 of 89 characters fill the buffer exactly.
  std::string fits;
  for (int i = 0; i < 33; ++i) {
    std::string name = "S" + std::to_string(100 + i);
    name += std::string((i < 29 ? 90 : 89) - name.size(), 'x');
    fits += "[" + name + "]\nPrintName1=P\n";
  }
  EXPECT_EQ(Joined(CatalogueProblems(fits)), "");
}

TEST_F(DrvpackTest, ManyFaultsAreAllReportedTogether) {
  stdfs::remove(package_ / "Ticket/x86/RV640.GPD");
  stdfs::remove(package_ / "Barcode/x64/LBXGER56.DLL");
  std::string text = catalogue_.substr(0, catalogue_.find("[Label05]"));
  text += "[Label05]\nPrintName1=" + std::string(200, 'L') + "\nPrintName3=Lost\n";
  WriteText(package_ / "DriverName.cfg", text);
  std::vector<std::string> problems = FolderProblems();
  EXPECT_EQ(problems.size(), 4u) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "missing: "), 2);
  EXPECT_EQ(CountContaining(problems, "[Label05]"), 2);
}

TEST(ParseIni, ReadsNamesAsTheProfileFunctionsDo) {
  std::vector<drvpack::IniSection> sections = drvpack::ParseIni(
      "ignored=before any section\r\n"
      "; a comment\r\n"
      "  [ Receipt01 ]  \r\n"
      "printname1 =  RV-580  \r\n"
      "PRINTNAME2=\"  Quoted  \"\r\n"
      "no equals sign\r\n"
      "PrintName1=second key of the same name\r\n"
      "[Label01]\n"
      "PrintName1=LB-400 Label=with equals\n");
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].name, "Receipt01");
  ASSERT_NE(drvpack::FindKey(sections[0], "PrintName1"), nullptr);
  EXPECT_EQ(*drvpack::FindKey(sections[0], "PrintName1"), "RV-580");
  EXPECT_EQ(*drvpack::FindKey(sections[0], "PrintName2"), "  Quoted  ");
  EXPECT_EQ(drvpack::FindKey(sections[0], "PrintName3"), nullptr);
  EXPECT_EQ(*drvpack::FindKey(sections[1], "printname1"), "LB-400 Label=with equals");
}

// --- Hostile packages --------------------------------------------------------
// What the installer would misread or the archive library refuse: check
// reports it, build writes nothing.

// A minimal PE header: "MZ", the signature's offset at 0x3C, "PE\0\0", machine.
std::string PeHeader(uint16_t machine) {
  std::string bytes(0x100, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[0x3C] = static_cast<char>(0x80);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  bytes[0x84] = static_cast<char>(machine & 0xFF);
  bytes[0x85] = static_cast<char>(machine >> 8);
  return bytes;
}

struct CommandResult {
  int exitCode;
  std::string output;
};

CommandResult RunDrvpack(const std::string& arguments) {
  const std::string command =
      std::string(INSTALLER_BUILD_DIR) + "/tools/drvpack/drvpack " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  CommandResult result{-1, ""};
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST_F(DrvpackTest, SectionNamesTheInstallerConfusesOrCutsAreReported) {
  // [Receipt02] renamed [receipt01]: the profile functions find the first for both.
  std::string text = catalogue_;
  text.replace(text.find("[Receipt02]"), 11, "[receipt01]");
  std::vector<std::string> problems = CatalogueProblems(text);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("sections 1 [Receipt01] and 2 [receipt01] have one name"), std::string::npos)
      << problems[0];

  // The installer reads a section name into 100 bytes: 99 fit, 100 do not.
  for (size_t length : {99u, 100u, 140u}) {
    std::string named = catalogue_;
    named.replace(named.find("[Label05]"), 9, "[" + std::string(length, 'L') + "]");
    problems = CatalogueProblems(named);
    EXPECT_EQ(problems.size(), length < 100 ? 0u : 1u) << length << ": " << Joined(problems);
    EXPECT_EQ(CountContaining(problems, "has a name of " + std::to_string(length) + " characters"),
              length < 100 ? 0 : 1);
  }
}

TEST_F(DrvpackTest, PathsWindowsCannotHoldApartAreReported) {
  // A second catalogue differing only in case, a folder where a model's
  // file must be, an empty stray folder at the root.
  WriteText(package_ / "drivername.CFG", catalogue_);
  stdfs::remove(package_ / "Ticket/x86/RV600.GPD");
  stdfs::create_directories(package_ / "Ticket/x86/RV600.GPD");
  stdfs::create_directories(package_ / "Stray");
  std::vector<std::string> problems = FolderProblems();
  EXPECT_EQ(problems.size(), 3u) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "DriverName.cfg and drivername.CFG are one file on Windows"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "missing: Ticket/x86/RV600.GPD (RV-600): a folder stands where"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "unexpected folder Stray/"), 1) << Joined(problems);

  // In an archive: a file entry and a folder entry of one name.
  stdfs::remove(package_ / "drivername.CFG");
  stdfs::remove_all(package_ / "Stray");
  stdfs::remove(package_ / "Ticket/x86/RV600.GPD");
  WriteText(package_ / "Ticket/x86/RV600.GPD", "gpd");
  std::string archive = (root_ / "DriverData.Drv").string(), error;
  ASSERT_TRUE(drvpack::PackFolderUnchecked(package_.string(), archive, nullptr, &error)) << error;
  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_ADDINZIP);
  ASSERT_NE(zip, nullptr);
  zip_fileinfo info = {};
  ASSERT_EQ(zipOpenNewFileInZip(zip, "DriverName.cfg/", &info, nullptr, 0, nullptr, 0, nullptr, 0, 0),
            ZIP_OK);
  ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
  drvpack::PackageContents contents;
  ASSERT_TRUE(drvpack::ReadArchive(archive, &contents));
  problems = drvpack::CheckPackage(contents);
  EXPECT_EQ(problems.size(), 2u) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "DriverName.cfg is both a file and a folder"), 1) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "unexpected folder DriverName.cfg/"), 1) << Joined(problems);
}

TEST_F(DrvpackTest, NamesTheArchiveLibraryRefusesAndLinksOutsideAreNeverPacked) {
  const char* hostile[] = {"Ticket/x86/COM1.dll",
                           "Ticket/x64/lpt\xC2\xB9.txt",
                           "Barcode/a:b",
                           "Barcode/Common/back\\slash",
                           "Ticket/x86/bell\x07.GPD",
                           "Ticket/NUL",
                           "Ticket/x86/trailing.",
                           "Barcode/blank "};
  for (const char* name : hostile) WriteText(package_ / name, "x");
  stdfs::create_directory_symlink("/etc", package_ / "Barcode/etc");
  stdfs::create_symlink("/etc/hostname", package_ / "Ticket/hostname");
  stdfs::create_symlink(package_ / "nowhere", package_ / "Ticket/dangling");
  // A link to a file inside the folder is the file itself.
  stdfs::rename(package_ / "Ticket/x64/RV580.GPD", package_ / "Ticket/RV580-x64.GPD");
  stdfs::create_symlink(package_ / "Ticket/RV580-x64.GPD", package_ / "Ticket/x64/RV580.GPD");

  std::vector<std::string> problems = FolderProblems();
  EXPECT_EQ(problems.size(), std::size(hostile) + 3) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "name: "), static_cast<int>(std::size(hostile))) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "device name"), 3) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "a backslash"), 1) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "a trailing dot or blank"), 2) << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "link: Barcode/etc is a symbolic link leading outside"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "link: Ticket/hostname is a symbolic link leading outside"), 1)
      << Joined(problems);
  EXPECT_EQ(CountContaining(problems, "link: Ticket/dangling is a symbolic link that leads nowhere"), 1)
      << Joined(problems);

  std::string archive = (root_ / "DriverData.Drv").string();
  std::vector<std::string> built;
  EXPECT_FALSE(drvpack::BuildPackage(package_.string(), archive, nullptr, &built));
  EXPECT_EQ(built, problems);
  EXPECT_FALSE(stdfs::exists(archive));
}

TEST_F(DrvpackTest, BuildWritesNothingForAPackageCheckRefuses) {
  std::string text = catalogue_;
  text.replace(text.find("[Receipt02]"), 11, "[RECEIPT01]");
  WriteText(package_ / "DriverName.cfg", text);
  std::string archive = (root_ / "DriverData.Drv").string();
  std::vector<std::string> problems;
  EXPECT_FALSE(drvpack::BuildPackage(package_.string(), archive, nullptr, &problems));
  EXPECT_EQ(CountContaining(problems, "have one name"), 1) << Joined(problems);
  EXPECT_FALSE(stdfs::exists(archive));
}

TEST_F(DrvpackTest, ACatalogueInflatingToMegabytesIsNotReadIntoMemory) {
  std::string archive = (root_ / "DriverData.Drv").string(), error;
  stdfs::remove(package_ / "DriverName.cfg");
  ASSERT_TRUE(drvpack::PackFolderUnchecked(package_.string(), archive, nullptr, &error)) << error;
  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_ADDINZIP);
  ASSERT_NE(zip, nullptr);
  zip_fileinfo info = {};
  ASSERT_EQ(zipOpenNewFileInZip(zip, "DriverName.cfg", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_BEST_SPEED),
            ZIP_OK);
  const std::string block = "[Receipt01]\r\n" + std::string(1 << 20, 'P');
  for (int i = 0; i < 48; ++i)
    ASSERT_EQ(zipWriteInFileInZip(zip, block.data(), static_cast<unsigned>(block.size())), ZIP_OK);
  ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
  ASSERT_LT(stdfs::file_size(archive), 1u << 20);

  drvpack::PackageContents contents;
  ASSERT_TRUE(drvpack::ReadArchive(archive, &contents));
  EXPECT_TRUE(contents.catalogues.empty());
  std::vector<std::string> problems = drvpack::CheckPackage(contents);
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("DriverName.cfg is " + std::to_string(48 * block.size()) + " bytes"),
            std::string::npos)
      << problems[0];

  // The same in a folder: read only as far as it is kept.
  WriteText(package_ / "DriverName.cfg", catalogue_ + std::string(2 << 20, ';'));
  problems = FolderProblems();
  ASSERT_EQ(problems.size(), 1u) << Joined(problems);
  EXPECT_NE(problems[0].find("DriverName.cfg is " + std::to_string(catalogue_.size() + (2 << 20)) + " bytes"),
            std::string::npos)
      << problems[0];
}

TEST_F(DrvpackTest, DllsAndExesMustBeWindowsBinariesOfTheirFolder) {
  // The sample's placeholders: every DLL copied, for both word sizes.
  drvpack::PackageContents contents;
  ASSERT_TRUE(drvpack::ReadFolder(package_.string(), &contents));
  std::vector<std::string> findings = drvpack::CheckBinaries(contents);
  // Per word size: 3 resource DLLs, ZOEMUNI.dll, 3 unidriver DLLs, 30 label DLLs.
  EXPECT_EQ(findings.size(), 2u * (3 + 1 + 3 + 30)) << Joined(findings);
  EXPECT_EQ(CountContaining(findings, "is not a Windows PE file"), static_cast<int>(findings.size()));
  EXPECT_EQ(CountContaining(findings, "Ticket/x64/uniDRV.DLL is not"), 1) << Joined(findings);

  for (const std::string& name : contents.files) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0)
      WriteText(package_ / name, PeHeader(lower.find("/x64/") != std::string::npos ? 0x8664 : 0x014C));
  }
  // One 64-bit DLL under x86/, and a file with "MZ" but no PE signature.
  WriteText(package_ / "Ticket/x86/RVRES.DLL", PeHeader(0x8664));
  WriteText(package_ / "Barcode/x64/LBXUI56.DLL", "MZ" + std::string(0x40, 'z'));
  drvpack::PackageContents real;
  ASSERT_TRUE(drvpack::ReadFolder(package_.string(), &real));
  findings = drvpack::CheckBinaries(real);
  ASSERT_EQ(findings.size(), 2u) << Joined(findings);
  EXPECT_EQ(CountContaining(findings, "Ticket/x86/RVRES.DLL is a PE file for machine 0x8664, not x86"), 1)
      << Joined(findings);
  EXPECT_EQ(CountContaining(findings, "Barcode/x64/LBXUI56.DLL is not a Windows PE file"), 1)
      << Joined(findings);
  EXPECT_EQ(Joined(drvpack::CheckPackage(real)), "");
}

TEST_F(DrvpackTest, TheCommandLineEscapesHostileNamesAndStrictFailsOnPlaceholders) {
  EXPECT_EQ(drvpack::PrintableText("ok \x1B]0;title\x07 caf\xC3\xA9\r\n"),
            "ok \\x1B]0;title\\x07 caf\\xC3\\xA9\\x0D\\x0A");

  CommandResult plain = RunDrvpack("check " + package_.string());
  EXPECT_EQ(plain.exitCode, 0) << plain.output;
  EXPECT_NE(plain.output.find("warning: binary: "), std::string::npos) << plain.output;
  CommandResult strict = RunDrvpack("check --strict " + package_.string());
  EXPECT_EQ(strict.exitCode, 1) << strict.output;
  EXPECT_NE(strict.output.find(std::to_string(2 * 37) + " problem(s)"), std::string::npos) << strict.output;

  WriteText(package_ / "Ticket/x86/\x1B[2Jwiped\x9B.GPD", "x");
  std::string text = catalogue_;
  text.replace(text.find("[Receipt02]"), 11, "[receipt01\x1B[31m]");
  WriteText(package_ / "DriverName.cfg", text);
  for (const std::string& arguments :
       {"check " + package_.string(), "build " + package_.string() + " -o " + (root_ / "x.Drv").string()}) {
    CommandResult hostile = RunDrvpack(arguments);
    EXPECT_EQ(hostile.exitCode, 1) << hostile.output;
    EXPECT_NE(hostile.output.find("\\x1B[2Jwiped\\x9B.GPD"), std::string::npos) << hostile.output;
    for (char c : hostile.output)
      EXPECT_TRUE(c == '\n' ||
                  (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F))
          << arguments << ": raw byte " << static_cast<int>(static_cast<unsigned char>(c));
  }
}

}  // namespace
