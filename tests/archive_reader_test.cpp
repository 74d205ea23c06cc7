// The archive library's ZIP reader and command line (archive-dll/). Test
// archives are written with minizip into a temporary folder at run time.
#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <unistd.h>

#include "sevenzip_command.h"
#include "temp_folder.h"
#include "zip_reader.h"

namespace stdfs = std::filesystem;

namespace {

using testing_support::ReadText;
using testing_support::WriteText;

struct ZipItem {
  std::string name;
  std::string data;
  int method = Z_DEFLATED;  // 0 stores
  bool raw = false;         // `data` is written as it is, with `crc` below
  uint32_t crc = 0;
  uint32_t size = 0;  // the recorded size of a raw item
};

void WriteZip(const std::string& path, const std::vector<ZipItem>& items) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr);
  for (const ZipItem& item : items) {
    zip_fileinfo info = {};
    ASSERT_EQ(zipOpenNewFileInZip2(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   item.method, Z_DEFAULT_COMPRESSION, item.raw ? 1 : 0),
              ZIP_OK);
    if (!item.data.empty()) {
      ASSERT_EQ(zipWriteInFileInZip(zip, item.data.data(), static_cast<unsigned>(item.data.size())), ZIP_OK);
    }
    int closed = item.raw ? zipCloseFileInZipRaw(zip, item.size, item.crc) : zipCloseFileInZip(zip);
    ASSERT_EQ(closed, ZIP_OK);
  }
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

// Rewrites a 16-bit field of `entry`'s central directory record: for
// archives minizip will not write (other methods, encryption flags).
void SetCentralField16(const std::string& path, const std::string& entry, size_t field, uint16_t value) {
  std::string bytes = ReadText(path);
  for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4)) {
    size_t nameSize =
        static_cast<unsigned char>(bytes[at + 28]) | (static_cast<unsigned char>(bytes[at + 29]) << 8);
    if (bytes.compare(at + 46, nameSize, entry) != 0) continue;
    bytes[at + field] = static_cast<char>(value & 0xFF);
    bytes[at + field + 1] = static_cast<char>(value >> 8);
    WriteText(path, bytes);
    return;
  }
  FAIL() << "no central record for " << entry;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string Repetitive(size_t size) {
  std::string text;
  while (text.size() < size)
    text += "*PrinterType: SERIAL\r\n*Feature: PaperSize\r\n" + std::to_string(text.size());
  return text.substr(0, size);
}

class ArchiveReaderTest : public testing_support::TempFolderTest {
 protected:
  std::string Archive(const std::vector<ZipItem>& items, const std::string& name = "test.zip") {
    std::string path = (root_ / name).string();
    WriteZip(path, items);
    return path;
  }
};

// --- Extraction -----------------------------------------------------------

TEST_F(ArchiveReaderTest, ExtractsStoredAndDeflatedEntriesIntoNestedFolders) {
  // Bigger than one 256 KiB piece, to cross buffer boundaries both ways.
  const std::string noise = RandomBytes(700 * 1024, 1);
  const std::string text = Repetitive(900 * 1024);
  std::string archive = Archive({
      {"DriverName.cfg", "[Receipt01]\r\nPrintName1=RV-580\r\n"},
      {"Ticket/x86/RV580.GPD", text, 0},
      {"Ticket/x64/RV580.GPD", text},
      {"Barcode\\Common\\THERMAL.chm", noise},  // Windows-style name
      {"Barcode/x86/stored.bin", noise, 0},
      {"Empty/", "", 0},
      {"Ticket/x86/empty.ini", ""},
  });
  stdfs::path out = root_ / "out";
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, out.string());
  ASSERT_EQ(report.code, zipreader::kOk) << (report.errors.empty() ? "" : report.errors[0]);
  EXPECT_EQ(report.entries, 7u);
  EXPECT_EQ(report.filesWritten, 6u);
  EXPECT_EQ(report.bytesWritten, 2 * text.size() + 2 * noise.size() + 32);
  EXPECT_EQ(ReadText(out / "DriverName.cfg"), "[Receipt01]\r\nPrintName1=RV-580\r\n");
  EXPECT_EQ(ReadText(out / "Ticket/x86/RV580.GPD"), text);
  EXPECT_EQ(ReadText(out / "Ticket/x64/RV580.GPD"), text);
  EXPECT_EQ(ReadText(out / "Barcode/Common/THERMAL.chm"), noise);
  EXPECT_EQ(ReadText(out / "Barcode/x86/stored.bin"), noise);
  EXPECT_TRUE(stdfs::is_directory(out / "Empty"));
  EXPECT_TRUE(stdfs::is_regular_file(out / "Ticket/x86/empty.ini"));
  EXPECT_EQ(stdfs::file_size(out / "Ticket/x86/empty.ini"), 0u);
}

