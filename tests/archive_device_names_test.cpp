// Entry names Windows opens as devices: CON, PRN, AUX, NUL, COM0-COM9 and
// LPT0-LPT9 (with ¹ ² ³ as digits too), in any folder, any case, with any extension and with trailing
// dots or blanks. Extracting one writes the entry's bytes to the console or
// a port (a printer on LPT1 or COM1) instead of a file below the
// destination, so the reader must refuse the archive like any other name
// that leaves the destination. Linux has no such names, which is why only
// the name check can show it here.
#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "zip_reader.h"

namespace {

bool Accepted(const std::string& name) {
  std::vector<std::string> parts;
  std::string why;
  return zipreader::SplitEntryName(name, &parts, &why);
}

TEST(DeviceEntryNames, AreRefusedInAnyFolderCaseAndExtension) {
  for (const char* name :
       {"CON", "con", "Ticket/x86/NUL", "PRN.txt", "aux.dll", "Barcode\\Common\\COM1", "com9.GPD", "LPT1",
        "Ticket/lpt3.ini", "CON.", "NUL ", "nul.tar.gz", "LPT1/x.dll", "COM0", "lpt0.txt"}) {
    EXPECT_FALSE(Accepted(name)) << name;
  }
  // Superscript one, two and three count as digits too, as the bytes of
  // Windows-1252 and of UTF-8 spell them.
  for (const char* name : {"COM\xB9", "LPT\xB2.txt", "Ticket/com\xB3", "COM\xC2\xB9", "lpt\xC2\xB2.dll",
                           "Barcode/x86/LPT\xC2\xB3 .DLL"}) {
    EXPECT_FALSE(Accepted(name)) << name;
  }
  // Names that only begin like a device are ordinary files.
  for (const char* name : {"CONFIG.SYS", "console.txt", "COM10", "LPT", "nulls/x", "AUXILIARY.DAT", "xcon",
                           "PRN_2", "COM\xB4", "LPT\xC2\xB4", "COM\xB9\xB9", "COM\xC2"}) {
    EXPECT_TRUE(Accepted(name)) << name;
  }
}

TEST(DeviceEntryNames, RefuseTheArchiveBeforeAnythingIsWritten) {
  char pattern[] = "/tmp/archive-device-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path root = pattern;
  const std::string archive = (root / "test.zip").string();
  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr);
  for (const char* name : {"DriverName.cfg", "Ticket/x86/LPT1.dll"}) {
    zip_fileinfo info = {};
    ASSERT_EQ(zipOpenNewFileInZip(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  Z_DEFAULT_COMPRESSION),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zip, "data", 4), ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  }
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);

  const zipreader::ExtractReport report = zipreader::ExtractZip(archive, (root / "dest").string());
  EXPECT_EQ(report.code, zipreader::kUnsafeName);
  EXPECT_EQ(report.filesWritten, 0u);
  EXPECT_FALSE(std::filesystem::exists(root / "dest"));
  std::filesystem::remove_all(root);
}

}  // namespace
