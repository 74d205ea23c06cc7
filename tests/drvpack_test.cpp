// drvpack's package checks: the sample package is good, and each kind of
// fault on a broken copy of it is reported, one line per problem.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

#include "package_build.h"
#include "package_check.h"
#include "zip_reader.h"

namespace stdfs = std::filesystem;

namespace {

std::string ReadText(const stdfs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const stdfs::path& path, const std::string& text) {
  stdfs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

int CountContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

std::vector<std::string> FilesBelow(const stdfs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : stdfs::recursive_directory_iterator(root))
    if (e.is_regular_file()) names.push_back(e.path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

// A copy of packages/sample laid out as the build stages it (no README,
// monitor DLLs added; placeholders do here, only presence is checked).
class DrvpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = stdfs::temp_directory_path() /
            ("drvpack_test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    stdfs::remove_all(root_);
    package_ = root_ / "pkg";
    stdfs::create_directories(package_);
    stdfs::copy(stdfs::path(INSTALLER_SOURCE_DIR) / "packages" / "sample", package_,
                stdfs::copy_options::recursive);
    stdfs::remove(package_ / "README.md");
    WriteText(package_ / "Barcode/x86/qrtNLMNT.dll", "monitor");
    WriteText(package_ / "Barcode/x64/qrtNLM64.dll", "monitor");
    catalogue_ = ReadText(package_ / "DriverName.cfg");
  }
  void TearDown() override { stdfs::remove_all(root_); }

  std::vector<std::string> FolderProblems() {
    drvpack::PackageContents contents;
    EXPECT_TRUE(drvpack::ReadFolder(package_.string(), &contents));
    return drvpack::CheckPackage(contents);
  }

  std::vector<std::string> ArchiveProblems(const stdfs::path& folder) {
    std::string archive = (root_ / "DriverData.Drv").string(), error;
    EXPECT_TRUE(drvpack::BuildPackage(folder.string(), archive, nullptr, &error)) << error;
    drvpack::PackageContents contents;
    drvpack::ReadArchive(archive, &contents);
    return drvpack::CheckPackage(contents);
  }

  std::vector<std::string> CatalogueProblems(const std::string& text) {
    return drvpack::CheckCatalogue(text, nullptr);
  }

  stdfs::path root_, package_;
  std::string catalogue_;
};

// --- The good package -----------------------------------------------------

TEST_F(DrvpackTest, TheSamplePackageChecksCleanAndSurvivesPackingAndUnpacking) {
  EXPECT_EQ(Joined(FolderProblems()), "");
  int sections = 0;
  EXPECT_TRUE(drvpack::CheckCatalogue(catalogue_, &sections).empty());
  EXPECT_EQ(sections, 33);

  unsigned files = 0;
  std::string archive = (root_ / "DriverData.Drv").string(), error;
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), archive, &files, &error)) << error;
  EXPECT_EQ(files, FilesBelow(package_).size());
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
  EXPECT_EQ(FilesBelow(out), FilesBelow(package_));
  EXPECT_EQ(ReadText(out / "DriverName.cfg"), catalogue_);

  // Packing the same tree again gives the same bytes.
  std::string again = (root_ / "again.Drv").string();
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), again, nullptr, &error));
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
  std::string archive = (root_ / "DriverData.Drv").string(), error;
  ASSERT_TRUE(drvpack::BuildPackage(package_.string(), archive, nullptr, &error));
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

}  // namespace