TEST_F(ArchiveReaderTest, OverwritesExistingFilesAndMakesAMissingDestination) {
  stdfs::path out = root_ / "a" / "b" / "dest";
  WriteText(out / "Ticket/x86/ZOEMUNI.ini", "an older and much longer file that must be replaced completely");
  WriteText(out / "Ticket/x86/keep.txt", "not in the archive");
  std::string archive = Archive({{"Ticket/x86/ZOEMUNI.ini", "new"}, {"top.txt", "top", 0}});

  zipreader::ExtractReport report = zipreader::ExtractZip(archive, out.string() + "/");
  ASSERT_EQ(report.code, zipreader::kOk);
  EXPECT_EQ(ReadText(out / "Ticket/x86/ZOEMUNI.ini"), "new");
  EXPECT_EQ(ReadText(out / "Ticket/x86/keep.txt"), "not in the archive");
  EXPECT_EQ(ReadText(out / "top.txt"), "top");

  // A second run over its own output overwrites again.
  EXPECT_EQ(zipreader::ExtractZip(archive, out.string()).code, zipreader::kOk);
  EXPECT_EQ(ReadText(out / "Ticket/x86/ZOEMUNI.ini"), "new");
}

TEST_F(ArchiveReaderTest, AFolderInTheWayOfAFileIsAWriteError) {
  stdfs::create_directories(root_ / "out" / "name.txt");
  std::string archive = Archive({{"name.txt", "x"}, {"other.txt", "y"}});
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, (root_ / "out").string());
  EXPECT_EQ(report.code, zipreader::kWriteError);
  EXPECT_EQ(report.filesWritten, 1u);  // the other entry is still written
  EXPECT_EQ(ReadText(root_ / "out" / "other.txt"), "y");
}

// --- Damaged archives -----------------------------------------------------

TEST_F(ArchiveReaderTest, ACrcMismatchFailsThatEntryAndLeavesNoDamagedFile) {
  const std::string data = "stored data whose recorded CRC is wrong";
  uLong good = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  std::string archive = Archive({
      {"first.txt", "fine"},
      {"bad.txt", data, 0, true, static_cast<uint32_t>(good ^ 1), static_cast<uint32_t>(data.size())},
      {"last.txt", "fine too"},
  });
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, (root_ / "out").string());
  EXPECT_EQ(report.code, zipreader::kDataError);
  EXPECT_EQ(report.filesWritten, 2u);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find("CRC"), std::string::npos);
  EXPECT_FALSE(stdfs::exists(root_ / "out" / "bad.txt"));
  EXPECT_EQ(ReadText(root_ / "out" / "last.txt"), "fine too");
}

TEST_F(ArchiveReaderTest, DamagedOrMisSizedDeflateStreamsAreDataErrors) {
  const std::string text = Repetitive(50000);
  // Compress once to get a real raw deflate stream.
  std::string compressed(compressBound(static_cast<uLong>(text.size())) + 64, '\0');
  z_stream z = {};
  ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(&compressed[0]);
  z.avail_out = static_cast<uInt>(compressed.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  compressed.resize(z.total_out);
  deflateEnd(&z);
  uint32_t crc = crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
  uint32_t size = static_cast<uint32_t>(text.size());

  std::string garbage = compressed;
  for (size_t i = 10; i < garbage.size(); i += 7) garbage[i] = static_cast<char>(garbage[i] ^ 0x5A);
  struct Case {
    const char* what;
    std::string stream;
    uint32_t recordedSize;
  } cases[] = {
      {"damaged stream", garbage, size},
      {"stream cut short", compressed.substr(0, compressed.size() / 2), size},
      {"larger than recorded", compressed, size - 100},
      {"smaller than recorded", compressed, size + 100},
  };
  for (const Case& c : cases) {
    std::string archive = Archive({{"x.GPD", c.stream, Z_DEFLATED, true, crc, c.recordedSize}}, "case.zip");
    zipreader::ExtractReport report = zipreader::ExtractZip(archive, (root_ / "out").string());
    EXPECT_EQ(report.code, zipreader::kDataError) << c.what;
    EXPECT_FALSE(stdfs::exists(root_ / "out" / "x.GPD")) << c.what;
  }
}

TEST_F(ArchiveReaderTest, EveryTruncationFailsCleanly) {
  std::string archive = Archive({{"DriverName.cfg", Repetitive(3000)}, {"Ticket/x86/a.GPD", "abc", 0}});
  const std::string whole = ReadText(archive);
  for (size_t length = 0; length < whole.size(); ++length) {
    std::string cut = (root_ / "cut.zip").string();
    std::ofstream(cut, std::ios::binary | std::ios::trunc) << whole.substr(0, length);
    stdfs::path out = root_ / "out";
    zipreader::ExtractReport report = zipreader::ExtractZip(cut, out.string());
    EXPECT_NE(report.code, zipreader::kOk) << "truncated to " << length;
    EXPECT_EQ(report.filesWritten, 0u) << "truncated to " << length;
    stdfs::remove_all(out);
  }
}

TEST_F(ArchiveReaderTest, CorruptedBytesNeverCrashOrLeaveBadData) {
  const std::string text = Repetitive(20000);
  std::string archive = Archive({{"a/one.txt", text}, {"b/two.bin", RandomBytes(3000, 2), 0}, {"c/", ""}});
  const std::string whole = ReadText(archive);
  // Every byte of the headers at the end (central directory, end record),
  // every 17th byte of the entries before them.
  const unsigned char* end = reinterpret_cast<const unsigned char*>(whole.data() + whole.size() - 22);
  size_t central = end[16] | (end[17] << 8) | (end[18] << 16) | (static_cast<size_t>(end[19]) << 24);
  ASSERT_LT(central, whole.size());
  std::mt19937 random(7);
  for (size_t i = 0; i < whole.size(); i += i < central ? 17 : 1) {
    std::string damaged = whole;
    damaged[i] = static_cast<char>(damaged[i] ^ (1 + random() % 255));
    std::string path = (root_ / "damaged.zip").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    stdfs::path out = root_ / "out";
    zipreader::ExtractZip(path, out.string());
    // Whatever it decides, a file written under its original name is intact.
    if (stdfs::exists(out / "a/one.txt")) {
      EXPECT_EQ(ReadText(out / "a/one.txt"), text) << "byte " << i;
    }
    stdfs::remove_all(out);
  }
}

TEST_F(ArchiveReaderTest, MissingNonZipAndUnsupportedArchivesWriteNothing) {
  stdfs::path out = root_ / "out";
  EXPECT_EQ(zipreader::ExtractZip((root_ / "none.zip").string(), out.string()).code, zipreader::kCannotOpen);
  WriteText(root_ / "text.zip", Repetitive(5000));
  EXPECT_EQ(zipreader::ExtractZip((root_ / "text.zip").string(), out.string()).code, zipreader::kCorrupt);
  WriteText(root_ / "tiny.zip", "PK");
  EXPECT_EQ(zipreader::ExtractZip((root_ / "tiny.zip").string(), out.string()).code, zipreader::kCorrupt);
  // An unknown method (12, bzip2) or encryption in the second entry
  // refuses the whole archive.
  std::string archive = Archive({{"ok.txt", "fine"}, {"b.bin", "BZh9...", 0}});
  SetCentralField16(archive, "b.bin", 10, 12);
  EXPECT_EQ(zipreader::ExtractZip(archive, out.string()).code, zipreader::kUnsupported);
  archive = Archive({{"ok.txt", "fine"}, {"b.bin", "secret", 0}});
  SetCentralField16(archive, "b.bin", 8, 1);
  EXPECT_EQ(zipreader::ExtractZip(archive, out.string()).code, zipreader::kUnsupported);
  EXPECT_FALSE(stdfs::exists(out));
}

// --- Entry names ----------------------------------------------------------

class UnsafeNameTest : public ArchiveReaderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnsafeNameTest, RefusesTheWholeArchiveWithNothingWritten) {
  // The unsafe entry comes last, after good ones that must not be written.
  std::string archive = Archive({{"DriverName.cfg", "[a]"}, {"Ticket/x86/a.GPD", "x"}, {GetParam(), "evil"}});
  stdfs::path out = root_ / "deep" / "dest";
  zipreader::ExtractReport report = zipreader::ExtractZip(archive, out.string());
  EXPECT_EQ(report.code, zipreader::kUnsafeName);
  EXPECT_EQ(report.filesWritten, 0u);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find(GetParam()), std::string::npos);
  EXPECT_EQ(testing_support::FilesBelow(root_, testing_support::Listing::FilesAndFolders),
            std::vector<std::string>{"test.zip"});
}

INSTANTIATE_TEST_SUITE_P(Traversal, UnsafeNameTest,
                         ::testing::Values("../x", "..\\x", "/abs", "\\abs", "C:/x", "C:x",
                                           "c:\\windows\\x.dll", "a/../../b", "a\\..\\..\\b", "a/../b",
                                           "ok/../../../etc/x", "...", "a/ ./b", "dir/x:stream", "tab\there",
                                           "/"));

TEST(SplitEntryName, KeepsOrdinaryNamesAndDropsEmptyAndDotParts) {
  std::vector<std::string> parts;
  std::string why;
  ASSERT_TRUE(zipreader::SplitEntryName("Ticket/./x86//RV580.GPD", &parts, &why));
  EXPECT_EQ(parts, (std::vector<std::string>{"Ticket", "x86", "RV580.GPD"}));
  ASSERT_TRUE(zipreader::SplitEntryName("Barcode\\Common\\", &parts, &why));
  EXPECT_EQ(parts, (std::vector<std::string>{"Barcode", "Common"}));
  ASSERT_TRUE(zipreader::SplitEntryName("a..b/.hidden/x..", &parts, &why));
  EXPECT_EQ(parts, (std::vector<std::string>{"a..b", ".hidden", "x.."}));
  EXPECT_FALSE(zipreader::SplitEntryName("", &parts, &why));
}

// --- The command line -----------------------------------------------------

TEST(ParseSevenZipCommand, ReadsTheInstallersLineAndItsVariants) {
  struct Case {
    const char* line;
    const char* archive;
    const char* destination;
  } cases[] = {
      {"x -y \"C:\\work dir\\DriverData.Drv\" -o\"C:\\\" -hide", "C:\\work dir\\DriverData.Drv", "C:\\"},
      {"x -y C:\\w\\DriverData.Drv -oC:\\out -hide", "C:\\w\\DriverData.Drv", "C:\\out"},
      {"  X  -Y  -HIDE  -O\"D:\\a b\\\"  \"\\\\server\\share\\p.drv\"  ", "\\\\server\\share\\p.drv",
       "D:\\a b\\"},
      {"x a.zip", "a.zip", ""},
      {"x \"C:\\\"DriverData.Drv -o\"C:\\\"", "C:\\DriverData.Drv", "C:\\"},
  };
  for (const Case& c : cases) {
    SevenZipCommand command;
    std::string error;
    ASSERT_TRUE(ParseSevenZipCommand(c.line, &command, &error)) << c.line << ": " << error;
    EXPECT_EQ(command.archive, c.archive) << c.line;
    EXPECT_EQ(command.destination, c.destination) << c.line;
    EXPECT_TRUE(command.names.empty()) << c.line;
  }
  // What follows the archive names what to extract, switches still anywhere.
  SevenZipCommand command;
  std::string error;
  ASSERT_TRUE(ParseSevenZipCommand("x a.zip DriverName.cfg -y \"Ticket\" Barcode\\x86", &command, &error));
  EXPECT_EQ(command.archive, "a.zip");
  EXPECT_EQ(command.names, (std::vector<std::string>{"DriverName.cfg", "Ticket", "Barcode\\x86"}));
}

TEST(ParseSevenZipCommand, RefusesWhatItDoesNotUnderstand) {
  const char* lines[] = {
      "",
      "   ",
      "x -y -o\"C:\\\" -hide",        // no archive
      "e -y a.zip -oC:\\",            // another command
      "x -y a.zip -oC:\\ -p secret",  // unknown switch
      "x -y a.zip -oC:\\ -hide -r",   // unknown switch
      "x a.zip ..\\b.txt",            // a name leading out of the destination
      "x a.zip C:\\b.txt",            // an absolute name
      "x \"C:\\a.zip -oC:\\",         // open quote
      "x a.zip -o",                   // -o without folder
      "x a.zip -o\"\"",               // empty folder
      "x a.zip -oC:\\ -oD:\\",        // two folders
      "x \"\"",                       // empty archive name
  };
  for (const char* line : lines) {
    SevenZipCommand command;
    std::string error;
    EXPECT_FALSE(ParseSevenZipCommand(line, &command, &error)) << line;
    EXPECT_FALSE(error.empty()) << line;
  }
}

class RunSevenZipCommandTest : public ArchiveReaderTest {
 protected:
  // Maps "C:\..." into the test's folder, as the simulated machine does.
  std::string MapPath(const std::string& windowsPath) {
    if (windowsPath.size() < 3 || windowsPath.compare(0, 3, "C:\\") != 0) return std::string();
    std::string host = (root_ / "c").string() + "/" + windowsPath.substr(3);
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
  }
  int Run(const std::string& line, char* output, unsigned size) {
    return RunSevenZipCommand(line.c_str(), output, size,
                              [this](const std::string& p) { return MapPath(p); });
  }
};

TEST_F(RunSevenZipCommandTest, ExtractsIntoTheMappedFolderAndReports) {
  stdfs::create_directories(root_ / "c" / "work");
  WriteZip((root_ / "c" / "work" / "DriverData.Drv").string(),
           {{"DriverName.cfg", "[Receipt01]"}, {"Ticket/x86/RV580.GPD", "gpd"}});
  char output[16385];
  std::memset(output, 'Z', sizeof output);
  int rc = Run("x -y \"C:\\work\\DriverData.Drv\" -o\"C:\\\" -hide", output, 16384);
  EXPECT_EQ(rc, 0) << output;
  EXPECT_EQ(ReadText(root_ / "c" / "DriverName.cfg"), "[Receipt01]");
  EXPECT_EQ(ReadText(root_ / "c" / "Ticket" / "x86" / "RV580.GPD"), "gpd");
  std::string text(output);
  EXPECT_NE(text.find("result: ok"), std::string::npos) << text;
  EXPECT_NE(text.find("files written: 2"), std::string::npos) << text;
}

TEST_F(RunSevenZipCommandTest, FailuresReturnNonZeroWithAReason) {
  stdfs::create_directories(root_ / "c");
  WriteZip((root_ / "c" / "evil.zip").string(), {{"../outside.txt", "x"}});
  struct Case {
    const char* line;
    int code;
  } cases[] = {
      {"x -y \"C:\\missing.Drv\" -o\"C:\\\" -hide", zipreader::kCannotOpen},
      {"x -y \"C:\\evil.zip\" -o\"C:\\\" -hide", zipreader::kUnsafeName},
      {"x -y \"C:\\evil.zip\" -o\"C:\\\" -bogus", zipreader::kBadCommand},
      {"x -y \"D:\\elsewhere.zip\" -o\"C:\\\" -hide", zipreader::kCannotOpen},  // not mappable
  };
  for (const Case& c : cases) {
    char output[256] = {};
    EXPECT_EQ(Run(c.line, output, sizeof output), c.code) << c.line;
    EXPECT_NE(std::string(output).find("error: "), std::string::npos) << c.line << ": " << output;
  }
  EXPECT_FALSE(stdfs::exists(root_ / "outside.txt"));
}

TEST_F(RunSevenZipCommandTest, WithNamesAnArchiveHoldingAnythingElseIsRefusedWithNothingWritten) {
  stdfs::create_directories(root_ / "c");
  const char* line = "x -y \"C:\\p.zip\" -o\"C:\\\" -hide DriverName.cfg Ticket Barcode";
  // Names compare without case; a folder's name takes all below it.
  WriteZip(
      (root_ / "c" / "p.zip").string(),
      {{"drivername.CFG", "[Receipt01]"}, {"Ticket/", ""}, {"TICKET/x86/a.dll", "a"}, {"Barcode/b", "b"}});
  char output[512] = {};
  EXPECT_EQ(Run(line, output, sizeof output), 0) << output;
  EXPECT_EQ(ReadText(root_ / "c" / "TICKET" / "x86" / "a.dll"), "a");
  stdfs::remove_all(root_ / "c");
  stdfs::create_directories(root_ / "c");
  for (const char* stray : {"Windows/System32/spool/drivers/x64/3/evil.dll", "Users/Public/Desktop/x.lnk",
                            "Tickets/a.dll", "DriverName.cfg.bak"}) {
    WriteZip((root_ / "c" / "p.zip").string(), {{"DriverName.cfg", "[Receipt01]"}, {stray, "x"}});
    EXPECT_EQ(Run(line, output, sizeof output), zipreader::kUnsafeName) << stray;
    EXPECT_NE(std::string(output).find(stray), std::string::npos) << output;
    EXPECT_FALSE(stdfs::exists(root_ / "c" / "DriverName.cfg")) << stray;
  }
}

TEST_F(RunSevenZipCommandTest, OutputIsCutToItsSizeAndAlwaysTerminated) {
  char output[32];
  std::memset(output, 'Z', sizeof output);
  EXPECT_NE(Run("x -bogus", output, 8), 0);
  EXPECT_EQ(std::strlen(output), 7u);
  EXPECT_EQ(output[8], 'Z');  // nothing past the given size

  std::memset(output, 'Z', sizeof output);
  EXPECT_NE(Run("x -bogus", output, 0), 0);
  EXPECT_EQ(output[0], 'Z');
  EXPECT_NE(RunSevenZipCommand("x -bogus", nullptr, 100, nullptr), 0);
  EXPECT_NE(RunSevenZipCommand(nullptr, output, sizeof output, nullptr), 0);
}

}  // namespace
